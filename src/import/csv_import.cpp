#include "import/csv_import.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "codecs/gbk_text.h"
#include "import/csv_encoding.h"

namespace kavo {
namespace {

// A contacts file larger than this is no contacts file (a million contacts of the
// product's own kind take some 200 MB).
constexpr off_t kMaxFileBytes = off_t{2} * 1024 * 1024 * 1024;
// A quoted value that runs on past this is a stray quote, not a value.
constexpr std::size_t kMaxValueBytes = 64 * 1024;
// No contacts export has more columns; the values past it are dropped.
constexpr std::size_t kMaxColumns = 10000;

using T = ECsvTarget;

std::string_view ExaminedPart(std::string_view line) { return GbkPrefix(line, kCsvMaxLineChars); }

void SetFail(ImportError* error, ImportError reason) {
    if (error) *error = reason;
}

}  // namespace

std::vector<std::string> SplitCsvHeaderLine(std::string_view line) {
    line = ExaminedPart(line);
    std::vector<std::string> labels;
    std::string current;
    for (char c : line) {
        if (c == ',') {
            labels.push_back(std::move(current));
            current.clear();
        } else if (c != '"') {
            current += c;
        }
    }
    if (!line.empty() && line.back() != ',') labels.push_back(std::move(current));
    return labels;
}

void SplitCsvDataLine(std::string_view line, std::size_t maxValues,
                      std::vector<std::string>& values) {
    line = ExaminedPart(line);
    std::size_t count = 0;
    // The next value, reusing the room of the string that held it on an earlier line.
    auto next = [&values, &count]() -> std::string& {
        if (count == values.size()) values.emplace_back();
        std::string& v = values[count++];
        v.clear();
        return v;
    };
    auto done = [&values, &count] { values.resize(count); };
    if (maxValues == 0 || line.empty()) return done();
    if (line.front() != '"') {
        // Every ',' ends a value; the end of the line ends the last one unless a ',' just
        // did.
        std::size_t start = 0;
        for (;;) {
            std::size_t comma = line.find(',', start);
            if (comma == std::string_view::npos) {
                next().assign(line.substr(start));
                return done();
            }
            next().assign(line.substr(start, comma - start));
            if (count >= maxValues || comma + 1 == line.size()) return done();
            start = comma + 1;
        }
    }
    std::string* current = &next();
    int quotes = 0;
    bool endedByComma = false;
    for (char c : line) {
        endedByComma = false;
        if (c == '"') {
            if (++quotes == 3) {
                --count;  // the value in the making is dropped
                return done();
            }
        } else if (c == ',' && quotes >= 2) {
            quotes = 0;
            endedByComma = true;
            if (count >= maxValues) return done();
            current = &next();
        } else {
            *current += c;
        }
    }
    if (endedByComma) --count;  // no value follows the last ','
    done();
}

std::vector<std::string> SplitCsvDataLine(std::string_view line, std::size_t maxValues) {
    std::vector<std::string> values;
    SplitCsvDataLine(line, maxValues, values);
    return values;
}

namespace {

// Comma-separated records, fed a piece of text at a time: a quote, a doubled quote or a
// line end cut between two pieces is read as if the text were whole.
class CRecordSplitter {
public:
    using Sink = std::function<bool(std::vector<std::string>&)>;  // false stops
    CRecordSplitter(char separator, Sink sink) : separator_(separator), sink_(std::move(sink)) {}

    // False once the sink said stop.
    bool Feed(std::string_view text) {
        for (const char c : text) {
            if (stopped_) return false;
            if (quoteInQuotes_) {
                quoteInQuotes_ = false;
                if (c == '"') {
                    Add('"');
                    continue;
                }
                inQuotes_ = false;  // the quote closed the value; `c` follows it
            }
            if (inQuotes_) {
                if (c == '"')
                    quoteInQuotes_ = true;
                else
                    Add(c);
                continue;
            }
            if (c == separator_) {
                EndValue();
                started_ = true;
                continue;
            }
            switch (c) {
                case '"':
                    inQuotes_ = true;
                    started_ = true;
                    break;
                case '\r':  // a CR LF ends one record: the LF finds none begun
                case '\n':
                    EndRecord();
                    break;
                default:
                    Add(c);
                    started_ = true;
            }
        }
        return !stopped_;
    }
    bool Finish() {
        if (!stopped_) EndRecord();
        return !stopped_;
    }

private:
    void Add(char c) {
        if (value_.size() < kMaxValueBytes) value_ += c;
    }
    void EndValue() {
        if (record_.size() < kMaxColumns) record_.push_back(std::move(value_));
        value_.clear();
    }
    void EndRecord() {
        if (started_) {
            EndValue();
            if (!sink_(record_)) stopped_ = true;
        }
        record_.clear();
        value_.clear();
        started_ = false;
    }

