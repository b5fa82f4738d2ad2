// The store under real faults: a damaged page, another program holding the write lock, a
// file that cannot be written, and the login lock of a copy that was killed.
#include "store_faults.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "store/batch_scope.h"
#include "store/login_lock.h"
#include "store/store_health.h"
#include "store_fixture.h"

namespace kavo::test {
namespace {

class StoreFaultTest : public StoreTest {
protected:
    void TearDown() override {
        SetStoreBusyTimeout(5000);
        SetLocalStoreDamage(false);
        ReleaseLoginLock();
        StoreTest::TearDown();
    }

    void FillBook(int count) {
        CDataAccess store;
        CBatchScope batch;
        for (int i = 0; i < count; ++i)
            ASSERT_TRUE(store.SaveContact(
                Contact("联系人" + std::to_string(i), "139" + std::to_string(10000000 + i))));
        ASSERT_TRUE(batch.Finish());
    }
};

// Another program's connection holding the write lock, as long as the object lives.
class WriteLockHolder {
public:
    explicit WriteLockHolder(const std::string& path) {
        sqlite3_open(path.c_str(), &db_);
        held_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLockHolder() { Release(); }
    void Release() {
        if (db_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(db_);
        db_ = nullptr;
    }
    bool held() const { return held_; }

private:
    sqlite3* db_ = nullptr;
    bool held_ = false;
};

TEST_F(StoreFaultTest, ADamagedPageIsFoundAtStartAndTheFileCanBeSetAside) {
    FillBook(1000);
    ASSERT_TRUE(StartLocalStore({}));
    EXPECT_FALSE(LocalStoreDamaged());
    std::vector<CRelData> all;
    StoreFault fault = StoreFault::kOther;
    EXPECT_TRUE(LoadAllContactsChecked(all, fault));
    EXPECT_EQ(all.size(), 1000u);

    CloseConnection();
    ASSERT_TRUE(DamageMiddlePage(DbPath()));
    EXPECT_FALSE(StartLocalStore({}));
    EXPECT_TRUE(LocalStoreDamaged());
    EXPECT_FALSE(LocalStoreDamage().empty());
    std::string detail;
    EXPECT_FALSE(CheckDatabase(&detail));
    EXPECT_FALSE(detail.empty());

    const std::string aside = SetDamagedDatabaseAside();
    ASSERT_FALSE(aside.empty());
    EXPECT_TRUE(std::filesystem::exists(aside));
    EXPECT_FALSE(LocalStoreDamaged());
    ASSERT_TRUE(StartLocalStore({}));
    EXPECT_TRUE(CheckDatabase());
    EXPECT_TRUE(LoadAllContactsChecked(all, fault));
    EXPECT_TRUE(all.empty());
}

// A large address book is read in two passes inside one read transaction; a damaged page
// met in either must still fail the check, not pass for a shorter book.
TEST_F(StoreFaultTest, ADamagedPageInALargeBookFailsTheCheckedLoad) {
    FillBook(3000);
    std::vector<CRelData> all;
    StoreFault fault = StoreFault::kOther;
    ASSERT_TRUE(LoadAllContactsChecked(all, fault));
    ASSERT_EQ(all.size(), 3000u);
    CloseConnection();
    ASSERT_TRUE(DamageMiddlePage(DbPath()));
    ASSERT_TRUE(OpenConnection(DbPath()));
    all.clear();
    EXPECT_FALSE(LoadAllContactsChecked(all, fault));
    EXPECT_NE(fault, StoreFault::kNone);
}

TEST_F(StoreFaultTest, AWriterWaitsForAnotherProgramsLockThenReportsBusy) {
    FillBook(1);
    SetStoreBusyTimeout(200);
    {
        WriteLockHolder other(DbPath());
        ASSERT_TRUE(other.held());
        CBatchScope batch;
        EXPECT_FALSE(batch.IsActive());
        EXPECT_EQ(LastStoreFault(), StoreFault::kBusy);
        EXPECT_FALSE(CDataAccess().SaveContact(Contact("王五", "13900000001")));
        EXPECT_EQ(LastStoreFault(), StoreFault::kBusy);
    }
    // A lock given up within the wait is waited for, not reported.
    SetStoreBusyTimeout(5000);
    auto other = std::make_unique<WriteLockHolder>(DbPath());
    ASSERT_TRUE(other->held());
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        other->Release();
    });
    EXPECT_TRUE(CDataAccess().SaveContact(Contact("王五", "13900000001")));
    release.join();
    EXPECT_EQ(RawCount("KAVO_RELATION"), 2);
}

TEST_F(StoreFaultTest, AFileThatCannotBeWrittenFailsAsReadOnly) {
    FillBook(3);
    CloseConnection();
    ASSERT_TRUE(CheckpointDatabase(DbPath()));
    {
        UnwritableFile readOnly(DbPath());
        if (!readOnly.ok()) GTEST_SKIP() << "the file system here has no immutable flag";
        EXPECT_FALSE(CDataAccess().SaveContact(Contact("王五", "13900000001")));
        EXPECT_EQ(LastStoreFault(), StoreFault::kReadOnly);
        CloseConnection();
    }
    EXPECT_EQ(RawCount("KAVO_RELATION"), 3);
}

TEST_F(StoreFaultTest, TheLoginLockDiesWithItsHolder) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const std::string user = Gbk("张三");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        char ok = HoldLoginLock(user) ? 'y' : 'n';
        [[maybe_unused]] ssize_t w = write(ready[1], &ok, 1);
        for (;;) pause();
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EXPECT_TRUE(IsLoginLockHeld(user));
    EXPECT_FALSE(HoldLoginLock(user));
    EXPECT_FALSE(IsLoginLockHeld(Gbk("李四")));

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(IsLoginLockHeld(user));
    EXPECT_TRUE(HoldLoginLock(user));
    EXPECT_TRUE(IsLoginLockHeld(user));  // this process counts as a live holder too
    ReleaseLoginLock();
    EXPECT_FALSE(IsLoginLockHeld(user));
}

}  // namespace
}  // namespace kavo::test
