#include "gbk_text.h"

#include <cstring>

#include "codecs/text_converter.h"

namespace kavo {
namespace {

std::size_t Utf8SequenceLength(std::string_view text, std::size_t pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    std::size_t n = c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    // Never skip into the next character when the sequence is broken.
    for (std::size_t i = 1; i < n; ++i) {
        if (pos + i >= text.size() || (static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80)
            return i;
    }
    return n;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        std::size_t n;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
        } else {
            return false;
        }
        if (i + n >= text.size()) return false;
        for (std::size_t k = 1; k <= n; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n + 1;
    }
    return true;
}

void GbkToUtf8(std::string_view gbk, std::string& out) {
    if (IsAscii(gbk)) {
        out.assign(gbk);
        return;
    }
    // iconv descriptors are costly to open and not shareable between threads: one per
    // thread and direction, opened on first use.
    thread_local CTextConverter conv("UTF-8", "GBK");
    if (!conv.IsOpen()) {
        out.assign(gbk);
        return;
    }
    conv.Convert(gbk, out, CTextConverter::SkipByte);
}

void Utf8ToGbk(std::string_view utf8, std::string& out) {
    if (IsAscii(utf8)) {
        out.assign(utf8);
        return;
    }
    thread_local CTextConverter conv("GBK", "UTF-8");
    if (!conv.IsOpen()) {
        out.assign(utf8);
        return;
    }
    conv.Convert(utf8, out, Utf8SequenceLength);
}

std::string GbkToUtf8(std::string_view gbk) {
    std::string out;
    GbkToUtf8(gbk, out);
    return out;
}

std::string Utf8ToGbk(std::string_view utf8) {
    std::string out;
    Utf8ToGbk(utf8, out);
    return out;
}

std::size_t GbkCharLength(std::string_view text, std::size_t pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c >= 0x81 && c <= 0xFE && pos + 1 < text.size()) return 2;
    return 1;
}

std::string_view GbkPrefix(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t pos = 0;
    while (pos < maxBytes) {
        std::size_t n = GbkCharLength(text, pos);
        if (pos + n > maxBytes) break;
        pos += n;
    }
    return text.substr(0, pos);
}

void SetField(char* field, std::size_t width, std::string_view text) {
    if (width == 0) return;
    std::memset(field, 0, width);
    // Text stops at its first NUL, as it would in the record it came from.
    std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) text = text.substr(0, nul);
    std::string_view kept = GbkPrefix(text, width - 1);
    if (!kept.empty()) std::memcpy(field, kept.data(), kept.size());
}

std::string FieldUtf8(const char* field, std::size_t width) {
    return GbkToUtf8(FieldText(field, width));
}

void SetFieldUtf8(char* field, std::size_t width, std::string_view utf8) {
    SetField(field, width, Utf8ToGbk(utf8));
}

std::string_view TrimSpace(std::string_view text) {
    constexpr std::string_view kSpace = " \t\r\n\v\f";
    std::size_t b = text.find_first_not_of(kSpace);
    if (b == std::string_view::npos) return {};
    std::size_t e = text.find_last_not_of(kSpace);
    return text.substr(b, e - b + 1);
}

std::string SingleLine(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        out += c == '\n' ? ' ' : c;
    }
    return std::string(TrimSpace(out));
}

std::string JoinNonEmpty(const std::vector<std::string>& parts, std::string_view sep) {
    std::string out;
    for (const std::string& p : parts) {
        if (p.empty()) continue;
        if (!out.empty()) out += sep;
        out += p;
    }
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    // Character by character: the trail byte of a double-byte character is compared as it
    // is, even where it looks like an ASCII letter.
    for (std::size_t i = 0; i < a.size();) {
        std::size_t n = GbkCharLength(a, i);
        if (n == 2) {
            if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
        } else {
            unsigned char x = static_cast<unsigned char>(a[i]);
            unsigned char y = static_cast<unsigned char>(b[i]);
            if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
            if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
            if (x != y) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace kavo