    const char separator_;
    const Sink sink_;
    std::vector<std::string> record_;
    std::string value_;
    bool inQuotes_ = false;
    bool quoteInQuotes_ = false;  // a quote inside quotes: doubled, or the value's end
    bool started_ = false;        // the record has begun: a value, a quote or a comma was seen
    bool stopped_ = false;
};

}  // namespace

std::vector<std::vector<std::string>> SplitCsvRecords(std::string_view text, char separator) {
    std::vector<std::vector<std::string>> records;
    CRecordSplitter splitter(separator, [&records](std::vector<std::string>& record) {
        records.push_back(std::move(record));
        return true;
    });
    splitter.Feed(text);
    splitter.Finish();
    return records;
}

namespace {

// Where a file's bytes come from: the file, read a chunk at a time, or bytes in memory.
class CChunkSource {
public:
    CChunkSource(const std::string* path, std::string_view bytes, std::size_t chunk)
        : path_(path), bytes_(bytes), chunk_(chunk) {}
    ~CChunkSource() {
        if (file_) std::fclose(file_);
    }
    CChunkSource(const CChunkSource&) = delete;
    CChunkSource& operator=(const CChunkSource&) = delete;

    ImportError Open() {
        if (!path_) return ImportError::kNone;
        struct stat st;
        if (path_->empty() || ::stat(path_->c_str(), &st) != 0) return ImportError::kFileMissing;
        if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) return ImportError::kReadFailed;
        file_ = std::fopen(path_->c_str(), "rb");
        if (!file_) return ImportError::kReadFailed;
        buffer_.resize(chunk_);
        return ImportError::kNone;
    }
    // The next bytes, empty at the end; false when the file cannot be read.
    bool Next(std::string_view& out) {
        if (!file_) {
            out = bytes_.substr(std::min(at_, bytes_.size()), chunk_);
            at_ += out.size();
            return true;
        }
        const std::size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        out = std::string_view(buffer_.data(), n);
        return !std::ferror(file_);
    }
    // Starts again from the first byte.
    bool Rewind() {
        at_ = 0;
        return !file_ || std::fseek(file_, 0, SEEK_SET) == 0;
    }
    // The first `max` bytes, for a look at the encoding; when the file goes on past them,
    // cut after their last line end so that no character is cut.
    bool Prefix(std::size_t max, std::string& out) {
        out.clear();
        if (!file_) {
            out.assign(bytes_.substr(0, max));
            if (bytes_.size() <= max) return true;
        } else {
            out.resize(max + 1);
            const std::size_t n = std::fread(out.data(), 1, out.size(), file_);
            if (std::ferror(file_) || !Rewind()) return false;
            out.resize(n);
            if (n <= max) return true;
            out.resize(max);
        }
        const std::size_t lf = out.rfind('\n');
        if (lf != std::string::npos) out.resize(lf + 1);
        return true;
    }

private:
    const std::string* path_;
    std::string_view bytes_;
    std::size_t chunk_;
    std::size_t at_ = 0;
    std::FILE* file_ = nullptr;
    std::string buffer_;
};

// One line of the product's rules, as much of it as is ever looked at.
struct CLineBuffer {
    std::string text;  // its first kCsvMaxLineChars + 1 bytes
    std::size_t size = 0;
    bool tab = false;
    bool comma = false;
    char last = 0;

