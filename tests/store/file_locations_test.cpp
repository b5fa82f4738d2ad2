// Where the files lie in a build tree, a portable copy, a chosen folder and an installation,
// and that the database is private to its user.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "store/private_file.h"
#include "store_fixture.h"

namespace kavo::test {
namespace {

namespace fs = std::filesystem;

void Touch(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path) << "<Kavo/>\n";
}

int Mode(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

class FileLocationsTest : public StoreTest {
protected:
    // An installation under dir_/usr with a user's home under dir_/home.
    CLocationInputs Installed() {
        CLocationInputs in;
        in.programDir = dir_ + "/usr/bin/";
        in.programDirWritable = false;
        in.home = dir_ + "/home";
        in.systemConfigDir = dir_ + "/etc/kavo";
        return in;
    }
};

TEST_F(FileLocationsTest, AWritableProgramFolderKeepsEverythingBesideTheProgram) {
    CLocationInputs in;
    in.programDir = dir_ + "/build/bin";
    in.programDirWritable = true;
    in.home = dir_ + "/home";
    CFileLocations where = ResolveFileLocations(in);
    EXPECT_FALSE(where.installed);
    EXPECT_FALSE(where.userFolder);
    EXPECT_EQ(where.dataDir, dir_ + "/build/bin/");
    EXPECT_EQ(where.configPath, dir_ + "/build/bin/KAVO.cfg");
    EXPECT_EQ(where.libraryDir, dir_ + "/build/bin/");

    // A chosen folder holds the database and the server list, not the library.
    in.chosenDir = dir_ + "/mine";
    where = ResolveFileLocations(in);
    EXPECT_EQ(where.dataDir, dir_ + "/mine/");
    EXPECT_EQ(where.configPath, dir_ + "/mine/KAVO.cfg");
    EXPECT_EQ(where.libraryDir, dir_ + "/build/bin/");
}

TEST_F(FileLocationsTest, InstalledTheFilesGoToTheUsersFoldersAndTheServerListIsSearched) {
    CLocationInputs in = Installed();
    CFileLocations where = ResolveFileLocations(in);
    EXPECT_TRUE(where.installed);
    EXPECT_TRUE(where.userFolder);
    EXPECT_EQ(where.dataDir, dir_ + "/home/.local/share/kavo/");
    EXPECT_EQ(where.libraryDir, dir_ + "/usr/lib/kavo/");
    // No list anywhere: the installed one is named, and the built-in list takes over.
    EXPECT_EQ(where.configPath, dir_ + "/usr/share/kavo/KAVO.cfg");

    const std::string user = dir_ + "/home/.config/kavo/KAVO.cfg";
    const std::string system = dir_ + "/etc/kavo/KAVO.cfg";
    const std::string shipped = dir_ + "/usr/share/kavo/KAVO.cfg";
    for (const std::string& path : {user, system, shipped}) Touch(path);
    EXPECT_EQ(ResolveFileLocations(in).configPath, user);
    fs::remove(user);
    EXPECT_EQ(ResolveFileLocations(in).configPath, system);
    fs::remove(system);
    EXPECT_EQ(ResolveFileLocations(in).configPath, shipped);

    // The XDG folders, when set, replace the ones under the home folder.
    in.xdgDataHome = dir_ + "/data";
    in.xdgConfigHome = dir_ + "/config";
    Touch(dir_ + "/config/kavo/KAVO.cfg");
    where = ResolveFileLocations(in);
    EXPECT_EQ(where.dataDir, dir_ + "/data/kavo/");
    EXPECT_EQ(where.configPath, dir_ + "/config/kavo/KAVO.cfg");

    // kavoctl --dir overrides all of it.
    in.chosenDir = dir_ + "/mine/";
    where = ResolveFileLocations(in);
    EXPECT_EQ(where.dataDir, dir_ + "/mine/");
    EXPECT_FALSE(where.userFolder);
    EXPECT_EQ(where.configPath, dir_ + "/mine/KAVO.cfg");
    EXPECT_EQ(where.libraryDir, dir_ + "/usr/lib/kavo/");
}

TEST_F(FileLocationsTest, AWritableInstallationStillKeepsItsFilesOutOfBin) {
    // Root may write to /usr/bin; the installed server list in share/ tells it apart.
    CLocationInputs in = Installed();
    in.programDirWritable = true;
    EXPECT_FALSE(ResolveFileLocations(in).installed);
    Touch(dir_ + "/usr/share/kavo/KAVO.cfg");
    CFileLocations where = ResolveFileLocations(in);
    EXPECT_TRUE(where.installed);
    EXPECT_EQ(where.dataDir, dir_ + "/home/.local/share/kavo/");
}

TEST_F(FileLocationsTest, TheDatabaseAndItsJournalFilesArePrivate) {
    const mode_t old = umask(022);
    ASSERT_TRUE(StartLocalStore({"no-such-program-here"}));
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("alice", "secret", "", 0));
    EXPECT_EQ(Mode(DbPath()), 0600);
    EXPECT_EQ(Mode(DbPath() + "-wal"), 0600);
    EXPECT_EQ(Mode(DbPath() + "-shm"), 0600);
    EXPECT_EQ(TakeTightenedDatabase(), "");
    CloseConnection();

    // An older copy left it readable by everybody: the next open closes it, and says so once.
    for (const char* suffix : {"", "-wal", "-shm"}) {
        if (Mode(DbPath() + suffix) >= 0) {
            ASSERT_EQ(::chmod((DbPath() + suffix).c_str(), 0644), 0);
        }
    }
    ASSERT_TRUE(StartLocalStore({"no-such-program-here"}));
    EXPECT_EQ(Mode(DbPath()), 0600);
    for (const char* suffix : {"-wal", "-shm"}) {
        if (Mode(DbPath() + suffix) >= 0) {
            EXPECT_EQ(Mode(DbPath() + suffix), 0600) << suffix;
        }
    }
    EXPECT_EQ(TakeTightenedDatabase(), DbPath());
    EXPECT_EQ(TakeTightenedDatabase(), "");
    CloseConnection();
    ASSERT_TRUE(StartLocalStore({"no-such-program-here"}));
    EXPECT_EQ(TakeTightenedDatabase(), "");
    EXPECT_EQ(da.GetUserPassword("alice"), "secret");
    umask(old);

    // What is not a regular file is left as it is.
    ASSERT_EQ(::mkdir((dir_ + "/folder").c_str(), 0755), 0);
    EXPECT_NE(MakePrivateFile(dir_ + "/folder"), PrivateFile::kTightened);
    EXPECT_EQ(Mode(dir_ + "/folder"), 0755);
    EXPECT_EQ(MakePrivateFile(dir_ + "/missing/KAVO.kavo"), PrivateFile::kFailed);
}

TEST_F(FileLocationsTest, AnotherUsersCopyIsNotCountedAsRunningHere) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run a copy as another user";
    // A program of a name nobody else runs, that the other user may start.
    const std::string name = "kavo-copy-" + std::to_string(getpid());
    const std::string program = dir_ + "/" + name;
    fs::copy_file("/bin/sleep", program);
    ASSERT_EQ(::chmod(dir_.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);

    auto start = [&](bool otherUser) {
        pid_t child = fork();
        if (child == 0) {
            if (otherUser &&
                (setresgid(65534, 65534, 65534) != 0 || setresuid(65534, 65534, 65534) != 0))
                _exit(1);
            execl(program.c_str(), name.c_str(), "30", static_cast<char*>(nullptr));
            _exit(1);
        }
        return child;
    };
    // Counted once it runs the program (the exec has happened when its name shows).
    auto waitFor = [&](int count) {
        for (int i = 0; i < 500 && CountProcesses({name}) != count; ++i) usleep(10000);
        return CountProcesses({name});
    };
    pid_t mine = start(false);
    ASSERT_GT(mine, 0);
    EXPECT_EQ(waitFor(1), 1);
    pid_t theirs = start(true);
    ASSERT_GT(theirs, 0);
    // The other user's copy runs (its /proc entry names the program) but is not counted.
    const std::string shown = name.substr(0, 15);  // the kernel's cut of the name
    std::string comm;
    for (int i = 0; i < 500 && comm != shown; ++i) {
        std::ifstream in("/proc/" + std::to_string(theirs) + "/comm");
        std::getline(in, comm);
        if (comm != shown) usleep(10000);
    }
    EXPECT_EQ(comm, shown);
    EXPECT_EQ(CountProcesses({name}), 1);
    for (pid_t child : {mine, theirs}) {
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
    }
}

}  // namespace
}  // namespace kavo::test
