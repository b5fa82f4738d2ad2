// Import figures: a 10,000-line CSV file read into a contact list, and the same file
// imported end to end (read, then every contact saved by key in one batch, as the main
// window merges); and a 10,000-entry vCard address book read through libpelbook.so.
// Each figure is the median of several runs.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "import/address_book_import.h"
#include "import/csv_import.h"
#include "store/ado_record.h"
#include "store/batch_scope.h"
#include "store/data_access.h"

using namespace kavo;
namespace fs = std::filesystem;

namespace {

constexpr int kLines = 10000;

double MedianMs(int runs, const std::function<void()>& setup, const std::function<void()>& run) {
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (setup) setup();
        auto t0 = std::chrono::steady_clock::now();
        run();
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

std::string MakeCsv() {
    std::string text =
        "姓名,组织,头衔,移动电话(公),移动电话(私),住宅电话,商务电话1,商务电话2,呢称,生日,"
        "纪念日,工作地址,住宅地址,主页,工作地邮编,邮件一,商务传真,响铃文件路径,备注,QQ号码\r\n";
    for (int i = 0; i < kLines; ++i) {
        std::string n = std::to_string(i);
        text += "联系人" + n + ",华星公司,经理,138" + std::to_string(10000000 + i) + ",139" +
                std::to_string(20000000 + i) + ",010-" + n + ",010-8888001,010-8888002,小" + n +
                ",19800305,20050101,"
                "北京市海淀区中关村大街" +
                n + "号,北京市朝阳区建国路" + n +
                "号,www.example.cn,"
                "100080,user" +
                n + "@example.cn,010-8888009,/home/ring.wav,老同学 " + n + "," + n + "\r\n";
    }
    return Utf8ToGbk(text);
}

std::string MakeVcf() {
    std::string text;
    for (int i = 0; i < kLines; ++i) {
        std::string n = std::to_string(i);
        text += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:联系人" + n + ";;;;\r\nFN:联系人" + n +
                "\r\nORG:华星公司;销售部\r\nTITLE:经理\r\nTEL;TYPE=CELL:138" +
                std::to_string(10000000 + i) +
                "\r\nTEL;TYPE=WORK:010-8888001\r\n"
                "EMAIL:user" +
                n + "@example.cn\r\nADR;TYPE=WORK:;;中关村大街" + n +
                "号;海淀区;北京市;100080;中国\r\nBDAY:1980-03-05\r\nNOTE:老同学\\n第二行\r\n"
                "END:VCARD\r\n";
    }
    return text;
}

// The same contacts as a web mail service exports them: UTF-8 without a byte order mark,
// English titles, a typed phone column and a value list.
std::string MakeForeignCsv() {
    std::string text =
        "First Name,Last Name,Organization Name,Organization Title,Phone 1 - Label,"
        "Phone 1 - Value,Phone 2 - Label,Phone 2 - Value,E-mail 1 - Value,Address 1 - Label,"
        "Address 1 - Formatted,Birthday,Notes\r\n";
    for (int i = 0; i < kLines; ++i) {
        std::string n = std::to_string(i);
        text += "人" + n + ",联系,华星公司,经理,Mobile,138" + std::to_string(10000000 + i) +
                " ::: 139" + std::to_string(20000000 + i) + ",Work,010-8888001,user" + n +
                "@example.cn,Work,\"北京市海淀区\n中关村大街" + n + "号\",1980-03-05,老同学 " + n +
                "\r\n";
    }
    return text;
}

void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main() {
    std::string tmpl = (fs::temp_directory_path() / "kavo-bench-import-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 1;
    const std::string dir = tmpl;
    const std::string csvPath = dir + "/contacts.csv";
    Write(csvPath, MakeCsv());

    std::vector<CRelData> list;
    bool ok = true;
    double readMs = MedianMs(9, nullptr, [&] { ok = ReadCsvContacts(csvPath, list) && ok; });
    if (!ok || list.size() != kLines) {
        std::fprintf(stderr, "bench_import: the CSV read failed\n");
        return 1;
    }
    std::printf("BENCH import_csv_read_10k %.1f ms\n", readMs);

    // Detecting the encoding, converting and looking titles up, against the own file.
    const std::string foreignPath = dir + "/foreign.csv";
    Write(foreignPath, MakeForeignCsv());
    double foreignMs = MedianMs(9, nullptr, [&] { ok = ReadCsvContacts(foreignPath, list) && ok; });
    if (!ok || list.size() != kLines) {
        std::fprintf(stderr, "bench_import: the foreign CSV read failed\n");
        return 1;
    }
    std::printf("BENCH import_csv_read_utf8_foreign_10k %.1f ms\n", foreignMs);
    std::printf("BENCH import_csv_foreign_to_own_ratio %.2f x\n", foreignMs / readMs);

    const std::string db = dir + "/KAVO.kavo";
    CDataAccess store(Utf8ToGbk("bench"));
    auto freshDb = [&] {
        CloseConnection();
        fs::remove(db);
        SetConnectionInfo({}, {}, db);
        OpenConnection(db);
    };
    double endToEndMs = MedianMs(5, freshDb, [&] {
        ok = ReadCsvContacts(csvPath, list) && ok;
        CBatchScope batch;
        for (const CRelData& rec : list) ok = store.SaveContact(rec) && ok;
    });
    std::vector<CRelData> stored;
    if (!ok || store.LoadContacts(stored) != kLines) {
        std::fprintf(stderr, "bench_import: the merge failed\n");
        return 1;
    }
    std::printf("BENCH import_csv_end_to_end_10k %.1f ms\n", endToEndMs);

    // The same contacts again: every save now updates an existing row.
    double againMs = MedianMs(5, nullptr, [&] {
        ok = ReadCsvContacts(csvPath, list) && ok;
        CBatchScope batch;
        for (const CRelData& rec : list) ok = store.SaveContact(rec) && ok;
    });
    std::printf("BENCH import_csv_end_to_end_again_10k %.1f ms\n", againMs);
    CloseConnection();

    fs::create_directories(dir + "/book");
    Write(dir + "/book/contacts.vcf", MakeVcf());
    ::setenv("KAVO_ADDRESSBOOK_DIR", (dir + "/book").c_str(), 1);
    const char* bin = std::getenv("KAVO_BIN_DIR");
    std::string binDir = bin && *bin ? bin : KAVO_BIN_DIR_DEFAULT;
    double bookMs = MedianMs(5, nullptr, [&] { ok = ReadAddressBookContacts(binDir, list) && ok; });
    if (!ok || list.size() != kLines) {
        std::fprintf(stderr, "bench_import: the address book read failed\n");
        return 1;
    }
    std::printf("BENCH import_addressbook_read_10k %.1f ms\n", bookMs);

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
