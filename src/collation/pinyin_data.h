// The pinyin readings of the Han characters, generated at build time from the Unihan
// readings that the unicode-data package ships (see make_pinyin_table.cpp). For the
// collation module's own files only.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavo::pinyin_data {

// One character and where its readings start in kReadings; its readings end where the
// next entry's start. The entries are sorted by code point and end with a sentinel whose
// code point is past Unicode.
struct CharEntry {
    std::uint32_t codePoint;
    std::uint32_t first;
};

// Toneless syllables in ASCII, ü written as v, sorted.
extern const char* const kSyllables[];
extern const std::size_t kSyllableCount;

extern const CharEntry kChars[];
extern const std::size_t kCharCount;  // without the sentinel

// Indices into kSyllables; each character's most common reading comes first.
extern const std::uint16_t kReadings[];

}  // namespace kavo::pinyin_data
