// Merges, stores and restores that meet a full disk, a busy or damaged database, or a
// cancel: each says how much it stored and why, and the server's book never shrinks
// from a bad local copy unasked.
#include "store_faults.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"
#include "workflows/session.h"

using namespace kavo;
using kavo::test::SessionTest;

namespace {

std::vector<CRelData> MakeContacts(int count, int from = 0) {
    std::vector<CRelData> list;
    list.reserve(static_cast<std::size_t>(count));
    for (int i = from; i < from + count; ++i) {
        CRelData& rel = list.emplace_back();
        SetFieldUtf8(rel.RelName, "联系人" + std::to_string(i));
        SetField(rel.MobilePhone1, "139" + std::to_string(10000000 + i));
        SetFieldUtf8(rel.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i) + "号");
        SetFieldUtf8(rel.RelRemark, "备注：第" + std::to_string(i) + "位，一段足够长的说明文字");
        SetFieldUtf8(rel.GroupName, i % 7 == 0 ? "同事" : "");
    }
    return list;
}

class StoreFaultFlowTest : public SessionTest {
protected:
    void TearDown() override {
        SetStoreBusyTimeout(5000);
        SetLocalStoreDamage(false);
        SessionTest::TearDown();
    }
    void LogInFresh() {
        StartServer(false);
        ASSERT_TRUE(Register("faulty", "pw"));
        ASSERT_TRUE(LogIn("faulty", "pw"));
    }
    int ServerCount() {
        std::uint32_t count = 0;
        EXPECT_TRUE(client().ContactCount(count));
        return static_cast<int>(count);
    }
    bool StoreAll() {
        std::atomic<bool> cancelled{false};
        CAddressBookStore store(client());
        return store.Run(cancelled, {});
    }
    void ExpectShortfall(const CMergeOutcome& merge, StoreFault fault, const char* words) {
        EXPECT_LT(merge.stored, merge.total);
        EXPECT_EQ(merge.fault, fault);
        const std::string message = MergeShortfallMessage(merge);
        EXPECT_NE(message.find("只保存了" + std::to_string(merge.stored) + "个联系人(共" +
                               std::to_string(merge.total) + "个)"),
                  std::string::npos)
            << message;
        EXPECT_NE(message.find(words), std::string::npos) << message;
    }
};

// A database on a tmpfs of its own that fills up during the merge.
class FullDiskTest : public StoreFaultFlowTest {
protected:
    void SetUp() override {
        StoreFaultFlowTest::SetUp();
        disk_ = std::make_unique<test::SmallTmpfs>(2 << 20);
        if (!disk_->ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
        CloseConnection();
        SetProgramDir(disk_->path() + "/");
        ASSERT_TRUE(StartLocalStore({"kavo-no-such-program"}));
        AppState().SetCurrentUser("faulty", "pw");
    }
    void TearDown() override {
        CloseConnection();
        StoreFaultFlowTest::TearDown();
        disk_.reset();
    }
    std::unique_ptr<test::SmallTmpfs> disk_;
};

}  // namespace

TEST_F(FullDiskTest, AMergeOnAFullDiskSaysHowManyOfHowManyAndKeepsThem) {
    const CMergeOutcome merge = MergeContactsChecked(MakeContacts(20000));
    EXPECT_EQ(merge.total, 20000);
    ExpectShortfall(merge, StoreFault::kDiskFull, msg::kFaultDiskFull);
    EXPECT_EQ(LastMergeOutcome().stored, merge.stored);
    CloseConnection();
    // Exactly what the merge counted is in the file, and the file is sound.
    EXPECT_EQ(test::RawContactCount(GetDatabasePath()), merge.stored);
    EXPECT_TRUE(CheckDatabase());
}

TEST_F(StoreFaultFlowTest, AFileSizeLimitEndsTheMergeWithWhatWasCommitted) {
    // The same fault without root: the kernel refuses to let the files grow.
    AppState().SetCurrentUser("faulty", "pw");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1 << 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const CMergeOutcome merge = MergeContactsChecked(MakeContacts(20000));
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(IsFatalStoreFault(merge.fault));
    ExpectShortfall(merge, merge.fault, StoreFaultText(merge.fault));
    CloseConnection();
    EXPECT_EQ(test::RawContactCount(GetDatabasePath()), merge.stored);
}