    void Clear() {
        text.clear();
        size = 0;
        tab = comma = false;
        last = 0;
    }
    void Append(std::string_view piece) {
        if (piece.empty()) return;
        constexpr std::size_t kKept = kCsvMaxLineChars + 1;
        if (text.size() < kKept) text.append(piece.substr(0, kKept - text.size()));
        tab = tab || piece.find('\t') != std::string_view::npos;
        comma = comma || piece.find(',') != std::string_view::npos;
        size += piece.size();
        last = piece.back();
    }
    // The line without its CR of a CR LF.
    std::string_view Line(bool dropCr) {
        if (dropCr && last == '\r' && text.size() == size) {
            text.pop_back();
            --size;
            last = 0;
        }
        return text;
    }
};

// The first line of a file may be long, but not this long.
constexpr std::size_t kMaxFirstLineBytes = 16 * 1024 * 1024;
// The bytes the encoding is detected from.
constexpr std::size_t kDetectBytes = 1024 * 1024;

using RowSink = std::function<void(const std::vector<std::string>&)>;

// Reads the source through once: the encoding (`encoding`, or detected), the header and
// the rules into `doc`, the first `rowsWanted` data rows to `onRow`; the rest are
// counted and checked.
ImportError ScanCsv(CChunkSource& source, const std::string& encoding, bool detectFromPrefix,
                    CCsvDocument& doc, const RowSink& onRow,
                    std::size_t rowsWanted = std::string::npos) {
    doc = CCsvDocument{};
    if (ImportError e = source.Open(); e != ImportError::kNone) return e;
    doc.encoding = encoding;
    if (doc.encoding.empty()) {
        std::string prefix;
        if (!source.Prefix(detectFromPrefix ? kDetectBytes : std::string::npos - 1, prefix))
            return ImportError::kReadFailed;
        doc.encoding = DetectCsvEncoding(prefix);
    }
    CCsvGbkConverter converter;
    if (!converter.Open(doc.encoding)) return ImportError::kUnknownEncoding;

    // The product's lines end with LF (CR LF) unless the text holds no LF at all: look
    // for one first, which the first chunk nearly always shows.
    std::string gbk;
    bool anyLf = false;
    for (bool more = true; more && !anyLf;) {
        std::string_view chunk;
        if (!source.Next(chunk)) return ImportError::kReadFailed;
        more = !chunk.empty();
        gbk.clear();
        converter.Convert(chunk, !more, gbk);
        anyLf = gbk.find('\n') != std::string::npos;
    }
    const char eol = anyLf ? '\n' : '\r';
    if (!source.Rewind() || !converter.Open(doc.encoding)) return ImportError::kReadFailed;

    ImportError failure = ImportError::kNone;
    bool decided = false;
    bool headerDone = false;  // other programs' rules: the first record was the header
    bool anyText = false;
    std::string head;  // the text up to the first line's end, until the rules are known
    CLineBuffer line;
    std::vector<std::string> row;
    std::optional<CRecordSplitter> records;

    // A data line under the product's rules.
    auto ownLine = [&](std::string_view text) {
        const bool wanted = doc.rowCount < rowsWanted;
        // Only a line that starts with a quote can split into no value at all.
        const std::string_view examined = ExaminedPart(text);
        if (!wanted && !examined.empty() && examined.front() != '"') {
            ++doc.rowCount;
            return;
        }
        SplitCsvDataLine(text, doc.header.size(), row);
        if (row.empty()) {
            failure = ImportError::kEmptyLine;
            return;
        }
        ++doc.rowCount;
        if (wanted) onRow(row);
    };
    // A record under other programs' rules: the header first, then the rows.
    auto otherRecord = [&](std::vector<std::string>& record) {
        if (!headerDone) {
            headerDone = true;
            doc.header = std::move(record);
            for (std::string& h : doc.header) h = std::string(TrimSpace(h));
            while (!doc.header.empty() && doc.header.back().empty()) doc.header.pop_back();
            if (doc.header.size() < 2) {
                failure =
                    doc.header.empty() ? ImportError::kNoColumns : ImportError::kTooFewColumns;
                return false;
            }
            return true;
        }
        if (record.size() > doc.header.size()) record.resize(doc.header.size());
        if (doc.rowCount++ < rowsWanted) onRow(record);
        return true;
    };
    // Lines of the product's rules in `text`, the last one perhaps going on in the next.
    auto ownText = [&](std::string_view text) {
        while (!text.empty() && failure == ImportError::kNone) {
            const std::size_t at = text.find(eol);
            if (at == std::string_view::npos) {
                line.Append(text);
                return;
            }
            line.Append(text.substr(0, at));
            ownLine(line.Line(eol == '\n'));
            line.Clear();
            text.remove_prefix(at + 1);
        }
    };
    // The first line is whole (or the text ended): the header decides the rules.
    auto decide = [&](std::string_view first) {
        decided = true;
        CLineBuffer firstLine;
        firstLine.Append(first);
        const bool tab = firstLine.tab, comma = firstLine.comma;
        doc.header = SplitCsvHeaderLine(firstLine.Line(eol == '\n'));
        if (doc.header.empty()) {
            failure = ImportError::kNoColumns;
            return;
        }
        // A spreadsheet's "Unicode text" separates its values with tabs.
        const bool tabs = tab && !comma;
        doc.ownRules = !tabs && doc.encoding == kCsvGbk &&
                       NoOtherProgramColumns(DefaultCsvMapping(doc.header));
        if (doc.ownRules) {
            if (doc.header.size() < 2) {
                failure = ImportError::kTooFewColumns;
                return;
            }
            const std::size_t end = std::min(head.size(), first.size() + 1);
            ownText(std::string_view(head).substr(end));
        } else {
            doc.header.clear();
            records.emplace(tabs ? '\t' : ',', otherRecord);
            records->Feed(head);
        }
        std::string().swap(head);
    };
    auto feed = [&](std::string_view text) {
        if (text.empty()) return;
        anyText = true;
        if (decided) {
            if (doc.ownRules)
                ownText(text);
            else
                records->Feed(text);
            return;
        }
        const std::size_t at = text.find(eol);
        head.append(text);
        if (at != std::string_view::npos) {
            decide(std::string_view(head).substr(0, head.size() - text.size() + at));
        } else if (head.size() > kMaxFirstLineBytes) {
            failure = ImportError::kNoColumns;
        }
    };
    for (bool more = true; more && failure == ImportError::kNone;) {
        std::string_view chunk;
        if (!source.Next(chunk)) return ImportError::kReadFailed;
        more = !chunk.empty();
        gbk.clear();
        converter.Convert(chunk, !more, gbk);
        feed(gbk);
    }
    if (failure != ImportError::kNone) return failure;
    if (!anyText) return ImportError::kEmptyFile;
    if (!decided) decide(head);
    if (failure != ImportError::kNone) return failure;
    if (doc.ownRules) {
        if (line.size > 0) ownLine(line.Line(eol == '\n'));
    } else {
        records->Finish();
        if (!headerDone && failure == ImportError::kNone) failure = ImportError::kNoColumns;
    }
    return failure;
}

}  // namespace

