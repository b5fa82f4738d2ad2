// The start-up of the store: the file, its migration and the reset of stale logins.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "store/batch_scope.h"
#include "store_fixture.h"

namespace kavo::test {
namespace {

// Our own executable's base name: the tests count copies of themselves.
std::string SelfName() {
    return std::filesystem::read_symlink("/proc/self/exe").filename().string();
}

// A name no process has: start-up then runs as the only copy, even while other copies of
// these tests run beside us.
const std::vector<std::string> kAlone{"no-such-program-here"};

class StartupTest : public StoreTest {};

TEST_F(StartupTest, AMissingFileIsCreatedEmpty) {
    ASSERT_FALSE(std::filesystem::exists(DbPath()));
    ASSERT_TRUE(StartLocalStore({SelfName()}));
    EXPECT_TRUE(std::filesystem::exists(DbPath()));
    CDataAccess da;
    std::vector<CUserData> users;
    da.LoadUserList(users);
    EXPECT_TRUE(users.empty());
    std::vector<CRelData> contacts;
    EXPECT_EQ(da.LoadContacts(contacts), 0);
    std::vector<std::string> groups;
    EXPECT_EQ(da.LoadGroups(groups), 1);
    EXPECT_EQ(RawQuery("pragma journal_mode"), "wal");
    // A new file gets large pages; an older file keeps the size its pages have.
    EXPECT_EQ(RawQuery("pragma page_size"), "16384");
}

TEST_F(StartupTest, AnOlderFileGetsLoginStateOnceAndKeepsItsRows) {
    RawExec(
        "create table KAVO_USER(UserName text, UserPwd text, UserEmail text, LastTime datetime);"
        "insert into KAVO_USER values('old','(null)','o@x','2020-01-01 00:00:00');"
        "create table KAVO_RELATION(UserName text, RelName text, MobilePhone1 text, QQ text);"
        "insert into KAVO_RELATION values('old','Friend','1','42');");
    ASSERT_TRUE(StartLocalStore(kAlone));
    EXPECT_EQ(RawQuery("select LoginState from KAVO_USER"), "0");
    // A second start fails the migration harmlessly.
    CloseConnection();
    ASSERT_TRUE(StartLocalStore({SelfName()}));
    EXPECT_EQ(
        RawQuery("select count(*) from pragma_table_info('KAVO_USER') where name='LoginState'"),
        "1");

    CDataAccess da(Gbk("old"));
    std::vector<CUserData> users;
    da.LoadUserList(users);
    ASSERT_EQ(users.size(), 1u);
    EXPECT_EQ(FieldText(users[0].UserEmail), "o@x");
    // Columns the older table lacks read as empty fields.
    CRelData rel;
    ASSERT_TRUE(da.LoadContact("Friend", "1", rel));
    EXPECT_EQ(FieldText(rel.QQ), "42");
    EXPECT_EQ(FieldText(rel.RelRemark), "");
    // The missing groups table was added.
    ASSERT_TRUE(da.AddGroup("g"));
    EXPECT_EQ(RawQuery("pragma page_size"), "4096");
}

TEST_F(StartupTest, OnlyTheOnlyRunningCopyClearsStaleLogins) {
    ASSERT_TRUE(StartLocalStore({SelfName()}));
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("busy", "pw", "", 2));
    CloseConnection();

    // Another copy of this program runs: the login stays.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    EXPECT_GE(CountProcesses({SelfName()}), 2);
    ASSERT_TRUE(StartLocalStore({SelfName()}));
    EXPECT_TRUE(da.IsUserLoggedIn("busy"));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);

    // Alone: a login left by a copy that died is cleared.
    CloseConnection();
    ASSERT_TRUE(StartLocalStore(kAlone));
    EXPECT_FALSE(da.IsUserLoggedIn("busy"));
}

TEST_F(StartupTest, ProcessesAreCountedByNameWithoutLetterCase) {
    std::string upper = SelfName();
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_GE(CountProcesses({upper}), 1);
    EXPECT_EQ(CountProcesses({"no-such-program-here"}), 0);
    // The default names are the windowed program and the command-line tool.
    EXPECT_EQ(DefaultProcessNames(), (std::vector<std::string>{"kavo", "kavoctl"}));
}

TEST_F(StartupTest, AnUnusableDirectoryFailsEveryOperationQuietly) {
    SetProgramDir(dir_ + "/missing/sub");
    EXPECT_EQ(GetDatabasePath(), dir_ + "/missing/sub/KAVO.kavo");
    EXPECT_FALSE(StartLocalStore({SelfName()}));
    CDataAccess da;
    EXPECT_FALSE(da.SaveUser("u", "p", "", 0));
    std::vector<CUserData> users;
    da.LoadUserList(users);
    EXPECT_TRUE(users.empty());
    std::vector<CRelData> contacts;
    EXPECT_EQ(da.LoadContacts(contacts), 0);
    EXPECT_EQ(da.GetUserPassword("u"), "");
    CBatchScope batch;
    EXPECT_FALSE(batch.IsActive());
}

TEST_F(StartupTest, ProgramDirDefaultsToTheExecutablesDirectory) {
    SetProgramDir({});
    std::string exeDir =
        std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
    EXPECT_EQ(GetProgramDir(), exeDir);
    SetProgramDir("/some/where");
    EXPECT_EQ(GetProgramDir(), "/some/where/");
}

TEST_F(StartupTest, ACrashInTheMiddleOfAMergeKeepsEveryCommittedContact) {
    ASSERT_TRUE(StartLocalStore({SelfName()}));
    CloseConnection();
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child merges: one batch committed, the next one dies half-way.
        CDataAccess da;
        CBatchScope batch;
        for (int i = 0; i < 500; ++i) da.SaveContact(Contact("c" + std::to_string(i), "1"));
        batch.Commit();
        for (int i = 500; i < 800; ++i) da.SaveContact(Contact("c" + std::to_string(i), "1"));
        _exit(7);  // no commit, no clean close
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 7);
    EXPECT_EQ(RawQuery("pragma integrity_check"), "ok");
    CDataAccess da;
    std::vector<CRelData> list;
    EXPECT_EQ(da.LoadContacts(list), 500);
    EXPECT_TRUE(da.ContactExists("c499", "1"));
    EXPECT_FALSE(da.ContactExists("c500", "1"));
}

}  // namespace
}  // namespace kavo::test
