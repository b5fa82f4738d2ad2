// A thousand contacts out and back in: the CSV export (GBK and UTF-8 with a byte order
// mark) read by the CSV import, and the vCard export read by the address-book import
// through the real libpelbook.so, compared field by field.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "import/address_book_import.h"
#include "import/csv_export.h"
#include "import/csv_import.h"
#include "import/vcard_export.h"
#include "import_test_util.h"

using namespace kavo;
using kavo::test::BinDir;

namespace {

constexpr int kContacts = 1000;

// Text of up to `maxBytes` GBK bytes mixing Chinese and ASCII words with the characters
// that test the writers (',', ';', '\', blanks inside). No blank at either end, no quote
// and no line break: the CSV import cannot carry those (the export documents how it
// rewrites them) and the vCard import trims.
class TextMaker {
public:
    explicit TextMaker(unsigned seed) : rng_(seed) {}

    std::string Text(std::size_t maxBytes) {
        static const char* const kWords[] = {
            "张",   "王",       "李",   "赵",   "北京",   "上海市", "海淀区", "中关村",
            "科技", "有限公司", "经理", "同学", "老朋友", "爱打球", "第三层", "东侧",
            "号",   "Smith",    "Anna", "Road", "Suite",  "A-1",    "x,y",    "a;b",
            "c\\d", "#5",       "(公)", "100%", "é"};
        std::string utf8;
        const std::size_t words = 1 + rng_() % 8;
        for (std::size_t i = 0; i < words; ++i) {
            if (i && rng_() % 3 == 0) utf8 += ' ';
            utf8 += kWords[rng_() % std::size(kWords)];
        }
        return Fit(Utf8ToGbk(utf8), maxBytes);
    }
    std::string Digits(const char* prefix, std::size_t n) {
        std::string s = prefix;
        for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('0' + rng_() % 10);
        return s;
    }
    std::string Word(std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + rng_() % 26);
        return s;
    }
    unsigned Next() { return static_cast<unsigned>(rng_()); }

private:
    // Cut as a field cuts, then without blanks at the ends.
    static std::string Fit(const std::string& gbk, std::size_t maxBytes) {
        std::string cut(GbkPrefix(gbk, maxBytes));
        cut = std::string(TrimSpace(cut));
        return cut.empty() ? "x" : cut;
    }

    std::mt19937 rng_;
};

// Every field both imports can fill, some of the text ones left empty. `remark` shapes the
// remark for the format at hand.
std::vector<CRelData> MakeContacts(bool csvRemark) {
    TextMaker t(20261208);
    std::vector<CRelData> out;
    for (int i = 0; i < kContacts; ++i) {
        CRelData r;
        auto maybe = [&](char* field, std::size_t width, std::string text) {
            if (t.Next() % 10 != 0) SetField(field, width, text);
        };
#define KAVO_TEXT(f) maybe(r.f, sizeof r.f, t.Text(sizeof r.f - 1))
        SetField(r.RelName, t.Text(sizeof r.RelName - 1 - 5) + std::to_string(i));
        KAVO_TEXT(KeshNum);
        KAVO_TEXT(CorpPosition);
        KAVO_TEXT(NickName);
        KAVO_TEXT(CompanyAddr);
        KAVO_TEXT(HomeAddr);
        KAVO_TEXT(Ring);
#undef KAVO_TEXT
        SetField(r.MobilePhone1, t.Digits("13", 9));
        SetField(r.MobilePhone2, t.Digits("+86 139 ", 8));
        SetField(r.HomePhone, t.Digits("021-", 8));
        SetField(r.OfficePhone1, t.Digits("010-", 8));
        SetField(r.OfficePhone2, t.Digits("010-6", 7));
        SetField(r.OfficeFax, t.Digits("010-8", 7));
        maybe(r.ZipCode, sizeof r.ZipCode, t.Digits("", 6));
        maybe(r.E_mail, sizeof r.E_mail, t.Word(8) + "." + std::to_string(i) + "@example.com");
        maybe(r.CompanyWeb, sizeof r.CompanyWeb, "http://www." + t.Word(6) + ".example/a,b");
        // The editor's form and the address book's form of a date.
        const std::string y = std::to_string(1940 + t.Next() % 70);
        const std::string m = std::to_string(10 + t.Next() % 3);
        const std::string d = std::to_string(10 + t.Next() % 19);
        SetField(r.Birthday, i % 2 ? y + m + d : y + "-" + m + "-" + d);
        maybe(r.Anniversary, sizeof r.Anniversary, "2005-10-01");
        const std::string remark = t.Text(400);
        SetField(r.RelRemark, csvRemark ? Utf8ToGbk("备注:") + remark + " " : remark);
        out.push_back(r);
    }
    return out;
}

