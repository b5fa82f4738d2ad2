#include "import/address_book_import.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <string>
#include <vector>

#include "import_test_util.h"
#include "pelbook/pelbook.h"
#include "pelbook/vcard_reader.h"

using namespace kavo;
using kavo::test::BinDir;
using kavo::test::TempDir;
using kavo::test::U;

namespace {

std::string LibraryPath() { return BinDir() + "/" + kPelbookLibraryName; }

class AddressBookImport : public ::testing::Test {
protected:
    void UseBook(const std::string& dir) { ::setenv("KAVO_ADDRESSBOOK_DIR", dir.c_str(), 1); }
    void TearDown() override { ::unsetenv("KAVO_ADDRESSBOOK_DIR"); }

    std::vector<CRelData> ReadOk() {
        std::vector<CRelData> out;
        ImportError error = ImportError::kEmptyFile;
        EXPECT_TRUE(ReadAddressBookContacts(BinDir(), out, &error));
        EXPECT_EQ(error, ImportError::kNone);
        return out;
    }
};

}  // namespace

TEST(FileTime, DatesComeBackAsTenCharacters) {
    EXPECT_EQ(FileTimeToDateText(DateToFileTime(1980, 3, 5)), "1980-03-05");
    EXPECT_EQ(FileTimeToDateText(DateToFileTime(2000, 2, 29)), "2000-02-29");
    EXPECT_EQ(FileTimeToDateText(DateToFileTime(1601, 1, 1)), "1601-01-01");
    EXPECT_EQ(FileTimeToDateText(DateToFileTime(9999, 12, 31)), "9999-12-31");
    // A time of day late in the day is still that day: no time-zone shift.
    EXPECT_EQ(FileTimeToDateText(DateToFileTime(1980, 3, 5) + 863999999999ull), "1980-03-05");
    EXPECT_EQ(DateToFileTime(1900, 2, 29), 0u);
    EXPECT_EQ(DateToFileTime(1600, 12, 31), 0u);
    // The largest file time still gives a date that fits the field.
    EXPECT_LT(FileTimeToDateText(~0ull).size(), 20u);
}

TEST_F(AddressBookImport, ReadsPhoneMailAndNewerVCardsIntoContacts) {
    UseBook(kavo::test::TestData("import/addressbook/mixed"));
    std::vector<CRelData> list = ReadOk();
    ASSERT_EQ(list.size(), 4u);

    const CRelData& z = list[0];  // vCard 2.1, quoted-printable UTF-8, from a phone
    EXPECT_EQ(U(z.RelName), "张三");
    EXPECT_EQ(U(z.MobilePhone1), "13800138000");
    EXPECT_EQ(U(z.HomePhone), "010-6212345");
    EXPECT_EQ(U(z.OfficeFax), "010-8888009");
    EXPECT_EQ(U(z.E_mail), "zhangsan@example.cn");
    EXPECT_EQ(U(z.KeshNum), "华星公司");
    EXPECT_EQ(U(z.CorpPosition), "经理");
    EXPECT_EQ(U(z.Birthday), "1980-03-05");
    EXPECT_EQ(U(z.RelRemark), "老同学\r\n第二行");
    EXPECT_EQ(U(z.GroupName), "");

    const CRelData& l = list[1];  // 2.1 in GBK, a name without FN, a work number only
    EXPECT_EQ(U(l.RelName), "李四");
    EXPECT_EQ(U(l.OfficePhone1), "010-8888001");
    EXPECT_EQ(U(l.MobilePhone1), "");
    EXPECT_EQ(U(l.Birthday), "");

    const CRelData& j = list[2];  // vCard 3.0 from a mail program
    EXPECT_EQ(U(j.RelName), "John Smith");
    EXPECT_EQ(U(j.CorpPosition), "Manager");
    EXPECT_EQ(U(j.KeshNum), "Acme Inc.");
    EXPECT_EQ(U(j.E_mail), "john@acme.example");
    EXPECT_EQ(U(j.MobilePhone1), "+1 555 0100");
    EXPECT_EQ(U(j.OfficePhone1), "+1 555 0101");
    EXPECT_EQ(U(j.HomePhone), "+1 555 0102");
    EXPECT_EQ(U(j.CompanyAddr), "1 Main St., Springfield, IL, USA");
    EXPECT_EQ(U(j.ZipCode), "62701");
    EXPECT_EQ(U(j.CompanyWeb), "https://acme.example");
    EXPECT_EQ(U(j.Birthday), "1975-12-31");
    EXPECT_EQ(U(j.NickName), "Johnny");
    EXPECT_EQ(U(j.RelRemark), "Met at the fair, 2019.\nCall back about the order.");

    const CRelData& w = list[3];  // vCard 4.0, a birthday without its year
    EXPECT_EQ(U(w.RelName), "王五");
    EXPECT_EQ(U(w.MobilePhone1), "+86-139-0013-9000");
    EXPECT_EQ(U(w.OfficeFax), "+86-10-5555-0001");
    EXPECT_EQ(U(w.CompanyAddr), "北京市朝阳区建国路8号");
    EXPECT_EQ(U(w.ZipCode), "100022");
    EXPECT_EQ(U(w.Birthday), "");
    EXPECT_EQ(U(w.E_mail), "wangwu@example.cn");
}

