#include "pelbook/vcard_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "codecs/gbk_text.h"
#include "pelbook/pelbook.h"

namespace kavo {
namespace {

// A phone's export with inline photos stays far below this; anything larger is not an
// address book.
constexpr std::uintmax_t kMaxFileBytes = 64u * 1024 * 1024;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToUpper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = Upper(c);
    return out;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::string Latin1ToUtf8(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char ch : s) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = Upper(c);
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '=' && i + 2 < s.size()) {
            int hi = HexValue(s[i + 1]);
            int lo = HexValue(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        if (s[i] == '=' && i + 1 == s.size()) break;  // a soft line break left at the end
        out += s[i];
    }
    return out;
}

// One content line: group.NAME;param;param:value
struct Property {
    std::string name;                // upper case, without its group
    std::vector<std::string> types;  // upper case TYPE values and bare 2.1 parameters
    std::string charset;             // upper case
    std::string encoding;            // upper case
    std::string label;               // the LABEL parameter of a 4.0 ADR
    bool pref = false;
    std::string value;  // raw, still escaped, decoded from its transfer encoding

    // Empties every part, keeping the room each has, for the next line.
    void Clear() {
        name.clear();
        types.clear();
        charset.clear();
        encoding.clear();
        label.clear();
        pref = false;
        value.clear();
    }
};

bool HasType(const Property& p, std::string_view type) {
    return std::find(p.types.begin(), p.types.end(), type) != p.types.end();
}

// Splits at `sep` outside double quotes, into `parts`.
void SplitOutsideQuotes(std::string_view s, char sep, std::vector<std::string_view>& parts) {
    parts.clear();
    bool inQuotes = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '"') inQuotes = !inQuotes;
        if (s[i] == sep && !inQuotes) {
            parts.push_back(s.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(s.substr(start));
}

std::string_view Unquote(std::string_view s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
}

bool IsQuotedPrintableLine(std::string_view line) {
    std::size_t colon = line.find(':');
    std::string_view head = line.substr(0, colon);
    return ToUpper(head).find("QUOTED-PRINTABLE") != std::string::npos;
}

bool ParseProperty(std::string_view line, Property& p) {
    p.Clear();
    // The first ':' outside a quoted parameter value ends the name and parameters.
    bool inQuotes = false;
    std::size_t colon = std::string_view::npos;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '"') inQuotes = !inQuotes;
        if (line[i] == ':' && !inQuotes) {
            colon = i;
            break;
        }
    }
    if (colon == std::string_view::npos) return false;
    thread_local std::vector<std::string_view> head;
    thread_local std::vector<std::string_view> types;
    SplitOutsideQuotes(line.substr(0, colon), ';', head);
    std::string_view name = head[0];
    std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos) name = name.substr(dot + 1);
    p.name.assign(name);
    for (char& c : p.name) c = Upper(c);
    for (std::size_t i = 1; i < head.size(); ++i) {
        std::string_view param = head[i];
        std::size_t eq = param.find('=');
        if (eq == std::string_view::npos) {
            // vCard 2.1 names types and encodings without "TYPE=" / "ENCODING=".
            std::string bare = ToUpper(param);
            if (bare == "QUOTED-PRINTABLE" || bare == "BASE64" || bare == "8BIT") {
                p.encoding = bare;
            } else if (bare == "PREF") {
                p.pref = true;
            } else if (!bare.empty()) {
                p.types.push_back(bare);
            }
            continue;
        }
        std::string key = ToUpper(param.substr(0, eq));
        std::string_view val = Unquote(param.substr(eq + 1));
        if (key == "TYPE") {
            SplitOutsideQuotes(val, ',', types);
            for (std::string_view t : types) {
                std::string type = ToUpper(Unquote(t));
                if (type == "PREF") {
                    p.pref = true;
                } else if (!type.empty()) {
                    p.types.push_back(type);
                }
            }
        } else if (key == "CHARSET") {
            p.charset = ToUpper(val);
        } else if (key == "ENCODING") {
            p.encoding = ToUpper(val);
        } else if (key == "PREF") {
            p.pref = true;
        } else if (key == "LABEL") {
            p.label = std::string(val);
        }
    }
    std::string_view value = line.substr(colon + 1);
    if (p.encoding == "QUOTED-PRINTABLE") {
        p.value = DecodeQuotedPrintable(value);
    } else if (p.encoding == "BASE64" || p.encoding == "B") {
        p.value.clear();  // pictures and sounds: nothing the address book hands out
    } else {
        p.value.assign(value);
    }
    return true;
}

