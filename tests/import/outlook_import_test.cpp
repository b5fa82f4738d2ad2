#include "import/outlook_import.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "import_test_util.h"

using namespace kavo;
using kavo::test::TempDir;
using kavo::test::TestData;
using kavo::test::U;

namespace {

FileChooser Choose(const std::string& path) {
    return [path] { return path; };
}

COutlookItemData Contact(const std::string& name, const std::string& mobile = "") {
    COutlookItemData d;
    d.fullName = name;
    d.mobileTelephoneNumber = mobile;
    return d;
}

}  // namespace

TEST(OutlookModel, ItemsWalkBothWaysAndStopAtTheEnds) {
    auto app = COutlookApplication::FromItems({Contact("a"), Contact("b")});
    EXPECT_EQ(app->GetNamespace("Other"), nullptr);
    COutlookNamespace* ns = app->GetNamespace("mapi");
    ASSERT_NE(ns, nullptr);
    EXPECT_EQ(ns->GetDefaultFolder(6), nullptr);  // the inbox is not kept
    COutlookItems* items = ns->GetDefaultFolder(kOlFolderContacts)->Items();
    ASSERT_EQ(items->Count(), 2);
    EXPECT_EQ(items->GetLast()->AsContactItem()->FullName(), "b");
    EXPECT_EQ(items->GetPrevious()->AsContactItem()->FullName(), "a");
    EXPECT_EQ(items->GetPrevious(), nullptr);
    EXPECT_EQ(items->GetPrevious(), nullptr);
    EXPECT_EQ(items->GetNext()->AsContactItem()->FullName(), "a");
    EXPECT_EQ(items->GetFirst()->AsContactItem()->FullName(), "a");
}

TEST(OutlookImport, EnglishExportIsReadFromTheLastItemToTheFirst) {
    std::vector<CRelData> list;
    ImportError error = ImportError::kEmptyFile;
    ASSERT_TRUE(
        ReadOutlookContacts(Choose(TestData("import/outlook/contacts_en.csv")), list, &error));
    EXPECT_EQ(error, ImportError::kNone);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(U(list[0].RelName), "");  // a company without a person's name
    EXPECT_EQ(U(list[0].KeshNum), "Only A Company Ltd.");
    EXPECT_EQ(U(list[1].RelName), "Mary Major");
    EXPECT_EQ(U(list[1].Anniversary), "");  // Outlook's empty date is no anniversary

    const CRelData& j = list[2];
    EXPECT_EQ(U(j.RelName), "John A. Smith Jr.");
    EXPECT_EQ(U(j.MobilePhone1), "+1 555 0100");
    EXPECT_EQ(U(j.E_mail), "john@acme.example");
    EXPECT_EQ(U(j.KeshNum), "Acme Inc.");
    EXPECT_EQ(U(j.HomeAddr), "1 Main St. Apt 4, Springfield, IL 62701, United States of America");
    EXPECT_EQ(U(j.Anniversary), "2001-06-15");
    EXPECT_EQ(U(j.Birthday), "");  // the import reads six properties, nothing more
    EXPECT_EQ(U(j.RelRemark), "");
    EXPECT_EQ(U(j.GroupName), "");
}

TEST(OutlookImport, ChineseExportInGbk) {
    std::vector<CRelData> list;
    ASSERT_TRUE(ReadOutlookContacts(Choose(TestData("import/outlook/contacts_zh.csv")), list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].RelName), "李四");
    EXPECT_EQ(U(list[0].MobilePhone1), "13700137000");
    const CRelData& z = list[1];
    EXPECT_EQ(U(z.RelName), "张三");
    EXPECT_EQ(U(z.KeshNum), "华星公司");
    EXPECT_EQ(U(z.HomeAddr), "中国 北京市 朝阳区 建国路8号 100022");
    EXPECT_EQ(U(z.E_mail), "zhangsan@example.cn");
    EXPECT_EQ(U(z.Anniversary), "2005-01-01");
}

