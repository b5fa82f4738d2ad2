// The encodings a CSV file of contacts comes in, and the one step that turns its bytes
// into the GBK text the reader splits. Spreadsheets on a Chinese system write GBK (or
// GB18030), web and Linux tools write UTF-8 with or without a byte order mark, and a
// spreadsheet's "Unicode text" is UTF-16 with one.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

class CTextConverter;

inline constexpr char kCsvUtf8[] = "UTF-8";
inline constexpr char kCsvUtf16Le[] = "UTF-16LE";
inline constexpr char kCsvUtf16Be[] = "UTF-16BE";
inline constexpr char kCsvGbk[] = "GBK";
inline constexpr char kCsvGb18030[] = "GB18030";

// The encoding of a file's bytes, tried in this order: a UTF-8 byte order mark; a UTF-16
// little- or big-endian one; text that is valid UTF-8 throughout and not pure ASCII;
// text whose every double-byte sequence is GBK (pure ASCII included) is GBK; anything
// else is GB18030, whose four-byte sequences GBK lacks.
std::string DetectCsvEncoding(std::string_view bytes);

// The encodings a user can choose from, the detected ones first.
const std::vector<std::string>& CsvEncodingChoices();

// True when `encoding` is a name the converter knows (any iconv name, case ignored).
bool IsKnownCsvEncoding(const std::string& encoding);

// A file's bytes as GBK text, a chunk at a time, for a file that is never held whole: a
// byte order mark of the encoding is dropped, GBK bytes are kept as they are, everything
// else is converted. A character GBK cannot hold becomes one "?", and so does each byte
// that is no character of the encoding. A character (or a byte order mark) cut at a
// chunk's end waits in here for the rest of it.
class CCsvGbkConverter {
public:
    CCsvGbkConverter();
    ~CCsvGbkConverter();
    CCsvGbkConverter(const CCsvGbkConverter&) = delete;
    CCsvGbkConverter& operator=(const CCsvGbkConverter&) = delete;

    // False when the encoding is unknown.
    bool Open(const std::string& encoding);
    // Appends the GBK text of the next `bytes` to `gbk`; `last` when the file ends with them.
    void Convert(std::string_view bytes, bool last, std::string& gbk);

private:
    std::unique_ptr<CTextConverter> toUtf8_;  // for every encoding but GBK
    bool gbk_ = false;
    bool utf8_ = false;
    std::size_t unit_ = 1;
    std::string bom_;
    bool started_ = false;  // the byte order mark has been looked for
    std::string pending_;   // the cut character's first bytes
    std::string utf8Text_;
};

}  // namespace kavo
