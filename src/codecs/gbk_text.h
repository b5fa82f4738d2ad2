// The one place where text changes between GBK bytes (records, the wire, CSV files)
// and UTF-8 (the database, the Qt user interface), and where text goes into and out of
// the fixed-width, NUL-terminated fields of the records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// GBK bytes to UTF-8. A byte sequence that is not GBK becomes "?" per byte.
std::string GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. A character that GBK lacks, or a byte that is not UTF-8, becomes "?".
std::string Utf8ToGbk(std::string_view utf8);

// The same into `out`, which is overwritten: a loop that converts many texts through one
// buffer allocates once.
void GbkToUtf8(std::string_view gbk, std::string& out);
void Utf8ToGbk(std::string_view utf8, std::string& out);

// True when every byte is 7-bit ASCII: such text is the same in both encodings. Eight
// bytes are looked at a time: every text a contact holds goes through here.
inline bool IsAscii(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; n > 0; ++p, --n)
        if (static_cast<unsigned char>(*p) >= 0x80) return false;
    return true;
}

// True when the bytes are whole UTF-8 sequences: each lead byte (C2-F4) followed by its
// trail bytes, none cut off at the end. Enough to tell UTF-8 files from GBK ones; it does
// not look for overlong three- and four-byte forms or surrogates.
bool IsValidUtf8(std::string_view text);

// Length in bytes of the GBK character that starts at text[pos] (1 or 2); a lead byte
// without its trail byte at the end of the text counts as 1.
std::size_t GbkCharLength(std::string_view text, std::size_t pos);

// The longest prefix of text that has at most maxBytes bytes and ends on a GBK
// character boundary.
std::string_view GbkPrefix(std::string_view text, std::size_t maxBytes);

// Copies text into a field of `width` bytes: at most width - 1 bytes, never splitting a
// double-byte character, the rest of the field zero-filled.
void SetField(char* field, std::size_t width, std::string_view text);

template <std::size_t N>
void SetField(char (&field)[N], std::string_view text) {
    SetField(field, N, text);
}

// The text of a field: its bytes up to the first NUL, never more than `width` bytes.
inline std::string_view FieldText(const char* field, std::size_t width) {
    // Most fields of a contact are empty: they end at once.
    if (width == 0 || field[0] == '\0') return std::string_view(field, 0);
    const void* nul = std::memchr(field, 0, width);
    return std::string_view(field, nul ? static_cast<const char*>(nul) - field : width);
}

template <std::size_t N>
std::string_view FieldText(const char (&field)[N]) {
    return FieldText(field, N);
}

// Both conversions for fields: the UTF-8 text of a GBK field, and a UTF-8 text stored
// as GBK into a field (cut as SetField cuts).
std::string FieldUtf8(const char* field, std::size_t width);
void SetFieldUtf8(char* field, std::size_t width, std::string_view utf8);

template <std::size_t N>
std::string FieldUtf8(const char (&field)[N]) {
    return FieldUtf8(field, N);
}
template <std::size_t N>
void SetFieldUtf8(char (&field)[N], std::string_view utf8) {
    SetFieldUtf8(field, N, utf8);
}

// White space as the program trims it: spaces, tabs and line breaks.
std::string_view TrimSpace(std::string_view text);

// ASCII letters compared without case; other bytes compared as they are.
bool EqualsNoCase(std::string_view a, std::string_view b);

// A value of a multi-line source as one line: carriage returns dropped, line feeds turned
// into spaces, the ends trimmed.
std::string SingleLine(std::string_view text);

// The non-empty parts joined with sep between them.
std::string JoinNonEmpty(const std::vector<std::string>& parts, std::string_view sep);

}  // namespace kavo
