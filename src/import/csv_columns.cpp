#include "import/csv_columns.h"

#include <array>
#include <cstdlib>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

using T = ECsvTarget;

// The product's own labels, tried in this order; slot k fills target k (slot 18 is the
// remark).
constexpr std::array<const char*, 19> kOwnLabels = {
    "姓名",       "组织",   "头衔",     "移动电话(公)", "移动电话(私)", "住宅电话", "商务电话1",
    "商务电话2",  "呢称",   "生日",     "纪念日",       "工作地址",     "住宅地址", "主页",
    "工作地邮编", "邮件一", "商务传真", "响铃文件路径", "备注"};
constexpr int kOwnRemarkSlot = 18;
constexpr int kOwnUnknownSlots = 41;  // slots 19-59

struct OtherTitle {
    const char* title;  // UTF-8, as the program writes it; '#' stands for a number
    T target;
};

// Column titles of other programs' contacts exports, for columns that carry none of the
// product's own labels. The README's import section lists the same by program.
//
// Google Contacts (Export > Google CSV; the older "Outlook CSV" of Gmail is Outlook's):
//   Name, Given/Additional/Family Name, First/Middle/Last Name, Nickname, Birthday, Notes,
//   E-mail # - Value, Phone # - Type/Label + Value, Organization # - Name/Title,
//   Organization Name/Title, Address # - Type/Label + Formatted, Postal Code,
//   Website # - Value.
// Outlook (Export to a file > Comma Separated Values), English and Chinese titles.
// Thunderbird (Address book > Export > comma separated).
// Phones and iCloud-style exports: Display Name, Mobile, iPhone, Email, Work Email, ...
// Chinese phone and spreadsheet exports: 手机, 电话, 邮箱, 单位, 职务, 地址, ...
constexpr OtherTitle kOtherTitles[] = {
    // Names
    {"Name", T::kRelName},
    {"Full Name", T::kRelName},
    {"Display Name", T::kRelName},
    {"Contact Name", T::kRelName},
    {"全名", T::kRelName},
    {"联系人", T::kRelName},
    {"名称", T::kRelName},
    {"显示名称", T::kRelName},
    {"First Name", T::kGivenName},
    {"Given Name", T::kGivenName},
    {"名", T::kGivenName},
    {"名字", T::kGivenName},
    {"Middle Name", T::kMiddleName},
    {"Additional Name", T::kMiddleName},
    {"中间名", T::kMiddleName},
    {"Last Name", T::kFamilyName},
    {"Family Name", T::kFamilyName},
    {"Surname", T::kFamilyName},
    {"姓", T::kFamilyName},
    {"姓氏", T::kFamilyName},
    {"Nickname", T::kNickName},
    {"Nick Name", T::kNickName},
    {"昵称", T::kNickName},
    // Company
    {"Company", T::kKeshNum},
    {"Company Name", T::kKeshNum},
    {"Organization", T::kKeshNum},
    {"Organisation", T::kKeshNum},
    {"Organization # - Name", T::kKeshNum},
    {"Organization Name", T::kKeshNum},
    {"公司", T::kKeshNum},
    {"公司名称", T::kKeshNum},
    {"单位", T::kKeshNum},
    {"单位名称", T::kKeshNum},
    {"工作单位", T::kKeshNum},
    {"Job Title", T::kCorpPosition},
    {"Title", T::kIgnore},  // Outlook's "Mr."/"Ms."; the job is "Job Title"
    {"Organization # - Title", T::kCorpPosition},
    {"Organization Title", T::kCorpPosition},
    {"职务", T::kCorpPosition},
    {"职位", T::kCorpPosition},
    {"称谓", T::kIgnore},
    // Phones
    {"Mobile", T::kMobilePhone1},
    {"Mobile Phone", T::kMobilePhone1},
    {"Mobile Number", T::kMobilePhone1},
    {"Cell", T::kMobilePhone1},
    {"Cell Phone", T::kMobilePhone1},
    {"Cellphone", T::kMobilePhone1},
    {"iPhone", T::kMobilePhone1},
    {"手机", T::kMobilePhone1},
    {"手机号", T::kMobilePhone1},
    {"手机号码", T::kMobilePhone1},
    {"移动电话", T::kMobilePhone1},
    {"Mobile Phone 2", T::kMobilePhone2},
    {"手机2", T::kMobilePhone2},
    {"手机号码2", T::kMobilePhone2},
    {"Phone # - Value", T::kPhoneByType},
    {"Home Phone", T::kHomePhone},
    {"Home", T::kHomePhone},
    {"住宅", T::kHomePhone},
    {"家庭电话", T::kHomePhone},
    {"Business Phone", T::kOfficePhone1},
    {"Work Phone", T::kOfficePhone1},
    {"Work", T::kOfficePhone1},
    {"Phone", T::kOfficePhone1},
    {"商务电话", T::kOfficePhone1},
    {"单位电话", T::kOfficePhone1},
    {"工作电话", T::kOfficePhone1},
    {"办公电话", T::kOfficePhone1},
    {"电话", T::kOfficePhone1},
    {"Business Phone 2", T::kOfficePhone2},
    {"商务电话 2", T::kOfficePhone2},
    {"Business Fax", T::kOfficeFax},
    {"Work Fax", T::kOfficeFax},
    {"Fax", T::kOfficeFax},
    {"Fax Number", T::kOfficeFax},
    {"传真", T::kOfficeFax},
    // E-mail
    {"E-mail", T::kE_mail},
    {"E-mail Address", T::kE_mail},
    {"E-mail # Address", T::kE_mail},
    {"E-mail # - Value", T::kE_mail},
    {"Primary Email", T::kE_mail},
    {"Secondary Email", T::kE_mail},
    {"Work Email", T::kE_mail},
    {"Home Email", T::kE_mail},
    {"Other Email", T::kE_mail},
    {"电子邮件", T::kE_mail},
    {"电子邮件地址", T::kE_mail},
    {"电子邮件 # 地址", T::kE_mail},
    {"电子邮箱", T::kE_mail},
    {"邮箱", T::kE_mail},
    {"邮件", T::kE_mail},
    // Addresses
    {"Address # - Formatted", T::kAddressByType},
    {"Address # - Postal Code", T::kPostalCodeByType},
    {"Business Street", T::kCompanyAddr},
    {"Business Street #", T::kCompanyAddr},
    {"Business City", T::kCompanyAddr},
    {"Business State", T::kCompanyAddr},
    {"Business Country/Region", T::kCompanyAddr},
    {"Business Address", T::kCompanyAddr},
    {"Work Address", T::kCompanyAddr},
    {"Work Address #", T::kCompanyAddr},
    {"Work City", T::kCompanyAddr},
    {"Work State", T::kCompanyAddr},
    {"Work Country", T::kCompanyAddr},
    {"商务地址", T::kCompanyAddr},
    {"商务地址 街道", T::kCompanyAddr},
    {"商务地址 街道 #", T::kCompanyAddr},
    {"商务地址 市/县", T::kCompanyAddr},
    {"商务地址 省/市/自治区", T::kCompanyAddr},
    {"商务地址 国家/地区", T::kCompanyAddr},
    {"公司地址", T::kCompanyAddr},
    {"单位地址", T::kCompanyAddr},
    {"地址", T::kCompanyAddr},
    {"Business Postal Code", T::kZipCode},
    {"Work ZipCode", T::kZipCode},
    {"Work Zip Code", T::kZipCode},
    {"Work Postal Code", T::kZipCode},
    {"商务地址 邮政编码", T::kZipCode},
    {"邮编", T::kZipCode},
    {"邮政编码", T::kZipCode},
    {"Home Street", T::kHomeAddr},
    {"Home Street #", T::kHomeAddr},
    {"Home City", T::kHomeAddr},
    {"Home State", T::kHomeAddr},
    {"Home Country/Region", T::kHomeAddr},
    {"Home Address", T::kHomeAddr},
    {"Home Address #", T::kHomeAddr},
    {"Home Country", T::kHomeAddr},
    {"住宅地址 街道", T::kHomeAddr},
    {"家庭地址", T::kHomeAddr},
    {"住址", T::kHomeAddr},
    // Web, dates, notes
    {"Web Page", T::kCompanyWeb},
    {"Web Page #", T::kCompanyWeb},
    {"Website", T::kCompanyWeb},
    {"Website # - Value", T::kCompanyWeb},
    {"URL", T::kCompanyWeb},
    {"Homepage", T::kCompanyWeb},
    {"网页", T::kCompanyWeb},
    {"网址", T::kCompanyWeb},
    {"个人主页", T::kCompanyWeb},
    {"Birthday", T::kBirthday},
    {"Birth Year", T::kBirthYear},
    {"Birth Month", T::kBirthMonth},
    {"Birth Day", T::kBirthDay},
    {"出生日期", T::kBirthday},
    {"Anniversary", T::kAnniversary},
    {"Notes", T::kRemark},
    {"Note", T::kRemark},
    {"附注", T::kRemark},
    {"备忘", T::kRemark},
    // Bookkeeping columns that only repeat defaults or kinds: left out of the remark.
    {"Phone # - Type", T::kIgnore},
    {"Phone # - Label", T::kIgnore},
    {"E-mail # - Type", T::kIgnore},
    {"E-mail # - Label", T::kIgnore},
    {"E-mail Type", T::kIgnore},
    {"E-mail # Type", T::kIgnore},
    {"E-mail Display Name", T::kIgnore},
    {"E-mail # Display Name", T::kIgnore},
    {"Address # - Type", T::kIgnore},
    {"Address # - Label", T::kIgnore},
    {"Address # - Street", T::kIgnore},
    {"Address # - City", T::kIgnore},
    {"Address # - PO Box", T::kIgnore},
    {"Address # - Region", T::kIgnore},
    {"Address # - Country", T::kIgnore},
    {"Address # - Extended Address", T::kIgnore},
    {"Website # - Type", T::kIgnore},
    {"Website # - Label", T::kIgnore},
    {"Organization # - Type", T::kIgnore},
    {"Organization # - Yomi Name", T::kIgnore},
    {"Organization # - Symbol", T::kIgnore},
    {"Organization # - Location", T::kIgnore},
    {"Organization # - Job Description", T::kIgnore},
    {"Group Membership", T::kIgnore},
    {"Labels", T::kIgnore},
    {"Photo", T::kIgnore},
    {"File As", T::kIgnore},
    {"Yomi Name", T::kIgnore},
    {"Given Name Yomi", T::kIgnore},
    {"Additional Name Yomi", T::kIgnore},
    {"Family Name Yomi", T::kIgnore},
    {"Phonetic First Name", T::kIgnore},
    {"Phonetic Middle Name", T::kIgnore},
    {"Phonetic Last Name", T::kIgnore},
    {"Name Prefix", T::kIgnore},
    {"Name Suffix", T::kIgnore},
    {"Suffix", T::kIgnore},
    {"Initials", T::kIgnore},
    {"Gender", T::kIgnore},
    {"Priority", T::kIgnore},
    {"Private", T::kIgnore},
    {"Sensitivity", T::kIgnore},
    {"Categories", T::kIgnore},
    {"Billing Information", T::kIgnore},
    {"Mileage", T::kIgnore},
    {"Directory Server", T::kIgnore},
    {"Internet Free Busy", T::kIgnore},
    {"Language", T::kIgnore},
    {"性别", T::kIgnore},
    {"优先级", T::kIgnore},
    {"私有", T::kIgnore},
    {"敏感度", T::kIgnore},
    {"类别", T::kIgnore},
    {"缩写", T::kIgnore},
    {"电子邮件类型", T::kIgnore},
    {"电子邮件显示名称", T::kIgnore},
};

