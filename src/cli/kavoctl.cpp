#include "cli/kavoctl.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string_view>

#include "cli/tsv_output.h"
#include "codecs/gbk_text.h"
#include "net/result_codes.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"
#include "workflows/address_book_sync.h"
#include "workflows/export_flow.h"
#include "workflows/import_flow.h"
#include "workflows/list_rows.h"
#include "workflows/login_flow.h"
#include "workflows/messages.h"
#include "workflows/personal_info_flow.h"
#include "workflows/registration_flow.h"
#include "workflows/server_views_flow.h"
#include "workflows/session.h"

namespace kavo {
namespace {

// kavoctl's own texts, for what no window has to say.
constexpr const char* kMsgNoDatabase = "无法打开本地数据库，请检查程序目录后再试!";
constexpr const char* kMsgNoSuchDir = "程序目录不存在：";
constexpr const char* kMsgPasswordUnreadable = "无法从标准输入读取密码!";
constexpr const char* kMsgOfflineRefused = "无法离线登录：本机没有该用户的登录记录，或密码不正确!";
constexpr const char* kMsgOfflineHint = "(可以使用 --offline 离线登录)";
constexpr const char* kMsgInterrupted = "操作已中断!";
constexpr const char* kMsgDatabaseSound = "本地数据库完好。";
constexpr const char* kMsgDamagedHint =
    "请先将损坏的 KAVO.kavo 移开(另存)，再用 restore 从服务器还原通讯录。";
constexpr const char* kMsgForceHint = "(确认替换请加 --force)";
constexpr const char* kMsgRegistered = "注册成功!";
constexpr const char* kMsgNoSuchGroup = "没有这个分组：";
constexpr const char* kMsgCsvEncoding = "文件编码：";
constexpr const char* kMsgCsvDryRun = "试运行，未导入：文件中有%d个联系人";
constexpr const char* kMsgRefusedPasswordChars =
    "新密码不能含有以下字符：` ' & ! ~ $ % ^ * ( ) + ; \" | , < > ?";

constexpr const char* kUsage =
    "Usage: kavoctl [--dir DIR] [-u USER] [-p PASSWORD] [--offline] [--force] COMMAND [ARGS...]\n"
    "\n"
    "Options:\n"
    "  --dir DIR            folder with KAVO.kavo and KAVO.cfg (default: the directory\n"
    "                       of kavoctl; installed, ~/.local/share/kavo and the server\n"
    "                       list of ~/.config/kavo, /etc/kavo or the installed one)\n"
    "  -u, --user USER      user name\n"
    "  -p, --password PWD   password; \"-p -\" reads it from the first line of standard input\n"
    "  --offline            log in against this PC's users table, without the server\n"
    "  --force              let store replace a server address book that holds more than\n"
    "                       twice as many contacts (and at least 20 more) than this PC\n"
    "  --login-port N       port of the login server (default 1974)\n"
    "  --service-port N     port of the service server (default 1980)\n"
    "  -h, --help           this text\n"
    "\n"
    "Commands (all but register and check log in first, and log out at the end):\n"
    "  check                check the local database for damage (no login)\n"
    "  register [CONTACT]   register USER/PASSWORD with the service (CONTACT: mobile or e-mail)\n"
    "  store                store the address book on the server\n"
    "  restore              restore the address book from the server and merge it\n"
    "  import-csv FILE      import contacts from a CSV file: GBK, GB18030, UTF-8 or UTF-16,\n"
    "                       the product's Chinese labels or other programs' column titles\n"
    "      --encoding ENC   read the file as ENC (GBK, GB18030, UTF-8, UTF-16LE, UTF-16BE,\n"
    "                       BIG5, ...) instead of the detected encoding\n"
    "      --map \"COLUMN=FIELD,...\"  fill FIELD from COLUMN (a title, or #N for the N-th\n"
    "                       column); FIELD is a label (姓名, 组织, 移动电话(公), ...), a\n"
    "                       column name (RelName, MobilePhone1, ...), 附注 or 忽略\n"
    "      --dry-run        print the columns and the contacts that would be imported,\n"
    "                       store nothing\n"
    "  import-addressbook   import the system address book (libpelbook.so)\n"
    "  import-outlook FILE  import an Outlook contacts export\n"
    "  export-csv FILE      write the contacts as CSV (GBK) that import-csv reads back\n"
    "  export-vcard FILE    write the contacts as vCard 3.0 (UTF-8)\n"
    "  contacts [GROUP]     list the contacts (all 33 fields), of one group if given\n"
    "  search TEXT          list the contacts that the main window's search finds, in its\n"
    "                       order: names and phone numbers holding TEXT first, then the\n"
    "                       Chinese names TEXT spells in pinyin (zw, zhangwei, zhang wei);\n"
    "                       exit status 1 when none is found\n"
    "  groups               list the contact groups\n"
    "  sms                  list the SMS downloaded at login\n"
    "  accounts             list the game accounts (without their passwords)\n"
    "  history              list the operation history kept by the server\n"
    "  stats                show the server's counts and last operation times\n"
    "  member               show the membership status\n"
    "  passwd NEW           change the password to NEW\n"
    "\n"
    "Lists are UTF-8, one record per line, tab-separated, with a header line of column\n"
    "names; inside a value a backslash is written \\\\, a tab \\t, a line feed \\n and a\n"
    "carriage return \\r. Progress goes to standard error, results to standard output,\n"
    "the reason of a failure to standard error. Passwords are never printed.\n"
    "\n"
    "A command that stored less than it read says how many of how many and why (disk\n"
    "full, read-only, busy or damaged database) and fails. A damaged database is refused\n"
    "by every command but check, and never uploaded.\n"
    "\n"
    "Exit status: 0 success, 1 refused or failed (check: damaged), 2 wrong command line.\n";

struct CommandInfo {
    const char* name;
    int minArgs;
    int maxArgs;
};

constexpr CommandInfo kCommands[] = {
    {"register", 0, 1},
    {"store", 0, 0},
    {"restore", 0, 0},
    {"import-csv", 1, 1},
    {"import-addressbook", 0, 0},
    {"import-outlook", 1, 1},
    {"export-csv", 1, 1},
    {"export-vcard", 1, 1},
    {"contacts", 0, 1},
    {"search", 1, 1},
    {"groups", 0, 0},
    {"sms", 0, 0},
    {"accounts", 0, 0},
    {"history", 0, 0},
    {"stats", 0, 0},
    {"member", 0, 0},
    {"passwd", 1, 1},
    // Needs no login.
    {"check", 0, 0},
};

struct Options {
    std::string dir;
    bool haveDir = false;
    std::string user;
    bool haveUser = false;
    std::string password;
    bool havePassword = false;
    bool offline = false;
    bool force = false;
    int loginPort = 0;
    int servicePort = 0;
    bool help = false;
    // import-csv's choices
    std::string encoding;
    std::string map;
    bool dryRun = false;
    bool haveCsvOptions = false;
    std::vector<std::string> positional;
};

bool ParsePort(const std::string& text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    port = std::atoi(text.c_str());
    return port > 0 && port < 65536;
}

class CKavoctl {
public:
    CKavoctl(const std::atomic<bool>& interrupted, std::FILE* out, std::FILE* err, std::FILE* in)
        : interrupted_(interrupted), out_(out), err_(err), in_(in), client_(ServerClient()) {}

