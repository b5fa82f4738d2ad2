#include "collation/pinyin.h"

#include <unicode/utf8.h>

#include <algorithm>
#include <array>
#include <bitset>
#include <cstdint>

#include "collation/pinyin_data.h"

namespace kavo {
namespace {

using pinyin_data::CharEntry;

// No name spells more letters than this: 24 characters of at most 6 letters each.
constexpr std::size_t kMaxLetters = 160;
constexpr std::size_t kMaxUnits = 64;

using Reach = std::bitset<kMaxLetters + 1>;

const CharEntry* FindChar(char32_t c) {
    const CharEntry* end = pinyin_data::kChars + pinyin_data::kCharCount;
    const CharEntry* it =
        std::lower_bound(pinyin_data::kChars, end, c,
                         [](const CharEntry& e, char32_t value) { return e.codePoint < value; });
    return it != end && it->codePoint == c ? it : nullptr;
}

// One character of a name as the match sees it: a Chinese character with its readings, or
// a run of Latin letters and digits. A character of neither kind has neither and stops
// any match that reaches it.
struct Unit {
    const std::uint16_t* readings = nullptr;
    std::uint32_t count = 0;
    std::string_view word;
};

bool IsAsciiAlnum(UChar32 c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Blanks and the marks that stand between the parts of a name (约翰·史密斯).
bool IsSeparator(UChar32 c) {
    if (c < 0x80) return !IsAsciiAlnum(c);
    switch (c) {
        case 0x00A0:  // no-break space
        case 0x00B7:  // middle dot
        case 0x2022:  // bullet
        case 0x2027:  // hyphenation point
        case 0x3000:  // ideographic space
        case 0x30FB:  // katakana middle dot
        case 0xFF0E:  // full-width full stop
            return true;
        default:
            return false;
    }
}

std::size_t SplitName(std::string_view name, std::array<Unit, kMaxUnits>& units) {
    const char* s = name.data();
    const auto length = static_cast<int32_t>(name.size());
    int32_t i = 0;
    std::size_t count = 0;
    while (i < length && count < kMaxUnits) {
        const int32_t start = i;
        UChar32 c;
        U8_NEXT(s, i, length, c);
        Unit unit;
        if (c >= 0 && IsAsciiAlnum(c)) {
            while (i < length && IsAsciiAlnum(static_cast<unsigned char>(s[i]))) ++i;
            unit.word =
                name.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start));
        } else if (c >= 0 && IsSeparator(c)) {
            continue;
        } else if (c >= 0) {
            if (const CharEntry* e = FindChar(static_cast<char32_t>(c))) {
                unit.readings = pinyin_data::kReadings + e->first;
                unit.count = e[1].first - e->first;
            }
        }
        units[count++] = unit;
    }
    return count;
}

// How many letters of the text from `pos` on agree with the beginning of `reading`.
std::size_t Agree(std::string_view reading, std::string_view text, std::size_t pos) {
    std::size_t k = 0;
    while (k < reading.size() && pos + k < text.size()) {
        char r = reading[k];
        if (r >= 'A' && r <= 'Z') r = static_cast<char>(r - 'A' + 'a');
        const char t = text[pos + k];
        if (r != t && !(r == 'v' && t == 'u')) break;
        ++k;
    }
    return k;
}

// Walks the name's units keeping every position of the text reached so far; `anchored`
// lets a spelling begin at the first unit only, otherwise at any.
bool Spells(const Unit* units, std::size_t count, std::string_view text, bool anchored) {
    const std::size_t n = text.size();
    Reach at;
    at[0] = true;
    for (std::size_t u = 0; u < count; ++u) {
        if (!anchored) at[0] = true;
        Reach next;
        const Unit& unit = units[u];
        for (std::size_t p = 0; p < n; ++p) {
            if (!at[p]) continue;
            auto take = [&](std::string_view reading) {
                const std::size_t k = Agree(reading, text, p);
                for (std::size_t j = 1; j <= k; ++j) next[p + j] = true;
            };
            if (!unit.word.empty()) {
                take(unit.word);
            } else {
                for (std::uint32_t r = 0; r < unit.count; ++r)
                    take(pinyin_data::kSyllables[unit.readings[r]]);
            }
        }
        if (next[n]) return true;
        at = next;
        if (anchored && at.none()) return false;
    }
    return false;
}

}  // namespace

std::vector<std::string_view> PinyinReadings(char32_t c) {
    std::vector<std::string_view> out;
    if (const CharEntry* e = FindChar(c))
        for (std::uint32_t i = e->first; i < e[1].first; ++i)
            out.emplace_back(pinyin_data::kSyllables[pinyin_data::kReadings[i]]);
    return out;
}

CPinyinQuery::CPinyinQuery(std::string_view text) {
    for (char c : text) {
        if (c >= 'a' && c <= 'z') {
            letters_ += c;
        } else if (c >= 'A' && c <= 'Z') {
            letters_ += static_cast<char>(c - 'A' + 'a');
        } else if (c != ' ' && c != '\t' && c != '\'') {
            letters_.clear();
            return;
        }
    }
    if (letters_.size() > kMaxLetters) letters_.clear();
}

PinyinMatch CPinyinQuery::Match(std::string_view utf8Name) const {
    if (letters_.empty()) return PinyinMatch::kNone;
    std::array<Unit, kMaxUnits> units;
    const std::size_t count = SplitName(utf8Name, units);
    if (Spells(units.data(), count, letters_, true)) return PinyinMatch::kFromStart;
    if (count > 1 && Spells(units.data() + 1, count - 1, letters_, false))
        return PinyinMatch::kInside;
    return PinyinMatch::kNone;
}

}  // namespace kavo
