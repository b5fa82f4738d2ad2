#include "codecs/text_converter.h"

#include <iconv.h>

#include <cerrno>

namespace kavo {

CTextConverter::CTextConverter(const char* to, const char* from) {
    iconv_t cd = iconv_open(to, from);
    if (cd != reinterpret_cast<iconv_t>(-1)) cd_ = cd;
}

CTextConverter::~CTextConverter() {
    if (cd_) iconv_close(static_cast<iconv_t>(cd_));
}

std::size_t CTextConverter::Convert(std::string_view text, std::string& out, SkipFn skip,
                                    bool keepCutEnd) {
    iconv_t cd = static_cast<iconv_t>(cd_);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    out.resize(text.size() * 2 + 16);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    std::size_t used = 0;
    std::size_t kept = 0;
    while (inLeft > 0) {
        char* dst = out.data() + used;
        std::size_t outLeft = out.size() - used;
        const std::size_t r = iconv(cd, &in, &inLeft, &dst, &outLeft);
        used = out.size() - outLeft;
        if (r != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
            continue;
        }
        if (errno == EINVAL && keepCutEnd) {
            kept = inLeft;
            break;
        }
        // EILSEQ, or EINVAL at the very end: a sequence that is no character, or is cut off.
        std::size_t n = skip(text, text.size() - inLeft);
        if (n == 0 || n > inLeft) n = inLeft < 1 ? inLeft : 1;
        if (used == out.size()) out.resize(out.size() * 2);
        out[used++] = '?';
        in += n;
        inLeft -= n;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(used);
    return kept;
}

}  // namespace kavo
