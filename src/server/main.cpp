// kavo-server: the login server and the service server of the phone-management service,
// for running and testing the client on one machine.

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "server/demo_seed.h"
#include "server/kavo_server.h"
#include "server/pg_server_db.h"
#include "server/request_handler.h"
#include "server/server_db.h"
#include "store/private_file.h"

namespace {

const char* const kUsage =
    "Usage: kavo-server [options]\n"
    "Serves the login server and the service server on one machine.\n"
    "\n"
    "  --listen ADDR          IPv4 address to listen on (default 127.0.0.1)\n"
    "  --login-port N         login server port (default 1974; 0 picks a free port)\n"
    "  --service-port N       service server port (default 1980; 0 picks a free port)\n"
    "  --public-host HOST     the service address that Login replies name (default: the\n"
    "                         address the client reached the login server on)\n"
    "  --db FILE              the server's SQLite file (default kavo-server.db)\n"
    "  --pg CONNINFO          keep the data in PostgreSQL instead: a postgresql:// URI or\n"
    "                         key=value pairs; \"\" takes the PG* environment variables.\n"
    "                         Several servers may share one database.\n"
    "  --seed-demo            create the demo user and its data, print how to log in\n"
    "  --seed-only            with --seed-demo: seed and exit without serving\n"
    "  --notice TEXT          add a server notice (may be repeated)\n"
    "  --handshake-timeout SECS  close a new connection whose first request has not\n"
    "                         arrived whole in this time (default 10)\n"
    "  --idle-timeout SECS    close connections idle this long (default 600)\n"
    "  --packet-timeout SECS  time for a started request to arrive whole (default 20)\n"
    "  --lockout-seconds N    how long ten wrong passwords lock a user out (default 43200)\n"
    "  --max-contacts N       contacts one user may store (default 10000)\n"
    "  --max-staged-mb N      memory for uploads under way, all connections together\n"
    "                         (default 256; past it an upload gets result 116)\n"
    "  --max-connections N    connections served at once (default 10000)\n"
    "  --max-per-address N    connections from one IPv4 address (default 256)\n"
    "  --workers N            threads answering requests (default 4)\n"
    "  --keep-versions N      earlier address books kept per user when a store\n"
    "                         replaces one (default 5; 0 keeps none)\n"
    "  --quiet                no log line per request\n"
    "  --help                 this text\n"
    "\n"
    "Commands on the database, without serving (the server may be running meanwhile):\n"
    "  --versions USER        list the kept versions of USER's address book\n"
    "  --reinstate USER N     make version N the current address book again; the\n"
    "                         current one is kept as a version too\n"
    "\n"
    "When both ports are open it prints one line on stdout:\n"
    "  kavo-server listening login=ADDR:PORT service=ADDR:PORT\n";

bool ParseInt(const char* text, long min, long max, long* out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < min || v > max) return false;
    *out = v;
    return true;
}