struct TargetName {
    T target;
    const char* chinese;
    const char* column;  // the contacts table's column, or nullptr
};

constexpr TargetName kTargetNames[] = {
    {T::kRelName, "姓名", "RelName"},
    {T::kKeshNum, "组织", "KeshNum"},
    {T::kCorpPosition, "头衔", "CorpPosition"},
    {T::kMobilePhone1, "移动电话(公)", "MobilePhone1"},
    {T::kMobilePhone2, "移动电话(私)", "MobilePhone2"},
    {T::kHomePhone, "住宅电话", "HomePhone"},
    {T::kOfficePhone1, "商务电话1", "OfficePhone1"},
    {T::kOfficePhone2, "商务电话2", "OfficePhone2"},
    {T::kNickName, "呢称", "NickName"},
    {T::kBirthday, "生日", "Birthday"},
    {T::kAnniversary, "纪念日", "Anniversary"},
    {T::kCompanyAddr, "工作地址", "CompanyAddr"},
    {T::kHomeAddr, "住宅地址", "HomeAddr"},
    {T::kCompanyWeb, "主页", "CompanyWeb"},
    {T::kZipCode, "工作地邮编", "ZipCode"},
    {T::kE_mail, "邮件一", "E_mail"},
    {T::kOfficeFax, "商务传真", "OfficeFax"},
    {T::kRing, "响铃文件路径", "Ring"},
    {T::kRemark, "附注", "RelRemark"},
    {T::kIgnore, "忽略", nullptr},
    {T::kGivenName, "名", nullptr},
    {T::kMiddleName, "中间名", nullptr},
    {T::kFamilyName, "姓", nullptr},
    {T::kBirthYear, "出生年", nullptr},
    {T::kBirthMonth, "出生月", nullptr},
    {T::kBirthDay, "出生日", nullptr},
    {T::kPhoneByType, "电话(按类型)", nullptr},
    {T::kAddressByType, "地址(按类型)", nullptr},
    {T::kPostalCodeByType, "邮编(按类型)", nullptr},
};
static_assert(std::size(kTargetNames) == static_cast<std::size_t>(T::kTargetCount));

