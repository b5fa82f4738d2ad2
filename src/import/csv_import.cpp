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

// A contacts file larger than this is no contacts file.
constexpr std::streamoff kMaxFileBytes = 64 * 1024 * 1024;
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

std::vector<std::vector<std::string>> SplitCsvRecords(std::string_view text, char separator) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string value;
    bool inQuotes = false;
    bool started = false;  // the record has begun: a value, a quote or a comma was seen
    auto add = [&value](char c) {
        if (value.size() < kMaxValueBytes) value += c;
    };
    auto endValue = [&] {
        if (record.size() < kMaxColumns) record.push_back(std::move(value));
        value.clear();
    };
    auto endRecord = [&] {
        if (started) {
            endValue();
            records.push_back(std::move(record));
        }
        record.clear();
        value.clear();
        started = false;
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inQuotes) {
            if (c != '"') {
                add(c);
            } else if (i + 1 < text.size() && text[i + 1] == '"') {
                add('"');
                ++i;
            } else {
                inQuotes = false;
            }
            continue;
        }
        if (c == separator) {
            endValue();
            started = true;
            continue;
        }
        switch (c) {
            case '"':
                inQuotes = true;
                started = true;
                break;
            case '\r':
                if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
                endRecord();
                break;
            case '\n':
                endRecord();
                break;
            default:
                add(c);
                started = true;
        }
    }
    endRecord();
    return records;
}

bool LoadCsvFile(const std::string& path, std::string& bytes, ImportError* error) {
    bytes.clear();
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        SetFail(error, ImportError::kFileMissing);
        return false;
    }
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxFileBytes) {
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad() || in.gcount() != static_cast<std::streamsize>(bytes.size())) {
        bytes.clear();
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    SetFail(error, ImportError::kNone);
    return true;
}

namespace {

// The product's lines: CR LF or LF end a line; a file without any LF ends its lines with
// CR alone. The last line end adds no empty line.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    const bool crOnly = text.find('\n') == std::string_view::npos;
    const char end = crOnly ? '\r' : '\n';
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t at = text.find(end, start);
        std::size_t stop = at == std::string_view::npos ? text.size() : at;
        std::string_view line = text.substr(start, stop - start);
        if (!crOnly && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        start = stop + 1;
    }
    return lines;
}

}  // namespace

bool ParseCsvDocument(std::string_view bytes, const std::string& encoding, CCsvDocument& doc,
                      ImportError* error) {
    return ParseCsvDocument(bytes, encoding, doc, error, nullptr);
}

bool ParseCsvDocument(std::string_view bytes, const std::string& encoding, CCsvDocument& doc,
                      ImportError* error, std::string* lend) {
    doc = CCsvDocument{};
    doc.encoding = encoding.empty() ? DetectCsvEncoding(bytes) : encoding;
    std::string text;
    // Bytes that are GBK text already are borrowed rather than copied; a document that
    // keeps its text keeps them, any other outcome gives them back.
    struct Borrowed {
        std::string* owner;
        std::string& text;
        ~Borrowed() {
            if (owner && owner->empty()) owner->swap(text);
        }
    } borrowed{nullptr, text};
    const std::string enc = doc.encoding;
    if (lend && lend->data() == bytes.data() && lend->size() == bytes.size() &&
        (enc == kCsvGbk || enc == "CP936") &&
        !(bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")) {
        text.swap(*lend);
        borrowed.owner = lend;
    } else if (!CsvBytesToGbk(bytes, doc.encoding, text)) {
        SetFail(error, ImportError::kUnknownEncoding);
        return false;
    }
    std::vector<std::string_view> lines = SplitLines(text);
    if (lines.empty()) {
        SetFail(error, ImportError::kEmptyFile);
        return false;
    }
    doc.header = SplitCsvHeaderLine(lines[0]);
    if (doc.header.empty()) {
        SetFail(error, ImportError::kNoColumns);
        return false;
    }
    // A spreadsheet's "Unicode text" separates its values with tabs.
    const bool tabs = lines[0].find('\t') != std::string_view::npos &&
                      lines[0].find(',') == std::string_view::npos;
    doc.ownRules =
        !tabs && doc.encoding == kCsvGbk && NoOtherProgramColumns(DefaultCsvMapping(doc.header));
    if (!doc.ownRules) {
        std::vector<std::vector<std::string>> records = SplitCsvRecords(text, tabs ? '\t' : ',');
        if (records.empty()) {
            SetFail(error, ImportError::kNoColumns);
            return false;
        }
        doc.header = std::move(records.front());
        for (std::string& h : doc.header) h = std::string(TrimSpace(h));
        while (!doc.header.empty() && doc.header.back().empty()) doc.header.pop_back();
        doc.rows.reserve(records.size() - 1);
        for (std::size_t i = 1; i < records.size(); ++i) {
            std::vector<std::string>& row = records[i];
            if (row.size() > doc.header.size()) row.resize(doc.header.size());
            doc.rows.push_back(std::move(row));
        }
    }
    if (doc.header.size() < 2) {
        SetFail(error, doc.header.empty() ? ImportError::kNoColumns : ImportError::kTooFewColumns);
        return false;
    }
    if (doc.ownRules) {
        doc.lines.reserve(lines.size() - 1);
        std::vector<std::string> row;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            // Only a line that starts with a quote can split into no value at all.
            const std::string_view examined = ExaminedPart(line);
            const bool sampled = doc.rows.size() < kCsvSampleRows;
            if (sampled || examined.empty() || examined.front() == '"') {
                SplitCsvDataLine(line, doc.header.size(), row);
                if (row.empty()) {
                    SetFail(error, ImportError::kEmptyLine);
                    return false;
                }
                if (sampled) doc.rows.push_back(row);
            }
            doc.lines.push_back({static_cast<std::uint32_t>(line.data() - text.data()),
                                 static_cast<std::uint32_t>(line.size())});
        }
        doc.text.swap(text);  // the borrowed bytes, if any, stay here
        borrowed.owner = nullptr;
    }
    SetFail(error, ImportError::kNone);
    return true;
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
            std::string value = doc_.ownRules || c.match == ECsvMatch::kOwnLabel
                                    ? row[col]
                                    : Clean(row[col], c.target);
            T target = Resolve(c, row);
            if (target != T::kIgnore && !value.empty()) anyValue = true;
            const int t = static_cast<int>(target);
            if (t < kCsvFieldTargets) {
                Put(target, col, std::move(value));
            } else if (target == T::kRemark) {
                AddRemark(col, c.ownSlot >= 0, value);
            } else if (target >= T::kGivenName && target <= T::kBirthDay) {
                parts_[t - static_cast<int>(T::kGivenName)] = std::move(value);
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
        if (c.target != T::kPhoneByType && c.target != T::kAddressByType &&
            c.target != T::kPostalCodeByType)
            return c.target;
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
    void Put(T target, std::size_t col, std::string value) {
        int t = static_cast<int>(target);
        if (doc_.ownRules) {
            fields_[t] = std::move(value);
            return;
        }
        if (value.empty()) {
            if (!fields_[t]) fields_[t] = std::string();
            return;
        }
        if (!fields_[t] || fields_[t]->empty()) {
            fields_[t] = std::move(value);
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
                next = std::move(value);
                return;
            }
        }
        AddRemark(col, false, value);
    }

    void AddRemark(std::size_t col, bool remarkLabel, const std::string& value) {
        if (value.empty()) return;
        std::string item = doc_.header[col] + ':' + value + ' ';
        (remarkLabel ? remarkFirst_ : remarkRest_) += item;
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
    std::array<std::optional<std::string>, kCsvFieldTargets> fields_;
    std::array<std::string, 6> parts_;  // given, middle, family, year, month, day
    std::string remarkFirst_;           // the remark column of the product's own label
    std::string remarkRest_;
};

}  // namespace