std::string DateOf(std::string_view birthday) {
    std::string s(birthday);
    if (s.size() == 8) s = s.substr(0, 4) + "-" + s.substr(4, 2) + "-" + s.substr(6, 2);
    return s;
}

// Compares the named fields of two contact lists; at most ten differences are reported.
void ExpectFieldsEqual(const std::vector<CRelData>& want, const std::vector<CRelData>& got,
                       const std::set<std::string>& names) {
    ASSERT_EQ(got.size(), want.size());
    std::size_t known = 0;
    for (const FieldSpec& f : kRelFields) known += names.count(f.name);
    ASSERT_EQ(known, names.size()) << "a field name is misspelt";
    int mismatches = 0;
    for (std::size_t i = 0; i < got.size() && mismatches < 10; ++i) {
        for (const FieldSpec& f : kRelFields) {
            if (!names.count(f.name)) continue;
            const std::string_view a = FieldText(FieldPtr(&want[i], f), f.width);
            const std::string_view b = FieldText(FieldPtr(&got[i], f), f.width);
            if (a == b) continue;
            ++mismatches;
            ADD_FAILURE() << "contact " << i << " " << f.name << ": " << GbkToUtf8(a) << " | "
                          << GbkToUtf8(b);
        }
    }
}

}  // namespace

TEST(RoundTrip, AThousandContactsThroughCsvInBothEncodings) {
    const std::vector<CRelData> contacts = MakeContacts(true);
    kavo::test::TempDir dir;
    for (bool utf8Bom : {false, true}) {
        SCOPED_TRACE(utf8Bom ? "UTF-8 with BOM" : "GBK");
        const std::string path = dir.Path() + (utf8Bom ? "/utf8.csv" : "/gbk.csv");
        ASSERT_TRUE(WriteCsvContacts(path, contacts, utf8Bom));
        std::vector<CRelData> back;
        ImportError error = ImportError::kEmptyFile;
        ASSERT_TRUE(ReadCsvContacts(path, back, &error)) << static_cast<int>(error);
        // Every field the CSV import fills: the nineteen columns of the export.
        ExpectFieldsEqual(
            contacts, back,
            {"RelName", "KeshNum", "CorpPosition", "MobilePhone1", "MobilePhone2", "HomePhone",
             "OfficePhone1", "OfficePhone2", "NickName", "Birthday", "Anniversary", "CompanyAddr",
             "HomeAddr", "CompanyWeb", "ZipCode", "E_mail", "OfficeFax", "Ring", "RelRemark"});
        for (const CRelData& b : back) {
            EXPECT_EQ(FieldText(b.QQ), "");
            EXPECT_EQ(FieldText(b.GroupName), "");
        }
    }
}

TEST(RoundTrip, AThousandContactsThroughVCardAndTheAddressBook) {
    const std::vector<CRelData> contacts = MakeContacts(false);
    kavo::test::TempDir dir;
    ASSERT_TRUE(WriteVCardContacts(dir.Path() + "/all.vcf", contacts));
    ::setenv("KAVO_ADDRESSBOOK_DIR", dir.Path().c_str(), 1);
    std::vector<CRelData> back;
    ImportError error = ImportError::kEmptyFile;
    const bool ok = ReadAddressBookContacts(BinDir(), back, &error);
    ::unsetenv("KAVO_ADDRESSBOOK_DIR");
    ASSERT_TRUE(ok) << static_cast<int>(error);
    // Every field the address-book import reads.
    ExpectFieldsEqual(
        contacts, back,
        {"RelName", "CorpPosition", "KeshNum", "E_mail", "CompanyAddr", "MobilePhone1", "OfficeFax",
         "OfficePhone1", "CompanyWeb", "ZipCode", "HomePhone", "NickName", "RelRemark"});
    // The birthday comes back as the date it was, in the address book's form.
    for (std::size_t i = 0; i < back.size(); ++i)
        EXPECT_EQ(FieldText(back[i].Birthday), DateOf(FieldText(contacts[i].Birthday))) << i;
}