// Lower case; blanks, '-', '_' and ':' dropped, or (`keepGaps`) each run of them kept as
// one blank, so that "Birth Day" and "Birthday" stay two titles.
std::string Normalized(std::string_view utf8, bool keepGaps = false) {
    std::string out;
    bool gap = false;
    for (char c : TrimSpace(utf8)) {
        if (c == ' ' || c == '\t' || c == '-' || c == '_' || c == ':') {
            gap = true;
            continue;
        }
        if (gap && keepGaps && !out.empty()) out += ' ';
        gap = false;
        out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
}

// Each run of digits as one '#'.
std::string NumbersAsHash(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] >= '0' && s[i] <= '9') {
            while (i + 1 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '9') ++i;
            out += '#';
        } else {
            out += s[i];
        }
    }
    return out;
}

// True when `needle` starts on a character boundary of the GBK text `hay`.
bool ContainsGbk(std::string_view hay, std::string_view needle) {
    std::size_t pos = 0;
    while (pos + needle.size() <= hay.size()) {
        if (hay.compare(pos, needle.size(), needle) == 0) return true;
        pos += GbkCharLength(hay, pos);
    }
    return false;
}

const std::array<std::string, 19>& OwnLabelsGbk() {
    static const std::array<std::string, 19> labels = [] {
        std::array<std::string, 19> a;
        for (std::size_t i = 0; i < a.size(); ++i) a[i] = Utf8ToGbk(kOwnLabels[i]);
        return a;
    }();
    return labels;
}

