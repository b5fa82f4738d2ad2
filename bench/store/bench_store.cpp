// Speed of the local store on realistic address books: the merge of restored or imported
// contacts (with and without a batch), and the load of a whole address book.
// Prints one line per figure: BENCH <name> <value> <unit>.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "cpu_time.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/batch_scope.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"

using namespace kavo;

namespace {

using kavo::bench::CpuMs;

const char* const kSurnames[] = {"王", "李", "张", "刘", "陈", "杨", "黄", "赵", "吴", "周",
                                 "徐", "孙", "马", "朱", "胡", "郭", "何", "高", "林", "欧阳"};
const char* const kGiven[] = {"伟", "芳", "娜", "秀英", "敏", "静", "丽", "强", "磊",   "军",
                              "洋", "勇", "艳", "杰",   "娟", "涛", "明", "超", "秀兰", "霞"};
const char* const kCities[] = {"北京市海淀区中关村大街", "上海市浦东新区世纪大道",
                               "广州市天河区体育西路", "深圳市南山区科技园", "杭州市西湖区文三路"};
const char* const kGroups[] = {"", "同事", "朋友", "家人", "Clients"};

std::vector<CRelData> MakeContacts(int count, unsigned seed) {
    std::mt19937 rng(seed);
    auto pick = [&rng](auto& table) { return table[rng() % (sizeof(table) / sizeof(table[0]))]; };
    std::vector<CRelData> out(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        CRelData& r = out[static_cast<std::size_t>(i)];
        // Every fifth contact has an ASCII name, as imported address books often do.
        std::string name = i % 5 == 0 ? "Contact " + std::to_string(i)
                                      : std::string(pick(kSurnames)) + pick(kGiven) + pick(kGiven);
        SetFieldUtf8(r.RelName, name);
        SetFieldUtf8(r.CorpPosition, i % 3 ? "工程师" : "Manager");
        SetField(r.MobilePhone1, "13" + std::to_string(100000000 + i));
        if (i % 4 == 0) SetField(r.MobilePhone2, "15" + std::to_string(900000000 - i));
        SetField(r.OfficePhone1, "010-" + std::to_string(60000000 + rng() % 9999999));
        SetFieldUtf8(r.CompanyAddr, std::string(pick(kCities)) + std::to_string(i % 300) + "号");
        if (i % 2)
            SetFieldUtf8(r.HomeAddr, std::string(pick(kCities)) + "小区" + std::to_string(i % 97));
        SetField(r.Birthday, "19" + std::to_string(60 + i % 40) + "-0" + std::to_string(1 + i % 9) +
                                 "-1" + std::to_string(i % 10));
        SetField(r.QQ, std::to_string(10000 + rng() % 900000000));
        SetField(r.E_mail, "user" + std::to_string(i) + "@example.com");
        SetFieldUtf8(r.KeshNum, i % 3 ? "北京天元科技有限公司" : "Acme Trading Ltd.");
        SetFieldUtf8(r.GroupName, pick(kGroups));
        if (i % 7 == 0)
            SetFieldUtf8(r.RelRemark, "老同学，2019年聚会认识。Likes tea; call after 6pm.");
    }
    return out;
}

double Ms(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - since)
        .count();
}

