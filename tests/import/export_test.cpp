// The CSV and vCard exports, read back by the CSV import and by the address-book import
// through the real libpelbook.so.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "import/address_book_import.h"
#include "import/csv_export.h"
#include "import/csv_import.h"
#include "import/vcard_export.h"
#include "import_test_util.h"

using namespace kavo;
using kavo::test::BinDir;
using kavo::test::G;
using kavo::test::U;

namespace {

// A contact with every field filled, each with a text that tests the writers: commas,
// semicolons, backslashes, GBK characters, and values as long as their fields allow.
CRelData Full(int i) {
    CRelData r;
    const std::string n = std::to_string(i);
    SetFieldUtf8(r.RelName, "张三,丰" + n);
    SetFieldUtf8(r.CorpPosition, "经理; 副总");
    SetField(r.MobilePhone1, "1380000000" + n);
    SetField(r.MobilePhone2, "13900000000");
    SetField(r.MobilePhone3, "13700000000");
    SetField(r.OfficePhone1, "010-88888888");
    SetField(r.OfficePhone2, "010-66666666");
    SetField(r.OfficePhone3, "010-55555555");
    SetField(r.OfficeFax, "010-77777777");
    SetField(r.CompanyWeb, "http://example.com/a,b");
    SetFieldUtf8(r.CompanyAddr, "北京市海淀区中关村大街1号, 3层");
    SetFieldUtf8(r.HomeAddr, "上海市浦东新区\\世纪大道");
    SetField(r.HomePhone, "021-12345678");
    SetField(r.Birthday, "1980-03-05");
    SetField(r.Anniversary, "2005-10-01");
    SetFieldUtf8(r.NickName, "小张");
    SetField(r.Picture, "/home/u/p.png");
    SetField(r.Ring, "/home/u/ring,1.mp3");
    SetField(r.IDCard, "110101198003050011");
    SetField(r.Account1, "acc1");
    SetField(r.Account5, "acc5");
    SetField(r.ClientID, "C42");
    SetField(r.QQ, "10001");
    SetField(r.MSN, "z@msn.example");
    SetField(r.ICQ, "777");
    SetFieldUtf8(r.KeshNum, "北京某某科技有限公司");
    SetField(r.E_mail, "zhang@example.com");
    SetFieldUtf8(r.GroupName, "同事");
    SetField(r.ZipCode, "100080");
    SetFieldUtf8(r.RelRemark, "备注:老同学, 爱打球 ");
    return r;
}

// The fields the CSV import fills (all but the remark, which has its own test).
#define KAVO_CSV_FIELDS(X)                                                                         \
    X(RelName)                                                                                     \
    X(KeshNum)                                                                                     \
    X(CorpPosition) X(MobilePhone1) X(MobilePhone2) X(HomePhone) X(OfficePhone1) X(OfficePhone2)   \
        X(NickName) X(Birthday) X(Anniversary) X(CompanyAddr) X(HomeAddr) X(CompanyWeb) X(ZipCode) \
            X(E_mail) X(OfficeFax) X(Ring)

void ExpectCsvFieldsEqual(const CRelData& a, const CRelData& b) {
#define KAVO_EXPECT_FIELD(f) EXPECT_EQ(FieldText(a.f), FieldText(b.f)) << #f;
    KAVO_CSV_FIELDS(KAVO_EXPECT_FIELD)
#undef KAVO_EXPECT_FIELD
}

std::vector<CRelData> ReadBack(const std::string& text) {
    std::vector<CRelData> out;
    ImportError error = ImportError::kEmptyFile;
    EXPECT_TRUE(ReadCsvContactsFromText(text, out, &error));
    EXPECT_EQ(error, ImportError::kNone);
    return out;
}

}  // namespace

