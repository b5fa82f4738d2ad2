#include "import/csv_import.h"

#include <sys/stat.h>

#include <cstddef>
#include <fstream>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct KnownLabel {
    const char* utf8;
    std::size_t offset;
    std::size_t width;
};

#define KAVO_SLOT(label, f) \
    KnownLabel { label, offsetof(CRelData, f), sizeof(CRelData::f) }
// Tried in this order: the first one found inside a column's label decides its slot.
constexpr KnownLabel kKnownLabels[kCsvKnownLabelCount] = {
    KAVO_SLOT("姓名", RelName),
    KAVO_SLOT("组织", KeshNum),
    KAVO_SLOT("头衔", CorpPosition),
    KAVO_SLOT("移动电话(公)", MobilePhone1),
    KAVO_SLOT("移动电话(私)", MobilePhone2),
    KAVO_SLOT("住宅电话", HomePhone),
    KAVO_SLOT("商务电话1", OfficePhone1),
    KAVO_SLOT("商务电话2", OfficePhone2),
    KAVO_SLOT("呢称", NickName),
    KAVO_SLOT("生日", Birthday),
    KAVO_SLOT("纪念日", Anniversary),
    KAVO_SLOT("工作地址", CompanyAddr),
    KAVO_SLOT("住宅地址", HomeAddr),
    KAVO_SLOT("主页", CompanyWeb),
    KAVO_SLOT("工作地邮编", ZipCode),
    KAVO_SLOT("邮件一", E_mail),
    KAVO_SLOT("商务传真", OfficeFax),
    KAVO_SLOT("响铃文件路径", Ring),
    KAVO_SLOT("备注", RelRemark),
};
#undef KAVO_SLOT

const std::array<std::string, kCsvKnownLabelCount>& KnownLabelsGbk() {
    static const std::array<std::string, kCsvKnownLabelCount> labels = [] {
        std::array<std::string, kCsvKnownLabelCount> a;
        for (int i = 0; i < kCsvKnownLabelCount; ++i) a[i] = Utf8ToGbk(kKnownLabels[i].utf8);
        return a;
    }();
    return labels;
}

// True when `needle` occurs in `hay` starting on a character boundary, so the trail byte
// of one character and the lead byte of the next never pass for a label.
bool ContainsGbk(std::string_view hay, std::string_view needle) {
    std::size_t pos = 0;
    while (pos + needle.size() <= hay.size()) {
        if (hay.compare(pos, needle.size(), needle) == 0) return true;
        pos += GbkCharLength(hay, pos);
    }
    return false;
}

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

std::vector<std::string> SplitCsvDataLine(std::string_view line, std::size_t maxValues) {
    line = ExaminedPart(line);
    std::vector<std::string> values;
    if (maxValues == 0 || line.empty()) return values;
    if (line.front() != '"') {
        // Every ',' ends a value; the end of the line ends the last one unless a ',' just
        // did.
        std::size_t start = 0;
        for (;;) {
            std::size_t comma = line.find(',', start);
            if (comma == std::string_view::npos) {
                values.emplace_back(line.substr(start));
                return values;
            }
            values.emplace_back(line.substr(start, comma - start));
            if (values.size() >= maxValues || comma + 1 == line.size()) return values;
            start = comma + 1;
        }
    }
    std::string current;
    int quotes = 0;
    bool endedByComma = false;
    for (char c : line) {
        endedByComma = false;
        if (c == '"') {
            if (++quotes == 3) return values;
        } else if (c == ',' && quotes >= 2) {
            values.push_back(std::move(current));
            current.clear();
            quotes = 0;
            endedByComma = true;
            if (values.size() >= maxValues) return values;
        } else {
            current += c;
        }
    }
    if (!endedByComma) values.push_back(std::move(current));
    return values;
}

CCsvContactReader::CCsvContactReader() { slots_.fill(-1); }

