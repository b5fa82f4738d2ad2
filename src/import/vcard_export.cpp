#include "import/vcard_export.h"

#include <string_view>

#include "codecs/gbk_text.h"
#include "import/csv_export.h"

namespace kavo {
namespace {

constexpr std::size_t kFoldAt = 75;

// TEXT value escapes of vCard 3.0; a CR LF or a lone CR inside a value is one line break.
std::string Escape(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        char c = utf8[i];
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case ',':
                out += "\\,";
                break;
            case ';':
                out += "\\;";
                break;
            case '\r':
                if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
                out += "\\n";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string OneLine(std::string s) {
    for (char& c : s)
        if (c == '\r' || c == '\n') c = ' ';
    return s;
}

template <std::size_t N>
std::string Text(const char (&field)[N]) {
    return Escape(FieldUtf8(field));
}

template <std::size_t N>
bool Has(const char (&field)[N]) {
    return field[0] != '\0';
}

// Folds a content line after at most 75 bytes, never inside a UTF-8 sequence; each
// continuation starts with one blank.
void AppendLine(std::string& out, std::string_view line) {
    std::size_t limit = kFoldAt;
    while (line.size() > limit) {
        std::size_t cut = limit;
        while (cut > 1 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
        out.append(line.substr(0, cut));
        out += "\r\n ";
        line.remove_prefix(cut);
        limit = kFoldAt - 1;  // the blank counts
    }
    out.append(line);
    out += "\r\n";
}

bool IsIsoDate(std::string_view s) {
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
    for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// The contact editor's form, "19800305", with a month and a day that can be.
bool IsEditorDate(std::string_view s) {
    if (s.size() != 8) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    const int month = (s[4] - '0') * 10 + (s[5] - '0');
    const int day = (s[6] - '0') * 10 + (s[7] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

void AppendCard(std::string& out, const CRelData& r) {
    AppendLine(out, "BEGIN:VCARD");
    AppendLine(out, "VERSION:3.0");
    const std::string name = Text(r.RelName);
    AppendLine(out, "FN:" + name);
    AppendLine(out, "N:" + name + ";;;;");
    auto put = [&out](const char* prefix, const std::string& value) {
        if (!value.empty()) AppendLine(out, prefix + value);
    };
    put("NICKNAME:", Text(r.NickName));
    put("ORG:", Text(r.KeshNum));
    put("TITLE:", Text(r.CorpPosition));
    put("TEL;TYPE=CELL,VOICE,PREF:", Text(r.MobilePhone1));
    put("TEL;TYPE=CELL,VOICE:", Text(r.MobilePhone2));
    put("TEL;TYPE=CELL,VOICE:", Text(r.MobilePhone3));
    put("TEL;TYPE=WORK,VOICE,PREF:", Text(r.OfficePhone1));
    put("TEL;TYPE=WORK,VOICE:", Text(r.OfficePhone2));
    put("TEL;TYPE=WORK,VOICE:", Text(r.OfficePhone3));
    put("TEL;TYPE=WORK,FAX:", Text(r.OfficeFax));
    put("TEL;TYPE=HOME,VOICE:", Text(r.HomePhone));
    put("EMAIL;TYPE=INTERNET,PREF:", Text(r.E_mail));
    if (Has(r.CompanyAddr) || Has(r.ZipCode))
        AppendLine(out,
                   "ADR;TYPE=WORK,PREF:;;" + Text(r.CompanyAddr) + ";;;" + Text(r.ZipCode) + ";");
    if (Has(r.HomeAddr)) AppendLine(out, "ADR;TYPE=HOME:;;" + Text(r.HomeAddr) + ";;;;");
    // A URI, not text: no escapes, only no line break.
    put("URL;TYPE=WORK:", std::string(TrimSpace(OneLine(FieldUtf8(r.CompanyWeb)))));
    const std::string birthday = FieldUtf8(r.Birthday);
    if (IsIsoDate(birthday))
        AppendLine(out, "BDAY:" + birthday);
    else if (IsEditorDate(birthday))
        AppendLine(out, "BDAY:" + birthday.substr(0, 4) + "-" + birthday.substr(4, 2) + "-" +
                            birthday.substr(6, 2));
    else
        put("X-KAVO-BIRTHDAY:", Escape(birthday));
    put("X-ANNIVERSARY:", Text(r.Anniversary));
    put("NOTE:", Text(r.RelRemark));
    put("CATEGORIES:", Text(r.GroupName));
    put("X-QQ:", Text(r.QQ));
    put("X-MSN:", Text(r.MSN));
    put("X-ICQ:", Text(r.ICQ));
    put("X-KAVO-IDCARD:", Text(r.IDCard));
    put("X-KAVO-CLIENTID:", Text(r.ClientID));
    put("X-KAVO-ACCOUNT1:", Text(r.Account1));
    put("X-KAVO-ACCOUNT2:", Text(r.Account2));
    put("X-KAVO-ACCOUNT3:", Text(r.Account3));
    put("X-KAVO-ACCOUNT4:", Text(r.Account4));
    put("X-KAVO-ACCOUNT5:", Text(r.Account5));
    AppendLine(out, "END:VCARD");
}

}  // namespace

std::string VCardExportText(const std::vector<CRelData>& contacts) {
    std::string out;
    for (const CRelData& rel : contacts) AppendCard(out, rel);
    return out;
}

bool WriteVCardContacts(const std::string& path, const std::vector<CRelData>& contacts) {
    return WriteFileAtomically(path, VCardExportText(contacts));
}

}  // namespace kavo
