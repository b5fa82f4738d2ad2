// kavoctl on a full disk, a busy or damaged database, and a store that would shrink the
// server's address book: every outcome is told as it is, with exit status 1 for anything
// short of complete.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <thread>

#include "codecs/gbk_text.h"
#include "kavoctl_process.h"
#include "server_runner.h"
#include "store_faults.h"

namespace kavo::test {
namespace {

// A CSV file of `count` contacts, numbered from `from`.
void WriteCsv(const std::string& path, int count, int from = 0) {
    std::string text = "姓名,移动电话(公),工作地址,备注\r\n";
    for (int i = from; i < from + count; ++i)
        text += "\"联系人" + std::to_string(i) + "\",\"139" + std::to_string(10000000 + i) +
                "\",\"北京市海淀区中关村大街" + std::to_string(i) + "号\",\"第" +
                std::to_string(i) + "位联系人的备注，写得长一些\"\r\n";
    std::ofstream(path, std::ios::binary) << Utf8ToGbk(text);
}

class KavoctlFaults : public ::testing::Test {
protected:
    void StartServer() {
        server_ = std::make_unique<ServerRunner>();
        ASSERT_TRUE(server_->Start({"--max-contacts", "100000"})) << server_->error();
    }
    std::string NewDir() {
        dirs_.push_back(std::make_unique<TempDir>());
        return Prepare(dirs_.back()->path());
    }
    std::string Prepare(const std::string& dir) {
        std::ofstream(dir + "/KAVO.cfg")
            << "<?xml version=\"1.0\"?>\n<Kavo><IP SvrIP0=\"127.0.0.1\" "
               "SvrIP1=\"\" SvrIP2=\"\"/></Kavo>\n";
        return dir;
    }
    CliResult Run(const std::string& dir, std::vector<std::string> rest,
                  const std::string& user = "keeper") {
        std::vector<std::string> args{"--dir", dir};
        if (server_) {
            args.insert(args.end(), {"--login-port", std::to_string(server_->loginPort()),
                                     "--service-port", std::to_string(server_->servicePort())});
        }
        if (!user.empty()) args.insert(args.end(), {"-u", user, "-p", "pw"});
        args.insert(args.end(), rest.begin(), rest.end());
        return RunKavoctl(args);
    }
    // A user whose book of `count` contacts is stored on the server; returns its directory.
    std::string StoredBook(int count) {
        const std::string dir = NewDir();
        EXPECT_EQ(Run(dir, {"register"}).status, 0);
        WriteCsv(dir + "/book.csv", count);
        EXPECT_EQ(Run(dir, {"import-csv", dir + "/book.csv"}).status, 0);
        EXPECT_EQ(Run(dir, {"store"}).status, 0);
        return dir;
    }
    // How many contacts the server holds for the user: restored into a fresh directory.
    int ServerBook() {
        const std::string dir = NewDir();
        if (Run(dir, {"restore"}).status != 0) return -1;
        return RawContactCount(dir + "/KAVO.kavo");
    }

    std::unique_ptr<ServerRunner> server_;
    std::vector<std::unique_ptr<TempDir>> dirs_;
};

#define EXPECT_FAILS_WITH(expr, text)                                          \
    do {                                                                       \
        const CliResult failed_ = (expr);                                      \
        EXPECT_EQ(failed_.status, 1) << failed_.out << failed_.err;            \
        EXPECT_NE(failed_.err.find(text), std::string::npos) << failed_.err;   \
        EXPECT_EQ(failed_.out.find("完成"), std::string::npos) << failed_.out; \
    } while (0)

TEST_F(KavoctlFaults, ADamagedDatabaseIsReportedByCheckAndNeverUploaded) {
    StartServer();
    const std::string dir = StoredBook(1000);
    CliResult r = Run(dir, {"check"}, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "本地数据库完好。\n");

    ASSERT_TRUE(DamageMiddlePage(dir + "/KAVO.kavo"));
    EXPECT_FAILS_WITH(Run(dir, {"check"}, ""), "本地数据库已损坏(");
    EXPECT_FAILS_WITH(Run(dir, {"contacts"}), "本地数据库已损坏(");
    EXPECT_FAILS_WITH(Run(dir, {"store", "--force"}), "本地数据库已损坏(");
    EXPECT_EQ(ServerBook(), 1000);
}

TEST_F(KavoctlFaults, AStoreThatWouldShrinkTheServersBookNeedsForce) {
    StartServer();
    StoredBook(40);
    const std::string dir = NewDir();
    WriteCsv(dir + "/few.csv", 10, 100);
    ASSERT_EQ(Run(dir, {"import-csv", dir + "/few.csv"}).status, 0);
    EXPECT_FAILS_WITH(Run(dir, {"store"}), "是否用本地的10个联系人替换服务器上的40个联系人?");
    EXPECT_EQ(ServerBook(), 40);
    CliResult r = Run(dir, {"--force", "store"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "储存通讯录完成!\n");
    EXPECT_EQ(ServerBook(), 10);
}

TEST_F(KavoctlFaults, AnImportIntoAFileThatCannotBeWrittenSaysSo) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Run(dir, {"register"}).status, 0);
    WriteCsv(dir + "/few.csv", 30);
    ASSERT_TRUE(CheckpointDatabase(dir + "/KAVO.kavo"));
    UnwritableFile readOnly(dir + "/KAVO.kavo");
    if (!readOnly.ok()) GTEST_SKIP() << "the file system here has no immutable flag";
    EXPECT_FAILS_WITH(Run(dir, {"import-csv", dir + "/few.csv"}),
                      "只保存了0个联系人(共30个)，原因：本地数据库是只读的");
}

TEST_F(KavoctlFaults, ImportAndRestoreOnAFullDiskSayHowManyWereStored) {
    SmallTmpfs disk(2 << 20);
    if (!disk.ok()) GTEST_SKIP() << "mounting a tmpfs needs root";
    StartServer();
    const std::string home = StoredBook(20000);
    const std::string full = Prepare(disk.path());

    CliResult r = Run(full, {"import-csv", home + "/book.csv"});
    EXPECT_FAILS_WITH(r, "个联系人(共20000个)，原因：磁盘空间已满");
    const int kept = RawContactCount(full + "/KAVO.kavo");
    EXPECT_NE(r.err.find("只保存了" + std::to_string(kept) + "个"), std::string::npos) << r.err;
    EXPECT_LT(kept, 20000);

    EXPECT_FAILS_WITH(Run(full, {"restore"}), "(共20000个)，原因：磁盘空间已满");
    EXPECT_LT(RawContactCount(full + "/KAVO.kavo"), 20000);
}

TEST_F(KavoctlFaults, ARestoreWaitsForABusyDatabaseThenSaysItIsBusy) {
    StartServer();
    StoredBook(50);
    const std::string dir = NewDir();
    ASSERT_EQ(Run(dir, {"groups"}).status, 0);
    // Another program takes the write lock for longer than kavoctl waits, twice over (the
    // login's own write waits too, and fails without stopping the login).
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/KAVO.kavo").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::seconds(15));
        sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close(other);
    });
    CliResult r = Run(dir, {"restore"});
    release.join();
    EXPECT_FAILS_WITH(r, "只保存了0个联系人(共50个)，原因：本地数据库正被其它程序占用");
    EXPECT_EQ(RawContactCount(dir + "/KAVO.kavo"), 0);
}

}  // namespace
}  // namespace kavo::test