TEST(CsvExport, EveryFieldTheImportFillsComesBackExactly) {
    std::vector<CRelData> contacts{Full(1), Full(2)};
    // Fields filled to their last byte, with a double-byte character at the end.
    CRelData& big = contacts[1];
    SetField(big.CompanyAddr, std::string(97, 'a') + G("中"));
    SetField(big.Ring, std::string(257, ',') + G("铃"));
    ASSERT_EQ(FieldText(big.Ring).size(), 259u);
    CRelData sparse;  // a name only: every other column comes back empty
    SetFieldUtf8(sparse.RelName, "李四");
    contacts.push_back(sparse);

    std::vector<CRelData> back = ReadBack(CsvExportText(contacts));
    ASSERT_EQ(back.size(), contacts.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        ExpectCsvFieldsEqual(contacts[i], back[i]);
        EXPECT_EQ(FieldText(contacts[i].RelRemark), FieldText(back[i].RelRemark));
        // Fields no CSV column carries stay empty.
        EXPECT_EQ(FieldText(back[i].MobilePhone3), "");
        EXPECT_EQ(FieldText(back[i].QQ), "");
        EXPECT_EQ(FieldText(back[i].GroupName), "");
    }
    // Exported again, the file is the same: the round trip is stable.
    EXPECT_EQ(CsvExportText(back), CsvExportText(contacts));
}

TEST(CsvExport, RemarksOfOtherFormsComeBackFramedOnceAndThenStay) {
    CRelData r;
    SetFieldUtf8(r.RelName, "王五");
    SetFieldUtf8(r.RelRemark, "喜欢,\"安静\"");
    std::vector<CRelData> once = ReadBack(CsvExportText({r}));
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(U(once[0].RelRemark), "备注:喜欢,'安静' ");
    std::vector<CRelData> twice = ReadBack(CsvExportText(once));
    ASSERT_EQ(twice.size(), 1u);
    EXPECT_EQ(FieldText(twice[0].RelRemark), FieldText(once[0].RelRemark));

    // A remark the import made from several columns keeps them all.
    SetFieldUtf8(r.RelRemark, "备注:a 职务:b ");
    std::vector<CRelData> back = ReadBack(CsvExportText({r}));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(U(back[0].RelRemark), "备注:a 职务:b ");
}

TEST(CsvExport, QuotesAndLineBreaksCannotBreakTheLine) {
    CRelData r;
    SetFieldUtf8(r.RelName, "say \"hi\"");
    SetField(r.HomeAddr, "line1\nline2\r\nline3");
    SetField(r.NickName, "\"");
    CRelData next;
    SetFieldUtf8(next.RelName, "next");
    std::vector<CRelData> back = ReadBack(CsvExportText({r, next}));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(FieldText(back[0].RelName), "say 'hi'");
    EXPECT_EQ(FieldText(back[0].HomeAddr), "line1 line2\r line3");
    EXPECT_EQ(FieldText(back[0].NickName), "'");
    EXPECT_EQ(FieldText(back[1].RelName), "next");
}

TEST(CsvExport, HeaderHoldsTheImportLabelsAndAnEmptyListIsJustTheHeader) {
    std::string text = CsvExportText({});
    EXPECT_EQ(text.find("\r\n"), text.size() - 2);
    std::vector<std::string> labels = SplitCsvHeaderLine(text.substr(0, text.size() - 2));
    ASSERT_EQ(labels.size(), CsvExportLabels().size());
    for (std::size_t i = 0; i < labels.size(); ++i)
        EXPECT_EQ(GbkToUtf8(labels[i]), CsvExportLabels()[i]);
    // Read back, a file of no contacts says so rather than reporting success.
    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadCsvContactsFromText(text, out, &error));
    EXPECT_EQ(error, ImportError::kNoContacts);
}

TEST(CsvExport, WritesAllOrNothing) {
    kavo::test::TempDir dir;
    const std::string path = dir.Path() + "/out.csv";
    ASSERT_TRUE(WriteCsvContacts(path, {Full(1)}));
    std::vector<CRelData> back;
    ASSERT_TRUE(ReadCsvContacts(path, back));
    ASSERT_EQ(back.size(), 1u);
    ExpectCsvFieldsEqual(Full(1), back[0]);
    // Over an existing file: replaced whole; nothing else is left in the folder.
    ASSERT_TRUE(WriteCsvContacts(path, {Full(2), Full(3)}));
    ASSERT_TRUE(ReadCsvContacts(path, back));
    EXPECT_EQ(back.size(), 2u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()),
                            std::filesystem::directory_iterator()),
              1);
    // Into a missing folder: refused, nothing created.
    EXPECT_FALSE(WriteCsvContacts(dir.Path() + "/no/such/out.csv", {Full(1)}));
    EXPECT_FALSE(WriteCsvContacts("", {Full(1)}));
}