// Turns a value in `charset` into UTF-8 where it stands; a value that already is UTF-8,
// as nearly all are, is left untouched.
void MakeUtf8(std::string& value, const std::string& charset) {
    if (charset == "UTF-8" || charset == "UTF8") return;
    if (charset == "GBK" || charset == "GB2312" || charset == "GB18030" || charset == "CP936" ||
        charset == "X-GBK") {
        value = GbkToUtf8(value);
        return;
    }
    if (charset == "ISO-8859-1" || charset == "LATIN1" || charset == "US-ASCII" ||
        charset == "WINDOWS-1252") {
        if (!IsAscii(value)) value = Latin1ToUtf8(value);
        return;
    }
    // No charset named: vCard 3.0 and 4.0 are UTF-8; an old 2.1 export from a Chinese
    // phone may be GBK.
    if (!IsValidUtf8(value)) value = GbkToUtf8(value);
}

// Splits a structured value at unescaped ';' and removes the escapes of each component.
std::vector<std::string> SplitStructured(std::string_view s, char sep = ';') {
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '\\' && i + 1 < s.size()) {
            char n = s[++i];
            if (n == 'n' || n == 'N') {
                parts.back() += '\n';
            } else {
                parts.back() += n;
            }
        } else if (c == sep) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::string Unescape(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            char n = s[++i];
            out += (n == 'n' || n == 'N') ? '\n' : n;
        } else {
            out += s[i];
        }
    }
    return out;
}

// `out` becomes the escaped text unescaped, as a one-line field holds it: line breaks
// become spaces, carriage returns and the space around the text go. The room `out` has
// is reused.
void AssignSingleLine(std::string& out, std::string_view escaped) {
    out.clear();
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c == '\\' && i + 1 < escaped.size()) {
            const char n = escaped[++i];
            c = (n == 'n' || n == 'N') ? '\n' : n;
        }
        if (c == '\r') continue;
        out += c == '\n' ? ' ' : c;
    }
    const std::string_view trimmed = TrimSpace(out);
    if (trimmed.size() == out.size()) return;
    if (trimmed.empty()) {
        out.clear();
        return;
    }
    const std::size_t from = static_cast<std::size_t>(trimmed.data() - out.data());
    const std::size_t length = trimmed.size();
    out.erase(0, from);
    out.resize(length);
}

bool HasCjk(std::string_view s) { return !IsAscii(s); }

// ADR components: PO box; extended; street; locality; region; postal code; country.
std::string FormatAddress(const std::vector<std::string>& c) {
    auto part = [&c](std::size_t i) { return i < c.size() ? SingleLine(c[i]) : std::string(); };
    std::string pobox = part(0), ext = part(1), street = part(2), city = part(3), region = part(4),
                country = part(6);
    std::string all = pobox + ext + street + city + region + country;
    if (HasCjk(all)) {
        // Chinese addresses run from the largest place to the smallest, without commas.
        return JoinNonEmpty({country, region, city, street, ext, pobox}, "");
    }
    return JoinNonEmpty({pobox, street, ext, city, region, country}, ", ");
}

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int y, int m) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

bool AllDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "1980-03-05", "19800305", either followed by a time; a date without a year ("--0305")
// or with only a year and month is no birthday the address book can hand out.
bool ParseDate(std::string_view s, int& y, int& m, int& d) {
    s = TrimSpace(s);
    std::size_t t = s.find_first_of("Tt ");
    if (t != std::string_view::npos) s = s.substr(0, t);
    std::string_view ys, ms, ds;
    if (s.size() == 10 && s[4] == '-' && s[7] == '-') {
        ys = s.substr(0, 4), ms = s.substr(5, 2), ds = s.substr(8, 2);
    } else if (s.size() == 8) {
        ys = s.substr(0, 4), ms = s.substr(4, 2), ds = s.substr(6, 2);
    } else {
        return false;
    }
    if (!AllDigits(ys) || !AllDigits(ms) || !AllDigits(ds)) return false;
    int year = std::atoi(std::string(ys).c_str());
    int month = std::atoi(std::string(ms).c_str());
    int day = std::atoi(std::string(ds).c_str());
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return false;
    }
    y = year, m = month, d = day;
    return true;
}