// --versions and --reinstate. Exit status 0 when done, 1 when the user or the version is
// not there or the database fails.
int VersionsCommand(kavo::IServerStore& db, const std::string& utf8User, bool reinstate, int number,
                    int keep, const std::string& timeText) {
    kavo::ServerUser user;
    if (!db.FindUser(kavo::Utf8ToGbk(utf8User), &user)) {
        std::fprintf(stderr, "kavo-server: no user \"%s\"\n", utf8User.c_str());
        return 1;
    }
    std::string name = kavo::GbkToUtf8(user.name);
    if (!reinstate) {
        std::vector<kavo::BookVersion> versions = db.Versions(user.id);
        if (versions.empty()) {
            std::printf("%s: no earlier versions of the address book are kept\n", name.c_str());
            return 0;
        }
        std::printf("%-8s %-19s %s\n", "version", "time", "contacts");
        for (const kavo::BookVersion& v : versions)
            std::printf("%-8d %-19s %d\n", v.number, v.time.c_str(), v.contacts);
        return 0;
    }
    int savedAs = 0;
    int count = db.ReinstateVersion(user.id, number, keep, timeText, &savedAs);
    if (count == -1) {
        std::fprintf(stderr, "kavo-server: %s has no version %d of the address book\n",
                     name.c_str(), number);
        return 1;
    }
    if (count < 0) {
        std::fprintf(stderr, "kavo-server: reinstating failed: %s\n", db.LastError().c_str());
        return 1;
    }
    char op[96];
    std::snprintf(op, sizeof(op), "恢复第%d版通讯录，共%d条", number, count);
    db.AddHistory(user.id, timeText, kavo::Utf8ToGbk(op));
    db.TouchKind(user.id, kavo::DataKind::Contacts, timeText);
    std::printf("%s: version %d is the address book again (%d contacts)", name.c_str(), number,
                count);
    if (savedAs > 0) {
        std::printf("; the book it replaced is kept as version %d\n", savedAs);
    } else {
        std::printf("; the book it replaced was empty\n");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    kavo::ListenOptions listen;
    kavo::ServerConfig config;
    std::string dbPath = "kavo-server.db";
    std::string pgConninfo;
    bool usePg = false;
    bool seed = false, seedOnly = false;
    std::vector<std::string> notices;
    enum class Command { Serve, Versions, Reinstate } command = Command::Serve;
    std::string versionsUser;  // UTF-8, as typed
    int reinstateNumber = 0;

    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&](const char** out) {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "kavo-server: %s needs a value\n", arg.c_str());
                return false;
            }
            *out = argv[++i];
            return true;
        };
        auto number = [&](long min, long max, long* out) {
            const char* text = nullptr;
            if (!value(&text)) return false;
            if (!ParseInt(text, min, max, out)) {
                std::fprintf(stderr, "kavo-server: bad value for %s: %s\n", arg.c_str(), text);
                return false;
            }
            return true;
        };
        const char* text = nullptr;
        long n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--listen") {
            if (!value(&text)) return 2;
            listen.address = text;
        } else if (arg == "--login-port") {
            if (!number(0, 65535, &n)) return 2;
            listen.loginPort = static_cast<int>(n);
        } else if (arg == "--service-port") {
            if (!number(0, 65535, &n)) return 2;
            listen.servicePort = static_cast<int>(n);
        } else if (arg == "--public-host") {
            if (!value(&text)) return 2;
            config.serviceHost = text;
            if (config.serviceHost.size() > 255) {
                std::fprintf(stderr, "kavo-server: --public-host is longer than 255 bytes\n");
                return 2;
            }
        } else if (arg == "--db") {
            if (!value(&text)) return 2;
            dbPath = text;
        } else if (arg == "--pg") {
            if (!value(&text)) return 2;
            pgConninfo = text;
            usePg = true;
        } else if (arg == "--seed-demo") {
            seed = true;
        } else if (arg == "--seed-only") {
            seedOnly = true;
        } else if (arg == "--notice") {
            if (!value(&text)) return 2;
            notices.push_back(text);
        } else if (arg == "--handshake-timeout") {
            if (!number(1, 3600, &n)) return 2;
            listen.handshakeSeconds = static_cast<int>(n);
        } else if (arg == "--idle-timeout") {
            if (!number(1, 86400, &n)) return 2;
            listen.idleSeconds = static_cast<int>(n);
        } else if (arg == "--packet-timeout") {
            if (!number(1, 3600, &n)) return 2;
            listen.packetSeconds = static_cast<int>(n);
        } else if (arg == "--lockout-seconds") {
            if (!number(0, 365L * 86400, &n)) return 2;
            config.lockSeconds = n;
        } else if (arg == "--max-contacts") {
            if (!number(1, 1000000, &n)) return 2;
            config.maxContacts = static_cast<int>(n);
        } else if (arg == "--max-staged-mb") {
            if (!number(1, 1L << 20, &n)) return 2;
            config.maxStagedBytes = static_cast<std::int64_t>(n) << 20;
        } else if (arg == "--max-connections") {
            if (!number(1, 1000000, &n)) return 2;
            listen.maxConnections = static_cast<int>(n);
        } else if (arg == "--max-per-address") {
            if (!number(1, 1000000, &n)) return 2;
            listen.maxPerAddress = static_cast<int>(n);
        } else if (arg == "--workers") {
            if (!number(1, 256, &n)) return 2;
            listen.workers = static_cast<int>(n);
        } else if (arg == "--keep-versions") {
            if (!number(0, 1000, &n)) return 2;
            config.keepVersions = static_cast<int>(n);
        } else if (arg == "--versions") {
            if (!value(&text)) return 2;
            versionsUser = text;
            command = Command::Versions;
        } else if (arg == "--reinstate") {
            if (!value(&text) || !number(1, 0x7FFFFFFF, &n)) return 2;
            versionsUser = text;
            reinstateNumber = static_cast<int>(n);
            command = Command::Reinstate;
        } else if (arg == "--quiet") {
            listen.logRequests = false;
        } else {
            std::fprintf(stderr, "kavo-server: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        }
    }

    // SIGINT and SIGTERM are taken by one thread with sigwait, so they never interrupt a
    // request half way; the mask is set before any other thread exists and is inherited.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    std::unique_ptr<kavo::IServerStore> store;
    std::string where;
    if (usePg) {
        auto pg = std::make_unique<kavo::CPgServerDb>();
        // One connection per worker, so requests do not queue for the database.
        if (!pg->Open(pgConninfo, listen.workers)) {
            std::fprintf(stderr, "kavo-server: cannot use PostgreSQL: %s\n",
                         pg->LastError().c_str());
            return 1;
        }
        store = std::move(pg);
        where = "PostgreSQL";
    } else {
        auto file = std::make_unique<kavo::CServerDb>();
        // Password digests and every user's messages: nobody else on the machine reads them.
        if (kavo::MakePrivateFile(dbPath) == kavo::PrivateFile::kTightened)
            std::fprintf(stderr, "kavo-server: %s was readable by other users; it is now private\n",
                         dbPath.c_str());
        if (!file->Open(dbPath)) {
            std::fprintf(stderr, "kavo-server: cannot open %s: %s\n", dbPath.c_str(),
                         file->LastError().c_str());
            return 1;
        }
        store = std::move(file);
        where = dbPath;
    }
    kavo::IServerStore& db = *store;
    if (command != Command::Serve) {
        kavo::CRequestHandler clock(db, config);  // for the time text only
        return VersionsCommand(db, versionsUser, command == Command::Reinstate, reinstateNumber,
                               config.keepVersions, clock.TimeText());
    }
    for (const std::string& notice : notices) kavo::AddNoticeText(db, notice);
    if (seed) {
        std::string error;
        if (!kavo::SeedDemo(db, std::time(nullptr), &error)) {
            std::fprintf(stderr, "kavo-server: %s\n", error.c_str());
            return 1;
        }
    }
    auto demoLine = [&](int loginPort) {
        if (!seed) return;
        std::printf("Demo user ready: name \"%s\", password \"%s\". Log in through %s port %d.\n",
                    kavo::kDemoUser, kavo::kDemoPassword, listen.address.c_str(), loginPort);
        std::fflush(stdout);
    };
    if (seedOnly) {
        demoLine(listen.loginPort);
        return 0;
    }

    // Every connection holds a descriptor: take as many as the hard limit allows, and say so
    // when that is fewer than the connections asked for.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0) {
        if (files.rlim_cur < files.rlim_max) {
            files.rlim_cur = files.rlim_max;
            setrlimit(RLIMIT_NOFILE, &files);
            getrlimit(RLIMIT_NOFILE, &files);
        }
        constexpr rlim_t kReserved = 64;  // listeners, the database, the log, spares
        if (files.rlim_cur != RLIM_INFINITY &&
            files.rlim_cur < static_cast<rlim_t>(listen.maxConnections) + kReserved) {
            int fit = files.rlim_cur > kReserved ? static_cast<int>(files.rlim_cur - kReserved) : 1;
            std::fprintf(
                stderr, "kavo-server: the file limit (%llu) allows %d connections, not %d\n",
                static_cast<unsigned long long>(files.rlim_cur), fit, listen.maxConnections);
            listen.maxConnections = fit;
        }
    }

    kavo::CRequestHandler handler(db, config);
    kavo::CKavoServer server(handler, listen);
    if (!server.Start()) {
        std::fprintf(stderr, "kavo-server: cannot listen: %s\n", server.LastError().c_str());
        return 1;
    }

    std::thread signalThread([&] {
        int sig = 0;
        sigwait(&stopSignals, &sig);
        if (sig != 0) server.Stop();
    });

    demoLine(server.LoginPort());
    std::printf("kavo-server listening login=%s:%d service=%s:%d\n", listen.address.c_str(),
                server.LoginPort(), listen.address.c_str(), server.ServicePort());
    std::fflush(stdout);
    std::fprintf(stderr, "kavo-server: %d users in %s\n", db.UserCount(), where.c_str());

    server.Run();
    // When Run returned by itself the signal thread still waits: wake it.
    if (signalThread.joinable()) {
        pthread_kill(signalThread.native_handle(), SIGTERM);
        signalThread.join();
    }
    db.Close();
    std::fprintf(stderr, "kavo-server: stopped\n");
    return 0;
}
