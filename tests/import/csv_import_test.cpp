#include "import/csv_import.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "import_test_util.h"

using namespace kavo;
using kavo::test::G;
using kavo::test::U;

namespace {

std::vector<CRelData> ReadOk(const std::string& utf8Text) {
    std::vector<CRelData> out;
    ImportError error = ImportError::kEmptyFile;
    EXPECT_TRUE(ReadCsvContactsFromText(G(utf8Text), out, &error));
    EXPECT_EQ(error, ImportError::kNone);
    return out;
}

ImportError ReadFails(std::string_view gbk) {
    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadCsvContactsFromText(gbk, out, &error));
    return error;
}

// A header of `n` columns: the given labels first, then unknown ones.
std::string Header(std::vector<std::string> labels, int n) {
    std::string h;
    for (int i = 0; i < n; ++i) {
        if (i) h.push_back(',');
        if (i < static_cast<int>(labels.size())) {
            h.append(labels[static_cast<std::size_t>(i)]);
        } else {
            h.push_back('x');
            h.append(std::to_string(i));
        }
    }
    return h;
}

}  // namespace

TEST(CsvSplit, HeaderDropsQuotesAndAddsNoLabelAfterATrailingComma) {
    EXPECT_EQ(SplitCsvHeaderLine("\"a\",b\"c,d,"), (std::vector<std::string>{"a", "bc", "d"}));
    EXPECT_EQ(SplitCsvHeaderLine(" a , b"), (std::vector<std::string>{" a ", " b"}));
    EXPECT_EQ(SplitCsvHeaderLine(",a"), (std::vector<std::string>{"", "a"}));
    EXPECT_TRUE(SplitCsvHeaderLine("").empty());
}

TEST(CsvSplit, PlainLinesSplitAtEveryCommaAndKeepQuotes) {
    EXPECT_EQ(SplitCsvDataLine("a,b,c", 5), SplitCsvDataLine("a,b,c,", 5));
    EXPECT_EQ(SplitCsvDataLine("a,b\"x,c", 5), (std::vector<std::string>{"a", "b\"x", "c"}));
    EXPECT_EQ(SplitCsvDataLine("a,,c", 5), (std::vector<std::string>{"a", "", "c"}));
    EXPECT_EQ(SplitCsvDataLine("a,b,c,d", 2), (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(SplitCsvDataLine("", 5).empty());
}

TEST(CsvSplit, QuotedLinesKeepCommasInsideValuesAndStopAtAThirdQuote) {
    EXPECT_EQ(SplitCsvDataLine("\"a,1\",\"b\",\"c,2\"", 5),
              (std::vector<std::string>{"a,1", "b", "c,2"}));
    EXPECT_EQ(SplitCsvDataLine("\"a\",\"b\",", 5), SplitCsvDataLine("\"a\",\"b\"", 5));
    // The third quote of "b" stops the line: "a" stays, the broken value goes.
    EXPECT_EQ(SplitCsvDataLine("\"a\",\"b\"\"c\",\"d\"", 5), (std::vector<std::string>{"a"}));
    // An unclosed value runs to the line's end.
    EXPECT_EQ(SplitCsvDataLine("\"a\",\"b,c", 5), (std::vector<std::string>{"a", "b,c"}));
}

TEST(CsvSlots, LabelsAreFoundInsideLongerLabelsInTableOrder) {
    std::vector<CCsvColumn> m = DefaultCsvMapping(
        SplitCsvHeaderLine(G("姓名,我的工作地址(公司),住宅电话与住宅地址,备注,其他,主页,主页")));
    ASSERT_EQ(m.size(), 7u);
    EXPECT_EQ(m[0].target, ECsvTarget::kRelName);
    EXPECT_EQ(m[1].target, ECsvTarget::kCompanyAddr);  // 工作地址
    EXPECT_EQ(m[2].target, ECsvTarget::kHomePhone);    // 住宅电话 comes before 住宅地址
    EXPECT_EQ(m[3].target, ECsvTarget::kRemark);
    EXPECT_EQ(m[3].ownSlot, 18);
    EXPECT_EQ(m[4].target, ECsvTarget::kRemark);  // the unknown column goes to the remark
    EXPECT_EQ(m[4].match, ECsvMatch::kUnknown);
    EXPECT_EQ(m[5].target, ECsvTarget::kIgnore);  // a repeated label: the later column wins
    EXPECT_EQ(m[6].target, ECsvTarget::kCompanyWeb);
}

TEST(CsvSlots, ALabelIsNotFoundAcrossCharacterBoundaries) {
    // The bytes of "姓名" (D0 D5 C3 FB) may turn up across the characters of another
    // text, shifted by one byte; that is no "姓名".
    std::string straddle = std::string("\xB0") + "\xD0\xD5\xC3\xFB" + "\xB0";
    std::string header = "a";
    header.append(straddle.substr(1, 4)).append(",").append(straddle).append("\xA1");
    std::vector<CCsvColumn> m = DefaultCsvMapping(SplitCsvHeaderLine(header));
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].target, ECsvTarget::kRelName);  // aligned in the first column
    EXPECT_EQ(m[1].match, ECsvMatch::kUnknown);    // misaligned in the second: unknown
}