bool ParseCsvDocument(std::string_view bytes, const std::string& encoding, CCsvDocument& doc,
                      ImportError* error) {
    CChunkSource source(nullptr, bytes, std::max<std::size_t>(bytes.size(), 1));
    ImportError e =
        ScanCsv(source, encoding, false, doc,
                [&doc](const std::vector<std::string>& row) { doc.rows.push_back(row); });
    SetFail(error, e);
    return e == ImportError::kNone;
}

bool IsOwnCsvFormat(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping) {
    if (doc.encoding != kCsvGbk) return false;
    for (const CCsvColumn& c : mapping)
        if (c.match != ECsvMatch::kOwnLabel) return false;
    return true;
}

namespace {

struct FieldPlace {
    std::size_t offset;
    std::size_t width;
};

#define KAVO_PLACE(f) \
    FieldPlace { offsetof(CRelData, f), sizeof(CRelData::f) }
// The fields of targets 0-17, in the targets' order.
constexpr FieldPlace kPlaces[kCsvFieldTargets] = {
    KAVO_PLACE(RelName),      KAVO_PLACE(KeshNum),      KAVO_PLACE(CorpPosition),
    KAVO_PLACE(MobilePhone1), KAVO_PLACE(MobilePhone2), KAVO_PLACE(HomePhone),
    KAVO_PLACE(OfficePhone1), KAVO_PLACE(OfficePhone2), KAVO_PLACE(NickName),
    KAVO_PLACE(Birthday),     KAVO_PLACE(Anniversary),  KAVO_PLACE(CompanyAddr),
    KAVO_PLACE(HomeAddr),     KAVO_PLACE(CompanyWeb),   KAVO_PLACE(ZipCode),
    KAVO_PLACE(E_mail),       KAVO_PLACE(OfficeFax),    KAVO_PLACE(Ring),
};
#undef KAVO_PLACE

bool IsNameTarget(T t) {
    return t == T::kRelName || t == T::kGivenName || t == T::kMiddleName || t == T::kFamilyName;
}

bool IsAddressTarget(T t) { return t == T::kCompanyAddr || t == T::kHomeAddr; }

bool Contains(std::string_view hay, std::string_view needle) {
    return hay.find(needle) != std::string_view::npos;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// The first of a value list "a ::: b", without the "* " that marks a primary kind.
std::string_view FirstValue(std::string_view v) {
    std::size_t sep = v.find(":::");
    if (sep != std::string_view::npos) v = v.substr(0, sep);
    v = TrimSpace(v);
    if (v.substr(0, 2) == "* ") v = TrimSpace(v.substr(2));
    return v;
}

bool IsHomeKind(const std::string& kind) {
    return Contains(kind, "home") || Contains(kind, Utf8ToGbk("家")) ||
           Contains(kind, Utf8ToGbk("住宅"));
}

// The field a phone number of the given kind ("Mobile", "Work Fax", "手机"...) fills; a
// number without a kind is most often the mobile a phone stored.
T PhoneTarget(std::string_view kindGbk) {
    const std::string kind = Lower(kindGbk);
    if (kind.empty()) return T::kMobilePhone1;
    if (Contains(kind, "fax") || Contains(kind, Utf8ToGbk("传真")))
        return IsHomeKind(kind) ? T::kRemark : T::kOfficeFax;
    if (Contains(kind, "mobile") || Contains(kind, "cell") || Contains(kind, "iphone") ||
        Contains(kind, Utf8ToGbk("手机")) || Contains(kind, Utf8ToGbk("移动")))
        return T::kMobilePhone1;
    if (Contains(kind, "work") || Contains(kind, "business") || Contains(kind, "office") ||
        Contains(kind, Utf8ToGbk("工作")) || Contains(kind, Utf8ToGbk("单位")) ||
        Contains(kind, Utf8ToGbk("公司")) || Contains(kind, Utf8ToGbk("商务")))
        return T::kOfficePhone1;
    if (IsHomeKind(kind)) return T::kHomePhone;
    return T::kRemark;
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return true;
}

// A date written year first ("1980-03-05", "1980/3/5", "1980.3.5", "1980年3月5日") in
// the editor's form "19800305"; Outlook's empty date "0/0/00" as nothing; anything else
// as it is.
std::string DateValue(std::string_view v) {
    if (v == "0/0/00" || v == "0/0/0000") return {};
    std::string s(v);
    for (const char* sep : {"年", "月"}) {
        const std::string g = Utf8ToGbk(sep);
        for (std::size_t p; (p = s.find(g)) != std::string::npos;) s.replace(p, g.size(), "-");
    }
    const std::string day = Utf8ToGbk("日");
    if (s.size() > day.size() && s.compare(s.size() - day.size(), day.size(), day) == 0)
        s.resize(s.size() - day.size());
    std::string parts[3];
    int n = 0;
    for (char c : s) {
        if (c == '-' || c == '/' || c == '.') {
            if (++n > 2) return std::string(v);
        } else {
            parts[n] += c;
        }
    }
    if (n != 2 || parts[0].size() != 4 || parts[1].size() > 2 || parts[2].size() > 2 ||
        !AllDigits(parts[0]) || !AllDigits(parts[1]) || !AllDigits(parts[2]))
        return std::string(v);
    int month = std::stoi(parts[1]), dayOfMonth = std::stoi(parts[2]);
    if (month < 1 || month > 12 || dayOfMonth < 1 || dayOfMonth > 31) return std::string(v);
    char out[16];
    std::snprintf(out, sizeof out, "%s%02d%02d", parts[0].c_str(), month, dayOfMonth);
    return out;
}

// A field's value while a row is collected: set or not, like an optional text, but it
// keeps its room when emptied, so that row after row reuses the same buffers.
class CFieldValue {
public:
    explicit operator bool() const { return set_; }
    std::string& operator*() { return text_; }
    const std::string& operator*() const { return text_; }
    std::string* operator->() { return &text_; }
    const std::string* operator->() const { return &text_; }
    CFieldValue& operator=(std::string_view text) {
        text_.assign(text);
        set_ = true;
        return *this;
    }
    void reset() {
        text_.clear();
        set_ = false;
    }

private:
    std::string text_;
    bool set_ = false;
};

// Collects the values of one row field by field, then writes the record.
class RecordBuilder {
public:
    RecordBuilder(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping)
        : doc_(doc), mapping_(mapping) {}

    // False when the row gives no contact.
    bool Build(const std::vector<std::string>& row, CRelData& rec) {
        for (auto& f : fields_) f.reset();
        for (auto& p : parts_) p.clear();
        remarkFirst_.clear();
        remarkRest_.clear();
        bool anyValue = false;
        for (std::size_t col = 0; col < mapping_.size() && col < row.size(); ++col) {
            const CCsvColumn& c = mapping_[col];
            // The product's own labels carry values as they are; other columns are tidied.
            if (!doc_.ownRules && c.match != ECsvMatch::kOwnLabel)
                cleaned_ = Clean(row[col], c.target);
            const std::string_view value = doc_.ownRules || c.match == ECsvMatch::kOwnLabel
                                               ? std::string_view(row[col])
                                               : std::string_view(cleaned_);
            T target = Resolve(c, row);
            if (target != T::kIgnore && !value.empty()) anyValue = true;
            const int t = static_cast<int>(target);
            if (t < kCsvFieldTargets) {
                Put(target, col, value);
            } else if (target == T::kRemark) {
                AddRemark(col, c.ownSlot >= 0, value);
            } else if (target >= T::kGivenName && target <= T::kBirthDay) {
                parts_[t - static_cast<int>(T::kGivenName)] = value;
            }
        }
        if (!doc_.ownRules && !anyValue) return false;
        FillFromParts();
        rec.Clear();
        bool wrote = false;
        for (int t = 0; t < kCsvFieldTargets; ++t) {
            // The product's own files write a field whose column has a value, even an
            // empty one; other files count only what they say.
            if (!fields_[t] || (!doc_.ownRules && fields_[t]->empty())) continue;
            SetField(reinterpret_cast<char*>(&rec) + kPlaces[t].offset, kPlaces[t].width,
                     *fields_[t]);
            wrote = true;
        }
        std::string remark = Remark();
        if (!remark.empty()) {
            SetField(rec.RelRemark, remark);
            wrote = true;
        }
        return wrote;
    }

private:
    static std::string Clean(std::string_view v, T target) {
        if (target == T::kRemark) return std::string(TrimSpace(v));
        std::string s = SingleLine(FirstValue(v));
        if (target == T::kBirthday || target == T::kAnniversary) return DateValue(s);
        return s;
    }

    T Resolve(const CCsvColumn& c, const std::vector<std::string>& row) const {
        if (!IsTargetByKind(c.target)) return c.target;
        std::string kind;
        if (c.typeColumn >= 0 && static_cast<std::size_t>(c.typeColumn) < row.size())
            kind = Lower(FirstValue(row[static_cast<std::size_t>(c.typeColumn)]));
        if (c.target == T::kPhoneByType) return PhoneTarget(kind);
        if (c.target == T::kAddressByType) return IsHomeKind(kind) ? T::kHomeAddr : T::kCompanyAddr;
        return IsHomeKind(kind) ? T::kIgnore : T::kZipCode;
    }

    // A field takes the first non-empty value; an address joins its parts; the other
    // values of a field already filled go to the remark. A second mobile or office number
    // moves on to the second field.
    void Put(T target, std::size_t col, std::string_view value) {
        int t = static_cast<int>(target);
        if (doc_.ownRules) {
            fields_[t] = value;
            return;
        }
        if (value.empty()) {
            if (!fields_[t]) fields_[t] = std::string_view();
            return;
        }
        if (!fields_[t] || fields_[t]->empty()) {
            fields_[t] = value;
            return;
        }
        if (IsAddressTarget(target)) {
            *fields_[t] += IsAscii(*fields_[t]) && IsAscii(value) ? ", " : " ";
            *fields_[t] += value;
            return;
        }
        T second = target == T::kMobilePhone1   ? T::kMobilePhone2
                   : target == T::kOfficePhone1 ? T::kOfficePhone2
                                                : T::kRemark;
        if (second != T::kRemark) {
            auto& next = fields_[static_cast<int>(second)];
            if (!next || next->empty()) {
                next = value;
                return;
            }
        }
        AddRemark(col, false, value);
    }

    void AddRemark(std::size_t col, bool remarkLabel, std::string_view value) {
        if (value.empty()) return;
        std::string& remark = remarkLabel ? remarkFirst_ : remarkRest_;
        remark += doc_.header[col];
        remark += ':';
        remark += value;
        remark += ' ';
    }

    std::string Remark() const {
        std::string remark = remarkFirst_ + remarkRest_;
        if (remark.size() > kCsvRemarkMaxBytes)
            remark = std::string(GbkPrefix(remark, kCsvRemarkMaxBytes));
        return remark;
    }

    void FillFromParts() {
        auto& name = fields_[static_cast<int>(T::kRelName)];
        const std::string& given = parts_[0];
        const std::string& middle = parts_[1];
        const std::string& family = parts_[2];
        if ((!name || name->empty()) && !(given.empty() && middle.empty() && family.empty())) {
            // Chinese names run family name first, without blanks; Western ones the other
            // way round.
            name = IsAscii(family + middle + given) ? JoinNonEmpty({given, middle, family}, " ")
                                                    : family + middle + given;
        }
        if (!doc_.ownRules && (!name || name->empty())) {
            for (T t : {T::kNickName, T::kKeshNum, T::kE_mail, T::kMobilePhone1}) {
                const auto& f = fields_[static_cast<int>(t)];
                if (f && !f->empty()) {
                    name = *f;
                    break;
                }
            }
        }
        auto& birthday = fields_[static_cast<int>(T::kBirthday)];
        const std::string& y = parts_[3];
        const std::string& m = parts_[4];
        const std::string& d = parts_[5];
        if ((!birthday || birthday->empty()) && !y.empty() && !m.empty() && !d.empty()) {
            std::string date = DateValue(y + "-" + m + "-" + d);
            if (AllDigits(date) && date.size() == 8) birthday = date;
        }
    }

    const CCsvDocument& doc_;
    const std::vector<CCsvColumn>& mapping_;
    std::array<CFieldValue, kCsvFieldTargets> fields_;
    std::string cleaned_;               // the tidied value of the column at hand
    std::array<std::string, 6> parts_;  // given, middle, family, year, month, day
    std::string remarkFirst_;           // the remark column of the product's own label
    std::string remarkRest_;
};

}  // namespace

namespace {

bool HasNameColumn(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping) {
    for (std::size_t col = 0; col < mapping.size() && col < doc.header.size(); ++col)
        if (IsNameTarget(mapping[col].target)) return true;
    return false;
}

// Builds contacts from the rows it is given into one part's worth of records, handed on
// when full and built over.
class CPartBuilder {
public:
    CPartBuilder(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping, std::size_t batch,
                 const CsvContactSink& sink)
        : builder_(doc, mapping),
          part_(
              std::min(std::max<std::size_t>(batch, 1), std::max<std::size_t>(doc.RowCount(), 1))),
          sink_(sink) {}

