// Load on the real kavo-server over loopback: N clients at once, each registering, logging
// in, storing M contacts and restoring them, all through the client library. Every
// restored contact is compared with the one stored. Run twice: one server on its SQLite
// file, then two servers sharing one PostgreSQL database (a throwaway cluster), each
// client logging in through one server and served by the other. Prints
//   BENCH <name> <value> <unit>
// Usage: bench_server [clients] [contacts per client]   (default 200 500)

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/kavo_tcp_client.h"
#include "pg_cluster.h"
#include "server_runner.h"

namespace {

using kavo::CKavoTcpClient;
using kavo::CRelData;

constexpr int kTimeLimitSeconds = 300;

CRelData MakeContact(int client, int i) {
    CRelData c;
    kavo::SetFieldUtf8(c.RelName, "用户" + std::to_string(client) + "的联系人" + std::to_string(i));
    kavo::SetField(c.MobilePhone1, std::to_string(13900000000LL + client * 1000 + i));
    kavo::SetField(c.OfficePhone1, "010-6" + std::to_string(1000000 + i));
    kavo::SetFieldUtf8(c.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i) + "号");
    kavo::SetField(c.E_mail, "contact" + std::to_string(i) + "@example.com");
    kavo::SetFieldUtf8(c.GroupName, i % 3 ? "同事" : "朋友");
    kavo::SetFieldUtf8(c.RelRemark, "第" + std::to_string(i) + "位，备注文字");
    return c;
}

struct Outcome {
    bool ok = false;
    int lost = 0;
    std::string what;
};

// Logs in through `login` and is served by `service` (the same server, or another one on
// the same database).
Outcome RunClient(const kavo::test::ServerRunner& login, const kavo::test::ServerRunner& service,
                  int id, int contacts) {
    Outcome out;
    auto point = [&](CKavoTcpClient& c) {
        c.SetServerHost(0, login.host());
        c.SetServerHost(1, "");
        c.SetServerHost(2, "");
        c.SetPorts(login.loginPort(), service.servicePort());
    };
    std::string name = "load" + std::to_string(id);
    {
        CKavoTcpClient reg;
        point(reg);
        if (!reg.ConnectLoginServer() || !reg.Register(name, "pw" + std::to_string(id), "")) {
            out.what = "register " + std::to_string(reg.LastError());
            return out;
        }
    }
    CKavoTcpClient c;
    point(c);
    if (!c.ConnectLoginServer() || !c.Login(name, "pw" + std::to_string(id))) {
        out.what = "login " + std::to_string(c.LastError());
        return out;
    }
    std::vector<CRelData> stored;
    for (int i = 0; i < contacts; ++i) stored.push_back(MakeContact(id, i));
    std::deque<CRelData> list(stored.begin(), stored.end());
    while (!list.empty()) {
        if (!c.UploadContacts(list, 1)) {
            out.what = "store " + std::to_string(c.LastError());
            return out;
        }
    }
    int remaining = static_cast<int>(c.ContactCount());
    out.lost = contacts - remaining;
    std::vector<CRelData> back;
    while (remaining > 0) {
        std::size_t before = back.size();
        if (!c.DownloadContacts(remaining, back) || back.size() == before) {
            out.what = "restore " + std::to_string(c.LastError());
            return out;
        }
        remaining -= static_cast<int>(back.size() - before);
    }
    int matched = 0;
    for (std::size_t i = 0; i < back.size() && i < stored.size(); ++i)
        if (std::memcmp(&back[i], &stored[i], sizeof(CRelData)) == 0) ++matched;
    out.lost = contacts - matched;
    out.ok = out.lost == 0;
    if (!out.ok) out.what = "lost " + std::to_string(out.lost);
    return out;
}

struct Load {
    double seconds = 0;
    int errors = 0;
    int lost = 0;
};

Load RunLoad(const std::vector<kavo::test::ServerRunner*>& servers, int clients, int contacts) {
    std::vector<Outcome> outcomes(static_cast<std::size_t>(clients));
    std::vector<std::thread> threads;
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < clients; ++i) {
        const auto& login = *servers[static_cast<std::size_t>(i) % servers.size()];
        const auto& service = *servers[static_cast<std::size_t>(i + 1) % servers.size()];
        threads.emplace_back([&, i] {
            outcomes[static_cast<std::size_t>(i)] = RunClient(login, service, i, contacts);
        });
    }
    for (auto& t : threads) t.join();
    Load load;
    load.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (const Outcome& o : outcomes) {
        if (!o.ok) {
            ++load.errors;
            if (load.errors <= 5)
                std::fprintf(stderr, "bench_server: client failed: %s\n", o.what.c_str());
        }
        load.lost += o.lost;
    }
    return load;
}

