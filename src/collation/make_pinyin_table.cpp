// Build-time tool: turns Unihan_Readings.txt.bz2 (the unicode-data package) into the C++
// table of toneless pinyin readings that the collation module links.
//
//   make_pinyin_table Unihan_Readings.txt.bz2 pinyin_table.cpp
//
// Which readings a character gets: its kMandarin reading first (the common one), then
// those of the modern dictionaries, kHanyuPinlu (by frequency), kTGHZ2013 and kXHC1983,
// which list the other readings in use today (单 dān/shàn/chán, 曾 céng/zēng). Only a
// character that neither modern dictionary lists takes the readings of kHanyuPinyin,
// which also records classical ones that nobody would type for a name.
#include <bzlib.h>
#include <unicode/normalizer2.h>
#include <unicode/uclean.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Readings {
    std::vector<std::string> mandarin, pinlu, tghz, xhc, hanyu;
};

std::string ReadBzip2(const char* path, bool& ok) {
    ok = false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f) return {};
    int error = BZ_OK;
    BZFILE* bz = BZ2_bzReadOpen(&error, f, 0, 0, nullptr, 0);
    std::string text;
    char buf[1 << 16];
    while (error == BZ_OK) {
        int n = BZ2_bzRead(&error, bz, buf, sizeof buf);
        if (n > 0) text.append(buf, static_cast<std::size_t>(n));
    }
    ok = error == BZ_STREAM_END;
    BZ2_bzReadClose(&error, bz);
    std::fclose(f);
    return text;
}

// "zhāng" -> "zhang", "lǘ" -> "lv"; empty when something other than a Latin letter with
// tone marks is left.
std::string Toneless(const std::string& utf8) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return {};
    icu::UnicodeString decomposed = nfd->normalize(icu::UnicodeString::fromUTF8(utf8), status);
    if (U_FAILURE(status)) return {};
    std::string out;
    for (int32_t i = 0; i < decomposed.length(); i = decomposed.moveIndex32(i, 1)) {
        UChar32 c = decomposed.char32At(i);
        if (c == 0x308 && !out.empty() && out.back() == 'u') {
            out.back() = 'v';
        } else if (c >= 0x300 && c <= 0x36F) {
            continue;  // tone marks and the circumflex of ê
        } else if (c >= 'a' && c <= 'z') {
            out += static_cast<char>(c);
        } else if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
        } else {
            return {};
        }
    }
    return out;
}

// The readings of one field value: tokens split at blanks, each with its dictionary
// position ("0117.100:") and its frequency ("(603)") dropped, then split at commas.
std::vector<std::string> ParseValue(const std::string& value) {
    std::vector<std::string> out;
    std::istringstream tokens(value);
    std::string token;
    while (tokens >> token) {
        std::size_t colon = token.rfind(':');
        if (colon != std::string::npos) token = token.substr(colon + 1);
        std::size_t paren = token.find('(');
        if (paren != std::string::npos) token.resize(paren);
        std::size_t start = 0;
        while (start <= token.size()) {
            std::size_t comma = token.find(',', start);
            if (comma == std::string::npos) comma = token.size();
            if (comma > start) out.push_back(token.substr(start, comma - start));
            start = comma + 1;
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s Unihan_Readings.txt.bz2 OUTPUT.cpp\n", argv[0]);
        return 2;
    }
    bool ok = false;
    const std::string text = ReadBzip2(argv[1], ok);
    if (!ok) {
        std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
        return 1;
    }

    std::map<std::uint32_t, Readings> chars;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("U+", 0) != 0) continue;
        std::size_t tab1 = line.find('\t');
        std::size_t tab2 = tab1 == std::string::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos) continue;
        const std::string field = line.substr(tab1 + 1, tab2 - tab1 - 1);
        std::vector<std::string>* target = nullptr;
        Readings& r =
            chars[static_cast<std::uint32_t>(std::stoul(line.substr(2, tab1 - 2), nullptr, 16))];
        if (field == "kMandarin")
            target = &r.mandarin;
        else if (field == "kHanyuPinlu")
            target = &r.pinlu;
        else if (field == "kTGHZ2013")
            target = &r.tghz;
        else if (field == "kXHC1983")
            target = &r.xhc;
        else if (field == "kHanyuPinyin")
            target = &r.hanyu;
        else
            continue;
        for (std::string& reading : ParseValue(line.substr(tab2 + 1)))
            target->push_back(std::move(reading));
    }

    std::vector<std::string> syllables;
    std::vector<std::pair<std::uint32_t, std::vector<std::string>>> table;
    int unreadable = 0;
    for (auto& [cp, r] : chars) {
        std::vector<const std::vector<std::string>*> sources = {&r.mandarin, &r.pinlu, &r.tghz,
                                                                &r.xhc};
        if (r.tghz.empty() && r.xhc.empty()) sources.push_back(&r.hanyu);
        std::vector<std::string> readings;
        for (const auto* source : sources) {
            for (const std::string& reading : *source) {
                std::string plain = Toneless(reading);
                if (plain.empty()) {
                    ++unreadable;
                    continue;
                }
                if (std::find(readings.begin(), readings.end(), plain) == readings.end())
                    readings.push_back(plain);
            }
        }
        if (readings.empty()) continue;
        syllables.insert(syllables.end(), readings.begin(), readings.end());
        table.emplace_back(cp, std::move(readings));
    }
    std::sort(syllables.begin(), syllables.end());
    syllables.erase(std::unique(syllables.begin(), syllables.end()), syllables.end());

    // A data file that lost most of its content must fail the build, not give an empty
    // table that finds nothing.
    if (table.size() < 20000 || syllables.size() < 300 || syllables.size() > 65535) {
        std::fprintf(stderr, "%s: %s holds readings for only %zu characters\n", argv[0], argv[1],
                     table.size());
        return 1;
    }

    std::ostringstream out;
    out << "// Generated by make_pinyin_table from " << argv[1] << "; do not edit.\n"
        << "#include \"collation/pinyin_data.h\"\n\nnamespace kavo::pinyin_data {\n\n"
        << "const char* const kSyllables[] = {";
    for (std::size_t i = 0; i < syllables.size(); ++i)
        out << (i % 12 ? " " : "\n    ") << '"' << syllables[i] << "\",";
    out << "\n};\nconst std::size_t kSyllableCount = " << syllables.size() << ";\n\n"
        << "const CharEntry kChars[] = {";
    std::vector<std::size_t> readings;
    for (std::size_t i = 0; i < table.size(); ++i) {
        out << (i % 6 ? " " : "\n    ") << "{0x" << std::hex << table[i].first << std::dec << ", "
            << readings.size() << "},";
        for (const std::string& s : table[i].second)
            readings.push_back(static_cast<std::size_t>(
                std::lower_bound(syllables.begin(), syllables.end(), s) - syllables.begin()));
    }
    out << "\n    {0x110000, " << readings.size()
        << "},\n};\nconst std::size_t kCharCount = " << table.size()
        << ";\n\nconst std::uint16_t kReadings[] = {";
    for (std::size_t i = 0; i < readings.size(); ++i)
        out << (i % 16 ? " " : "\n    ") << readings[i] << ',';
    out << "\n};\n\n}  // namespace kavo::pinyin_data\n";

    std::ofstream file(argv[2], std::ios::binary | std::ios::trunc);
    file << out.str();
    file.close();
    u_cleanup();
    if (!file) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[2]);
        return 1;
    }
    std::fprintf(stderr,
                 "pinyin table: %zu characters, %zu syllables, %zu readings (%d unreadable)\n",
                 table.size(), syllables.size(), readings.size(), unreadable);
    return 0;
}