const Property* PickPreferred(const std::vector<const Property*>& candidates) {
    for (const Property* p : candidates) {
        if (p->pref) return p;
    }
    return candidates.empty() ? nullptr : candidates.front();
}

bool IsMobile(const Property& p) {
    return HasType(p, "CELL") || HasType(p, "MOBILE") || HasType(p, "IPHONE");
}

bool IsFax(const Property& p) { return HasType(p, "FAX"); }

bool IsOtherKindOfPhone(const Property& p) {
    return IsFax(p) || HasType(p, "PAGER") || HasType(p, "MODEM") || HasType(p, "CAR") ||
           HasType(p, "ISDN") || HasType(p, "VIDEO") || HasType(p, "BBS") ||
           HasType(p, "TEXTPHONE");
}

void AssignPhone(std::string& out, const Property& p) {
    AssignSingleLine(out, p.value);
    if (StartsWithNoCase(out, "tel:")) out.erase(0, 4);
}

// The properties of the card being read, and the entry made of them. Both keep their
// room from card to card: reading a large book does not allocate for every line.
class CardBuilder {
public:
    void Clear() { count_ = 0; }
    bool Empty() const { return count_ == 0; }

    // Where the next line is parsed to; it becomes part of the card with Keep().
    Property& Next() {
        if (count_ == props_.size()) props_.emplace_back();
        return props_[count_];
    }
    void Keep() {
        Property& p = props_[count_++];
        MakeUtf8(p.value, p.charset);
    }

    // The entry, valid until the next Build or Clear.
    CVCardEntry& Build() {
        CVCardEntry& e = entry_;
        e.Clear();
        std::string& role = role_;
        role.clear();
        tels_.clear(), emails_.clear(), adrs_.clear(), urls_.clear();
        for (std::size_t i = 0; i < count_; ++i) {
            const Property& p = props_[i];
            const std::string& n = p.name;
            if (n == "FN") {
                if (e.displayName.empty()) AssignSingleLine(e.displayName, p.value);
            } else if (n == "N") {
                std::vector<std::string> c = SplitStructured(p.value);
                if (e.surname.empty()) e.surname = SingleLine(c[0]);
                if (e.givenName.empty() && c.size() > 1) e.givenName = SingleLine(c[1]);
            } else if (n == "NICKNAME") {
                if (e.nickname.empty()) AssignSingleLine(e.nickname, p.value);
            } else if (n == "TITLE") {
                if (e.title.empty()) AssignSingleLine(e.title, p.value);
            } else if (n == "ROLE") {
                if (role.empty()) AssignSingleLine(role, p.value);
            } else if (n == "ORG") {
                std::vector<std::string> c = SplitStructured(p.value);
                if (e.company.empty()) e.company = SingleLine(c[0]);
                if (e.department.empty() && c.size() > 1) e.department = SingleLine(c[1]);
            } else if (n == "TEL") {
                tels_.push_back(&p);
            } else if (n == "EMAIL") {
                emails_.push_back(&p);
            } else if (n == "ADR") {
                adrs_.push_back(&p);
            } else if (n == "URL") {
                urls_.push_back(&p);
            } else if (n == "NOTE") {
                if (e.note.empty()) e.note = std::string(TrimSpace(Unescape(p.value)));
            } else if (n == "BDAY") {
                // Some address books keep a birthday without its year as one in 1604.
                if (ParseDate(p.value, e.birthYear, e.birthMonth, e.birthDay) &&
                    e.birthYear == 1604) {
                    e.birthYear = e.birthMonth = e.birthDay = 0;
                }
            } else if (n == "GENDER" || n == "X-GENDER") {
                std::string g = ToUpper(TrimSpace(p.value).substr(0, 1));
                e.gender = g == "F" ? 1 : g == "M" ? 2 : 0;
            }
        }
        if (e.title.empty()) e.title = role;

        std::vector<const Property*> mobiles, works, homes, faxes, untyped;
        for (const Property* p : tels_) {
            if (IsMobile(*p)) {
                mobiles.push_back(p);
            } else if (IsFax(*p)) {
                if (!HasType(*p, "HOME")) faxes.push_back(p);
            } else if (IsOtherKindOfPhone(*p)) {
                continue;
            } else if (HasType(*p, "WORK")) {
                works.push_back(p);
            } else if (HasType(*p, "HOME")) {
                homes.push_back(p);
            } else {
                untyped.push_back(p);
            }
        }
        // A number without a kind is most often the mobile a phone stored.
        if (mobiles.empty()) mobiles = untyped;
        if (const Property* p = PickPreferred(mobiles)) AssignPhone(e.mobilePhone, *p);
        if (const Property* p = PickPreferred(works)) AssignPhone(e.workPhone, *p);
        if (const Property* p = PickPreferred(homes)) AssignPhone(e.homePhone, *p);
        if (const Property* p = PickPreferred(faxes)) AssignPhone(e.workFax, *p);
        if (const Property* p = PickPreferred(emails_)) AssignSingleLine(e.email, p->value);
        if (StartsWithNoCase(e.email, "mailto:")) e.email.erase(0, 7);

        std::vector<const Property*> workAdrs, otherAdrs;
        for (const Property* p : adrs_) {
            if (HasType(*p, "WORK")) {
                workAdrs.push_back(p);
            } else if (!HasType(*p, "HOME")) {
                otherAdrs.push_back(p);
            }
        }
        const Property* adr = PickPreferred(workAdrs.empty() ? otherAdrs : workAdrs);
        if (adr) {
            std::vector<std::string> c = SplitStructured(adr->value);
            if (adr->label.empty()) {
                e.officeLocation = FormatAddress(c);
            } else {
                AssignSingleLine(e.officeLocation, adr->label);
            }
            if (c.size() > 5) e.postalCode = SingleLine(c[5]);
        }

        std::vector<const Property*> workUrls, otherUrls;
        for (const Property* p : urls_) {
            (HasType(*p, "WORK") ? workUrls : otherUrls).push_back(p);
        }
        if (const Property* p = PickPreferred(workUrls.empty() ? otherUrls : workUrls)) {
            AssignSingleLine(e.workHomePage, p->value);
        }
        if (const Property* p = PickPreferred(otherUrls)) {
            AssignSingleLine(e.personalHomePage, p->value);
        }

        if (e.displayName.empty()) {
            if (!e.surname.empty() || !e.givenName.empty()) {
                e.displayName = HasCjk(e.surname + e.givenName)
                                    ? e.surname + e.givenName
                                    : JoinNonEmpty({e.givenName, e.surname}, " ");
            } else if (!e.company.empty()) {
                e.displayName = e.company;
            } else if (!e.email.empty()) {
                e.displayName = e.email;
            } else if (!e.mobilePhone.empty()) {
                e.displayName = e.mobilePhone;
            }
        }
        return e;
    }

private:
    std::vector<Property> props_;
    std::size_t count_ = 0;
    CVCardEntry entry_;
    std::string role_;
    std::vector<const Property*> tels_, emails_, adrs_, urls_;
};