bool CCsvContactReader::SetHeader(std::string_view line, ImportError* error) {
    header_ = SplitCsvHeaderLine(line);
    slots_.fill(-1);
    if (header_.empty()) {
        SetFail(error, ImportError::kNoColumns);
        return false;
    }
    const auto& known = KnownLabelsGbk();
    int nextFree = kCsvKnownLabelCount;
    for (std::size_t col = 0; col < header_.size(); ++col) {
        int slot = -1;
        for (int k = 0; k < kCsvKnownLabelCount; ++k) {
            if (ContainsGbk(header_[col], known[k])) {
                slot = k;
                break;
            }
        }
        if (slot < 0) {
            // Columns past the last free slot have nowhere to go and are left out.
            if (nextFree >= kCsvSlotCount) continue;
            slot = nextFree++;
        }
        slots_[static_cast<std::size_t>(slot)] = static_cast<int>(col);
    }
    if (header_.size() < 2) {
        SetFail(error, ImportError::kTooFewColumns);
        return false;
    }
    return true;
}

bool CCsvContactReader::AddLine(std::string_view line, std::vector<CRelData>& out,
                                ImportError* error) {
    std::vector<std::string> row = SplitCsvDataLine(line, header_.size());
    if (row.empty()) {
        SetFail(error, ImportError::kEmptyLine);
        return false;
    }
    if (slots_[0] < 0) return true;  // without a name column no line is a contact

    auto value = [&row](int column) -> const std::string* {
        if (column < 0 || static_cast<std::size_t>(column) >= row.size()) return nullptr;
        return &row[static_cast<std::size_t>(column)];
    };

    CRelData rec;
    bool wrote = false;
    // Every recognised column counts, wherever its slot lies: a two-column file of names
    // and mobile numbers keeps its numbers.
    for (int slot = 0; slot < kCsvRemarkSlot; ++slot) {
        const std::string* v = value(slots_[static_cast<std::size_t>(slot)]);
        if (!v) continue;
        const KnownLabel& k = kKnownLabels[slot];
        SetField(reinterpret_cast<char*>(&rec) + k.offset, k.width, *v);
        wrote = true;
    }

    std::string remark;
    for (int slot = kCsvRemarkSlot; slot < kCsvSlotCount; ++slot) {
        int column = slots_[static_cast<std::size_t>(slot)];
        const std::string* v = value(column);
        if (!v || v->empty()) continue;
        remark += header_[static_cast<std::size_t>(column)];
        remark += ':';
        remark += *v;
        remark += ' ';
        if (remark.size() > kCsvRemarkMaxBytes) {
            remark = std::string(GbkPrefix(remark, kCsvRemarkMaxBytes));
            break;
        }
    }
    if (!remark.empty()) {
        SetField(rec.RelRemark, remark);
        wrote = true;
    }
    if (wrote) out.push_back(rec);
    return true;
}

namespace {

// Feeds lines to the reader: the first as the header, the rest as data.
class LineSink {
public:
    LineSink(std::vector<CRelData>& out, ImportError* error) : out_(out), error_(error) {}

    bool Line(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        std::string converted;
        if (first_) {
            first_ = false;
            if (line.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
                utf8_ = true;
                line.remove_prefix(kUtf8Bom.size());
            }
        }
        if (utf8_ && !IsAscii(line)) {
            converted = Utf8ToGbk(line);
            line = converted;
        }
        if (!haveHeader_) {
            haveHeader_ = true;
            return reader_.SetHeader(line, error_);
        }
        return reader_.AddLine(line, out_, error_);
    }

    bool Finish() {
        if (!haveHeader_) {
            SetFail(error_, ImportError::kEmptyFile);
            return false;
        }
        SetFail(error_, ImportError::kNone);
        return true;
    }

private:
    CCsvContactReader reader_;
    std::vector<CRelData>& out_;
    ImportError* error_;
    bool first_ = true;
    bool utf8_ = false;
    bool haveHeader_ = false;
};

}  // namespace

bool ReadCsvContactsFromText(std::string_view content, std::vector<CRelData>& out,
                             ImportError* error) {
    out.clear();
    LineSink sink(out, error);
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t nl = content.find('\n', start);
        std::size_t end = nl == std::string_view::npos ? content.size() : nl;
        if (!sink.Line(content.substr(start, end - start))) return false;
        start = end + 1;
    }
    return sink.Finish();
}

bool ReadCsvContacts(const std::string& path, std::vector<CRelData>& out, ImportError* error) {
    out.clear();
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        SetFail(error, ImportError::kFileMissing);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    LineSink sink(out, error);
    std::string line;
    while (std::getline(in, line)) {
        if (!sink.Line(line)) return false;
    }
    if (in.bad()) {
        SetFail(error, ImportError::kReadFailed);
        return false;
    }
    return sink.Finish();
}

}  // namespace kavo