int OwnSlot(std::string_view labelGbk) {
    const auto& own = OwnLabelsGbk();
    for (std::size_t k = 0; k < own.size(); ++k)
        if (ContainsGbk(labelGbk, own[k])) return static_cast<int>(k);
    return -1;
}

// The number in a normalized title and the title's text before it: "phone3value" gives
// "phone" and "3".
bool SplitNumbered(std::string_view n, std::string& prefix, std::string& number) {
    std::size_t d = n.find_first_of("0123456789");
    if (d == std::string_view::npos) return false;
    std::size_t e = n.find_first_not_of("0123456789", d);
    prefix = std::string(n.substr(0, d));
    number = std::string(n.substr(d, e == std::string_view::npos ? n.size() - d : e - d));
    return true;
}

}  // namespace

std::vector<ECsvTarget> CsvTargetChoices(const CCsvColumn& column) {
    std::vector<ECsvTarget> out;
    for (int t = 0; t < static_cast<int>(T::kTargetCount); ++t) {
        const auto target = static_cast<ECsvTarget>(t);
        if (IsTargetByKind(target) && column.typeColumn < 0 && column.target != target) continue;
        out.push_back(target);
    }
    return out;
}

const char* CsvTargetName(ECsvTarget target) {
    for (const TargetName& t : kTargetNames)
        if (t.target == target) return t.chinese;
    return "";
}

std::optional<ECsvTarget> CsvTargetFromName(std::string_view utf8) {
    utf8 = TrimSpace(utf8);
    for (const TargetName& t : kTargetNames) {
        if (utf8 == t.chinese) return t.target;
        if (t.column && EqualsNoCase(utf8, t.column)) return t.target;
    }
    if (utf8 == "备注") return T::kRemark;
    return std::nullopt;
}

std::optional<ECsvTarget> OtherProgramTarget(std::string_view utf8Title) {
    struct Entry {
        std::string gapped;
        std::string joined;
        T target;
    };
    static const std::vector<Entry> entries = [] {
        std::vector<Entry> v;
        for (const OtherTitle& t : kOtherTitles)
            v.push_back({Normalized(t.title, true), Normalized(t.title), t.target});
        return v;
    }();
    const std::string gapped = Normalized(utf8Title, true);
    const std::string joined = Normalized(utf8Title);
    if (joined.empty()) return std::nullopt;
    // The closest reading first: as written, then without gaps, then with any number.
    for (const Entry& e : entries)
        if (e.gapped == gapped) return e.target;
    for (const Entry& e : entries)
        if (e.joined == joined) return e.target;
    const std::string gappedHash = NumbersAsHash(gapped);
    for (const Entry& e : entries)
        if (e.gapped == gappedHash) return e.target;
    const std::string joinedHash = NumbersAsHash(joined);
    for (const Entry& e : entries)
        if (e.joined == joinedHash) return e.target;
    return std::nullopt;
}