TEST(OutlookImport, LongTextsAreCutToTheirColumnsOnCharacterBoundaries) {
    COutlookItemData d = Contact(std::string(60, 'n'));
    d.companyName = "a";
    for (int i = 0; i < 60; ++i) d.companyName += "长";
    d.anniversary = COutlookDate{1999, 12, 31};
    auto app = COutlookApplication::FromItems({d});
    std::vector<CRelData> list;
    ASSERT_TRUE(ReadOutlookContacts(*app, list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::string(FieldText(list[0].RelName)), std::string(49, 'n'));
    EXPECT_EQ(FieldText(list[0].KeshNum).size(), 99u);
    EXPECT_EQ(GbkToUtf8(FieldText(list[0].KeshNum)).find('?'), std::string::npos);
    EXPECT_EQ(U(list[0].Anniversary), "1999-12-31");
}

TEST(OutlookImport, DistributionListsArePassedOverNotEndingTheWalk) {
    COutlookItemData dl = Contact("Team");
    dl.itemClass = kOlDistributionList;
    auto app = COutlookApplication::FromItems({Contact("a", "1"), dl, Contact("b", "2"), dl});
    std::vector<CRelData> list;
    ASSERT_TRUE(ReadOutlookContacts(*app, list));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U(list[0].RelName), "b");
    EXPECT_EQ(U(list[1].RelName), "a");

    auto onlyList = COutlookApplication::FromItems({dl});
    ASSERT_TRUE(ReadOutlookContacts(*onlyList, list));
    EXPECT_TRUE(list.empty());
}

TEST(OutlookImport, CancelledChoiceAndFilesThatAreNoExportFailTheCreation) {
    std::vector<CRelData> list;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadOutlookContacts(Choose(""), list, &error));
    EXPECT_EQ(error, ImportError::kCancelled);
    EXPECT_FALSE(ReadOutlookContacts(FileChooser(), list, &error));
    EXPECT_EQ(error, ImportError::kCancelled);

    TempDir dir;
    EXPECT_FALSE(ReadOutlookContacts(Choose(dir.Path() + "/none.csv"), list, &error));
    EXPECT_EQ(error, ImportError::kOutlookUnavailable);
    EXPECT_FALSE(ReadOutlookContacts(Choose(dir.Write("x.csv", "a,b,c\n1,2,3\n")), list, &error));
    EXPECT_EQ(error, ImportError::kOutlookUnavailable);
    EXPECT_FALSE(ReadOutlookContacts(Choose(dir.Write("e.csv", "")), list, &error));
    EXPECT_FALSE(ReadOutlookContacts(Choose(dir.Path()), list, &error));

    // An export with no contacts is an empty folder: a success.
    EXPECT_TRUE(ReadOutlookContacts(Choose(dir.Write("h.csv", "\"First Name\",\"Last Name\"\r\n")),
                                    list, &error));
    EXPECT_TRUE(list.empty());
}

TEST(OutlookExport, QuotingDatesAndUnicodeExports) {
    std::vector<COutlookItemData> items;
    ASSERT_TRUE(
        ParseOutlookExport("First Name,Anniversary,Notes,Mobile Phone\n"
                           "A,3/5/1980,\"x,\"\"y\"\"\nz\",1\n"
                           "\n"
                           "B,25/12/2001,,2\n"
                           "C,1980-3-5 0:00:00,,\n"
                           "D,2/30/2001,,\n",
                           items));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].anniversary.month, 3);
    EXPECT_EQ(items[0].anniversary.day, 5);
    EXPECT_EQ(items[0].mobileTelephoneNumber, "1");
    EXPECT_EQ(items[1].anniversary.month, 12);  // the first part cannot be a month
    EXPECT_EQ(items[1].anniversary.day, 25);
    EXPECT_EQ(items[2].anniversary.year, 1980);
    EXPECT_TRUE(items[3].anniversary.IsNone());

    // UTF-16 with its byte order mark, as a "Unicode" export.
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : std::u16string(u"Full Name\r\n\u5F20\u4E09\r\n")) {
        utf16 += static_cast<char>(c & 0xFF);
        utf16 += static_cast<char>(c >> 8);
    }
    items.clear();
    ASSERT_TRUE(ParseOutlookExport(utf16, items));
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].fullName, "张三");
}