    int Run(const std::vector<std::string>& args);

private:
    int UsageError(const std::string& why) {
        std::fprintf(err_, "kavoctl: %s\n\n%s", why.c_str(), kUsage);
        return kExitUsage;
    }
    int Fail(const std::string& message) {
        std::fprintf(err_, "%s\n", message.c_str());
        return kExitFailed;
    }
    int Done(const std::string& message) {
        std::fprintf(out_, "%s\n", message.c_str());
        return kExitOk;
    }
    void Print(const std::vector<std::string>& values) {
        std::string line = TsvLine(values);
        std::fwrite(line.data(), 1, line.size(), out_);
    }
    void Progress(const char* format, int count) {
        std::fprintf(err_, format, count);
        std::fputc('\n', err_);
        std::fflush(err_);
    }

    bool Parse(const std::vector<std::string>& args, std::string& error);
    bool ReadPasswordFromInput();
    bool LogIn();
    int Dispatch(const std::string& command, const std::vector<std::string>& args);
    // The steps that precede every server command of the main window.
    bool Online() { return Reconnect(client_); }
    int ServerFailure() {
        return Fail(interrupted_ ? kMsgInterrupted : ResultMessage(client_.LastError()));
    }

    int Register(const std::vector<std::string>& args);
    int Check();
    int Store();
    int Restore();
    int Import(const CImportOutcome& outcome) {
        return outcome.ok ? Done(outcome.message) : Fail(outcome.message);
    }
    int ImportCsvFile(const std::string& path);
    int Export(const std::string& path, bool vcard);
    int Contacts(const std::vector<std::string>& args);
    int Search(const std::string& text);
    void PrintContacts(const std::vector<const CRelData*>& contacts);
    void PrintContacts(const std::vector<CRelData>& contacts);
    int Groups();
    int Sms();
    int Accounts();
    int History();
    int Stats();
    int Member();
    int Passwd(const std::string& newPassword);

