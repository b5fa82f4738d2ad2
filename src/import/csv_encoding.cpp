#include "import/csv_encoding.h"

#include <iconv.h>

#include <cerrno>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Every byte above 0x7F starts a double-byte GBK character: lead 81-FE, trail 40-7E or
// 80-FE. A GB18030 four-byte sequence has a digit as its second byte and fails this.
bool IsGbkShaped(std::string_view s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) continue;
        if (c == 0x80 || c == 0xFF || i + 1 >= s.size()) return false;
        unsigned char t = static_cast<unsigned char>(s[++i]);
        if (t < 0x40 || t == 0x7F || t == 0xFF) return false;
    }
    return true;
}

// Converts to UTF-8; a sequence that is no character of the source becomes "?" and is
// skipped by `unit` bytes (two for UTF-16, one otherwise).
bool ToUtf8(std::string_view in, const std::string& from, std::size_t unit, std::string& out) {
    iconv_t cd = iconv_open("UTF-8", from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    out.resize(in.size() * 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    std::size_t used = 0;
    while (srcLeft > 0) {
        char* dst = out.data() + used;
        std::size_t dstLeft = out.size() - used;
        std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        used = out.size() - dstLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        std::size_t skip = unit < srcLeft ? unit : srcLeft;
        if (used + 1 > out.size()) out.resize(out.size() * 2);
        out[used++] = '?';
        src += skip;
        srcLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    iconv_close(cd);
    return true;
}

}  // namespace

std::string DetectCsvEncoding(std::string_view bytes) {
    if (StartsWith(bytes, kUtf8Bom)) return kCsvUtf8;
    if (StartsWith(bytes, kUtf16LeBom)) return kCsvUtf16Le;
    if (StartsWith(bytes, kUtf16BeBom)) return kCsvUtf16Be;
    if (!IsAscii(bytes) && IsValidUtf8(bytes)) return kCsvUtf8;
    if (IsGbkShaped(bytes)) return kCsvGbk;
    return kCsvGb18030;
}

const std::vector<std::string>& CsvEncodingChoices() {
    static const std::vector<std::string> choices = {kCsvGbk,     kCsvGb18030, kCsvUtf8,
                                                     kCsvUtf16Le, kCsvUtf16Be, "BIG5"};
    return choices;
}

bool IsKnownCsvEncoding(const std::string& encoding) {
    if (encoding.empty()) return false;
    iconv_t cd = iconv_open("UTF-8", Upper(encoding).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv_close(cd);
    return true;
}

bool CsvBytesToGbk(std::string_view bytes, const std::string& encoding, std::string& gbk) {
    const std::string enc = Upper(encoding);
    const bool utf16 = enc == kCsvUtf16Le || enc == kCsvUtf16Be;
    if (utf16) {
        if (StartsWith(bytes, enc == kCsvUtf16Le ? kUtf16LeBom : kUtf16BeBom))
            bytes.remove_prefix(2);
    } else if (StartsWith(bytes, kUtf8Bom)) {
        bytes.remove_prefix(kUtf8Bom.size());
    }
    if (enc == kCsvGbk || enc == "CP936") {
        gbk.assign(bytes);
        return true;
    }
    std::string utf8;
    if (enc == kCsvUtf8 || enc == "UTF8") {
        if (IsValidUtf8(bytes)) {
            gbk = Utf8ToGbk(bytes);
            return true;
        }
    }
    if (!ToUtf8(bytes, enc, utf16 ? 2 : 1, utf8)) return false;
    gbk = Utf8ToGbk(utf8);
    return true;
}

}  // namespace kavo