class VCardExport : public ::testing::Test {
protected:
    void TearDown() override { ::unsetenv("KAVO_ADDRESSBOOK_DIR"); }

    std::vector<CRelData> ThroughAddressBook(const std::vector<CRelData>& contacts) {
        EXPECT_TRUE(WriteVCardContacts(dir_.Path() + "/export.vcf", contacts));
        ::setenv("KAVO_ADDRESSBOOK_DIR", dir_.Path().c_str(), 1);
        std::vector<CRelData> out;
        ImportError error = ImportError::kEmptyFile;
        EXPECT_TRUE(ReadAddressBookContacts(BinDir(), out, &error));
        EXPECT_EQ(error, ImportError::kNone);
        return out;
    }

    kavo::test::TempDir dir_;
};

TEST_F(VCardExport, TheAddressBookReadsBackWhatVCardCarries) {
    std::vector<CRelData> contacts{Full(1), Full(2)};
    // NOTE is read without the blanks around it.
    SetFieldUtf8(contacts[0].RelRemark, "备注:老同学, 爱打球");
    // A remark over several lines and long enough to fold, with multi-byte characters at
    // the folds.
    SetFieldUtf8(contacts[1].RelRemark,
                 "第一行：这是一段很长的备注，用来检验折行不会把汉字拆开。\n第二行; a\\b, c");
    std::vector<CRelData> back = ThroughAddressBook(contacts);
    ASSERT_EQ(back.size(), contacts.size());
    for (std::size_t i = 0; i < back.size(); ++i) {
        SCOPED_TRACE(i);
        const CRelData& a = contacts[i];
        const CRelData& b = back[i];
#define KAVO_EXPECT_FIELD(f) EXPECT_EQ(U(a.f), U(b.f)) << #f;
        KAVO_EXPECT_FIELD(RelName)
        KAVO_EXPECT_FIELD(CorpPosition)
        KAVO_EXPECT_FIELD(KeshNum)
        KAVO_EXPECT_FIELD(E_mail)
        KAVO_EXPECT_FIELD(CompanyAddr)
        KAVO_EXPECT_FIELD(MobilePhone1)
        KAVO_EXPECT_FIELD(Birthday)
        KAVO_EXPECT_FIELD(OfficeFax)
        KAVO_EXPECT_FIELD(OfficePhone1)
        KAVO_EXPECT_FIELD(CompanyWeb)
        KAVO_EXPECT_FIELD(ZipCode)
        KAVO_EXPECT_FIELD(HomePhone)
        KAVO_EXPECT_FIELD(NickName)
        KAVO_EXPECT_FIELD(RelRemark)
#undef KAVO_EXPECT_FIELD
    }
}

TEST_F(VCardExport, LinesAreFoldedOnCharacterBoundariesAndTheRestIsKept) {
    CRelData r = Full(1);
    SetField(r.Birthday, "spring");  // not a date: kept, but not as BDAY
    SetFieldUtf8(r.CompanyAddr, "a中华人民共和国北京市海淀区中关村大街一号科技大厦第三层东侧");
    std::string text = VCardExportText({r});
    EXPECT_NE(text.find("\r\n "), std::string::npos);  // something was folded
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        EXPECT_LE(line.size(), 76u);                  // 75 bytes and the CR
        EXPECT_EQ(GbkToUtf8(Utf8ToGbk(line)), line);  // whole UTF-8 characters only
    }
    EXPECT_EQ(text.find("BDAY"), std::string::npos);
    EXPECT_NE(text.find("X-KAVO-BIRTHDAY:spring\r\n"), std::string::npos);
    EXPECT_NE(text.find("CATEGORIES:同事\r\n"), std::string::npos);
    EXPECT_NE(text.find("X-QQ:10001\r\n"), std::string::npos);
    EXPECT_NE(text.find("ADR;TYPE=HOME:;;上海市浦东新区\\\\世纪大道;;;;\r\n"), std::string::npos);
    EXPECT_EQ(text.find("p.png"), std::string::npos);

    std::vector<CRelData> back = ThroughAddressBook({r});
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(FieldText(back[0].Birthday), "");
    EXPECT_EQ(FieldText(back[0].CompanyAddr), FieldText(r.CompanyAddr));
}
