#include "import/csv_encoding.h"

#include <memory>

#include "codecs/gbk_text.h"
#include "codecs/text_converter.h"

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

// A sequence that is no UTF-16 character is passed over a code unit at a time.
std::size_t SkipCodeUnit(std::string_view, std::size_t) { return 2; }

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
    return !encoding.empty() && CTextConverter("UTF-8", Upper(encoding).c_str()).IsOpen();
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

CCsvGbkConverter::CCsvGbkConverter() = default;
CCsvGbkConverter::~CCsvGbkConverter() = default;

bool CCsvGbkConverter::Open(const std::string& encoding) {
    toUtf8_.reset();
    const std::string enc = Upper(encoding);
    const bool utf16 = enc == kCsvUtf16Le || enc == kCsvUtf16Be;
    gbk_ = enc == kCsvGbk || enc == "CP936";
    utf8_ = enc == kCsvUtf8 || enc == "UTF8";
    unit_ = utf16 ? 2 : 1;
    bom_ =
        utf16 ? std::string(enc == kCsvUtf16Le ? kUtf16LeBom : kUtf16BeBom) : std::string(kUtf8Bom);
    started_ = false;
    pending_.clear();
    // UTF-8 goes through iconv too when it is not valid UTF-8, to mark what is not.
    auto converter = std::make_unique<CTextConverter>("UTF-8", enc.c_str());
    if (!converter->IsOpen()) return false;
    if (!gbk_) toUtf8_ = std::move(converter);
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
        // A sequence that is no character becomes "?"; one cut at the chunk's end waits
        // for the next chunk.
        const std::size_t kept = toUtf8_->Convert(
            in, utf8Text_, unit_ == 2 ? SkipCodeUnit : CTextConverter::SkipByte, !last);
        rest.assign(in.substr(in.size() - kept));
        gbk += Utf8ToGbk(utf8Text_);
    }
    pending_.swap(rest);
}

}  // namespace kavo
