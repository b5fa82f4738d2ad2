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