    const std::atomic<bool>& interrupted_;
    std::FILE* out_;
    std::FILE* err_;
    std::FILE* in_;
    CKavoTcpClient& client_;
    Options opt_;
    std::string loginPassword_;  // UTF-8, as the login used it
};

bool CKavoctl::Parse(const std::vector<std::string>& args, std::string& error) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            opt_.positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        if (a == "-h" || a == "--help") {
            opt_.help = true;
            continue;
        }
        if (a == "--offline") {
            opt_.offline = true;
            continue;
        }
        if (a == "--dry-run") {
            opt_.dryRun = opt_.haveCsvOptions = true;
            continue;
        }
        if (a == "--force") {
            opt_.force = true;
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        std::size_t eq = a.find('=');
        if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        const bool known = name == "--dir" || name == "-u" || name == "--user" || name == "-p" ||
                           name == "--password" || name == "--login-port" ||
                           name == "--service-port" || name == "--encoding" || name == "--map";
        if (!known) {
            error = "unknown option " + name;
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (name == "--dir") {
            opt_.dir = value;
            opt_.haveDir = true;
        } else if (name == "-u" || name == "--user") {
            opt_.user = value;
            opt_.haveUser = true;
        } else if (name == "-p" || name == "--password") {
            opt_.password = value;
            opt_.havePassword = true;
        } else if (name == "--encoding") {
            opt_.encoding = value;
            opt_.haveCsvOptions = true;
        } else if (name == "--map") {
            opt_.map = value;
            opt_.haveCsvOptions = true;
        } else if (!ParsePort(value, name == "--login-port" ? opt_.loginPort : opt_.servicePort)) {
            error = "bad port for " + name + ": " + value;
            return false;
        }
    }
    return true;
}

bool CKavoctl::ReadPasswordFromInput() {
    // Byte by byte from the descriptor, waiting in short steps, so that an interruption
    // ends a prompt nobody answers; nothing is read past the line end.
    const int fd = ::fileno(in_);
    std::string text;
    for (;;) {
        if (interrupted_) return false;
        pollfd p{fd, POLLIN, 0};
        int ready = ::poll(&p, 1, 200);
        if (ready < 0 && errno != EINTR) return false;
        if (ready <= 0) continue;
        char c;
        ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            if (text.empty()) return false;
            break;
        }
        if (c == '\n') break;
        text += c;
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    opt_.password = std::move(text);
    return true;
}

bool CKavoctl::LogIn() {
    CLoginForm form{Utf8ToGbk(opt_.user), Utf8ToGbk(opt_.password), {}};
    LoginCheck check = CheckLoginForm(form);
    if (check != LoginCheck::kOk) {
        Fail(LoginCheckMessage(check));
        return false;
    }
    loginPassword_ = GbkToUtf8(form.password);
    if (opt_.offline) {
        CDataAccess store;
        if (!store.UserExists(form.user) || store.GetUserPassword(form.user) != form.password) {
            Fail(kMsgOfflineRefused);
            return false;
        }
        ApplyOfflineLogin(form);
        return true;
    }
    ReleaseCurrentUser();
    if (!RunLoginWorker(client_, form, false, interrupted_)) {
        if (interrupted_) {
            Fail(kMsgInterrupted);
            return false;
        }
        CLoginFailure failure = DescribeLoginFailure(client_.LastError(), form, false);
        std::string message = ResultMessage(client_.LastError());
        if (failure.offlineOffered) message += kMsgOfflineHint;
        Fail(message);
        return false;
    }
    ApplyLoginSuccess(form, false);
    return true;
}

int CKavoctl::Run(const std::vector<std::string>& args) {
    std::string error;
    if (!Parse(args, error)) return UsageError(error);
    if (opt_.help) {
        std::fputs(kUsage, out_);
        return kExitOk;
    }
    if (opt_.positional.empty()) return UsageError("no command given");
    const std::string command = opt_.positional.front();
    const std::vector<std::string> rest(opt_.positional.begin() + 1, opt_.positional.end());
    const CommandInfo* info = nullptr;
    for (const CommandInfo& c : kCommands)
        if (command == c.name) info = &c;
    if (!info) return UsageError("unknown command " + command);
    const int n = static_cast<int>(rest.size());
    if (n < info->minArgs || n > info->maxArgs)
        return UsageError("wrong number of arguments for " + command);
    if (opt_.haveCsvOptions && command != "import-csv")
        return UsageError("--encoding, --map and --dry-run belong to import-csv");
    const bool needsLogin = command != "check";
    if (needsLogin && !opt_.haveUser) return UsageError(command + " needs -u USER");
    if (needsLogin && !opt_.havePassword) return UsageError(command + " needs -p PASSWORD");

    // Read before anything else is touched, so that a waiting prompt holds nothing.
    if (needsLogin && opt_.password == "-" && !ReadPasswordFromInput())
        return Fail(interrupted_ ? kMsgInterrupted : kMsgPasswordUnreadable);

    if (opt_.haveDir) {
        struct stat st;
        if (opt_.dir.empty() || ::stat(opt_.dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
            return Fail(kMsgNoSuchDir + opt_.dir);
        SetProgramDir(opt_.dir.back() == '/' ? opt_.dir : opt_.dir + "/");
    }
    const bool started = StartProgram();
    if (const std::string notice = TakePrivacyNotice(); !notice.empty())
        std::fprintf(err_, "%s\n", notice.c_str());
    if (LocalStoreDamaged()) {
        const std::string damaged = msg::FillIn(msg::kDatabaseDamaged, LocalStoreDamage());
        return command == "check" ? Fail(damaged) : Fail(damaged + "\n" + kMsgDamagedHint);
    }
    if (!started) return Fail(kMsgNoDatabase);
    if (command == "check") return Check();
    if (opt_.loginPort || opt_.servicePort)
        client_.SetPorts(opt_.loginPort ? opt_.loginPort : CKavoTcpClient::kLoginPort,
                         opt_.servicePort ? opt_.servicePort : CKavoTcpClient::kServicePort);

    // A contact download that gets no reply says so at once, as the program's box does.
    client_.SetMessageHook([err = err_](const std::string& text) {
        std::fprintf(err, "%s\n", text.c_str());
        std::fflush(err);
    });

    if (command == "register") return Register(rest);
    if (!LogIn()) return kExitFailed;
    int rc = interrupted_ ? Fail(kMsgInterrupted) : Dispatch(command, rest);
    // As when the main window closes: the user is no longer logged in on this PC.
    EndSession();
    client_.Close();
    client_.SetMessageHook({});
    return rc;
}

int CKavoctl::Dispatch(const std::string& command, const std::vector<std::string>& args) {
    if (command == "store") return Store();
    if (command == "restore") return Restore();
    if (command == "import-csv") return ImportCsvFile(args[0]);
    if (command == "import-addressbook") return Import(ImportAddressBook());
    if (command == "import-outlook") {
        const std::string path = args[0];
        return Import(ImportOutlook([path] { return path; }));
    }
    if (command == "export-csv") return Export(args[0], false);
    if (command == "export-vcard") return Export(args[0], true);
    if (command == "contacts") return Contacts(args);
    if (command == "search") return Search(args[0]);
    if (command == "groups") return Groups();
    if (command == "sms") return Sms();
    if (command == "accounts") return Accounts();
    if (command == "history") return History();
    if (command == "stats") return Stats();
    if (command == "member") return Member();
    return Passwd(args[0]);
}

int CKavoctl::Register(const std::vector<std::string>& args) {
    const std::string contact = args.empty() ? std::string() : args[0];
    // The registration window has a confirmation field; here the one password is both.
    RegistrationCheck check = CheckRegistrationForm(opt_.user, opt_.password, opt_.password);
    if (check != RegistrationCheck::kOk) return Fail(RegistrationCheckMessage(check));
    CLoginForm form{Utf8ToGbk(opt_.user), Utf8ToGbk(opt_.password), Utf8ToGbk(contact)};
    if (!RunLoginWorker(client_, form, true, interrupted_)) return ServerFailure();
    ApplyLoginSuccess(form, true);
    return Done(kMsgRegistered);
}

int CKavoctl::Check() {
    std::string detail;
    if (!CheckDatabase(&detail)) return Fail(msg::FillIn(msg::kDatabaseDamaged, detail));
    return Done(kMsgDatabaseSound);
}

int CKavoctl::Store() {
    if (!Online()) return Fail(msg::kNoNetwork);
    const CStorePlan plan = PrepareStore(client_);
    switch (plan.readiness) {
        case StoreReadiness::kReady:
            break;
        case StoreReadiness::kShrinks:
            if (opt_.force) break;
            return Fail(plan.message + kMsgForceHint);
        case StoreReadiness::kServerFailed:
            return interrupted_ ? Fail(kMsgInterrupted) : Fail(plan.message);
        case StoreReadiness::kDamaged:
        case StoreReadiness::kUnreadable:
            return Fail(plan.message);
    }
    if (interrupted_) return Fail(kMsgInterrupted);
    CAddressBookStore store(client_);
    const bool ok =
        store.Run(interrupted_, [this](int count) { Progress(msg::kUploadProgress, count); });
    AppState().ContactsChanged = false;
    if (ok) return Done(msg::kStoreDone);
    return Fail(interrupted_ || store.FailureMessage().empty() ? kMsgInterrupted
                                                               : store.FailureMessage());
}

int CKavoctl::Restore() {
    if (!Online()) return Fail(msg::kNoNetwork);
    CAddressBookRestore restore(client_);
    const bool ok = restore.Run([this](int count) { Progress(msg::kRestoreProgress, count); });
    // What arrived was merged as it came, also when the download broke off.
    const std::string shortfall = MergeShortfallMessage(restore.MergeOutcome());
    if (ok && shortfall.empty()) return Done(msg::kRestoreDone);
    std::string message = ok             ? std::string()
                          : interrupted_ ? kMsgInterrupted
                                         : restore.FailureMessage();
    if (!shortfall.empty()) message += (message.empty() ? "" : "\n") + shortfall;
    return Fail(message);
}

int CKavoctl::ImportCsvFile(const std::string& path) {
    CCsvImportOptions options;
    options.encoding = opt_.encoding;
    options.map = opt_.map;
    options.dryRun = opt_.dryRun;
    if (opt_.dryRun) {
        // What the file holds and where each column goes, before the contacts.
        options.inspect = [this](const CCsvImportPlan& plan) {
            const CCsvDocument& doc = plan.Document();
            std::fprintf(err_, "%s %s\n", kMsgCsvEncoding, doc.encoding.c_str());
            for (std::size_t i = 0; i < doc.header.size(); ++i)
                std::fprintf(err_, "#%zu %s -> %s\n", i + 1, GbkToUtf8(doc.header[i]).c_str(),
                             CsvTargetName(plan.Mapping()[i].target));
        };
    }
    CImportOutcome outcome = ImportCsv([path] { return path; }, {}, options);
    if (!outcome.ok || !opt_.dryRun) return Import(outcome);
    PrintContacts(AppState().ContactList);
    std::fprintf(err_, kMsgCsvDryRun, outcome.read);
    std::fputc('\n', err_);
    return kExitOk;
}

int CKavoctl::Export(const std::string& path, bool vcard) {
    const CExportOutcome outcome =
        ExportContacts(path, {}, vcard ? EExportFormat::kVCard : EExportFormat::kCsv);
    return outcome.ok ? Done(outcome.message) : Fail(outcome.message);
}

int CKavoctl::Contacts(const std::vector<std::string>& args) {
    std::string group;
    if (!args.empty() && args[0] != msg::kAllGroups) {
        group = Utf8ToGbk(args[0]);
        if (CDataAccess::FindGroup(AppState().GroupNames, group) < 0)
            return Fail(kMsgNoSuchGroup + args[0]);
    }
    std::vector<CRelData> contacts;
    CDataAccess().LoadContacts(contacts, group);
    PrintContacts(contacts);
    return kExitOk;
}

int CKavoctl::Search(const std::string& text) {
    if (TrimSpace(text).empty()) return Fail(msg::kEnterSearchText);
    // The window searches the list it shows; here that is the list of every contact.
    std::vector<CRelData> contacts;
    CDataAccess().LoadContacts(contacts);
    std::vector<const CRelData*> found;
    for (int row : SearchRows(ContactRows(contacts), text, false))
        found.push_back(&contacts[static_cast<std::size_t>(row)]);
    if (found.empty()) return Fail(msg::kSearchNothing);
    PrintContacts(found);
    return kExitOk;
}

void CKavoctl::PrintContacts(const std::vector<const CRelData*>& contacts) {
    std::vector<std::string> row;
    for (const FieldSpec& f : kRelFields) row.emplace_back(f.name);
    Print(row);
    for (const CRelData* rel : contacts) {
        row.clear();
        for (const FieldSpec& f : kRelFields) row.push_back(FieldUtf8(FieldPtr(rel, f), f.width));
        Print(row);
    }
}

void CKavoctl::PrintContacts(const std::vector<CRelData>& contacts) {
    std::vector<const CRelData*> shown;
    shown.reserve(contacts.size());
    for (const CRelData& rel : contacts) shown.push_back(&rel);
    PrintContacts(shown);
}

int CKavoctl::Groups() {
    Print({"GroupName"});
    const std::vector<std::string>& groups = AppState().GroupNames;
    // Entry 0 is the group of all contacts, not a stored group.
    for (std::size_t i = 1; i < groups.size(); ++i) Print({GbkToUtf8(groups[i])});
    return kExitOk;
}

int CKavoctl::Sms() {
    Print({"SmsID", "ContactName", "PhoneNumber", "SmsTime", "SmsText"});
    for (const CSmsData& s : AppState().SmsList)
        Print({std::to_string(s.SmsID), FieldUtf8(s.ContactName), FieldUtf8(s.PhoneNumber),
               FieldUtf8(s.SmsTime), FieldUtf8(s.SmsText)});
    return kExitOk;
}

int CKavoctl::Accounts() {
    // AccountPwd stays out: kavoctl never prints a password.
    Print({"AccountName", "GameName", "AccountID", "Remark"});
    for (const CAccountData& a : AppState().AccountList)
        Print({FieldUtf8(a.AccountName), FieldUtf8(a.GameName), FieldUtf8(a.AccountID),
               FieldUtf8(a.Remark)});
    return kExitOk;
}

int CKavoctl::History() {
    if (!Online()) return Fail(msg::kNoNetwork);
    if (!FetchHistory(client_)) return ServerFailure();
    Print({"No", "UserName", "OperTime", "Operation"});
    for (const CHistoryRow& r : HistoryRows()) Print({r.number, r.user, r.time, r.operation});
    return kExitOk;
}

int CKavoctl::Stats() {
    if (!Online()) return Fail(msg::kNoNetwork);
    if (!FetchServerStats(client_)) return ServerFailure();
    static const char* const kLabels[3] = {"联系人数量", "短信息数量", "帐 号 数量"};
    const CStatisticsTexts texts = StatisticsTexts();
    Print({"Item", "Count", "LastTime"});
    for (int i = 0; i < 3; ++i) Print({kLabels[i], texts.counts[i], texts.times[i]});
    return kExitOk;
}

int CKavoctl::Member() {
    if (!Online()) return Fail(msg::kNoNetwork);
    CMemberTexts texts;
    if (!FetchMemberTexts(client_, texts)) return ServerFailure();
    Print({"FeeType", "ExpiryTime", "Balance"});
    Print({texts.feeType, texts.expiryTime, texts.balance});
    return kExitOk;
}

int CKavoctl::Passwd(const std::string& newPassword) {
    // The window's fields drop these characters as they are typed; a command line cannot
    // drop them silently, so it refuses the whole password.
    for (char c : newPassword) {
        if (static_cast<unsigned char>(c) < 0x80 && IsRefusedPasswordChar(static_cast<char32_t>(c)))
            return Fail(std::string(PasswordChangeMessage(PasswordChange::kRefused)) + "\n" +
                        kMsgRefusedPasswordChars);
    }
    if (!Online()) return Fail(msg::kNoNetwork);
    PasswordChange result =
        ChangeCurrentPassword(client_, loginPassword_, newPassword, newPassword);
    const char* message = PasswordChangeMessage(result);
    return result == PasswordChange::kOk ? Done(message) : Fail(message);
}

}  // namespace

const char* KavoctlUsage() { return kUsage; }

int RunKavoctl(const std::vector<std::string>& args, const std::atomic<bool>& interrupted,
               std::FILE* out, std::FILE* err, std::FILE* in) {
    CKavoctl cli(interrupted, out, err, in);
    return cli.Run(args);
}

}  // namespace kavo
