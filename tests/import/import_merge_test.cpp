// The readers' lists stored the way the main window merges them: every record saved by
// its key inside one batch. These pin down what an import leaves in the address book.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "import/address_book_import.h"
#include "import/csv_import.h"
#include "import/outlook_import.h"
#include "import_test_util.h"
#include "store/ado_record.h"
#include "store/batch_scope.h"
#include "store/data_access.h"

using namespace kavo;
using kavo::test::BinDir;
using kavo::test::G;
using kavo::test::TempDir;
using kavo::test::U;

namespace {

class ImportMerge : public ::testing::Test {
protected:
    void SetUp() override {
        CloseConnection();
        SetConnectionInfo({}, {}, dir_.Path() + "/KAVO.kavo");
    }
    void TearDown() override {
        CloseConnection();
        SetConnectionInfo({}, {}, {});
        ::unsetenv("KAVO_ADDRESSBOOK_DIR");
    }

    void Merge(const std::vector<CRelData>& list) {
        CBatchScope batch;
        for (const CRelData& rec : list) ASSERT_TRUE(store_.SaveContact(rec));
    }
    std::vector<CRelData> Stored() {
        std::vector<CRelData> list;
        store_.LoadContacts(list);
        return list;
    }

    TempDir dir_;
    CDataAccess store_{G("alice")};
};

}  // namespace

TEST_F(ImportMerge, AddressBookEntriesWithOneNameAndNoMobileEndAsOneContact) {
    TempDir book;
    book.Write("book.vcf",
               "BEGIN:VCARD\nVERSION:3.0\nFN:李雷\nTEL;TYPE=HOME:111\nBDAY:1980-03-05\nEND:VCARD\n"
               "BEGIN:VCARD\nVERSION:3.0\nFN:李雷\nTEL;TYPE=HOME:222\nEND:VCARD\n"
               "BEGIN:VCARD\nVERSION:3.0\nFN:韩梅梅\nTEL;TYPE=CELL:139\nEND:VCARD\n");
    ::setenv("KAVO_ADDRESSBOOK_DIR", book.Path().c_str(), 1);
    std::vector<CRelData> list;
    for (int round = 0; round < 2; ++round) {  // a second import changes nothing
        ASSERT_TRUE(ReadAddressBookContacts(BinDir(), list));
        Merge(list);
        std::vector<CRelData> stored = Stored();
        ASSERT_EQ(stored.size(), 2u);
        EXPECT_EQ(U(stored[0].RelName), "韩梅梅");
        EXPECT_EQ(U(stored[0].MobilePhone1), "139");
        EXPECT_EQ(U(stored[1].RelName), "李雷");
        EXPECT_EQ(U(stored[1].HomePhone), "222");  // the later entry's data
        EXPECT_EQ(U(stored[1].Birthday), "");
    }
}

TEST_F(ImportMerge, ImportingACsvFileTwiceLeavesTheFirstImportsRows) {
    std::string csv = G("姓名,移动电话(公),组织\r\n张三,138,华星\r\n张三,,远航\r\n李四,137,\r\n");
    std::vector<CRelData> list;
    ASSERT_TRUE(ReadCsvContactsFromText(csv, list));
    Merge(list);
    std::vector<CRelData> first = Stored();
    ASSERT_EQ(first.size(), 3u);
    ASSERT_TRUE(ReadCsvContactsFromText(csv, list));
    Merge(list);
    std::vector<CRelData> second = Stored();
    ASSERT_EQ(second.size(), first.size());
    for (std::size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(std::memcmp(&first[i], &second[i], sizeof(CRelData)), 0) << i;
    }
}

TEST_F(ImportMerge, OfTwoOutlookItemsWithOneKeyTheOneNearerTheStartWins) {
    COutlookItemData first, second;
    first.fullName = second.fullName = "Ann";
    first.companyName = "First";
    second.companyName = "Second";
    auto app = COutlookApplication::FromItems({first, second});
    std::vector<CRelData> list;
    ASSERT_TRUE(ReadOutlookContacts(*app, list));
    Merge(list);
    std::vector<CRelData> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(U(stored[0].KeshNum), "First");
}
