// One iconv conversion from one encoding to another: the GBK and UTF-8 texts of the
// program, and the files of other programs on their way in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kavo {

class CTextConverter {
public:
    // How many bytes to pass over at `pos`, where `text` holds a sequence that is no
    // character of the source encoding (at least one is passed over).
    using SkipFn = std::size_t (*)(std::string_view text, std::size_t pos);

    CTextConverter(const char* to, const char* from);
    ~CTextConverter();
    CTextConverter(const CTextConverter&) = delete;
    CTextConverter& operator=(const CTextConverter&) = delete;

    // False when iconv does not know one of the two encodings.
    bool IsOpen() const { return cd_ != nullptr; }

    // Converts `text` into `out`, which is overwritten (its room is reused). A sequence that
    // is no character becomes "?" and `skip` says how far to go on. When `keepCutEnd`, a
    // character cut off at the end of `text` is left out; the return value is the number of
    // bytes so left at the end (0 otherwise). Nothing is carried from one call to the next.
    std::size_t Convert(std::string_view text, std::string& out, SkipFn skip,
                        bool keepCutEnd = false);

    static std::size_t SkipByte(std::string_view, std::size_t) { return 1; }

private:
    void* cd_ = nullptr;
};

}  // namespace kavo
