// kavoctl end to end: the program itself, run as a child process against the real
// kavo-server on loopback, each command in a program directory of its own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "codecs/gbk_text.h"
#include "kavoctl_process.h"
#include "server_runner.h"
#include "store/program_dir.h"

namespace kavo::test {
namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        cells.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos) return cells;
        start = tab + 1;
    }
}

// LoginState of a user in a program directory's users table; -1 when there is no row.
int LoginState(const std::string& dir, const std::string& user) {
    sqlite3* db = nullptr;
    int state = -1;
    if (sqlite3_open_v2((dir + "/KAVO.kavo").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) ==
        SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "SELECT LoginState FROM KAVO_USER WHERE UserName=?", -1, &st,
                               nullptr) == SQLITE_OK) {
            sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
            if (sqlite3_step(st) == SQLITE_ROW) state = sqlite3_column_int(st, 0);
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return state;
}

void SetLoginState(const std::string& dir, const std::string& user, int state) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/KAVO.kavo").c_str(), &db), SQLITE_OK);
    std::string sql = "UPDATE KAVO_USER SET LoginState=" + std::to_string(state) +
                      " WHERE UserName='" + user + "'";
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

// Plants a contact of `user` in a program directory's contacts table.
void AddContact(const std::string& dir, const std::string& user, const std::string& name,
                const std::string& mobile) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir + "/KAVO.kavo").c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(
                  db, "INSERT INTO KAVO_RELATION(UserName, RelName, MobilePhone1) VALUES(?,?,?)",
                  -1, &st, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(st, 1, user.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 2, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(st, 3, mobile.c_str(), -1, SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(st), SQLITE_DONE);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

constexpr const char* kUsageLine = "Usage: kavoctl";

class Kavoctl : public ::testing::Test {
protected:
    void StartServer() {
        server_ = std::make_unique<ServerRunner>();
        ASSERT_TRUE(server_->Start({"--seed-demo"})) << server_->error();
        loginPort_ = server_->loginPort();
        servicePort_ = server_->servicePort();
    }
    void StopServer() { server_->Stop(); }

    // A fresh program directory whose KAVO.cfg names the test server.
    std::string NewDir() {
        dirs_.push_back(std::make_unique<TempDir>());
        const std::string& dir = dirs_.back()->path();
        WriteFile(dir + "/KAVO.cfg",
                  "<?xml version=\"1.0\"?>\n<Kavo><IP SvrIP0=\"127.0.0.1\" SvrIP1=\"\" "
                  "SvrIP2=\"\"/></Kavo>\n");
        return dir;
    }

    std::vector<std::string> Args(const std::string& dir, std::vector<std::string> rest) {
        std::vector<std::string> args{"--dir",          dir,
                                      "--login-port",   std::to_string(loginPort_),
                                      "--service-port", std::to_string(servicePort_)};
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    }
    CliResult Run(const std::string& dir, std::vector<std::string> rest,
                  const std::vector<std::pair<std::string, std::string>>& env = {}) {
        return RunKavoctl(Args(dir, std::move(rest)), {}, env);
    }
    // A command of the demo user.
    CliResult Demo(const std::string& dir, std::vector<std::string> command) {
        std::vector<std::string> rest{"-u", "demo", "-p", "demo123"};
        rest.insert(rest.end(), command.begin(), command.end());
        return Run(dir, rest);
    }

    std::unique_ptr<ServerRunner> server_;
    std::vector<std::unique_ptr<TempDir>> dirs_;
    int loginPort_ = 1;
    int servicePort_ = 1;
};

// Each evaluates its command once.
#define EXPECT_OK(expr)                                 \
    do {                                                \
        const CliResult ok_ = (expr);                   \
        EXPECT_EQ(ok_.status, 0) << ok_.out << ok_.err; \
    } while (0)
#define EXPECT_FAILS(expr, text)                                             \
    do {                                                                     \
        const CliResult failed_ = (expr);                                    \
        EXPECT_EQ(failed_.status, 1) << failed_.out << failed_.err;          \
        EXPECT_NE(failed_.err.find(text), std::string::npos) << failed_.err; \
    } while (0)

TEST_F(Kavoctl, CommandLineMistakesExitWithTwoAndShowTheUsage) {
    const std::string dir = NewDir();
    const std::vector<std::vector<std::string>> mistakes = {
        {},
        {"-u", "demo", "-p", "x", "frobnicate"},
        {"-u", "demo", "-p", "x", "--bogus", "contacts"},
        {"-p", "x", "contacts"},
        {"-u", "demo", "contacts"},
        {"-u", "demo", "-p", "x", "import-csv"},
        {"-u", "demo", "-p", "x", "store", "extra"},
        {"-u", "demo", "-p", "x", "--login-port", "70000", "contacts"},
        {"-u", "demo", "-p"},
    };
    for (const auto& args : mistakes) {
        std::vector<std::string> full{"--dir", dir};
        full.insert(full.end(), args.begin(), args.end());
        CliResult r = RunKavoctl(full);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args) << r.err;
        EXPECT_NE(r.err.find(kUsageLine), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    // Nothing was started for a wrong command line: no database appeared.
    EXPECT_FALSE(std::ifstream(dir + "/KAVO.kavo").good());

    CliResult help = RunKavoctl({"--help"});
    EXPECT_OK(help);
    EXPECT_NE(help.out.find(kUsageLine), std::string::npos);
}

TEST_F(Kavoctl, RegisterStoreAndRestoreIntoAFreshDirectory) {
    StartServer();
    const std::string first = NewDir();
    CliResult r = Run(first, {"-u", "alice", "-p", "pw-1", "register", "alice@example.com"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "注册成功!\n");
    EXPECT_EQ(LoginState(first, "alice"), 0);  // known on this PC, not logged in
    // The same name again is the server's refusal, in its words.
    EXPECT_EQ(Run(first, {"-u", "alice", "-p", "pw-1", "register"}).status, 1);
    EXPECT_FAILS(Run(first, {"-u", "bob", "-p", "", "register"}), "请输入注册密码");

    const std::string csv = first + "/in.csv";
    WriteFile(csv, Utf8ToGbk("姓名,移动电话(公),工作地址,备注\r\n"
                             "\"赵六\",\"13500000001\",\"深圳市, 南山区\",\"同学\"\r\n"
                             "\"钱七\",\"13500000002\",\"\",\"\"\r\n"));
    r = Run(first, {"-u", "alice", "-p", "pw-1", "import-csv", csv});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "导入CSV文件完成! 共导入2个联系人\n");

    r = Run(first, {"-u", "alice", "-p", "pw-1", "store"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "储存通讯录完成!\n");
    EXPECT_NE(r.err.find("正在上传联系人信息，已上传2"), std::string::npos) << r.err;
    EXPECT_EQ(LoginState(first, "alice"), 0);

    const std::string second = NewDir();
    r = Run(second, {"-u", "alice", "-p", "-", "restore"});  // no password given: fails
    EXPECT_EQ(r.status, 1);
    r = RunKavoctl(Args(second, {"-u", "alice", "-p", "-", "restore"}), "pw-1\n");
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "还原通讯录完成!\n");
    EXPECT_NE(r.err.find("正在还原联系人信息，已还原2"), std::string::npos) << r.err;

    CliResult before = Run(first, {"-u", "alice", "-p", "pw-1", "contacts"});
    CliResult after = Run(second, {"-u", "alice", "-p", "pw-1", "contacts"});
    EXPECT_OK(after);
    EXPECT_EQ(after.out, before.out);
    std::vector<std::string> lines = Lines(after.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(Cells(lines[0]).size(), 33u);
    EXPECT_EQ(Cells(lines[0])[0], "RelName");
    EXPECT_NE(after.out.find("深圳市, 南山区"), std::string::npos);
    EXPECT_NE(after.out.find("备注:同学 "), std::string::npos);
    // The password never shows, whatever was printed.
    EXPECT_EQ((before.out + before.err + after.out + after.err).find("pw-1"), std::string::npos);
}

TEST_F(Kavoctl, CsvExportImportsBackToTheSameContacts) {
    StartServer();
    const std::string source = NewDir();
    ASSERT_EQ(Demo(source, {"restore"}).status, 0);
    // A value with a tab, a backslash and a comma, beside the demo contacts.
    const std::string csv = source + "/odd.csv";
    WriteFile(
        csv,
        Utf8ToGbk("姓名,移动电话(公),住宅地址\r\n\"孙八\",\"13600000000\",\"a\tb\\c, d\"\r\n"));
    ASSERT_EQ(Demo(source, {"import-csv", csv}).status, 0);

    const std::string exported = source + "/out.csv";
    CliResult r = Demo(source, {"export-csv", exported});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "导出CSV文件完成! 共导出4个联系人\n");

    const std::string target = NewDir();
    r = Demo(target, {"import-csv", exported});
    EXPECT_OK(r);
    const std::string again = target + "/again.csv";
    ASSERT_EQ(Demo(target, {"export-csv", again}).status, 0);
    EXPECT_EQ(ReadFile(again), ReadFile(exported));

    std::vector<std::string> lines = Lines(Demo(target, {"contacts"}).out);
    ASSERT_EQ(lines.size(), 5u);  // the header and four contacts
    bool found = false;
    for (const std::string& line : lines) found |= line.find("a\\tb\\\\c, d") != std::string::npos;
    EXPECT_TRUE(found) << "tab and backslash escaped in the list";

    EXPECT_FAILS(Demo(target, {"import-csv", target + "/missing.csv"}), "打开CSV文件失败!");
    EXPECT_FAILS(Demo(target, {"export-csv", target + "/no/such/dir/x.csv"}), "导出CSV文件失败!");
}

TEST_F(Kavoctl, CsvImportChoicesDryRunAndRefusals) {
    StartServer();
    const std::string dir = NewDir();
    // A web mail export: UTF-8 without a byte order mark, English titles.
    const std::string csv = dir + "/web.csv";
    WriteFile(csv,
              "Name,Phone,E-mail Address,Notes\r\n"
              "周九,13700000009,zhou@example.com,\"老朋友, 常联系\"\r\n");

    // A dry run shows the encoding, each column's field and the contacts, and stores none.
    CliResult r = Demo(dir, {"import-csv", csv, "--dry-run"});
    EXPECT_OK(r);
    EXPECT_NE(r.err.find("UTF-8"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("#2 Phone -> 商务电话1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("文件中有1个联系人"), std::string::npos) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Cells(lines[1])[0], "周九");
    EXPECT_EQ(Lines(Demo(dir, {"contacts"}).out).size(), 1u);  // the header alone

    // The phone column chosen as the first mobile, the notes left out.
    r = Demo(dir, {"import-csv", "--map", "Phone=MobilePhone1,#4=忽略", csv});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "导入CSV文件完成! 共导入1个联系人\n");
    const std::string list = Demo(dir, {"contacts"}).out;
    EXPECT_NE(list.find("13700000009"), std::string::npos);
    EXPECT_EQ(list.find("老朋友"), std::string::npos);

    // Read as GBK the name is mojibake, but still a name; an unknown encoding is refused.
    EXPECT_OK(Demo(dir, {"import-csv", "--encoding", "GBK", "--dry-run", csv}));
    EXPECT_FAILS(Demo(dir, {"import-csv", "--encoding", "NO-SUCH", csv}), "不支持的文件编码");
    EXPECT_FAILS(Demo(dir, {"import-csv", "--map", "Fax=姓名", csv}), "没有这一列：Fax");

    // No false success: no name column, no contacts.
    WriteFile(dir + "/noname.csv", "Company,Phone\r\nAcme,1\r\n");
    EXPECT_FAILS(Demo(dir, {"import-csv", dir + "/noname.csv"}), "未找到姓名列");
    WriteFile(dir + "/empty.csv", Utf8ToGbk("姓名,移动电话(公)\r\n"));
    EXPECT_FAILS(Demo(dir, {"import-csv", dir + "/empty.csv"}), "文件中没有联系人");

    // The options belong to import-csv alone.
    r = Demo(dir, {"contacts", "--dry-run"});
    EXPECT_EQ(r.status, 2);
}

TEST_F(Kavoctl, VCardExportComesBackThroughTheAddressBookImport) {
    StartServer();
    const std::string source = NewDir();
    ASSERT_EQ(Demo(source, {"restore"}).status, 0);
    TempDir book;
    CliResult r = Demo(source, {"export-vcard", book.File("demo.vcf")});
    EXPECT_OK(r);
    EXPECT_NE(ReadFile(book.File("demo.vcf")).find("BEGIN:VCARD"), std::string::npos);

    // The library comes from kavoctl's own folder, not from the --dir folder.
    const std::string target = NewDir();
    r = Run(target, {"-u", "demo", "-p", "demo123", "import-addressbook"},
            {{"KAVO_ADDRESSBOOK_DIR", book.path()}});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "导入系统通讯簿完成!\n");
    // Names, numbers and addresses are what vCard carries; groups are not.
    auto firstColumns = [](const std::string& text) {
        std::vector<std::string> rows;
        for (const std::string& line : Lines(text)) {
            std::vector<std::string> c = Cells(line);
            rows.push_back(c[0] + "|" + c[2] + "|" + c[10]);
        }
        return rows;
    };
    EXPECT_EQ(firstColumns(Demo(target, {"contacts"}).out),
              firstColumns(Demo(source, {"contacts"}).out));

    r = Run(target, {"-u", "demo", "-p", "demo123", "import-addressbook"},
            {{"KAVO_ADDRESSBOOK_DIR", book.File("none")}});
    EXPECT_FAILS(r, "打开系统通讯簿失败!");
}

TEST_F(Kavoctl, OutlookExportsImportWithTheAddressBookMessages) {
    StartServer();
    const std::string dir = NewDir();
    const char* env = std::getenv("KAVO_TEST_DATA");
    const std::string data = env && *env ? env : KAVO_TEST_DATA_DIR;
    CliResult r = Demo(dir, {"import-outlook", data + "/import/outlook/contacts_zh.csv"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "导入系统通讯簿完成!\n");
    EXPECT_GT(Lines(Demo(dir, {"contacts"}).out).size(), 1u);
    EXPECT_FAILS(Demo(dir, {"import-outlook", dir + "/missing.csv"}), "打开系统通讯簿失败!");
}

TEST_F(Kavoctl, ListsShowWhatTheWindowsShowWithoutPasswords) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Demo(dir, {"restore"}).status, 0);

    CliResult r = Demo(dir, {"groups"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "GroupName\n同事\n朋友\n");
    r = Demo(dir, {"contacts", "同事"});
    EXPECT_OK(r);
    EXPECT_EQ(Lines(r.out).size(), 2u);
    EXPECT_EQ(Lines(Demo(dir, {"contacts", "全部"}).out).size(), 4u);
    EXPECT_FAILS(Demo(dir, {"contacts", "没有"}), "没有这个分组");

    r = Demo(dir, {"accounts"});
    EXPECT_OK(r);
    EXPECT_EQ(Lines(r.out).size(), 4u);
    EXPECT_EQ(Lines(r.out)[0], "AccountName\tGameName\tAccountID\tRemark");
    EXPECT_EQ(r.out.find("secret1"), std::string::npos);

    r = Demo(dir, {"sms"});
    EXPECT_OK(r);
    EXPECT_EQ(Lines(r.out).size(), 6u);
    EXPECT_EQ(Cells(Lines(r.out)[1]).size(), 5u);

    r = Demo(dir, {"stats"});
    EXPECT_OK(r);
    ASSERT_EQ(Lines(r.out).size(), 4u);
    EXPECT_EQ(Cells(Lines(r.out)[1])[0], "联系人数量");
    EXPECT_EQ(Cells(Lines(r.out)[1])[1], "3");

    r = Demo(dir, {"member"});
    EXPECT_OK(r);
    ASSERT_EQ(Lines(r.out).size(), 2u);
    EXPECT_EQ(Cells(Lines(r.out)[1])[0], "标准会员");
    EXPECT_EQ(Cells(Lines(r.out)[1])[2], "100");

    r = Demo(dir, {"history"});
    EXPECT_OK(r);
    ASSERT_GE(Lines(r.out).size(), 2u);
    EXPECT_EQ(Lines(r.out)[0], "No\tUserName\tOperTime\tOperation");
    EXPECT_EQ(Cells(Lines(r.out)[1])[0], "1");
    EXPECT_NE(r.out.find("还原通讯录"), std::string::npos);
}

TEST_F(Kavoctl, ContactsComeInPinyinOrderAndSearchFindsThemByPinyin) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Demo(dir, {"restore"}).status, 0);
    AddContact(dir, "demo", "Sam", "13700000000");
    AddContact(dir, "demo", "单田芳", "13800000001");
    auto names = [](const CliResult& r) {
        std::vector<std::string> out;
        const std::vector<std::string> lines = Lines(r.out);
        for (std::size_t i = 1; i < lines.size(); ++i) out.push_back(Cells(lines[i])[0]);
        return out;
    };
    using Names = std::vector<std::string>;
    CliResult r = Demo(dir, {"contacts"});
    EXPECT_OK(r);
    EXPECT_EQ(names(r), (Names{"单田芳", "李四", "Sam", "王五", "张三"}));

    r = Demo(dir, {"search", "zs"});
    EXPECT_OK(r);
    EXPECT_EQ(Lines(r.out)[0].rfind("RelName\tCorpPosition\tMobilePhone1", 0), 0u);
    EXPECT_EQ(names(r), Names{"张三"});
    EXPECT_EQ(names(Demo(dir, {"search", "zhang san"})), Names{"张三"});
    EXPECT_EQ(names(Demo(dir, {"search", "shantianfang"})), Names{"单田芳"});
    // The name holding the text comes first, then the names spelled from their first
    // character, then those spelled from a later one.
    EXPECT_EQ(names(Demo(dir, {"search", "S"})), (Names{"Sam", "单田芳", "李四", "张三"}));
    EXPECT_EQ(names(Demo(dir, {"search", "1391"})), Names{"张三"});
    EXPECT_FAILS(Demo(dir, {"search", "nobody"}), "未找到符合条件的记录!");
    EXPECT_FAILS(Demo(dir, {"search", "  "}), "请输入搜索内容");
}

TEST_F(Kavoctl, OfflineLoginWorksAfterTheServerIsGone) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Demo(dir, {"restore"}).status, 0);
    const std::string known = Demo(dir, {"contacts"}).out;
    StopServer();

    CliResult r = Demo(dir, {"contacts"});
    EXPECT_FAILS(r, "(1A)");
    EXPECT_NE(r.err.find("--offline"), std::string::npos);  // offline is on offer
    r = Run(dir, {"-u", "demo", "-p", "demo123", "--offline", "contacts"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, known);
    EXPECT_EQ(LoginState(dir, "demo"), 0);

    EXPECT_FAILS(Run(dir, {"-u", "demo", "-p", "wrong", "--offline", "contacts"}), "无法离线登录");
    EXPECT_FAILS(Run(dir, {"-u", "nobody", "-p", "demo123", "--offline", "contacts"}),
                 "无法离线登录");
    // Server commands turn an offline login online first, and say so when they cannot.
    EXPECT_FAILS(Run(dir, {"-u", "demo", "-p", "demo123", "--offline", "store"}),
                 "无法连接网络，请检查网络是否连接好然后再试");
    TempDir out;
    EXPECT_OK(
        Run(dir, {"-u", "demo", "-p", "demo123", "--offline", "export-vcard", out.File("x.vcf")}));
}

TEST_F(Kavoctl, PasswordChangeReachesServerAndUsersTable) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Run(dir, {"-u", "carol", "-p", "old-1", "register"}).status, 0);

    EXPECT_FAILS(Run(dir, {"-u", "carol", "-p", "old-1", "passwd", "new?2"}),
                 "密码修改失败，请尝试再次修改！");
    CliResult r = Run(dir, {"-u", "carol", "-p", "old-1", "passwd", "new-2"});
    EXPECT_OK(r);
    EXPECT_EQ(r.out, "密码修改成功!\n");
    EXPECT_EQ(LoginState(dir, "carol"), 0);

    EXPECT_EQ(Run(dir, {"-u", "carol", "-p", "old-1", "groups"}).status, 1);
    EXPECT_OK(Run(dir, {"-u", "carol", "-p", "new-2", "groups"}));
    StopServer();
    EXPECT_OK(Run(dir, {"-u", "carol", "-p", "new-2", "--offline", "groups"}));
    EXPECT_EQ(Run(dir, {"-u", "carol", "-p", "old-1", "--offline", "groups"}).status, 1);
}