// Every text property an entry can hand out, in the order CVCardBook packs them.
struct TextField {
    std::uint32_t tag;
    std::string CVCardEntry::*member;
};
constexpr TextField kTextFields[] = {
    {PELBOOK_PR_DISPLAY_NAME, &CVCardEntry::displayName},
    {PELBOOK_PR_GIVEN_NAME, &CVCardEntry::givenName},
    {PELBOOK_PR_SURNAME, &CVCardEntry::surname},
    {PELBOOK_PR_NICKNAME, &CVCardEntry::nickname},
    {PELBOOK_PR_TITLE, &CVCardEntry::title},
    {PELBOOK_PR_COMPANY_NAME, &CVCardEntry::company},
    {PELBOOK_PR_DEPARTMENT_NAME, &CVCardEntry::department},
    {PELBOOK_PR_EMAIL_ADDRESS, &CVCardEntry::email},
    {PELBOOK_PR_OFFICE_LOCATION, &CVCardEntry::officeLocation},
    {PELBOOK_PR_POSTAL_CODE, &CVCardEntry::postalCode},
    {PELBOOK_PR_MOBILE_TELEPHONE_NUMBER, &CVCardEntry::mobilePhone},
    {PELBOOK_PR_BUSINESS_TELEPHONE_NUMBER, &CVCardEntry::workPhone},
    {PELBOOK_PR_BUSINESS_FAX_NUMBER, &CVCardEntry::workFax},
    {PELBOOK_PR_HOME_TELEPHONE_NUMBER, &CVCardEntry::homePhone},
    {PELBOOK_PR_BUSINESS_HOME_PAGE, &CVCardEntry::workHomePage},
    {PELBOOK_PR_PERSONAL_HOME_PAGE, &CVCardEntry::personalHomePage},
    {PELBOOK_PR_COMMENT, &CVCardEntry::note},
};