TEST_F(StoreFaultFlowTest, ABusyDatabaseStoresNothingAndSaysSo) {
    AppState().SetCurrentUser("faulty", "pw");
    SetStoreBusyTimeout(300);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(GetDatabasePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const auto start = std::chrono::steady_clock::now();
    const CMergeOutcome merge = MergeContactsChecked(MakeContacts(500));
    const auto waited = std::chrono::steady_clock::now() - start;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(merge.stored, 0);
    ExpectShortfall(merge, StoreFault::kBusy, msg::kFaultBusy);
    // Waited once for the lock, not once per contact.
    EXPECT_LT(waited, std::chrono::seconds(5));
    EXPECT_EQ(test::RawContactCount(GetDatabasePath()), 0);
}

TEST_F(StoreFaultFlowTest, ADamagedDatabaseIsNeverUploaded) {
    LogInFresh();
    ASSERT_TRUE(MergeContactsChecked(MakeContacts(1000)).Complete());
    ASSERT_TRUE(StoreAll());
    ASSERT_EQ(ServerCount(), 1000);

    CloseConnection();
    ASSERT_TRUE(test::DamageMiddlePage(GetDatabasePath()));
    EXPECT_FALSE(StartLocalStore({"kavo-no-such-program"}));
    ASSERT_TRUE(LocalStoreDamaged());

    const CStorePlan plan = PrepareStore(client());
    EXPECT_EQ(plan.readiness, StoreReadiness::kDamaged);
    EXPECT_EQ(plan.message, msg::kStoreRefusedDamaged);
    std::atomic<bool> cancelled{false};
    CAddressBookStore store(client());
    EXPECT_FALSE(store.Run(cancelled, {}));
    EXPECT_EQ(store.FailureMessage(), msg::kStoreRefusedDamaged);
    EXPECT_EQ(ServerCount(), 1000);
}

TEST_F(StoreFaultFlowTest, AStoreThatWouldShrinkTheServersBookSharplyAsksFirst) {
    LogInFresh();
    ASSERT_TRUE(MergeContactsChecked(MakeContacts(100)).Complete());
    ASSERT_TRUE(StoreAll());
    CDataAccess local;
    for (const CRelData& rel : MakeContacts(50))
        ASSERT_TRUE(local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1)));

    CStorePlan plan = PrepareStore(client());
    EXPECT_EQ(plan.readiness, StoreReadiness::kReady);  // 50 of 100: not below half
    for (const CRelData& rel : MakeContacts(41, 50))
        ASSERT_TRUE(local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1)));
    plan = PrepareStore(client());
    EXPECT_EQ(plan.readiness, StoreReadiness::kShrinks);
    EXPECT_EQ(plan.local, 9);
    EXPECT_EQ(plan.server, 100);
    EXPECT_EQ(plan.message, "是否用本地的9个联系人替换服务器上的100个联系人?");
    EXPECT_EQ(ServerCount(), 100);

    // An empty book is never sent, so it replaces nothing and asks nothing.
    for (const CRelData& rel : MakeContacts(9, 91))
        ASSERT_TRUE(local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1)));
    EXPECT_EQ(PrepareStore(client()).readiness, StoreReadiness::kReady);

    // Few contacts on either side never ask.
    EXPECT_FALSE(StoreWouldShrink(0, 19));
    EXPECT_TRUE(StoreWouldShrink(0, 20));
    EXPECT_FALSE(StoreWouldShrink(50, 100));
}

TEST_F(StoreFaultFlowTest, ACancelDuringTheLastBatchReportsWhatTheServerDid) {
    LogInFresh();
    // Each round stores a book of its own size, so the server's count tells which landed.
    for (int round = 0; round < 4; ++round) {
        const int total = 600 + round;
        std::vector<CRelData> all;
        CDataAccess().LoadContacts(all);
        for (const CRelData& rel : all)
            CDataAccess().DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1));
        ASSERT_TRUE(MergeContactsChecked(MakeContacts(total)).Complete());
        client().Close();
        ASSERT_TRUE(Reconnect(client()));
        const int before = ServerCount();

        std::atomic<bool> cancelled{false};
        std::thread canceller;
        int firstBatch = 0;
        CAddressBookStore store(client());
        const bool ok = store.Run(cancelled, [&](int sent) {
            if (firstBatch == 0) firstBatch = sent;
            // The next batch is the last: cancel while it is on its way, as the window's
            // cancel and kavoctl's SIGINT do (the flag, then an abort of the request).
            if (!canceller.joinable() && total - sent <= firstBatch)
                canceller = std::thread([&, round] {
                    std::this_thread::sleep_for(std::chrono::microseconds(300 * round));
                    cancelled = true;
                    client().Abort();
                });
        });
        if (canceller.joinable()) canceller.join();
        client().Close();
        ASSERT_TRUE(Reconnect(client()));
        EXPECT_EQ(ServerCount(), ok ? total : before) << "round " << round;
    }
}
