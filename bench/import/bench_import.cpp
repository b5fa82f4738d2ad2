// Import figures: a 10,000-line CSV file read into a contact list, and the same file
// imported end to end (read, then every contact saved by key in one batch, as the main
// window merges); and a 10,000-entry vCard address book read through libpelbook.so.
// Each figure is the median of several runs.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "import/address_book_import.h"
#include "import/csv_import.h"
#include "process_run.h"
#include "store/ado_record.h"
#include "store/batch_scope.h"
#include "store/data_access.h"

using namespace kavo;
using kavo::bench::Median;
using kavo::bench::ProcessRun;
using kavo::bench::RunProcess;
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

const char kCsvHeader[] =
    "姓名,组织,头衔,移动电话(公),移动电话(私),住宅电话,商务电话1,商务电话2,呢称,生日,"
    "纪念日,工作地址,住宅地址,主页,工作地邮编,邮件一,商务传真,响铃文件路径,备注,QQ号码\r\n";

// Rows first .. first + count - 1 of the product's own CSV file, GBK.
std::string MakeCsvRows(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) {
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

std::string MakeCsv(int lines = kLines) { return Utf8ToGbk(kCsvHeader) + MakeCsvRows(0, lines); }

// The same file written a part at a time, for files too large to make at once.
void WriteCsv(const std::string& path, int lines) {
    std::ofstream out(path, std::ios::binary);
    out << Utf8ToGbk(kCsvHeader);
    constexpr int kPart = 10000;
    for (int first = 0; first < lines; first += kPart)
        out << MakeCsvRows(first, std::min(kPart, lines - first));
}

std::string MakeVcf(int cards = kLines) {
    std::string text;
    for (int i = 0; i < cards; ++i) {
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

// A program directory whose database knows the user "bench" (password "pw"), so that
// kavoctl can log in offline; every run starts from a copy of it.
struct ImportDirs {
    std::string root, pristine, run;

    explicit ImportDirs(const std::string& dir)
        : root(dir), pristine(dir + "/pristine"), run(dir + "/run") {
        fs::create_directories(pristine);
        const std::string db = pristine + "/KAVO.kavo";
        SetConnectionInfo({}, {}, db);
        OpenConnection(db);
        CDataAccess().SaveUser("bench", "pw", "", 0);
        CloseConnection();
    }
    void Fresh() const {
        std::error_code ec;
        fs::remove_all(run, ec);
        fs::create_directories(run);
        fs::copy_file(pristine + "/KAVO.kavo", run + "/KAVO.kavo");
    }
    std::vector<std::string> Kavoctl(const std::string& binDir,
                                     std::initializer_list<std::string> command) const {
        std::vector<std::string> args{binDir + "/kavoctl", "--dir", run, "-u", "bench", "-p", "pw",
                                      "--offline"};
        args.insert(args.end(), command);
        return args;
    }
};

const char* Size(int count) { return count >= 1000000 ? "1m" : count >= 100000 ? "100k" : "10k"; }

// kavoctl import-csv of `lines` rows against sqlite3 .import of the same file, each a
// whole process, runs interleaved.
bool CompareCsvImport(const ImportDirs& dirs, const std::string& binDir, int lines, int runs) {
    const std::string csv = dirs.root + "/peer.csv";
    WriteCsv(csv, lines);
    const std::string peerDb = dirs.root + "/peer.db";
    std::vector<double> own, peer, peak;
    for (int i = 0; i < runs; ++i) {
        dirs.Fresh();
        ProcessRun a = RunProcess(dirs.Kavoctl(binDir, {"import-csv", csv}));
        std::error_code ec;
        fs::remove(peerDb, ec);
        ProcessRun b = RunProcess({"/usr/bin/sqlite3", peerDb, ".import --csv " + csv + " t"});
        if (!a.ok || !b.ok) {
            std::fprintf(stderr, "bench_import: the %s CSV comparison failed (%d %d)\n",
                         Size(lines), a.ok, b.ok);
            return false;
        }
        own.push_back(a.ms);
        peer.push_back(b.ms);
        peak.push_back(a.peakMiB);
    }
    std::error_code ec;
    fs::remove(csv, ec);
    fs::remove(peerDb, ec);
    const char* n = Size(lines);
    std::printf("BENCH import_csv_process_%s %.1f ms\n", n, Median(own));
    std::printf("BENCH sqlite3_import_process_%s %.1f ms\n", n, Median(peer));
    std::printf("BENCH import_csv_to_sqlite3_import_ratio_%s %.2f x\n", n,
                Median(own) / Median(peer));
    std::printf("BENCH import_csv_peak_memory_%s %.1f MiB\n", n, Median(peak));
    std::fflush(stdout);
    return true;
}

// kavoctl import-addressbook of `cards` vCards against KDE's KContacts parsing them.
bool CompareVcardImport(const ImportDirs& dirs, const std::string& binDir, int cards, int runs) {
    const std::string book = dirs.root + "/peer-book";
    fs::create_directories(book);
    const std::string vcf = book + "/contacts.vcf";
    Write(vcf, MakeVcf(cards));
    ::setenv("KAVO_ADDRESSBOOK_DIR", book.c_str(), 1);
    std::vector<double> own, peer, peak, peerPeak;
    for (int i = 0; i < runs; ++i) {
        dirs.Fresh();
        ProcessRun a = RunProcess(dirs.Kavoctl(binDir, {"import-addressbook"}));
        if (!a.ok) {
            std::fprintf(stderr, "bench_import: the %s vCard import failed\n", Size(cards));
            return false;
        }
        own.push_back(a.ms);
        peak.push_back(a.peakMiB);
#ifdef KAVO_KCONTACTS_PARSE
        ProcessRun b = RunProcess({KAVO_KCONTACTS_PARSE, vcf});
        if (!b.ok) {
            std::fprintf(stderr, "bench_import: KContacts could not parse the cards\n");
            return false;
        }
        peer.push_back(b.ms);
        peerPeak.push_back(b.peakMiB);
#endif
    }
    const char* n = Size(cards);
    std::printf("BENCH import_vcard_process_%s %.1f ms\n", n, Median(own));
    std::printf("BENCH import_vcard_peak_memory_%s %.1f MiB\n", n, Median(peak));
    if (!peer.empty()) {
        std::printf("BENCH kcontacts_parse_process_%s %.1f ms\n", n, Median(peer));
        std::printf("BENCH kcontacts_parse_peak_memory_%s %.1f MiB\n", n, Median(peerPeak));
        // Above 1: the whole import, database included, is faster than the parse alone.
        std::printf("BENCH kcontacts_parse_to_import_vcard_ratio_%s %.2f x\n", n,
                    Median(peer) / Median(own));
    }
    std::fflush(stdout);
    return true;
}

}  // namespace

int main() {
    std::string tmpl = (fs::temp_directory_path() / "kavo-bench-import-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) return 1;
    const std::string dir = tmpl;
    const std::string csvPath = dir + "/contacts.csv";
    Write(csvPath, MakeCsv());

    const char* bin = std::getenv("KAVO_BIN_DIR");
    const std::string binDir = bin && *bin ? bin : KAVO_BIN_DIR_DEFAULT;
    {
        // Whole processes against their peers in the same run, first, while this program
        // is small: a child's peak memory counts from this program's size at its start.
        ImportDirs dirs(dir);
        // A million rows (some 240 MB) once: memory must not grow with the file.
        for (int lines : {10000, 100000, 1000000})
            if (!CompareCsvImport(dirs, binDir, lines, lines > 100000 ? 1 : lines > 10000 ? 3 : 5))
                return 1;
        for (int cards : {10000, 100000})
            if (!CompareVcardImport(dirs, binDir, cards, cards > 10000 ? 3 : 5)) return 1;
    }

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
    double bookMs = MedianMs(5, nullptr, [&] { ok = ReadAddressBookContacts(binDir, list) && ok; });
    if (!ok || list.size() != kLines) {
        std::fprintf(stderr, "bench_import: the address book read failed\n");
        return 1;
    }
    std::printf("BENCH import_addressbook_read_10k %.1f ms\n", bookMs);

    // Whole processes, against their peers in the same run.

    std::error_code ec;
    fs::remove_all(dir, ec);
    return 0;
}