// The median of a few runs: the machine is shared, and one slow run says little.
double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Report(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.1f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A fresh database in its own directory.
struct FreshStore {
    std::string dir;
    FreshStore() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kavo-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        dir = tmpl;
        CloseConnection();
        SetProgramDir(dir);
        SetConnectionInfo({}, {}, GetDatabasePath());
        OpenConnection(GetDatabasePath());
    }
    ~FreshStore() {
        CloseConnection();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

bool Merge(const std::vector<CRelData>& contacts, bool batch) {
    CDataAccess da;
    bool ok = true;
    if (batch) {
        CBatchScope scope;
        for (const CRelData& r : contacts) ok &= da.SaveContact(r);
    } else {
        for (const CRelData& r : contacts) ok &= da.SaveContact(r);
    }
    return ok;
}

// The integrity check that start-up runs, on a connection opened afresh (the file's pages
// may be in the system's cache, as they are at a real start-up after the last run).
double CheckMs() {
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        CloseConnection();
        auto t = std::chrono::steady_clock::now();
        if (!CheckDatabase()) std::fprintf(stderr, "check failed\n");
        best = std::min(best, Ms(t));
    }
    return best;
}

// The merge as the workflow runs it: a commit every thousand contacts, so that a fault
// loses at most the batch under way.
bool MergeCommittingEvery(const std::vector<CRelData>& contacts, int every) {
    CDataAccess da;
    CBatchScope scope;
    bool ok = true;
    int pending = 0;
    for (const CRelData& r : contacts) {
        ok &= da.SaveContact(r);
        if (++pending == every) {
            ok &= scope.Commit();
            pending = 0;
        }
    }
    return scope.Finish() && ok;
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    AppState().SetCurrentUser("benchuser", "pw");
    const std::vector<CRelData> tenK = MakeContacts(10000, 1);
    double load10k = 0;

    {
        FreshStore store;
        auto t = std::chrono::steady_clock::now();
        double cpu = CpuMs();
        if (!Merge(tenK, true)) std::fprintf(stderr, "merge failed\n");
        Report("store_merge_10k_batch", Ms(t), "ms");
        Report("store_merge_10k_batch_cpu", CpuMs() - cpu, "ms");

        // A restore over the same address book updates every contact.
        t = std::chrono::steady_clock::now();
        Merge(tenK, true);
        Report("store_remerge_10k_batch", Ms(t), "ms");

        CDataAccess da;
        std::vector<double> wall, cpuMs;
        for (int i = 0; i < 7; ++i) {
            std::vector<CRelData> list;
            t = std::chrono::steady_clock::now();
            double c = CpuMs();
            int n = da.LoadContacts(list);
            wall.push_back(Ms(t));
            cpuMs.push_back(CpuMs() - c);
            if (n != 10000) std::fprintf(stderr, "loaded %d contacts\n", n);
        }
        load10k = Median(wall);
        Report("store_load_10k", load10k, "ms");
        Report("store_load_10k_cpu", Median(cpuMs), "ms");

        std::vector<CRelData> group;
        t = std::chrono::steady_clock::now();
        da.LoadContacts(group, Utf8ToGbk("同事"));
        Report("store_load_10k_one_group", Ms(t), "ms");

        const double check = CheckMs();
        Report("store_open_check_10k", check, "ms");
        Report("store_open_check_10k_share_of_load", 100 * check / load10k, "%");
    }
    {
        FreshStore store;
        auto t = std::chrono::steady_clock::now();
        if (!MergeCommittingEvery(tenK, 1000)) std::fprintf(stderr, "merge failed\n");
        Report("store_merge_10k_commit_every_1000", Ms(t), "ms");
    }
    {
        FreshStore store;
        auto t = std::chrono::steady_clock::now();
        Merge(tenK, false);
        Report("store_merge_10k_nobatch", Ms(t), "ms");
    }
    if (!quick) {
        const std::vector<CRelData> hundredK = MakeContacts(100000, 2);
        FreshStore store;
        auto t = std::chrono::steady_clock::now();
        double cpu = CpuMs();
        if (!Merge(hundredK, true)) std::fprintf(stderr, "merge failed\n");
        Report("store_merge_100k_batch", Ms(t), "ms");
        Report("store_merge_100k_batch_cpu", CpuMs() - cpu, "ms");
        CDataAccess da;
        std::vector<double> wall;
        for (int i = 0; i < 3; ++i) {
            std::vector<CRelData> list;
            t = std::chrono::steady_clock::now();
            int n = da.LoadContacts(list);
            wall.push_back(Ms(t));
            if (n != 100000) std::fprintf(stderr, "loaded %d contacts\n", n);
        }
        const double load100k = Median(wall);
        Report("store_load_100k", load100k, "ms");
        // Ten times the contacts should cost about ten times the time.
        Report("store_load_100k_to_10k_ratio", load100k / load10k, "x");
        const double check = CheckMs();
        Report("store_open_check_100k", check, "ms");
        Report("store_open_check_100k_share_of_load", 100 * check / load100k, "%");
    }
    return 0;
}