bool BuildCsvContacts(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping,
                      std::size_t batch, const CsvContactSink& sink, ImportError* error) {
    bool haveName = false;
    for (std::size_t col = 0; col < mapping.size() && col < doc.header.size(); ++col)
        if (IsNameTarget(mapping[col].target)) haveName = true;
    if (!haveName) {
        SetFail(error, ImportError::kNoNameColumn);
        return false;
    }
    RecordBuilder builder(doc, mapping);
    // One part's worth of records, built in place and handed on, then built over.
    batch = std::max<std::size_t>(batch, 1);
    std::vector<CRelData> part(std::min(batch, std::max<std::size_t>(doc.RowCount(), 1)));
    std::size_t filled = 0;
    bool any = false;
    auto build = [&](const std::vector<std::string>& row) {
        if (!builder.Build(row, part[filled])) return;
        any = true;
        if (++filled < part.size()) return;
        sink(std::span<const CRelData>(part.data(), filled));
        filled = 0;
    };
    if (doc.ownRules) {
        std::vector<std::string> row;
        for (const CCsvDocument::Line& line : doc.lines) {
            SplitCsvDataLine(std::string_view(doc.text).substr(line.begin, line.size),
                             doc.header.size(), row);
            build(row);
        }
    } else {
        for (const std::vector<std::string>& row : doc.rows) build(row);
    }
    if (filled > 0) sink(std::span<const CRelData>(part.data(), filled));
    if (!any) {
        SetFail(error, ImportError::kNoContacts);
        return false;
    }
    SetFail(error, ImportError::kNone);
    return true;
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

bool CCsvImportPlan::Load(const std::string& path) {
    std::string bytes;
    loaded_ = false;
    if (!LoadCsvFile(path, bytes, &error_)) return false;
    return LoadBytes(std::move(bytes));
}

bool CCsvImportPlan::LoadBytes(std::string bytes) {
    bytes_ = std::move(bytes);
    loaded_ = ParseCsvDocument(bytes_, std::string(), doc_, &error_, &bytes_);
    mapping_ = loaded_ ? DefaultCsvMapping(doc_.header) : std::vector<CCsvColumn>();
    HoldTextOnce();
    return loaded_;
}

void CCsvImportPlan::HoldTextOnce() {
    // The product's own file is GBK already: its text is its bytes, kept once.
    if (!doc_.text.empty() && doc_.text == bytes_) std::string().swap(bytes_);
}

bool CCsvImportPlan::SetEncoding(const std::string& encoding) {
    if (!IsKnownCsvEncoding(encoding)) return false;
    CCsvDocument doc;
    ImportError error = ImportError::kNone;
    const std::string_view bytes = bytes_.empty() ? std::string_view(doc_.text) : bytes_;
    if (!ParseCsvDocument(bytes, encoding, doc, &error)) return false;
    if (bytes_.empty()) bytes_.swap(doc_.text);
    doc_ = std::move(doc);
    HoldTextOnce();
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
    if (!loaded_) {
        out.clear();
        SetFail(error, error_);
        return false;
    }
    return BuildCsvContacts(doc_, mapping_, out, error);
}

bool CCsvImportPlan::Build(std::size_t batch, const CsvContactSink& sink,
                           ImportError* error) const {
    if (!loaded_) {
        SetFail(error, error_);
        return false;
    }
    return BuildCsvContacts(doc_, mapping_, batch, sink, error);
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
    std::string bytes;
    if (!LoadCsvFile(path, bytes, error)) return false;
    return ReadCsvContactsFromText(bytes, out, error);
}

}  // namespace kavo
