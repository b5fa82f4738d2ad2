// "储存通讯录" and "还原通讯录" of 10,000 contacts through the progress window, against the
// real kavo-server on loopback: the store from the local store to the server, and the
// restore into an empty local store with its merge. Then the peak memory of a whole
// `kavoctl restore` of 100,000 and of 1,000,000 contacts.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "dialogs/waitting_dlg.h"
#include "process_run.h"
#include "server_runner.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "workflows/address_book_sync.h"
#include "workflows/login_flow.h"

namespace {

using kavo::bench::Median;
using kavo::bench::ProcessRun;
using kavo::bench::RunProcess;

constexpr int kContacts = 10000;
constexpr int kLargeContacts = 100000;
constexpr int kHugeContacts = 1000000;

kavo::CRelData Contact(int i) {
    kavo::CRelData rel;
    kavo::SetFieldUtf8(rel.RelName, "联系人" + std::to_string(i));
    kavo::SetField(rel.MobilePhone1, "139" + std::to_string(10000000 + i));
    kavo::SetFieldUtf8(rel.HomeAddr, "广州市天河区体育西路" + std::to_string(i) + "号");
    kavo::SetFieldUtf8(rel.RelRemark, "大学同学，喜欢打篮球");
    kavo::SetField(rel.E_mail, "c" + std::to_string(i) + "@example.com");
    kavo::SetFieldUtf8(rel.GroupName, i % 5 == 0 ? "同学" : "");
    return rel;
}

// A fresh program directory with its own database, made current.
bool UseProgramDir(const kavo::test::TempDir& dir) {
    kavo::CloseConnection();
    kavo::SetProgramDir(dir.path() + "/");
    return kavo::StartLocalStore({"kavo-bench-no-such-program"});
}

double Run(CZPWaittingDlg& dlg, bool& ok) {
    const auto start = std::chrono::steady_clock::now();
    ok = dlg.exec() == kIdOk;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// Rows first .. first + count - 1 of the product's own CSV file, UTF-8.
std::string CsvRows(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
        const std::string n = std::to_string(i);
        text += "联系人" + n + ",139" + std::to_string(10000000 + i) + ",广州市天河区体育西路" + n +
                "号,c" + n + "@example.com,大学同学，喜欢打篮球\r\n";
    }
    return text;
}

// The product's own CSV file of `count` contacts, in GBK, written a part at a time: a
// million rows are some 90 MB.
void WriteCsv(const std::string& path, int count) {
    std::ofstream out(path, std::ios::binary);
    out << kavo::Utf8ToGbk("姓名,移动电话(公),住宅地址,邮件一,备注\r\n");
    constexpr int kPart = 100000;
    for (int first = 0; first < count; first += kPart)
        out << kavo::Utf8ToGbk(CsvRows(first, std::min(kPart, count - first)));
}

// kavoctl stores `count` contacts on the server as the user `user`, then restores them
// into fresh program directories, each a whole process. Run while this program is small,
// before the windows start: a child's peak memory counts from this program's size at its
// start.
bool MeasureLargeRestore(const kavo::test::ServerRunner& server, const std::string& user, int count,
                         int runs, const char* size) {
    const std::string kavoctl = kavo::test::BinDir() + "/kavoctl";
    kavo::test::TempDir root;
    auto newDir = [&root, &server](const std::string& name) {
        const std::string dir = root.File(name);
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/KAVO.cfg")
            << "<?xml version=\"1.0\"?>\n<Kavo><IP SvrIP0=\"" << server.host()
            << "\" SvrIP1=\"\" SvrIP2=\"\"/></Kavo>\n";
        return dir;
    };
    auto command = [&](const std::string& dir, const std::vector<std::string>& rest) {
        std::vector<std::string> args{kavoctl,
                                      "--dir",
                                      dir,
                                      "--login-port",
                                      std::to_string(server.loginPort()),
                                      "--service-port",
                                      std::to_string(server.servicePort()),
                                      "-u",
                                      user,
                                      "-p",
                                      "pw"};
        args.insert(args.end(), rest.begin(), rest.end());
        return args;
    };
    const std::string source = newDir("source");
    const std::string csv = root.File("contacts.csv");
    WriteCsv(csv, count);
    const std::vector<std::vector<std::string>> steps = {
        {"register"}, {"import-csv", csv}, {"store"}};
    for (const std::vector<std::string>& step : steps) {
        if (!RunProcess(command(source, step)).ok) {
            std::fprintf(stderr, "bench_sync: could not store %d contacts (%s)\n", count,
                         step.front().c_str());
            return false;
        }
    }
    std::vector<double> ms, peak;
    for (int i = 0; i < runs; ++i) {
        const std::string dir = newDir("restore" + std::to_string(i));
        ProcessRun run = RunProcess(command(dir, {"restore"}));
        if (!run.ok) {
            std::fprintf(stderr, "bench_sync: the restore of %d contacts failed\n", count);
            return false;
        }
        ms.push_back(run.ms);
        peak.push_back(run.peakMiB);
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::printf("BENCH sync_restore_process_%s %.0f ms\n", size, Median(ms));
    std::printf("BENCH sync_restore_peak_memory_%s %.1f MiB\n", size, Median(peak));
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::getenv("KAVO_BIN_DIR")) {
        std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
        setenv("KAVO_BIN_DIR", (self.parent_path().parent_path() / "bin").c_str(), 1);
    }
    kavo::test::ServerRunner server;
    // A million contacts wait in the server's memory until the upload is whole.
    if (!server.Start(
            {"--max-contacts", std::to_string(kHugeContacts), "--max-staged-mb", "1024"})) {
        std::fprintf(stderr, "bench_sync: %s\n", server.error().c_str());
        return 1;
    }
    if (!MeasureLargeRestore(server, "bulk", kLargeContacts, 3, "100k") ||
        !MeasureLargeRestore(server, "huge", kHugeContacts, 1, "1m"))
        return 1;

    QApplication app(argc, argv);
    CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
    kavo::CKavoTcpClient client;
    client.SetServerHost(0, server.host());
    client.SetServerHost(1, "");
    client.SetServerHost(2, "");
    client.SetPorts(server.loginPort(), server.servicePort());

    kavo::test::TempDir first, second;
    if (!UseProgramDir(first)) return 1;
    std::atomic<bool> cancelled{false};
    kavo::CLoginForm form{"bencher", "pw", {}};
    if (!kavo::RunLoginWorker(client, form, true, cancelled) ||
        !kavo::RunLoginWorker(client, form, false, cancelled)) {
        std::fprintf(stderr, "bench_sync: could not log in\n");
        return 1;
    }
    kavo::ApplyLoginSuccess(form, false);
    std::vector<kavo::CRelData> contacts;
    for (int i = 0; i < kContacts; ++i) contacts.push_back(Contact(i));
    kavo::MergeContacts(contacts);

    bool ok = false;
    CZPWaittingDlg store(CZPWaittingDlg::kStore, client);
    const double storeMs = Run(store, ok);
    if (!ok) {
        std::fprintf(stderr, "bench_sync: store failed: %s\n",
                     store.ResultMessage().toStdString().c_str());
        return 1;
    }

    // The restore goes into an empty local store of a second program directory.
    if (!UseProgramDir(second)) return 1;
    kavo::AppState().GroupNames.assign(1, "");
    CZPWaittingDlg restore(CZPWaittingDlg::kRestore, client);
    const double restoreMs = Run(restore, ok);
    std::vector<kavo::CRelData> back;
    const int restored = kavo::CDataAccess().LoadContacts(back);
    if (!ok || restored != kContacts) {
        std::fprintf(stderr, "bench_sync: restore failed (%d contacts): %s\n", restored,
                     restore.ResultMessage().toStdString().c_str());
        return 1;
    }
    std::printf("BENCH sync_store_10k %.0f ms\n", storeMs);
    std::printf("BENCH sync_restore_merge_10k %.0f ms\n", restoreMs);
    kavo::CloseConnection();
    kavo::SetProgramDir({});
    return 0;
}