TEST_F(AddressBookImport, EntriesWithOneKeyStayInFileOrderSoTheLaterIsMergedLast) {
    TempDir dir;
    dir.Write("book.vcf",
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Lei\r\nTEL;TYPE=HOME:111\r\nEND:VCARD\r\n"
              "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Li Lei\r\nTEL;TYPE=HOME:222\r\nEND:VCARD\r\n");
    UseBook(dir.Path());
    std::vector<CRelData> list = ReadOk();
    ASSERT_EQ(list.size(), 2u);
    for (const CRelData& r : list) {
        EXPECT_EQ(U(r.RelName), "Li Lei");
        EXPECT_EQ(U(r.MobilePhone1), "");
    }
    EXPECT_EQ(U(list[1].HomePhone), "222");
}

// Handed on in parts, the entries come in the same order as in one list, and a book that
// cannot be opened hands on nothing.
TEST_F(AddressBookImport, EntriesComeInPartsInFileOrder) {
    TempDir dir;
    std::string cards;
    for (int i = 0; i < 7; ++i)
        cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:P" + std::to_string(i) + "\r\nTEL;TYPE=CELL:13" +
                 std::to_string(i) + "\r\nEND:VCARD\r\n";
    dir.Write("book.vcf", cards);
    UseBook(dir.Path());
    std::vector<std::size_t> parts;
    std::vector<CRelData> all;
    auto take = [&](std::span<const CRelData> part) {
        parts.push_back(part.size());
        all.insert(all.end(), part.begin(), part.end());
    };
    ASSERT_TRUE(ReadAddressBookContacts(BinDir(), 3, take));
    EXPECT_EQ(parts, (std::vector<std::size_t>{3, 3, 1}));
    const std::vector<CRelData> whole = ReadOk();
    ASSERT_EQ(whole.size(), all.size());
    EXPECT_EQ(std::memcmp(whole.data(), all.data(), all.size() * sizeof(CRelData)), 0);
    EXPECT_EQ(U(all[6].MobilePhone1), "136");

    parts.clear();
    UseBook(dir.Path() + "/none");
    EXPECT_FALSE(ReadAddressBookContacts(BinDir(), 3, take));
    EXPECT_TRUE(parts.empty());
}

TEST_F(AddressBookImport, AnEmptyBookSucceedsAndAMissingOneFails) {
    TempDir dir;
    UseBook(dir.Path());
    EXPECT_TRUE(ReadOk().empty());

    UseBook(dir.Path() + "/none");
    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadAddressBookContacts(BinDir(), out, &error));
    EXPECT_EQ(error, ImportError::kAddressBookRefused);
    EXPECT_STREQ(ImportResultMessage(ImportSource::kAddressBook, false), "打开系统通讯簿失败!");
    EXPECT_STREQ(ImportResultMessage(ImportSource::kAddressBook, true), "导入系统通讯簿完成!");
}

TEST_F(AddressBookImport, AMissingLibraryOrExportIsRefused) {
    TempDir dir;
    UseBook(dir.Path());
    std::vector<CRelData> out;
    ImportError error = ImportError::kNone;
    EXPECT_FALSE(ReadAddressBookContacts(dir.Path(), out, &error));
    EXPECT_EQ(error, ImportError::kLibraryMissing);
    EXPECT_FALSE(ReadAddressBookContacts(KAVO_FAKE_PARTIAL_DIR, out, &error));
    EXPECT_EQ(error, ImportError::kExportMissing);
}