TEST_F(Kavoctl, ALiveCopyKeepsTheUserAndAKilledOneLetsItGo) {
    StartServer();
    const std::string dir = NewDir();
    // A long import, held still (SIGSTOP) the moment it has logged in: alive, logged in.
    std::string csv = "姓名,移动电话(公)\r\n";
    for (int i = 0; i < 100000; ++i)
        csv +=
            "\"联系人" + std::to_string(i) + "\",\"139" + std::to_string(10000000 + i) + "\"\r\n";
    WriteFile(dir + "/big.csv", Utf8ToGbk(csv));
    KavoctlProcess holder;
    ASSERT_TRUE(
        holder.Start(Args(dir, {"-u", "demo", "-p", "demo123", "import-csv", dir + "/big.csv"})));
    for (int i = 0; i < 20000 && LoginState(dir, "demo") != 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ::kill(holder.pid(), SIGSTOP);
    ASSERT_EQ(LoginState(dir, "demo"), 2);
    EXPECT_FAILS(Demo(dir, {"groups"}), "当前用户名已在系统其它进程中被登录使用");
    EXPECT_FAILS(Demo(dir, {"--offline", "groups"}), "当前用户名已在系统其它进程中被登录使用");

    ::kill(holder.pid(), SIGKILL);
    EXPECT_EQ(holder.Wait().status, 128 + SIGKILL);
    EXPECT_EQ(LoginState(dir, "demo"), 2);  // the dead copy could not write it back

    // Another copy runs meanwhile, so start-up leaves every state alone; the login finds the
    // dead copy's state without a live holder and takes the user over.
    KavoctlProcess waiting;
    ASSERT_TRUE(waiting.Start(Args(dir, {"-u", "demo", "-p", "-", "groups"}), {}, true));
    EXPECT_OK(Demo(dir, {"--offline", "groups"}));
    EXPECT_OK(Demo(dir, {"groups"}));
    EXPECT_EQ(LoginState(dir, "demo"), 0);
    waiting.CloseInput();
    EXPECT_FAILS(waiting.Wait(), "无法从标准输入读取密码");
}

TEST_F(Kavoctl, AnInterruptionEndsTheCommandWithOneAndTheUserReleased) {
    StartServer();
    const std::string dir = NewDir();
    ASSERT_EQ(Demo(dir, {"groups"}).status, 0);

    KavoctlProcess p;
    ASSERT_TRUE(p.Start(Args(dir, {"-u", "demo", "-p", "-", "restore"}), {}, true));
    // Signals are handled once the main thread blocks them; a test cannot know sooner.
    for (int i = 0; i < 1000 && !p.Blocks(SIGTERM); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(p.Blocks(SIGTERM));
    ::kill(p.pid(), SIGTERM);
    CliResult r = p.Wait();
    EXPECT_FAILS(r, "操作已中断!");
    EXPECT_EQ(LoginState(dir, "demo"), 0);
}

TEST_F(Kavoctl, AnInterruptionEndsALoginTheServerNeverAnswers) {
    // A login server that takes the connection and then says nothing.
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    socklen_t len = sizeof addr;
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    loginPort_ = ntohs(addr.sin_port);

    const std::string dir = NewDir();
    KavoctlProcess p;
    ASSERT_TRUE(p.Start(Args(dir, {"-u", "demo", "-p", "demo123", "groups"})));
    for (int i = 0; i < 1000 && !p.Blocks(SIGINT); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(p.Blocks(SIGINT));
    // Once the connection waits to be accepted, the login request is on its way or sent.
    pollfd pending{listener, POLLIN, 0};
    ASSERT_EQ(::poll(&pending, 1, 60000), 1);
    ::kill(p.pid(), SIGINT);
    CliResult r = p.Wait();
    ::close(listener);
    EXPECT_FAILS(r, "操作已中断!");
    EXPECT_EQ(LoginState(dir, "demo"), -1);  // never logged in, never saved
}

}  // namespace
}  // namespace kavo::test
