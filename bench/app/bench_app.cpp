// The main window with a large address book: how long showing the contacts view takes
// (load, rows, list, first paint), how long a gather search takes, and the resident memory
// with it all loaded. Prints one line per figure: BENCH <name> <value> <unit>.
#include <stdlib.h>

#include <QApplication>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/main_dlg.h"
#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "skin/skin_theme.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/batch_scope.h"
#include "store/data_access.h"
#include "store/program_dir.h"

using namespace kavo;

namespace {

const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周"};
const char* const kGiven[] = {"伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊", "军"};

std::vector<CRelData> MakeContacts(int count) {
    std::mt19937 rng(7);
    std::vector<CRelData> out(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        CRelData& r = out[static_cast<std::size_t>(i)];
        std::string name = i % 5 == 0 ? "Contact " + std::to_string(i)
                                      : std::string(kSurnames[rng() % 10]) + kGiven[rng() % 10] +
                                            kGiven[rng() % 10];
        SetFieldUtf8(r.RelName, name);
        SetField(r.MobilePhone1, "13" + std::to_string(100000000 + i));
        SetField(r.OfficePhone1, "010-" + std::to_string(60000000 + rng() % 9999999));
        SetFieldUtf8(r.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i % 300) + "号");
        SetField(r.E_mail, "user" + std::to_string(i) + "@example.com");
        SetFieldUtf8(r.KeshNum, "北京天元科技有限公司");
        if (i % 7 == 0) SetFieldUtf8(r.RelRemark, "老同学，2019年聚会认识。Likes tea.");
    }
    return out;
}

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double RssMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

void Report(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.1f %s\n", name, value, unit);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    CSkinTheme::Apply(app);
    CZPMessageScript::SetHeadless(true);

    std::string dir = (std::filesystem::temp_directory_path() / "kavo-bench-app-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
    SetProgramDir(dir + "/");
    if (!StartLocalStore({"kavo-no-such-program"})) return 1;
    AppState().SetCurrentUser("benchuser", "pw");
    AppState().LoginMode = 1;
    {
        CBatchScope batch;
        CDataAccess store;
        for (const CRelData& r : MakeContacts(10000)) store.SaveContact(r);
    }

    CZPMainDlg dlg;
    dlg.Open();
    dlg.show();
    QApplication::processEvents();

    // Showing the contacts view: the store read, the rows, the list and its repaint.
    std::vector<double> show;
    for (int i = 0; i < 7; ++i) {
        auto t = std::chrono::steady_clock::now();
        dlg.ShowView(CZPMainDlg::kViewContacts);
        dlg.ListView()->viewport()->repaint();
        show.push_back(Ms(t));
    }
    if (dlg.Rows().size() != 10000) std::fprintf(stderr, "rows: %zu\n", dlg.Rows().size());
    Report("app_contacts_view_10k", Median(show), "ms");

    // A gather search for a surname that about a tenth of the names hold, and for a word
    // in the ASCII names, each with the repaint of the list.
    std::vector<double> search;
    const QString needles[] = {QStringLiteral("王"), QStringLiteral("contact 99")};
    for (int i = 0; i < 8; ++i) {
        auto t = std::chrono::steady_clock::now();
        dlg.Search(needles[i % 2], true, false);
        dlg.ListView()->viewport()->repaint();
        search.push_back(Ms(t));
    }
    Report("app_gather_search_10k", Median(search), "ms");

    Report("app_rss_10k", RssMb(), "MB");

    dlg.hide();
    CloseConnection();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