// A length takes one byte below 128 and a byte more for every further 7 bits.
std::size_t LengthBytes(std::size_t n) {
    std::size_t bytes = 1;
    while (n >= 0x80) n >>= 7, ++bytes;
    return bytes;
}

char* PutLength(char* at, std::size_t n) {
    while (n >= 0x80) {
        *at++ = static_cast<char>(0x80 | (n & 0x7F));
        n >>= 7;
    }
    *at++ = static_cast<char>(n);
    return at;
}

const char* GetLength(const char* at, std::size_t& n) {
    n = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char b = static_cast<unsigned char>(*at++);
        n |= static_cast<std::size_t>(b & 0x7F) << shift;
        if (!(b & 0x80)) return at;
    }
}

// Blocks are large enough that their count stays small, and small enough that the unused
// end of the last one does not matter.
constexpr std::size_t kBlockBytes = 1u << 20;

// The lines of a vCard file, one at a time, read from memory or from a file a part at a
// time. A line is good until the next line is taken or looked at. Reading a file with
// read() rather than mapping it, a file that another program cuts short while it is read
// simply ends there.
class CLineReader {
public:
    explicit CLineReader(std::string_view bytes) : data_(bytes), ended_(true) { SkipBom(); }
    explicit CLineReader(int fd) : fd_(fd) {
        buffer_.resize(kPartBytes);
        SkipBom();
    }

    bool More() const { return more_; }
    // Whether the file could not be read to its end.
    bool Failed() const { return failed_; }

    std::string_view Next() {
        const std::size_t nl = FindLineEnd();
        std::string_view line = LineAt(nl);
        if (nl == std::string_view::npos) {
            more_ = false;
            pos_ = data_.size();
        } else {
            pos_ = nl + 1;
        }
        return line;
    }
    // The line after the current one, without taking it.
    std::string_view Peek() { return LineAt(FindLineEnd()); }

private:
    static constexpr std::size_t kPartBytes = 256u * 1024;

    void SkipBom() {
        while (data_.size() - pos_ < 3 && Fill()) {
        }
        if (data_.substr(pos_, 3) == "\xEF\xBB\xBF") pos_ += 3;
    }

