#include "workflows/list_rows.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"

using namespace kavo;

namespace {

CRelData Contact(const char* nameUtf8, const char* mobile1, const char* home = "") {
    CRelData rel;
    SetFieldUtf8(rel.RelName, nameUtf8);
    SetField(rel.MobilePhone1, mobile1);
    SetField(rel.HomePhone, home);
    return rel;
}

std::vector<std::string> Names(const std::vector<CListRow>& rows) {
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(r.name);
    return names;
}

}  // namespace

TEST(ListRows, ContactRowShowsTheFirstNonBlankPhone) {
    CRelData rel = Contact("张三", "  ", "010-1234");
    SetField(rel.OfficePhone1, "020-9");
    CListRow row = ContactRow(rel);
    EXPECT_EQ(row.name, "张三");
    EXPECT_EQ(row.phone, "010-1234");
    EXPECT_EQ(row.mobile1, "  ");
    EXPECT_EQ(ContactRow(Contact("李四", "")).phone, "");
}

TEST(ListRows, SmsRowFallsBackToTheNumberAndCutsTwelveBytes) {
    CSmsData sms;
    sms.SmsID = 77;
    SetField(sms.ContactName, "   ");
    SetField(sms.PhoneNumber, "13800138000");
    SetField(sms.SmsTime, "2009-12-08 10:00:00");
    CListRow row = SmsRow(sms);
    EXPECT_EQ(row.name, "13800138000");
    EXPECT_EQ(row.phone, "2009-12-08 10:00:00");
    EXPECT_EQ(row.data, 77u);

    // Seven Chinese characters are 14 GBK bytes: six fit in 12.
    SetFieldUtf8(sms.ContactName, " 一二三四五六七 ");
    EXPECT_EQ(SmsRow(sms).name, "一二三四五六");
}

TEST(ListRows, GatherMovesMatchesToTheTopIgnoringLetterCase) {
    std::vector<CListRow> rows =
        ContactRows({Contact("alice", "1"), Contact("Bob", "2"), Contact("carol", "3"),
                     Contact("BOBBY", "4"), Contact("dave", "5")});
    EXPECT_EQ(GatherRows(rows, "  bob ", false), 2);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"Bob", "BOBBY", "alice", "carol", "dave"}));

    EXPECT_EQ(GatherRows(rows, "bob", true), 1);
    EXPECT_EQ(rows[0].name, "Bob");
    EXPECT_EQ(GatherRows(rows, "   ", false), 0);
    EXPECT_EQ(GatherRows(rows, "zzz", false), 0);
    // A phone number is searched too.
    EXPECT_EQ(GatherRows(rows, "5", false), 1);
    EXPECT_EQ(rows[0].name, "dave");
}

TEST(ListRows, GatherDoesNotMatchAcrossChineseCharacters) {
    // In GBK "中国" is D6 D0 B9 FA; a byte-wise search for "泄" (D0 B9) would match inside
    // it. The rows hold UTF-8, where characters never overlap.
    std::vector<CListRow> rows = ContactRows({Contact("中国", "1")});
    EXPECT_EQ(GatherRows(rows, "泄", false), 0);
    EXPECT_EQ(GatherRows(rows, "国", false), 1);
}

TEST(ListRows, NextSearchWrapsAroundAndEndsOnTheSelectedRow) {
    std::vector<CListRow> rows = ContactRows(
        {Contact("Anna", "1"), Contact("Ben", "2"), Contact("anna", "3"), Contact("Cid", "4")});
    EXPECT_EQ(FindNextRow(rows, -1, "ANNA", true), 0);
    EXPECT_EQ(FindNextRow(rows, 0, "anna", true), 2);
    EXPECT_EQ(FindNextRow(rows, 2, "anna", true), 0);
    EXPECT_EQ(FindNextRow(rows, 1, "ben", true), 1);
    EXPECT_EQ(FindNextRow(rows, 1, "nobody", false), -1);
    EXPECT_EQ(FindNextRow({}, -1, "a", false), -1);
}

TEST(ListRows, PinyinFindsChineseNamesAfterTheSubstringMatches) {
    std::vector<CListRow> rows =
        ContactRows({Contact("李娜", "1"), Contact("王张伟", "2"), Contact("张伟", "3"),
                     Contact("Zw Studio", "4"), Contact("赵文", "5"), Contact("张三", "6")});
    // Substring first, then spelled from the first character, then from a later one.
    EXPECT_EQ(SearchRows(rows, "zw", false), (std::vector<int>{3, 2, 4, 1}));
    for (const char* text : {"zhangwei", "zhang wei", " ZhangWei ", "zhangw"})
        EXPECT_EQ(SearchRows(rows, text, false), (std::vector<int>{2, 1})) << text;
    // Exact searches and texts with other than Latin letters stay substring searches.
    EXPECT_TRUE(SearchRows(rows, "zhangwei", true).empty());
    EXPECT_EQ(SearchRows(rows, "张伟", false), (std::vector<int>{1, 2}));
    EXPECT_TRUE(SearchRows(rows, "zw1", false).empty());

    EXPECT_EQ(GatherRows(rows, "zw", false), 4);
    EXPECT_EQ(Names(rows),
              (std::vector<std::string>{"Zw Studio", "张伟", "赵文", "王张伟", "李娜", "张三"}));
}

TEST(ListRows, PolyphonicSurnamesAreFoundByEveryReading) {
    const std::vector<CListRow> rows = ContactRows({Contact("单田芳", "1"), Contact("曾国藩", "2"),
                                                    Contact("解缙", "3"), Contact("仇英", "4")});
    for (auto [text, row] : std::vector<std::pair<const char*, int>>{{"shantianfang", 0},
                                                                     {"dtf", 0},
                                                                     {"zengguofan", 1},
                                                                     {"cgf", 1},
                                                                     {"xiejin", 2},
                                                                     {"jj", 2},
                                                                     {"qiuying", 3},
                                                                     {"chouy", 3}})
        EXPECT_EQ(SearchRows(rows, text, false), std::vector<int>{row}) << text;
}

TEST(ListRows, NextSearchTakesPinyinOnlyWhenNoRowHoldsTheText) {
    const std::vector<CListRow> rows =
        ContactRows({Contact("张伟", "1"), Contact("Zhou", "2"), Contact("周伟", "3")});
    EXPECT_EQ(FindNextRow(rows, -1, "zh", false), 1);
    EXPECT_EQ(FindNextRow(rows, 1, "zh", false), 1);
    EXPECT_EQ(FindNextRow(rows, -1, "zw", false), 0);
    EXPECT_EQ(FindNextRow(rows, 0, "zw", false), 2);
    EXPECT_EQ(FindNextRow(rows, -1, "zw", true), -1);
}