void Report(const char* name, const Load& load, int clients, int contacts) {
    double moved = 2.0 * clients * contacts;  // each contact stored once and restored once
    std::printf("BENCH %s_seconds %.2f s\n", name, load.seconds);
    std::printf("BENCH %s_contacts_per_s %.0f contacts/s\n", name, moved / load.seconds);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int clients = argc > 1 ? std::atoi(argv[1]) : 200;
    int contacts = argc > 2 ? std::atoi(argv[2]) : 500;
    if (clients <= 0 || contacts <= 0) {
        std::fprintf(stderr, "usage: bench_server [clients] [contacts per client]\n");
        return 2;
    }
    if (!std::getenv("KAVO_BIN_DIR")) {
        // Beside the bench programs: build/bench/bench_server and build/bin/kavo-server.
        std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
        setenv("KAVO_BIN_DIR", (self.parent_path().parent_path() / "bin").c_str(), 1);
    }

    // Never hang a benchmark run: give up after the time limit.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(kTimeLimitSeconds));
        std::fprintf(stderr, "bench_server: gave up after %d s\n", kTimeLimitSeconds);
        std::printf("BENCH server_load_errors -1 count\n");
        std::fflush(stdout);
        std::_Exit(1);
    }).detach();

    // Every client comes from 127.0.0.1: one address holds them all.
    const std::vector<std::string> limits = {"--quiet", "--max-connections", "1024",
                                             "--max-per-address", "1024"};
    char name[64];
    std::snprintf(name, sizeof(name), "server_load_%dx%d", clients, contacts);

    kavo::test::ServerRunner sqlite;
    if (!sqlite.Start(limits)) {
        std::fprintf(stderr, "bench_server: %s\n", sqlite.error().c_str());
        return 1;
    }
    Load one = RunLoad({&sqlite}, clients, contacts);
    Report(name, one, clients, contacts);
    std::printf("BENCH server_load_errors %d count\n", one.errors);
    std::printf("BENCH server_load_lost_contacts %d count\n", one.lost);
    int rc = sqlite.Stop();
    if (rc != 0) std::fprintf(stderr, "bench_server: kavo-server exited with %d\n", rc);
    bool ok = one.errors == 0 && one.lost == 0 && rc == 0;

    kavo::test::PgCluster cluster;
    if (!cluster.Start() || !cluster.CreateDatabase("bench")) {
        std::fprintf(stderr, "bench_server: no PostgreSQL figure: %s\n", cluster.why().c_str());
        return ok ? 0 : 1;
    }
    std::vector<std::string> pgArgs = limits;
    pgArgs.push_back("--pg");
    pgArgs.push_back(cluster.ConnInfo("bench"));
    kavo::test::ServerRunner first, second;
    if (!first.Start(pgArgs) || !second.Start(pgArgs)) {
        std::fprintf(stderr, "bench_server: %s%s\n", first.error().c_str(), second.error().c_str());
        return 1;
    }
    Load two = RunLoad({&first, &second}, clients, contacts);
    std::snprintf(name, sizeof(name), "server_load_%dx%d_pg2", clients, contacts);
    Report(name, two, clients, contacts);
    std::printf("BENCH server_load_pg2_errors %d count\n", two.errors);
    std::printf("BENCH server_load_pg2_lost_contacts %d count\n", two.lost);
    std::printf("BENCH server_load_pg2_vs_sqlite_ratio %.2f ratio\n", one.seconds / two.seconds);
    int rc1 = first.Stop(), rc2 = second.Stop();
    if (rc1 != 0 || rc2 != 0)
        std::fprintf(stderr, "bench_server: kavo-server exited with %d and %d\n", rc1, rc2);
    cluster.Stop();
    return ok && two.errors == 0 && two.lost == 0 && rc1 == 0 && rc2 == 0 ? 0 : 1;
}