    std::string_view LineAt(std::size_t nl) const {
        std::string_view line =
            data_.substr(pos_, nl == std::string_view::npos ? std::string_view::npos : nl - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

    // The end of the line at pos_, reading on until it is in the buffer; npos for the
    // last line.
    std::size_t FindLineEnd() {
        std::size_t from = pos_;
        for (;;) {
            const std::size_t nl = data_.find('\n', from);
            if (nl != std::string_view::npos) return nl;
            from = data_.size();
            const std::size_t kept = pos_;
            if (!Fill()) return std::string_view::npos;
            from -= kept - pos_;  // the unread bytes moved to the front
        }
    }

    // Moves the unread bytes to the front and reads more behind them; false at the end.
    bool Fill() {
        if (ended_) return false;
        const std::size_t unread = data_.size() - pos_;
        if (pos_ > 0 && unread > 0) std::memmove(buffer_.data(), buffer_.data() + pos_, unread);
        pos_ = 0;
        if (unread == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
        for (;;) {
            const ssize_t n = ::read(fd_, buffer_.data() + unread, buffer_.size() - unread);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0 || (total_ += static_cast<std::uintmax_t>(n)) > kMaxFileBytes) {
                failed_ = n < 0;
                ended_ = true;
                data_ = std::string_view(buffer_.data(), unread);
                return false;
            }
            data_ = std::string_view(buffer_.data(), unread + static_cast<std::size_t>(n));
            return true;
        }
    }

    int fd_ = -1;
    std::string buffer_;
    std::string_view data_;
    std::size_t pos_ = 0;
    std::uintmax_t total_ = 0;
    bool ended_ = false;
    bool more_ = true;
    bool failed_ = false;
};

void ParseLines(CLineReader& lines, const std::function<void(CVCardEntry&&)>& onCard);

// Reads one file's cards into `out`, a part of the file at a time, so that neither the
// whole file nor its cards as separate entries are ever held.
bool ReadCards(const char* path, CVCardBook& out) {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<std::uintmax_t>(st.st_size) > kMaxFileBytes) {
        ::close(fd);
        return false;
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    CLineReader lines(fd);
    ParseLines(lines, [&out](CVCardEntry&& e) { out.Add(e); });
    ::close(fd);
    return !lines.Failed();
}

}  // namespace

char* CVCardBook::Reserve(std::size_t bytes) {
    if (bytes > freeBytes_) {
        std::size_t size = std::max(bytes, kBlockBytes);
        blocks_.push_back(std::unique_ptr<char[]>(new char[size]));
        free_ = blocks_.back().get();
        freeBytes_ = size;
    }
    char* at = free_;
    free_ += bytes;
    freeBytes_ -= bytes;
    return at;
}

void CVCardBook::Add(const CVCardEntry& e) {
    std::size_t bytes = 0;
    for (const TextField& f : kTextFields) {
        std::size_t n = (e.*f.member).size();
        bytes += LengthBytes(n) + n;
    }
    char* at = Reserve(bytes);
    Record r{at, 0, 0, 0, static_cast<std::uint8_t>(e.gender)};
    if (e.birthYear > 0 && e.birthYear <= 0xFFFF) {
        r.birthYear = static_cast<std::uint16_t>(e.birthYear);
        r.birthMonth = static_cast<std::uint8_t>(e.birthMonth);
        r.birthDay = static_cast<std::uint8_t>(e.birthDay);
    }
    for (const TextField& f : kTextFields) {
        const std::string& text = e.*f.member;
        at = PutLength(at, text.size());
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        at += text.size();
    }
    records_.push_back(r);
}

bool CVCardBook::StringProperty(std::size_t index, std::uint32_t tag,
                                std::string_view& text) const {
    const char* at = records_[index].texts;
    for (const TextField& f : kTextFields) {
        std::size_t n;
        at = GetLength(at, n);
        if (f.tag == tag) {
            text = std::string_view(at, n);
            return n > 0;
        }
        at += n;
    }
    return false;
}

bool CVCardBook::Birthday(std::size_t index, int& year, int& month, int& day) const {
    const Record& r = records_[index];
    if (r.birthYear == 0) return false;
    year = r.birthYear, month = r.birthMonth, day = r.birthDay;
    return true;
}

void CVCardEntry::Clear() {
    for (const TextField& f : kTextFields) (this->*f.member).clear();
    birthYear = birthMonth = birthDay = gender = 0;
}

const std::string* CVCardEntry::StringProperty(std::uint32_t tag) const {
    const std::string* s = nullptr;
    switch (tag) {
        case PELBOOK_PR_DISPLAY_NAME:
            s = &displayName;
            break;
        case PELBOOK_PR_GIVEN_NAME:
            s = &givenName;
            break;
        case PELBOOK_PR_SURNAME:
            s = &surname;
            break;
        case PELBOOK_PR_NICKNAME:
            s = &nickname;
            break;
        case PELBOOK_PR_TITLE:
            s = &title;
            break;
        case PELBOOK_PR_COMPANY_NAME:
            s = &company;
            break;
        case PELBOOK_PR_DEPARTMENT_NAME:
            s = &department;
            break;
        case PELBOOK_PR_EMAIL_ADDRESS:
            s = &email;
            break;
        case PELBOOK_PR_OFFICE_LOCATION:
            s = &officeLocation;
            break;
        case PELBOOK_PR_POSTAL_CODE:
            s = &postalCode;
            break;
        case PELBOOK_PR_MOBILE_TELEPHONE_NUMBER:
            s = &mobilePhone;
            break;
        case PELBOOK_PR_BUSINESS_TELEPHONE_NUMBER:
            s = &workPhone;
            break;
        case PELBOOK_PR_BUSINESS_FAX_NUMBER:
            s = &workFax;
            break;
        case PELBOOK_PR_HOME_TELEPHONE_NUMBER:
            s = &homePhone;
            break;
        case PELBOOK_PR_BUSINESS_HOME_PAGE:
            s = &workHomePage;
            break;
        case PELBOOK_PR_PERSONAL_HOME_PAGE:
            s = &personalHomePage;
            break;
        case PELBOOK_PR_COMMENT:
            s = &note;
            break;
        default:
            return nullptr;
    }
    return s->empty() ? nullptr : s;
}

std::vector<CVCardEntry> ParseVCards(std::string_view bytes) {
    std::vector<CVCardEntry> entries;
    // Room for every card at once: growing a list of entries step by step would move each
    // of them over and over.
    std::size_t cards = 0;
    for (std::size_t at = 0; (at = bytes.find("BEGIN:VCARD", at)) != std::string_view::npos;
         at += 11)
        ++cards;
    entries.reserve(cards);
    ParseVCards(bytes, [&entries](CVCardEntry&& e) { entries.push_back(std::move(e)); });
    return entries;
}

void ParseVCards(std::string_view bytes, const std::function<void(CVCardEntry&&)>& onCard) {
    CLineReader lines(bytes);
    ParseLines(lines, onCard);
}

namespace {

void ParseLines(CLineReader& lines, const std::function<void(CVCardEntry&&)>& onCard) {
    CardBuilder card;
    int depth = 0;
    // One buffer for every logical line: folded lines are put together in it.
    std::string logical;
    while (lines.More()) {
        logical.assign(lines.Next());
        // Whether the line is quoted-printable is known once its name and parameters are
        // complete; each byte is looked at once, however many lines fold together.
        int quotedPrintable = -1;
        std::size_t scanned = 0;
        auto isQuotedPrintable = [&] {
            if (quotedPrintable < 0) {
                std::size_t colon = logical.find(':', scanned);
                scanned = logical.size();
                if (colon == std::string::npos) return false;
                quotedPrintable = IsQuotedPrintableLine(logical) ? 1 : 0;
            }
            return quotedPrintable == 1;
        };
        for (;;) {
            // A quoted-printable value that ends in '=' goes on, unchanged, on the next line.
            if (lines.More() && !logical.empty() && logical.back() == '=' && isQuotedPrintable()) {
                logical.pop_back();
                logical += lines.Next();
                continue;
            }
            // A line that starts with white space folds onto the one before.
            if (lines.More()) {
                const std::string_view next = lines.Peek();
                if (!next.empty() && (next[0] == ' ' || next[0] == '\t')) {
                    logical += lines.Next().substr(1);
                    continue;
                }
            }
            break;
        }
        std::string_view text = TrimSpace(logical);
        if (text.empty()) continue;
        Property& p = card.Next();
        if (!ParseProperty(text, p)) continue;
        if (p.name == "BEGIN" && EqualsNoCase(TrimSpace(p.value), "VCARD")) {
            // A card nested in another (a 2.1 AGENT) is not an entry of its own.
            if (depth++ == 0) card.Clear();
            continue;
        }
        if (p.name == "END" && EqualsNoCase(TrimSpace(p.value), "VCARD")) {
            if (depth > 0 && --depth == 0) {
                if (!card.Empty()) onCard(std::move(card.Build()));
                card.Clear();
            }
            continue;
        }
        if (depth == 1) card.Keep();
    }
    // A last card whose END line was lost is still read.
    if (depth > 0 && !card.Empty()) onCard(std::move(card.Build()));
}

}  // namespace

std::string AddressBookDir() {
    const char* own = std::getenv("KAVO_ADDRESSBOOK_DIR");
    if (own && *own) return own;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/kavo/addressbook";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/share/kavo/addressbook";
    return std::string();
}

bool LoadAddressBook(const std::string& dir, CVCardBook& out) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) return false;
    std::vector<fs::path> files;
    fs::directory_iterator it(dir, ec);
    if (ec) return false;
    for (const fs::directory_entry& entry : it) {
        std::string ext = entry.path().extension().string();
        if (!EqualsNoCase(ext, ".vcf")) continue;
        std::error_code typeEc;
        if (!entry.is_regular_file(typeEc)) continue;
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        if (!ReadCards(path.c_str(), out)) return false;
    }
    return true;
}

std::uint64_t DateToFileTime(int year, int month, int day) {
    if (year < 1601 || year > 9999 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month)) {
        return 0;
    }
    // Days from 1601-01-01, counted the civil way (400-year cycles start in 1601).
    std::int64_t y = year - 1601;
    std::int64_t days = y * 365 + y / 4 - y / 100 + y / 400;
    for (int m = 1; m < month; ++m) days += DaysInMonth(year, m);
    days += day - 1;
    return static_cast<std::uint64_t>(days) * 86400ull * 10000000ull;
}

}  // namespace kavo
