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

namespace {

// How many bytes at the end of `s` begin a UTF-8 character whose other bytes are still to
// come.
std::size_t CutUtf8Tail(std::string_view s) {
    for (std::size_t back = 1; back <= 3 && back <= s.size(); ++back) {
        const auto c = static_cast<unsigned char>(s[s.size() - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte: look further back
        const std::size_t need = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return need > back ? back : 0;
    }
    return 0;
}

}  // namespace

CCsvGbkConverter::~CCsvGbkConverter() { Close(); }

void CCsvGbkConverter::Close() {
    if (cd_) iconv_close(static_cast<iconv_t>(cd_));
    cd_ = nullptr;
}

bool CCsvGbkConverter::Open(const std::string& encoding) {
    Close();
    const std::string enc = Upper(encoding);
    const bool utf16 = enc == kCsvUtf16Le || enc == kCsvUtf16Be;
    gbk_ = enc == kCsvGbk || enc == "CP936";
    utf8_ = enc == kCsvUtf8 || enc == "UTF8";
    unit_ = utf16 ? 2 : 1;
    bom_ =
        utf16 ? std::string(enc == kCsvUtf16Le ? kUtf16LeBom : kUtf16BeBom) : std::string(kUtf8Bom);
    started_ = false;
    pending_.clear();
    iconv_t cd = iconv_open("UTF-8", enc.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    if (gbk_ || utf8_) {
        iconv_close(cd);
    } else {
        cd_ = cd;
    }
    return true;
}

void CCsvGbkConverter::Convert(std::string_view bytes, bool last, std::string& gbk) {
    std::string_view in = bytes;
    if (!pending_.empty()) {
        pending_.append(bytes);
        in = pending_;
    }
    if (!started_) {
        if (!last && in.size() < bom_.size() && std::string_view(bom_).substr(0, in.size()) == in) {
            if (pending_.empty()) pending_.assign(in);
            return;
        }
        if (StartsWith(in, bom_)) in.remove_prefix(bom_.size());
        started_ = true;
    }
    std::string rest;
    if (gbk_) {
        gbk.append(in);
    } else if (utf8_ && IsValidUtf8(in.substr(0, in.size() - (last ? 0 : CutUtf8Tail(in))))) {
        const std::size_t keep = last ? 0 : CutUtf8Tail(in);
        gbk += Utf8ToGbk(in.substr(0, in.size() - keep));
        rest.assign(in.substr(in.size() - keep));
    } else {
        // Through iconv, as CsvBytesToGbk does: a sequence that is no character becomes
        // "?", one cut at the chunk's end waits for the next chunk.
        iconv_t cd = static_cast<iconv_t>(cd_);
        bool own = false;
        if (!cd) {
            cd = iconv_open("UTF-8", "UTF-8");
            own = true;
        }
        utf8Text_.assign(in.size() * 2 + 16, '\0');
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        std::size_t used = 0;
        while (srcLeft > 0) {
            char* dst = utf8Text_.data() + used;
            std::size_t dstLeft = utf8Text_.size() - used;
            const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            used = utf8Text_.size() - dstLeft;
            if (r != static_cast<std::size_t>(-1)) break;
            if (errno == E2BIG) {
                utf8Text_.resize(utf8Text_.size() * 2);
                continue;
            }
            if (errno == EINVAL && !last) {
                rest.assign(src, srcLeft);
                break;
            }
            const std::size_t skip = unit_ < srcLeft ? unit_ : srcLeft;
            if (used + 1 > utf8Text_.size()) utf8Text_.resize(utf8Text_.size() * 2);
            utf8Text_[used++] = '?';
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        if (own) iconv_close(cd);
        gbk += Utf8ToGbk(std::string_view(utf8Text_).substr(0, used));
    }
    pending_.swap(rest);
}

}  // namespace kavo