TEST(CsvSlots, ColumnsBeyondTheSixtySlotsAreLeftOut) {
    std::vector<CCsvColumn> m = DefaultCsvMapping(SplitCsvHeaderLine(G(Header({"姓名"}, 200))));
    ASSERT_EQ(m.size(), 200u);
    EXPECT_EQ(m[1].target, ECsvTarget::kRemark);
    EXPECT_EQ(m[41].target, ECsvTarget::kRemark);
    EXPECT_EQ(m[42].target, ECsvTarget::kIgnore);
}

TEST(CsvRecords, EveryRecognisedColumnIsKeptEvenInAShortHeader) {
    // A two-column file of names and mobile numbers keeps its numbers.
    auto list = ReadOk("姓名,移动电话(公)\n张三,13800138000\n李四,\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].RelName), "张三");
    EXPECT_EQ(U(list[0].MobilePhone1), "13800138000");
    EXPECT_EQ(U(list[1].RelName), "李四");
    EXPECT_EQ(U(list[1].MobilePhone1), "");

    // The same holds for the remark of a three-column file.
    list = ReadOk("姓名,备注,爱好\n王五,好人,下棋\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].RelRemark), "备注:好人 爱好:下棋 ");
}

TEST(CsvRecords, RemarkJoinsTheRemarkAndUnknownColumnsAndSkipsEmptyOnes) {
    std::string header = Header({"姓名", "备注", "QQ号码", "血型"}, 22);
    auto list = ReadOk(header + "\n张三,老同学,,A\n李四,,,\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].RelRemark), "备注:老同学 血型:A ");
    EXPECT_EQ(U(list[1].RelRemark), "");
    EXPECT_EQ(U(list[1].RelName), "李四");
}

TEST(CsvRecords, RemarkIsCutAt511BytesWithoutSplittingACharacter) {
    std::string longValue;
    for (int i = 0; i < 300; ++i) longValue += "长";  // 600 GBK bytes
    // "备注:" is 5 bytes: 511 falls between two characters.
    auto list = ReadOk("姓名,备注,其他\n张三," + longValue + ",更多\n");
    ASSERT_EQ(list.size(), 1u);
    std::string remark(FieldText(list[0].RelRemark));
    EXPECT_EQ(remark.size(), 511u);
    EXPECT_EQ(remark.substr(0, 7), G("备注:长"));
    EXPECT_EQ(list[0].RelRemark[511], '\0');

    // One more byte in front and 511 would split a character: the cut leaves it whole.
    list = ReadOk("姓名,备注\n张三,a" + longValue + "\n");
    remark = std::string(FieldText(list[0].RelRemark));
    EXPECT_EQ(remark.size(), 510u);
    EXPECT_EQ(GbkToUtf8(remark).find('?'), std::string::npos);
}

TEST(CsvRecords, ShortLinesLeaveFieldsEmptyAndNothingCarriesOver) {
    auto list = ReadOk("姓名,组织,头衔\n张三,华星,经理\n李四\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].KeshNum), "华星");
    EXPECT_EQ(U(list[1].RelName), "李四");
    EXPECT_EQ(U(list[1].KeshNum), "");
    EXPECT_EQ(U(list[1].CorpPosition), "");
}

TEST(CsvRecords, WithoutANameColumnOrAnyContactTheReadFails) {
    // Reporting success for a file that imports nothing would hide the reason.
    EXPECT_EQ(ReadFails(G("组织,头衔\n华星,经理\n")), ImportError::kNoNameColumn);
    EXPECT_EQ(ReadFails(G("Company,Job Title\nAcme,CEO\n")), ImportError::kNoNameColumn);
    EXPECT_EQ(ReadFails(G("姓名,组织\r\n")), ImportError::kNoContacts);
    EXPECT_EQ(ReadFails(G("First Name,Last Name\r\n,\r\n")), ImportError::kNoContacts);
    // An empty name is still a contact while the column exists.
    auto list = ReadOk("组织,姓名\n华星,\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(U(list[0].KeshNum), "华星");
}

TEST(CsvRecords, OverLongValuesAreCutToTheirFieldWithoutSplittingACharacter) {
    std::string name(60, 'n');
    // 19 x "长" = 38 bytes + "a" puts a double-byte character across the 20th byte.
    std::string mobile = "a";
    for (int i = 0; i < 19; ++i) mobile += "长";
    auto list = ReadOk("姓名,移动电话(公),组织\n" + name + "," + mobile + "," +
                       std::string(300, 'k') + "\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::string(FieldText(list[0].RelName)), std::string(49, 'n'));
    EXPECT_EQ(FieldText(list[0].MobilePhone1).size(), 19u);
    EXPECT_EQ(list[0].MobilePhone1[19], '\0');
    EXPECT_EQ(FieldText(list[0].KeshNum).size(), 99u);
    // The neighbouring field is untouched.
    EXPECT_EQ(FieldText(list[0].MobilePhone2), "");
}

TEST(CsvFailures, EveryBrokenFileFailsTheWholeRead) {
    EXPECT_EQ(ReadFails(""), ImportError::kEmptyFile);
    EXPECT_EQ(ReadFails("\r\n"), ImportError::kNoColumns);
    EXPECT_EQ(ReadFails(G("姓名\n张三\n")), ImportError::kTooFewColumns);
    EXPECT_EQ(ReadFails(G("姓名,组织\n张三,华星\n\n李四,远航\n")), ImportError::kEmptyLine);
    EXPECT_EQ(ReadFails(G("姓名,组织\n\"\"\"\n")), ImportError::kEmptyLine);

    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadCsvContacts("/nonexistent/kavo/contacts.csv", out, &error));
    EXPECT_EQ(error, ImportError::kFileMissing);
    kavo::test::TempDir dir;
    EXPECT_FALSE(ReadCsvContacts(dir.Path(), out, &error));
    EXPECT_EQ(error, ImportError::kReadFailed);
}

TEST(CsvFailures, AnEmptyLineAtTheEndFailsButALastLineEndDoesNot) {
    kavo::test::TempDir dir;
    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    std::string ok = dir.Write("ok.csv", G("姓名,组织\r\n张三,华星\r\n"));
    EXPECT_TRUE(ReadCsvContacts(ok, out, &error));
    EXPECT_EQ(out.size(), 1u);
    std::string bad = dir.Write("bad.csv", G("姓名,组织\r\n张三,华星\r\n\r\n"));
    EXPECT_FALSE(ReadCsvContacts(bad, out, &error));
    EXPECT_EQ(error, ImportError::kEmptyLine);
}

TEST(CsvFiles, SpreadsheetFileInGbkAndTheSameAsUtf8WithBomReadAlike) {
    std::vector<CRelData> gbk, utf8;
    ASSERT_TRUE(ReadCsvContacts(kavo::test::TestData("import/csv/contacts_gbk.csv"), gbk));
    ASSERT_TRUE(ReadCsvContacts(kavo::test::TestData("import/csv/contacts_utf8_bom.csv"), utf8));
    ASSERT_EQ(gbk.size(), 3u);
    ASSERT_EQ(utf8.size(), 3u);
    for (std::size_t i = 0; i < gbk.size(); ++i) {
        EXPECT_EQ(std::memcmp(&gbk[i], &utf8[i], sizeof(CRelData)), 0) << "contact " << i;
    }
    const CRelData& z = gbk[0];
    EXPECT_EQ(U(z.RelName), "张三");
    EXPECT_EQ(U(z.KeshNum), "华星公司");
    EXPECT_EQ(U(z.CorpPosition), "经理");
    EXPECT_EQ(U(z.MobilePhone1), "13800138000");
    EXPECT_EQ(U(z.MobilePhone2), "13900139000");
    EXPECT_EQ(U(z.HomePhone), "010-6212345");
    EXPECT_EQ(U(z.OfficePhone1), "010-8888001");
    EXPECT_EQ(U(z.OfficePhone2), "010-8888002");
    EXPECT_EQ(U(z.NickName), "小张");
    EXPECT_EQ(U(z.Birthday), "19800305");
    EXPECT_EQ(U(z.Anniversary), "20050101");
    EXPECT_EQ(U(z.CompanyAddr), "北京市海淀区中关村大街1号");
    EXPECT_EQ(U(z.HomeAddr), "北京市朝阳区建国路8号");
    EXPECT_EQ(U(z.CompanyWeb), "www.huaxing.cn");
    EXPECT_EQ(U(z.ZipCode), "100080");
    EXPECT_EQ(U(z.E_mail), "zhangsan@huaxing.cn");
    EXPECT_EQ(U(z.OfficeFax), "010-8888009");
    EXPECT_EQ(U(z.Ring), "/home/zs/ring.wav");
    EXPECT_EQ(U(z.RelRemark), "备注:老同学 QQ号码:123456 ");
    EXPECT_EQ(U(z.QQ), "");  // never filled by this import
    EXPECT_EQ(U(z.GroupName), "");

    // The quoted line keeps the commas inside its values.
    EXPECT_EQ(U(gbk[1].RelName), "李四");
    EXPECT_EQ(U(gbk[1].KeshNum), "远航, 有限公司");
    EXPECT_EQ(U(gbk[1].RelRemark), "备注:见面, 再谈 ");
    EXPECT_EQ(U(gbk[2].RelName), "王五");
}

TEST(CsvHostile, LongLinesManyColumnsAndBinaryBytesStayInBounds) {
    // Only the first 10000 characters of a line count.
    std::string header = "姓名,备注";
    std::string line = std::string(9990, 'a') + "," + std::string(5000, 'b');
    auto list = ReadOk(header + "\n" + line + "\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(FieldText(list[0].RelName), std::string(49, 'a'));
    EXPECT_EQ(U(list[0].RelRemark), "备注:bbbbbbbbb ");

    // 200 columns, every one with a value.
    std::string h200 = Header({"姓名"}, 200);
    std::string row;
    for (int i = 0; i < 200; ++i) row += (i ? "," : "") + std::string(30, 'v');
    list = ReadOk(h200 + "\n" + row + "\n" + row + "\n");
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(FieldText(list[0].RelRemark).size(), 511u);

    // Binary garbage, NUL bytes and stray lead bytes.
    std::string junk = G("姓名,组织") + "\n";
    for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
    junk += "\n\x81,\xFE\n";
    std::vector<CRelData> out;
    EXPECT_TRUE(ReadCsvContactsFromText(junk, out));
    // The bytes are no GBK: they are read as GB18030 values as other programs write them,
    // the stray quote running to the end of the file.
    EXPECT_GE(out.size(), 1u);
    for (const CRelData& rec : out) EXPECT_EQ(rec.RelRemark[sizeof rec.RelRemark - 1], '\0');
}

// One list of values reused from line to line splits every line as a fresh one does.
TEST(CsvSplit, AReusedListSplitsAsAFreshOne) {
    const char* lines[] = {
        "a,b,c",        "\"a,1\",\"b\",\"c,2\"", "",       "x",      "\"a\",\"b\"\"c\",\"d\"",
        "\"a\",\"b\",", "long value,,end",       "\"\"\"", "a,b,c,d"};
    std::vector<std::string> reused;
    for (int round = 0; round < 2; ++round) {
        for (const char* line : lines) {
            SplitCsvDataLine(line, 3, reused);
            EXPECT_EQ(reused, SplitCsvDataLine(line, 3)) << line;
        }
    }
}

// Lines past the sample are split only when contacts are built: all of them still become
// contacts, in file order and in parts, and a broken line anywhere still fails the read
// before any part is handed on.
TEST(CsvRecords, ALargeFileIsBuiltInPartsFromUnsplitLines) {
    std::string text = "姓名,移动电话(公),备注\r\n";
    const int n = static_cast<int>(kCsvSampleRows) * 3 + 7;
    for (int i = 0; i < n; ++i)
        text += "人" + std::to_string(i) + ",138" + std::to_string(i) + ",第" + std::to_string(i) +
                "行\r\n";
    CCsvImportPlan plan;
    ASSERT_TRUE(plan.LoadBytes(G(text)));
    EXPECT_EQ(plan.Document().RowCount(), static_cast<std::size_t>(n));
    EXPECT_EQ(plan.Document().rows.size(), kCsvSampleRows);
    std::vector<std::size_t> parts;
    std::vector<CRelData> all;
    ASSERT_TRUE(plan.Build(100, [&](std::span<const CRelData> part) {
        parts.push_back(part.size());
        all.insert(all.end(), part.begin(), part.end());
    }));
    EXPECT_EQ(parts, (std::vector<std::size_t>{100, 100, 100, 7}));
    ASSERT_EQ(all.size(), static_cast<std::size_t>(n));
    EXPECT_EQ(U(all[n - 1].RelName), "人" + std::to_string(n - 1));
    EXPECT_NE(U(all[n - 1].RelRemark).find("第" + std::to_string(n - 1) + "行"),
              std::string::npos);
    std::vector<CRelData> whole;
    ASSERT_TRUE(plan.Build(whole));
    ASSERT_EQ(whole.size(), all.size());
    EXPECT_EQ(std::memcmp(whole.data(), all.data(), all.size() * sizeof(CRelData)), 0);

    // Another encoding chosen afterwards reads the same bytes again.
    ASSERT_TRUE(plan.SetEncoding("GB18030"));
    EXPECT_EQ(plan.Document().RowCount(), static_cast<std::size_t>(n));
    ASSERT_TRUE(plan.SetEncoding("GBK"));
    ASSERT_TRUE(plan.Build(whole));
    EXPECT_EQ(whole.size(), static_cast<std::size_t>(n));

    EXPECT_EQ(ReadFails(G(text + "\r\n")), ImportError::kEmptyLine);
    EXPECT_EQ(ReadFails(G(text + "\"\"\"\r\n" + text.substr(text.find('\n') + 1))),
              ImportError::kEmptyLine);
}
