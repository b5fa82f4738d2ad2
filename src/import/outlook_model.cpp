#include "import/outlook_model.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "codecs/gbk_text.h"

namespace kavo {

const COutlookContactItem* COutlookItem::AsContactItem() const {
    return data_.itemClass == kOlContact ? static_cast<const COutlookContactItem*>(this) : nullptr;
}

COutlookItems::COutlookItems(std::vector<COutlookItemData> items) {
    items_.reserve(items.size());
    for (COutlookItemData& d : items) items_.emplace_back(std::move(d));
}

const COutlookItem* COutlookItems::At(long index) {
    if (index < 0 || index >= static_cast<long>(items_.size())) {
        cursor_ = index < 0 ? -1 : static_cast<long>(items_.size());
        return nullptr;
    }
    cursor_ = index;
    return &items_[static_cast<std::size_t>(index)];
}

const COutlookItem* COutlookItems::GetFirst() { return At(0); }
const COutlookItem* COutlookItems::GetLast() { return At(static_cast<long>(items_.size()) - 1); }
const COutlookItem* COutlookItems::GetNext() {
    return cursor_ >= static_cast<long>(items_.size()) ? nullptr : At(cursor_ + 1);
}
const COutlookItem* COutlookItems::GetPrevious() { return cursor_ < 0 ? nullptr : At(cursor_ - 1); }

COutlookFolder* COutlookNamespace::GetDefaultFolder(int folderType) {
    return folderType == kOlFolderContacts ? &contacts_ : nullptr;
}

COutlookNamespace* COutlookApplication::GetNamespace(std::string_view type) {
    return EqualsNoCase(type, "MAPI") ? &namespace_ : nullptr;
}

std::unique_ptr<COutlookApplication> COutlookApplication::FromItems(
    std::vector<COutlookItemData> items) {
    return std::unique_ptr<COutlookApplication>(new COutlookApplication(std::move(items)));
}

namespace {

// An export larger than this is not a contacts export.
constexpr std::streamoff kMaxExportBytes = 256 * 1024 * 1024;

void SetFail(ImportError* error, ImportError reason) {
    if (error) *error = reason;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Outlook's "Unicode" exports are UTF-16 with a byte order mark.
std::string Utf16ToUtf8(std::string_view s, bool bigEndian) {
    std::string out;
    auto unit = [&](std::size_t i) -> std::uint32_t {
        unsigned char a = static_cast<unsigned char>(s[i]);
        unsigned char b = static_cast<unsigned char>(s[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
        std::uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < s.size()) {
            std::uint32_t lo = unit(i + 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                i += 2;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) u = '?';
        AppendUtf8(out, u);
    }
    return out;
}

std::string ExportToUtf8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") return std::string(bytes.substr(3));
    if (bytes.substr(0, 2) == "\xFF\xFE") return Utf16ToUtf8(bytes.substr(2), false);
    if (bytes.substr(0, 2) == "\xFE\xFF") return Utf16ToUtf8(bytes.substr(2), true);
    if (IsValidUtf8(bytes)) return std::string(bytes);
    return GbkToUtf8(bytes);  // Outlook on a Chinese system writes the ANSI code page
}

// Records of comma-separated values: quoted fields may hold commas, line breaks and
// doubled quotes. Blank lines are no records.
std::vector<std::vector<std::string>> SplitRecords(std::string_view text) {
    std::vector<std::vector<std::string>> records;
    std::vector<std::string> record;
    std::string field;
    bool inQuotes = false;
    bool fieldStarted = false;
    auto endField = [&] {
        record.push_back(std::move(field));
        field.clear();
        fieldStarted = false;
    };
    auto endRecord = [&] {
        if (fieldStarted || !field.empty() || !record.empty()) endField();
        bool blank = record.size() == 1 && record[0].empty();
        if (!record.empty() && !blank) records.push_back(std::move(record));
        record.clear();
    };
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inQuotes) {
            if (c == '"') {
                if (i + 1 < text.size() && text[i + 1] == '"') {
                    field += '"';
                    ++i;
                } else {
                    inQuotes = false;
                }
            } else {
                field += c;
            }
        } else if (c == '"') {
            inQuotes = true;
            fieldStarted = true;
        } else if (c == ',') {
            endField();
            fieldStarted = true;  // a trailing ',' still ends in an empty field
        } else if (c == '\n') {
            endRecord();
        } else if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            endRecord();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    endRecord();
    return records;
}

enum Column {
    kFullName,
    kTitle,
    kFirst,
    kMiddle,
    kLast,
    kSuffix,
    kCompany,
    kMobile,
    kEmail,
    kHomeStreet,
    kHomeStreet2,
    kHomeStreet3,
    kHomeCity,
    kHomeState,
    kHomePostal,
    kHomeCountry,
    kAnniversary,
    kColumnCount
};

struct ColumnTitle {
    Column column;
    const char* title;
};

// Titles compared without case and without spaces, so "住宅地址 街道 2" and
// "住宅地址街道2" are one.
constexpr ColumnTitle kColumnTitles[] = {
    {kFullName, "Full Name"},
    {kFullName, "姓名"},
    {kFullName, "全名"},
    {kTitle, "Title"},
    {kTitle, "称谓"},
    {kFirst, "First Name"},
    {kFirst, "Given Name"},
    {kFirst, "名"},
    {kMiddle, "Middle Name"},
    {kMiddle, "中间名"},
    {kLast, "Last Name"},
    {kLast, "Family Name"},
    {kLast, "姓"},
    {kSuffix, "Suffix"},
    {kSuffix, "后缀"},
    {kCompany, "Company"},
    {kCompany, "公司"},
    {kMobile, "Mobile Phone"},
    {kMobile, "移动电话"},
    {kMobile, "手机"},
    {kEmail, "E-mail Address"},
    {kEmail, "Email Address"},
    {kEmail, "E-mail 1 Address"},
    {kEmail, "电子邮件地址"},
    {kEmail, "电子邮件 地址"},
    {kHomeStreet, "Home Street"},
    {kHomeStreet, "住宅地址 街道"},
    {kHomeStreet, "住宅所在街道"},
    {kHomeStreet2, "Home Street 2"},
    {kHomeStreet2, "住宅地址 街道 2"},
    {kHomeStreet2, "住宅所在街道 2"},
    {kHomeStreet3, "Home Street 3"},
    {kHomeStreet3, "住宅地址 街道 3"},
    {kHomeStreet3, "住宅所在街道 3"},
    {kHomeCity, "Home City"},
    {kHomeCity, "住宅地址 市/县"},
    {kHomeCity, "住宅所在地的市/县"},
    {kHomeState, "Home State"},
    {kHomeState, "住宅地址 省/市/自治区"},
    {kHomeState, "住宅所在地的省/市/自治区"},
    {kHomePostal, "Home Postal Code"},
    {kHomePostal, "住宅地址 邮政编码"},
    {kHomePostal, "住宅所在地的邮政编码"},
    {kHomeCountry, "Home Country/Region"},
    {kHomeCountry, "Home Country"},
    {kHomeCountry, "住宅地址 国家/地区"},
    {kHomeCountry, "住宅所在国家/地区"},
    {kAnniversary, "Anniversary"},
    {kAnniversary, "纪念日"},
};

std::string NormalizedTitle(std::string_view s) {
    std::string out;
    for (char c : TrimSpace(s)) {
        if (c == ' ') continue;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// The dates an export holds: "3/5/1980" (month first, as English Outlook writes), "5/3/1980"
// when the first part cannot be a month, "1980/3/5" and "1980-3-5" (as Chinese Outlook
// writes), "5.3.1980"; a time after the date is ignored. "0/0/00" and anything else that
// is no date is Outlook's empty date.
COutlookDate ParseExportDate(std::string_view text) {
    COutlookDate none;
    text = TrimSpace(text);
    std::size_t sp = text.find(' ');
    if (sp != std::string_view::npos) text = text.substr(0, sp);
    if (text.size() > 10) return none;
    char sep = 0;
    for (char c : text) {
        if (c == '/' || c == '-' || c == '.') {
            sep = c;
            break;
        }
    }
    if (!sep) return none;
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == sep) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (parts.size() != 3) return none;
    for (std::string_view p : parts) {
        if (!AllDigits(p)) return none;
    }
    int a = std::atoi(std::string(parts[0]).c_str());
    int b = std::atoi(std::string(parts[1]).c_str());
    int c = std::atoi(std::string(parts[2]).c_str());
    int y, m, d;
    if (parts[0].size() == 4) {
        y = a, m = b, d = c;
    } else {
        y = c;
        if (parts[2].size() <= 2) y += c < 30 ? 2000 : 1900;
        if (sep == '.' || a > 12) {
            d = a, m = b;
        } else {
            m = a, d = b;
        }
    }
    if (y < 1601 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return none;
    return COutlookDate{y, m, d};
}

}  // namespace

bool ParseOutlookExport(std::string_view bytes, std::vector<COutlookItemData>& items) {
    std::vector<std::vector<std::string>> records = SplitRecords(ExportToUtf8(bytes));
    if (records.empty()) return false;

    int columns[kColumnCount];
    std::fill(std::begin(columns), std::end(columns), -1);
    bool known = false;
    const std::vector<std::string>& header = records[0];
    for (std::size_t i = 0; i < header.size(); ++i) {
        std::string title = NormalizedTitle(header[i]);
        for (const ColumnTitle& t : kColumnTitles) {
            if (title == NormalizedTitle(t.title)) {
                if (columns[t.column] < 0) columns[t.column] = static_cast<int>(i);
                known = true;
                break;
            }
        }
    }
    if (!known) return false;

    for (std::size_t r = 1; r < records.size(); ++r) {
        const std::vector<std::string>& rec = records[r];
        auto get = [&](Column c) {
            int i = columns[c];
            if (i < 0 || static_cast<std::size_t>(i) >= rec.size()) return std::string();
            return SingleLine(rec[static_cast<std::size_t>(i)]);
        };
        COutlookItemData item;
        item.fullName = get(kFullName);
        if (item.fullName.empty()) {
            std::string first = get(kFirst), middle = get(kMiddle), last = get(kLast),
                        suffix = get(kSuffix);
            if (!IsAscii(first + middle + last)) {
                // Chinese names run family name first, without spaces.
                item.fullName = last + middle + first;
                if (!suffix.empty()) item.fullName += " " + suffix;
            } else {
                item.fullName = JoinNonEmpty({first, middle, last, suffix}, " ");
            }
        }
        item.mobileTelephoneNumber = get(kMobile);
        item.email1Address = get(kEmail);
        item.companyName = get(kCompany);
        std::string street =
            JoinNonEmpty({get(kHomeStreet), get(kHomeStreet2), get(kHomeStreet3)}, " ");
        std::string city = get(kHomeCity), state = get(kHomeState), postal = get(kHomePostal),
                    country = get(kHomeCountry);
        if (!IsAscii(street + city + state + country)) {
            item.homeAddress = JoinNonEmpty({country, state, city, street, postal}, " ");
        } else {
            item.homeAddress =
                JoinNonEmpty({street, city, JoinNonEmpty({state, postal}, " "), country}, ", ");
        }
        item.anniversary = ParseExportDate(get(kAnniversary));
        items.push_back(std::move(item));
    }
    return true;
}

std::unique_ptr<COutlookApplication> COutlookApplication::Create(const FileChooser& chooseExport,
                                                                 ImportError* error) {
    std::string path = chooseExport ? chooseExport() : std::string();
    if (path.empty()) {
        SetFail(error, ImportError::kCancelled);
        return nullptr;
    }
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxExportBytes) {
        SetFail(error, ImportError::kOutlookUnavailable);
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(st.st_size), '\0');
    if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        SetFail(error, ImportError::kOutlookUnavailable);
        return nullptr;
    }
    std::vector<COutlookItemData> items;
    if (!ParseOutlookExport(bytes, items)) {
        SetFail(error, ImportError::kOutlookUnavailable);
        return nullptr;
    }
    SetFail(error, ImportError::kNone);
    return FromItems(std::move(items));
}

}  // namespace kavo
