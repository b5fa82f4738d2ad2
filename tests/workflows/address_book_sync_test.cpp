// Store, restore and merge against the real kavo-server and a real local store.
#include "workflows/address_book_sync.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"

using namespace kavo;
using kavo::test::SessionTest;

namespace {

CRelData MakeContact(int i) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, "联系人" + std::to_string(i));
    SetField(rel.MobilePhone1, "139" + std::to_string(10000000 + i));
    SetFieldUtf8(rel.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i) + "号");
    SetFieldUtf8(rel.RelRemark, "备注：第" + std::to_string(i) + "位");
    SetField(rel.E_mail, "user" + std::to_string(i) + "@example.com");
    SetFieldUtf8(rel.GroupName, i % 3 == 0 ? "同事" : "");
    return rel;
}

}  // namespace

class AddressBookSyncTest : public SessionTest {
protected:
    void LogInFresh() {
        StartServer(false);
        ASSERT_TRUE(Register("syncer", "pw"));
        ASSERT_TRUE(LogIn("syncer", "pw"));
    }
};

TEST_F(AddressBookSyncTest, StoreThenRestoreIntoAnEmptyStoreGivesBackEveryContact) {
    LogInFresh();
    std::vector<CRelData> original;
    for (int i = 0; i < 2000; ++i) original.push_back(MakeContact(i));
    ASSERT_EQ(MergeContacts(original), 2000);
    EXPECT_EQ(AppState().GroupNames.size(), 2u);  // "" and the one group named

    std::vector<int> counts;
    std::atomic<bool> cancelled{false};
    CAddressBookStore store(client());
    ASSERT_TRUE(store.Run(cancelled, [&](int n) { counts.push_back(n); }))
        << store.FailureMessage();
    ASSERT_FALSE(counts.empty());
    EXPECT_EQ(counts.back(), 2000);
    EXPECT_GT(counts.size(), 10u);  // many contacts per batch, one count per batch

    // Wipe the local address book, then restore.
    std::vector<CRelData> stored;
    CDataAccess local;
    local.LoadContacts(stored);
    for (const CRelData& rel : stored)
        ASSERT_TRUE(local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1)));
    AppState().GroupNames.assign(1, "");

    CAddressBookRestore restore(client());
    int last = 0;
    ASSERT_TRUE(restore.Run([&](int n) { last = n; })) << restore.FailureMessage();
    EXPECT_EQ(last, 2000);
    // Merged as it arrived: the list holds nothing, and a merge of it changes nothing.
    EXPECT_EQ(restore.MergeOutcome().total, 2000);
    EXPECT_EQ(restore.MergeOutcome().stored, 2000);
    EXPECT_TRUE(AppState().ContactList.empty());
    EXPECT_EQ(MergeContacts(AppState().ContactList), 0);
    EXPECT_EQ(LastMergeOutcome().stored, 2000);

    std::vector<CRelData> back;
    ASSERT_EQ(local.LoadContacts(back), 2000);
    std::vector<CRelData> expected;
    local.LoadContacts(expected);  // same order as `back`: name, then mobile
    std::sort(original.begin(), original.end(), [](const CRelData& a, const CRelData& b) {
        return std::memcmp(&a, &b, sizeof a) < 0;
    });
    std::sort(back.begin(), back.end(), [](const CRelData& a, const CRelData& b) {
        return std::memcmp(&a, &b, sizeof a) < 0;
    });
    for (std::size_t i = 0; i < back.size(); ++i)
        ASSERT_EQ(std::memcmp(&back[i], &original[i], sizeof(CRelData)), 0) << "contact " << i;
}

TEST_F(AddressBookSyncTest, EmptyAddressBookStoresWithoutARequest) {
    LogInFresh();
    std::uint32_t sequence = client().Sequence();
    std::atomic<bool> cancelled{false};
    CAddressBookStore store(client());
    EXPECT_TRUE(store.Run(cancelled, {}));
    EXPECT_EQ(client().Sequence(), sequence);

    // And restoring an empty server copy succeeds and changes nothing.
    CAddressBookRestore restore(client());
    EXPECT_TRUE(restore.Run({}));
    EXPECT_TRUE(AppState().ContactList.empty());
}