std::vector<CCsvColumn> DefaultCsvMapping(const std::vector<std::string>& headerGbk) {
    std::vector<CCsvColumn> mapping(headerGbk.size());
    std::vector<std::string> normalized(headerGbk.size());
    for (std::size_t col = 0; col < headerGbk.size(); ++col) {
        CCsvColumn& c = mapping[col];
        const std::string utf8 = GbkToUtf8(headerGbk[col]);
        normalized[col] = Normalized(utf8);
        int slot = OwnSlot(headerGbk[col]);
        if (slot >= 0) {
            c.match = ECsvMatch::kOwnLabel;
            c.ownSlot = slot;
            c.target = static_cast<T>(slot);
        } else if (auto t = OtherProgramTarget(utf8)) {
            c.match = ECsvMatch::kOtherProgram;
            c.target = *t;
        }
    }
    if (NoOtherProgramColumns(mapping)) {
        // The product's own rules: a repeated label keeps its later column, and the
        // unknown columns beyond the slot table have nowhere to go.
        std::array<int, 19> last;
        last.fill(-1);
        for (std::size_t col = 0; col < mapping.size(); ++col)
            if (mapping[col].ownSlot >= 0) last[mapping[col].ownSlot] = static_cast<int>(col);
        int unknown = 0;
        for (std::size_t col = 0; col < mapping.size(); ++col) {
            CCsvColumn& c = mapping[col];
            if (c.ownSlot >= 0 && last[c.ownSlot] != static_cast<int>(col)) c.target = T::kIgnore;
            if (c.match == ECsvMatch::kUnknown && ++unknown > kOwnUnknownSlots)
                c.target = T::kIgnore;
        }
        return mapping;
    }
    // A value of a kind named beside it: "Phone 2 - Value" with "Phone 2 - Type" (or
    // "- Label"); an address's postal code goes with its address's kind.
    for (std::size_t col = 0; col < mapping.size(); ++col) {
        CCsvColumn& c = mapping[col];
        if (!IsTargetByKind(c.target)) continue;
        std::string prefix, number;
        if (!SplitNumbered(normalized[col], prefix, number)) continue;
        for (std::size_t k = 0; k < mapping.size(); ++k) {
            if (normalized[k] == prefix + number + "type" ||
                normalized[k] == prefix + number + "label") {
                c.typeColumn = static_cast<int>(k);
                break;
            }
        }
    }
    return mapping;
}

bool NoOtherProgramColumns(const std::vector<CCsvColumn>& mapping) {
    for (const CCsvColumn& c : mapping)
        if (c.match == ECsvMatch::kOtherProgram) return false;
    return true;
}

bool ApplyCsvMapChoices(std::string_view choices, const std::vector<std::string>& headerGbk,
                        std::vector<CCsvColumn>& mapping, std::string& error) {
    std::size_t start = 0;
    while (start <= choices.size()) {
        std::size_t comma = choices.find(',', start);
        std::string_view item = choices.substr(
            start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        start = comma == std::string_view::npos ? choices.size() + 1 : comma + 1;
        item = TrimSpace(item);
        if (item.empty()) continue;
        std::size_t eq = item.rfind('=');
        if (eq == std::string_view::npos) {
            error = "没有\"=\"：" + std::string(item);
            return false;
        }
        std::string_view column = TrimSpace(item.substr(0, eq));
        std::string_view field = TrimSpace(item.substr(eq + 1));
        int index = -1;
        if (column.size() > 1 && column[0] == '#') {
            char* end = nullptr;
            const std::string digits(column.substr(1));
            long n = std::strtol(digits.c_str(), &end, 10);
            if (end && *end == '\0' && n >= 1 && n <= static_cast<long>(headerGbk.size()))
                index = static_cast<int>(n - 1);
        } else {
            const std::string gbk = Utf8ToGbk(column);
            for (std::size_t k = 0; k < headerGbk.size() && index < 0; ++k)
                if (std::string_view(TrimSpace(headerGbk[k])) == gbk) index = static_cast<int>(k);
        }
        if (index < 0) {
            error = "没有这一列：" + std::string(column);
            return false;
        }
        std::optional<ECsvTarget> target = CsvTargetFromName(field);
        if (!target) {
            error = "没有这个字段：" + std::string(field);
            return false;
        }
        CCsvColumn& c = mapping[static_cast<std::size_t>(index)];
        c.target = *target;
        c.match = ECsvMatch::kChosen;
    }
    return true;
}

}  // namespace kavo