// The real library keeps the text converters of the thread that used it, so the system
// keeps it mapped until that thread ends; stand-ins without converters show the unloading.
TEST_F(AddressBookImport, TheLibraryIsUnloadedAfterEachImportWhateverHappened) {
    std::vector<CRelData> out;
    EXPECT_TRUE(ReadAddressBookContacts(KAVO_FAKE_COMPLETE_DIR, out));
    EXPECT_TRUE(out.empty());
    std::string complete = std::string(KAVO_FAKE_COMPLETE_DIR) + "/" + kPelbookLibraryName;
    EXPECT_EQ(dlopen(complete.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);

    EXPECT_FALSE(ReadAddressBookContacts(KAVO_FAKE_PARTIAL_DIR, out));
    std::string partial = std::string(KAVO_FAKE_PARTIAL_DIR) + "/" + kPelbookLibraryName;
    EXPECT_EQ(dlopen(partial.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

// The library's own side of the calls, through its exports.
class PelbookLibrary : public AddressBookImport {
protected:
    void SetUp() override {
        handle_ = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
        open = Get<PelbookOpenFn>("PelbookOpen");
        count = Get<PelbookGetNumEntriesFn>("PelbookGetNumEntries");
        entries = Get<PelbookGetEntriesFn>("PelbookGetEntries");
        text = Get<PelbookGetPropStringFn>("PelbookGetProp_String");
        time = Get<PelbookGetPropSysTimeFn>("PelbookGetProp_SysTime");
        gender = Get<PelbookGetPropShortFn>("PelbookGetProp_Short");
        freeEntries = Get<PelbookFreeEntriesFn>("PelbookFreeEntries");
        close = Get<PelbookCloseFn>("PelbookClose");
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
        AddressBookImport::TearDown();
    }
    template <typename Fn>
    Fn Get(const char* name) {
        return reinterpret_cast<Fn>(dlsym(handle_, name));
    }
    void* handle_ = nullptr;
    // The library's exports, as the program calls them.
    PelbookOpenFn open = nullptr;
    PelbookGetNumEntriesFn count = nullptr;
    PelbookGetEntriesFn entries = nullptr;
    PelbookGetPropStringFn text = nullptr;
    PelbookGetPropSysTimeFn time = nullptr;
    PelbookGetPropShortFn gender = nullptr;
    PelbookFreeEntriesFn freeEntries = nullptr;
    PelbookCloseFn close = nullptr;
};

TEST_F(PelbookLibrary, RefusesStaleContextsAndIdentifiersAndCutsTextToTheBuffer) {
    TempDir dir;
    dir.Write("b.vcf", "BEGIN:VCARD\nVERSION:3.0\nFN:" + std::string(29, 'x') +
                           "张三\nBDAY:19800305\nEND:VCARD\n"
                           "BEGIN:VCARD\nVERSION:3.0\nFN:B\nEND:VCARD\n");
    UseBook(dir.Path());

    PelbookContext never;
    std::memset(&never, 0x5A, sizeof never);
    EXPECT_EQ(count(&never), 0);

    PelbookContext ctx;
    ASSERT_NE(open(&ctx), 0);
    ASSERT_EQ(count(&ctx), 2);
    PelbookEntryId ids[2];
    EXPECT_EQ(entries(&ctx, ids, 1), 1);  // never more than the capacity
    ASSERT_EQ(entries(&ctx, ids, 2), 2);

    char buf[32];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(text(&ctx, &ids[0], PELBOOK_PR_DISPLAY_NAME, buf, sizeof buf, 0), 1);
    // 29 bytes of 'x' and "张" fill 31 bytes and the NUL; "三" would not fit.
    EXPECT_EQ(std::string(buf), std::string(29, 'x') + "\xD5\xC5");
    EXPECT_EQ(text(&ctx, &ids[1], PELBOOK_PR_TITLE, buf, sizeof buf, 0), 0);
    EXPECT_EQ(buf[0], '\0');

    uint64_t ft = 7;
    EXPECT_EQ(time(&ctx, &ids[1], PELBOOK_PR_BIRTHDAY, &ft), 0);
    EXPECT_EQ(ft, 7u);
    EXPECT_EQ(time(&ctx, &ids[0], PELBOOK_PR_BIRTHDAY, &ft), 1);
    EXPECT_EQ(FileTimeToDateText(ft), "1980-03-05");

    PelbookEntryId forged;
    std::memset(&forged, 0xFF, sizeof forged);
    EXPECT_EQ(text(&ctx, &forged, PELBOOK_PR_DISPLAY_NAME, buf, sizeof buf, 0), 0);

    PelbookContext copy = ctx;
    EXPECT_EQ(freeEntries(&ctx, ids, 2), 1);
    EXPECT_EQ(close(&ctx), 1);
    EXPECT_EQ(count(&copy), 0);  // closed: a copy of the context no longer opens anything
    EXPECT_EQ(close(&copy), 0);
}

TEST_F(PelbookLibrary, EveryEntryOfEveryFileAnswersAsItsCardInAnyOrder) {
    // Cards of several files, over more than the few MiB after which a file's read pages
    // are handed back, with texts of every length up to one larger than the library's
    // blocks, answer as the cards themselves, asked for from the last entry to the first.
    std::string first, second;
    for (int i = 0; i < 20000; ++i) {
        std::string n = std::to_string(i);
        first += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Name " + n + "\r\nN:Sur" + n + ";Given;;;\r\n";
        if (i % 3 == 0)
            first += "TITLE:" + std::string(static_cast<std::size_t>(i % 300), 't') + "\r\n";
        if (i % 5 == 0) first += "EMAIL:u" + n + "@example.cn\r\nTEL;TYPE=CELL:138" + n + "\r\n";
        if (i % 7 == 0) first += "BDAY:1980-03-05\r\nGENDER:F\r\n";
        first +=
            "NOTE:" + std::string(static_cast<std::size_t>(i % 200), 'n') + "\r\nEND:VCARD\r\n";
    }
    second = "BEGIN:VCARD\nFN:Long\nNOTE:" + std::string(3u << 20, 'x') +
             "\nEND:VCARD\nBEGIN:VCARD\nFN:Last\nORG:Firm;Sales\nEND:VCARD\n";
    TempDir dir;
    dir.Write("a.vcf", first);
    dir.Write("b.VCF", second);
    std::vector<CVCardEntry> cards = ParseVCards(first);
    for (CVCardEntry& e : ParseVCards(second)) cards.push_back(std::move(e));
    ASSERT_EQ(cards.size(), 20002u);
    UseBook(dir.Path());

    PelbookContext ctx;
    ASSERT_NE(open(&ctx), 0);
    ASSERT_EQ(count(&ctx), 20002);
    std::vector<PelbookEntryId> ids(20002);
    ASSERT_EQ(entries(&ctx, ids.data(), 20002), 20002);
    const std::uint32_t tags[] = {PELBOOK_PR_COMMENT,
                                  PELBOOK_PR_DISPLAY_NAME,
                                  PELBOOK_PR_GIVEN_NAME,
                                  PELBOOK_PR_SURNAME,
                                  PELBOOK_PR_TITLE,
                                  PELBOOK_PR_COMPANY_NAME,
                                  PELBOOK_PR_DEPARTMENT_NAME,
                                  PELBOOK_PR_EMAIL_ADDRESS,
                                  PELBOOK_PR_MOBILE_TELEPHONE_NUMBER,
                                  PELBOOK_PR_NICKNAME,
                                  PELBOOK_PR_PERSONAL_HOME_PAGE};
    std::vector<char> buf((4u << 20));
    int wrong = 0;
    for (std::size_t i = cards.size(); i-- > 0;) {
        for (std::uint32_t tag : tags) {
            const std::string* want = cards[i].StringProperty(tag);
            // Room for the text and a little more: the library may fill the whole buffer.
            int room = static_cast<int>(want ? want->size() + 16 : 16);
            int got = text(&ctx, &ids[i], tag, buf.data(), room, 0);
            if (got != (want ? 1 : 0) || std::string(buf.data()) != (want ? *want : "")) ++wrong;
        }
        std::uint64_t ft = 0;
        int hasBirthday = time(&ctx, &ids[i], PELBOOK_PR_BIRTHDAY, &ft);
        if (hasBirthday != (cards[i].birthYear != 0 ? 1 : 0)) ++wrong;
        std::int16_t g = -1;
        gender(&ctx, &ids[i], PELBOOK_PR_GENDER, &g);
        if (g != cards[i].gender) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(freeEntries(&ctx, ids.data(), 20002), 1);
    // A wiped identifier names no entry, not the first one.
    EXPECT_EQ(text(&ctx, &ids[5], PELBOOK_PR_DISPLAY_NAME, buf.data(), 64, 0), 0);
    EXPECT_EQ(close(&ctx), 1);
}