TEST_F(AddressBookSyncTest, ContactTooLargeForAnyPacketEndsTheStoreNamingIt) {
    LogInFresh();
    CRelData huge;
    for (const FieldSpec& f : kRelFields) std::memset(FieldPtr(&huge, f), 'x', f.width - 1);
    SetFieldUtf8(huge.RelName, "超长联系人");
    SetField(huge.MobilePhone1, "13900000000");
    ASSERT_TRUE(CDataAccess().SaveContact(huge));
    ASSERT_TRUE(CDataAccess().SaveContact(MakeContact(1)));

    std::atomic<bool> cancelled{false};
    CAddressBookStore store(client());
    EXPECT_FALSE(store.Run(cancelled, {}));
    EXPECT_NE(store.FailureMessage().find("超长联系人"), std::string::npos)
        << store.FailureMessage();
}

TEST_F(AddressBookSyncTest, RestoreThatBreaksOffKeepsWhatArrived) {
    LogInFresh();
    std::vector<CRelData> contacts;
    for (int i = 0; i < 600; ++i) contacts.push_back(MakeContact(i));
    MergeContacts(contacts);
    std::atomic<bool> cancelled{false};
    ASSERT_TRUE(CAddressBookStore(client()).Run(cancelled, {}));

    CAddressBookRestore restore(client());
    bool killed = false;
    EXPECT_FALSE(restore.Run([&](int) {
        if (!killed) server().Kill();
        killed = true;
    }));
    EXPECT_EQ(restore.FailureMessage(), "(1A)无法连接远程服务器");
    const int arrived = restore.MergeOutcome().total;
    EXPECT_GT(arrived, 0);
    EXPECT_LT(arrived, 600);
    EXPECT_EQ(restore.MergeOutcome().stored, arrived);
}

// A merge fed in pieces commits batch by batch and counts what it was given in all.
TEST_F(AddressBookSyncTest, AMergeFedInPiecesStoresEveryPiece) {
    std::vector<CRelData> contacts;
    for (int i = 0; i < 4500; ++i) {
        CRelData rel;
        SetField(rel.RelName, "piece" + std::to_string(i));
        SetField(rel.MobilePhone1, std::to_string(i % 3000));
        SetFieldUtf8(rel.GroupName, i % 2 ? "同事" : "");
        contacts.push_back(rel);
    }
    CContactMerger merger;
    std::span<const CRelData> all(contacts);
    EXPECT_TRUE(merger.Add(all.subspan(0, 1000)));
    EXPECT_TRUE(merger.Add(all.subspan(1000, 3000)));
    EXPECT_TRUE(merger.Add({}));
    EXPECT_TRUE(merger.Add(all.subspan(4000)));
    const CMergeOutcome outcome = merger.Finish();
    EXPECT_EQ(outcome.total, 4500);
    EXPECT_EQ(outcome.stored, 4500);
    EXPECT_TRUE(outcome.Complete());
    EXPECT_EQ(LastMergeOutcome().stored, 4500);
    std::vector<CRelData> back;
    EXPECT_EQ(CDataAccess().LoadContacts(back), 4500);
    EXPECT_GE(CDataAccess::FindGroup(AppState().GroupNames, Utf8ToGbk("同事")), 0);
}

TEST_F(AddressBookSyncTest, MergeAddsMissingGroupsAndOverwritesByKey) {
    LogInFresh();
    CRelData a = MakeContact(3);  // group 同事
    CRelData b = MakeContact(4);
    SetFieldUtf8(b.GroupName, "全部");
    ASSERT_EQ(MergeContacts({a, b}), 2);
    std::vector<std::string> groups;
    CDataAccess().LoadGroups(groups);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(GbkToUtf8(groups[1]), "同事");

    SetFieldUtf8(a.RelRemark, "新的备注");
    ASSERT_EQ(MergeContacts({a}), 1);
    std::vector<CRelData> all;
    EXPECT_EQ(CDataAccess().LoadContacts(all), 2);
    CRelData loaded;
    ASSERT_TRUE(CDataAccess().LoadContact(FieldText(a.RelName), FieldText(a.MobilePhone1), loaded));
    EXPECT_EQ(FieldUtf8(loaded.RelRemark), "新的备注");
}