    void Add(const std::vector<std::string>& row) {
        if (!builder_.Build(row, part_[filled_])) return;
        any_ = true;
        if (++filled_ < part_.size()) return;
        sink_(std::span<const CRelData>(part_.data(), filled_));
        filled_ = 0;
    }
    // False with kNoContacts when no row gave a contact.
    bool Finish(ImportError* error) {
        if (filled_ > 0) sink_(std::span<const CRelData>(part_.data(), filled_));
        filled_ = 0;
        SetFail(error, any_ ? ImportError::kNone : ImportError::kNoContacts);
        return any_;
    }

private:
    RecordBuilder builder_;
    std::vector<CRelData> part_;
    const CsvContactSink& sink_;
    std::size_t filled_ = 0;
    bool any_ = false;
};

}  // namespace

bool BuildCsvContacts(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping,
                      std::size_t batch, const CsvContactSink& sink, ImportError* error) {
    if (!HasNameColumn(doc, mapping)) {
        SetFail(error, ImportError::kNoNameColumn);
        return false;
    }
    CPartBuilder parts(doc, mapping, batch, sink);
    for (const std::vector<std::string>& row : doc.rows) parts.Add(row);
    return parts.Finish(error);
}

bool BuildCsvContacts(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping,
                      std::vector<CRelData>& out, ImportError* error) {
    out.clear();
    out.reserve(doc.RowCount());
    return BuildCsvContacts(
        doc, mapping, doc.RowCount(),
        [&out](std::span<const CRelData> part) { out.insert(out.end(), part.begin(), part.end()); },
        error);
}

bool CCsvImportPlan::Scan(const std::string& encoding, CCsvDocument& doc,
                          ImportError& error) const {
    CChunkSource source(fromFile_ ? &path_ : nullptr, bytes_, chunkBytes_);
    error = ScanCsv(
        source, encoding, fromFile_, doc,
        [&doc](const std::vector<std::string>& row) { doc.rows.push_back(row); }, kCsvSampleRows);
    return error == ImportError::kNone;
}

bool CCsvImportPlan::Load(const std::string& path) {
    path_ = path;
    std::string().swap(bytes_);
    fromFile_ = true;
    loaded_ = Scan(std::string(), doc_, error_);
    mapping_ = loaded_ ? DefaultCsvMapping(doc_.header) : std::vector<CCsvColumn>();
    return loaded_;
}

bool CCsvImportPlan::LoadBytes(std::string bytes) {
    path_.clear();
    bytes_ = std::move(bytes);
    fromFile_ = false;
    loaded_ = Scan(std::string(), doc_, error_);
    mapping_ = loaded_ ? DefaultCsvMapping(doc_.header) : std::vector<CCsvColumn>();
    return loaded_;
}

bool CCsvImportPlan::SetEncoding(const std::string& encoding) {
    if (!IsKnownCsvEncoding(encoding)) return false;
    CCsvDocument doc;
    ImportError error = ImportError::kNone;
    if (!Scan(encoding, doc, error)) return false;
    doc_ = std::move(doc);
    mapping_ = DefaultCsvMapping(doc_.header);
    error_ = ImportError::kNone;
    loaded_ = true;
    return true;
}

void CCsvImportPlan::SetTarget(std::size_t column, ECsvTarget target) {
    if (column >= mapping_.size()) return;
    mapping_[column].target = target;
    mapping_[column].match = ECsvMatch::kChosen;
}

bool CCsvImportPlan::ApplyChoices(std::string_view choices, std::string& reason) {
    return ApplyCsvMapChoices(choices, doc_.header, mapping_, reason);
}

bool CCsvImportPlan::Build(std::vector<CRelData>& out, ImportError* error) const {
    out.clear();
    out.reserve(doc_.RowCount());
    return Build(
        doc_.RowCount(),
        [&out](std::span<const CRelData> part) { out.insert(out.end(), part.begin(), part.end()); },
        error);
}

bool CCsvImportPlan::Build(std::size_t batch, const CsvContactSink& sink,
                           ImportError* error) const {
    if (!loaded_) {
        SetFail(error, error_);
        return false;
    }
    if (!HasNameColumn(doc_, mapping_)) {
        SetFail(error, ImportError::kNoNameColumn);
        return false;
    }
    // The file once more, each row built as it is split; the rules and the header are
    // those it was looked at with.
    CPartBuilder parts(doc_, mapping_, batch, sink);
    CChunkSource source(fromFile_ ? &path_ : nullptr, bytes_, chunkBytes_);
    CCsvDocument again;
    const ImportError e =
        ScanCsv(source, doc_.encoding, false, again,
                [&parts](const std::vector<std::string>& row) { parts.Add(row); });
    if (e != ImportError::kNone || again.header != doc_.header || again.ownRules != doc_.ownRules) {
        parts.Finish(nullptr);
        SetFail(error, e != ImportError::kNone ? e : ImportError::kReadFailed);
        return false;
    }
    return parts.Finish(error);
}

bool ReadCsvContactsFromText(std::string_view content, std::vector<CRelData>& out,
                             ImportError* error) {
    out.clear();
    CCsvDocument doc;
    if (!ParseCsvDocument(content, std::string(), doc, error)) return false;
    return BuildCsvContacts(doc, DefaultCsvMapping(doc.header), out, error);
}

bool ReadCsvContacts(const std::string& path, std::vector<CRelData>& out, ImportError* error) {
    out.clear();
    CCsvImportPlan plan;
    if (!plan.Load(path)) {
        SetFail(error, plan.Error());
        return false;
    }
    return plan.Build(out, error);
}

}  // namespace kavo
