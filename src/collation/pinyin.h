// Pinyin for finding Chinese names by their sound, as Chinese users type it: the initials
// ("zw" finds 张伟), the whole pinyin without tones ("zhangwei", "zhang wei") or any mix of
// the two ("zhangw", "zwei"). A character that has several readings matches by each of
// them (单 by dan and shan, 曾 by zeng and ceng).
//
// The readings come from the Unihan database of the unicode-data package, turned into a
// table when the program is built.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// The toneless readings of one character in lower-case ASCII, ü written as v, the most
// common reading first; empty for a character that has none (Latin letters included).
std::vector<std::string_view> PinyinReadings(char32_t c);

enum class PinyinMatch {
    kNone,
    kFromStart,  // the text spells the name from its first character on
    kInside,     // the text spells the name from a later character on ("wei" in 张伟)
};

// A search text read as pinyin. Case, blanks and apostrophes ("xi'an") do not count; a
// text with anything else but Latin letters is no pinyin and matches nothing.
class CPinyinQuery {
public:
    explicit CPinyinQuery(std::string_view text);

    bool IsPinyin() const { return !letters_.empty(); }

    // Whether the text spells the name (UTF-8): each character of the name in turn takes a
    // non-empty beginning of one of its readings until the text is used up. A run of Latin
    // letters or digits in the name counts as one character whose reading is itself; blanks
    // and punctuation between the parts of a name are passed over. A "u" in the text also
    // stands for ü (lv and lu both find 吕).
    PinyinMatch Match(std::string_view utf8Name) const;

private:
    std::string letters_;  // lower case, nothing but a to z
};

}  // namespace kavo
