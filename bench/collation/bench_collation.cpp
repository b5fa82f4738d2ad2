// Chinese order and pinyin search on large address books: ordering 100,000 contacts by
// name, filling the contacts list of 10,000 from the store, and a search of 10,000 by
// pinyin initials, each beside a peer in the same run (the order by code point, a search
// by substring). Prints one line per figure: BENCH <name> <value> <unit>.
#include <stdlib.h>

#include <algorithm>
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
#include "workflows/list_rows.h"

using namespace kavo;

namespace {

using kavo::bench::CpuMs;

const char* const kSurnames[] = {
    "王", "李", "张", "刘", "陈", "杨", "黄",   "赵", "吴", "周", "徐", "孙", "马", "朱", "胡",
    "郭", "何", "高", "林", "罗", "郑", "梁",   "谢", "宋", "唐", "许", "韩", "冯", "邓", "曹",
    "彭", "曾", "萧", "田", "董", "潘", "袁",   "蔡", "蒋", "余", "于", "杜", "叶", "程", "魏",
    "苏", "吕", "丁", "任", "卢", "姚", "沈",   "钟", "姜", "崔", "谭", "陆", "范", "汪", "廖",
    "石", "金", "韦", "贾", "夏", "付", "方",   "邹", "熊", "白", "孟", "秦", "邱", "侯", "江",
    "尹", "薛", "闫", "段", "雷", "龙", "黎",   "史", "陶", "贺", "毛", "郝", "顾", "龚", "邵",
    "万", "覃", "武", "钱", "戴", "严", "欧阳", "单", "解", "仇"};
const char* const kGiven[] = {"伟", "芳",   "娜", "秀英", "敏",   "静",   "丽",
                              "强", "磊",   "军", "洋",   "勇",   "艳",   "杰",
                              "娟", "涛",   "明", "超",   "秀兰", "霞",   "平",
                              "刚", "桂英", "华", "建国", "玉兰", "志强", "海燕"};
const char* const kLatin[] = {"Alice", "Bob",   "Charlie", "David", "Emma", "Frank", "Grace",
                              "Henry", "Ivy",   "Jack",    "Kevin", "Lily", "Mike",  "Nancy",
                              "Oscar", "Peter", "Queenie", "Rose",  "Sam",  "Tony",  "Zoe"};

template <typename T, std::size_t N>
const char* Pick(std::mt19937& rng, T (&table)[N]) {
    return table[rng() % N];
}

std::vector<CRelData> MakeContacts(int count, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<CRelData> out(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        CRelData& r = out[static_cast<std::size_t>(i)];
        // One in eight names is Latin, as in an address book that also holds colleagues
        // from abroad.
        std::string name = i % 8 == 0 ? std::string(Pick(rng, kLatin)) + " " + Pick(rng, kLatin)
                                      : std::string(Pick(rng, kSurnames)) + Pick(rng, kGiven);
        SetFieldUtf8(r.RelName, name);
        SetField(r.MobilePhone1, "13" + std::to_string(100000000 + rng() % 900000000));
        SetField(r.OfficePhone1, "010-" + std::to_string(60000000 + rng() % 9999999));
        SetFieldUtf8(r.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i % 300) + "号");
        SetField(r.E_mail, "user" + std::to_string(i) + "@example.com");
        SetFieldUtf8(r.KeshNum, "北京天元科技有限公司");
    }
    return out;
}

template <typename F>
double BestOf(int runs, F f) {
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        double start = CpuMs();
        f();
        best = std::min(best, CpuMs() - start);
    }
    return best;
}

void Report(const char* name, double value, const char* unit) {
    std::printf("BENCH %s %.2f %s\n", name, value, unit);
    std::fflush(stdout);
}

// The peer of the Chinese order: the order by name bytes (code points), made the same way
// (keys, a stable sort, records moved along the permutation's cycles).
void SortByCodePoint(std::vector<CRelData>& list) {
    SortContactsByKey(list, 0,
                      [](const CRelData& rel) { return std::string(FieldText(rel.RelName)); });
}

}  // namespace

int main() {
    {
        const std::vector<CRelData> hundredK = MakeContacts(100000, 1);
        std::vector<CRelData> work;
        const double chinese = BestOf(3, [&] {
            work = hundredK;
            SortContactsByName(work);
        });
        const double copyOnly = BestOf(3, [&] { work = hundredK; });
        const double bytes = BestOf(3, [&] {
            work = hundredK;
            SortByCodePoint(work);
        });
        Report("collation_order_100k", chinese - copyOnly, "ms");
        Report("collation_order_100k_code_point_peer", bytes - copyOnly, "ms");
        Report("collation_order_100k_ratio_to_peer", (chinese - copyOnly) / (bytes - copyOnly),
               "x");
    }

    // The contacts view's fill: the store read in Chinese order and the rows of the list.
    std::string dir = (std::filesystem::temp_directory_path() / "kavo-bench-XXXXXX").string();
    if (!mkdtemp(dir.data())) return 1;
    SetProgramDir(dir + "/");
    if (!StartLocalStore({"kavo-no-such-program"})) return 1;
    AppState().SetCurrentUser("benchuser", "pw");
    const std::vector<CRelData> tenK = MakeContacts(10000, 2);
    {
        CBatchScope batch;
        CDataAccess store;
        for (const CRelData& r : tenK) store.SaveContact(r);
    }
    std::vector<CListRow> rows;
    const double fill = BestOf(7, [&] {
        std::vector<CRelData> list;
        CDataAccess().LoadContacts(list);
        rows = ContactRows(list);
    });
    if (rows.size() != tenK.size()) std::fprintf(stderr, "loaded %zu rows\n", rows.size());
    std::vector<CRelData> sorted = tenK;
    const double sortOnly = BestOf(7, [&] {
        sorted = tenK;
        SortContactsByName(sorted);
    });
    const double copyOnly = BestOf(7, [&] { sorted = tenK; });
    Report("collation_contacts_fill_10k", fill, "ms");
    Report("collation_contacts_fill_10k_of_which_order", sortOnly - copyOnly, "ms");

    // A search by pinyin initials ("zw") and one by full pinyin beside a substring search
    // of the same list.
    int found = 0;
    auto search = [&](const char* text) {
        return BestOf(9, [&] {
            std::vector<CListRow> copy = rows;
            found = GatherRows(copy, text, false);
        });
    };
    const double copyRows = BestOf(9, [&] { std::vector<CListRow> copy = rows; });
    const double initials = search("zw") - copyRows;
    const int initialsFound = found;
    const double full = search("zhangwei") - copyRows;
    const double substring = search("王") - copyRows;
    Report("collation_pinyin_initials_search_10k", initials, "ms");
    Report("collation_pinyin_full_search_10k", full, "ms");
    Report("collation_substring_search_10k_peer", substring, "ms");
    Report("collation_pinyin_initials_ratio_to_peer", initials / substring, "x");
    if (initialsFound == 0) std::fprintf(stderr, "the initials found nothing\n");

    CloseConnection();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
