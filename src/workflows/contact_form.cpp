#include "workflows/contact_form.h"

#include <cstdio>
#include <cstring>

#include "codecs/gbk_text.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo {

CBirthdayParts ParseBirthday(std::string_view text) {
    CBirthdayParts parts;
    if (text.size() != 8) return parts;
    for (char c : text)
        if (c < '0' || c > '9') return parts;
    auto number = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) v = v * 10 + (text[i] - '0');
        return v;
    };
    int year = number(0, 4);
    int month = number(4, 2);
    int day = number(6, 2);
    // An index the selector does not have would select nothing there.
    if (year > kBirthdayYearBase && year <= kBirthdayLastYear)
        parts.year = year - kBirthdayYearBase;
    if (month >= 1 && month <= 12) parts.month = month;
    if (day >= 1 && day <= 31) parts.day = day;
    return parts;
}

std::string FormatBirthday(const CBirthdayParts& parts) {
    char buf[16];
    std::string out;
    if (parts.year >= 1) {
        std::snprintf(buf, sizeof(buf), "%04d", parts.year + kBirthdayYearBase);
        out += buf;
    }
    if (parts.month >= 1) {
        std::snprintf(buf, sizeof(buf), "%02d", parts.month);
        out += buf;
    }
    if (parts.day >= 1) {
        std::snprintf(buf, sizeof(buf), "%02d", parts.day);
        out += buf;
    }
    return out;
}

bool BirthdayShowable(std::string_view text) { return FormatBirthday(ParseBirthday(text)) == text; }

std::string GatherBirthday(const CBirthdayParts& shown, std::string_view stored) {
    if (!BirthdayShowable(stored) && shown == ParseBirthday(stored)) return std::string(stored);
    return FormatBirthday(shown);
}

const std::vector<CContactField>& ContactEditorFields() {
    using P = EContactPage;
    static const std::vector<CContactField> fields = {
        {"RelName", P::kBase, "姓        名", 49, false, false},
        {"CorpPosition", P::kBase, "职        位", 49, false, false},
        {"IDCard", P::kBase, "身  份  证", 29, false, false},
        {"KeshNum", P::kBase, "公司名称", 99, false, false},
        {"CompanyAddr", P::kBase, "工作地址", 99, false, false},
        {"HomeAddr", P::kBase, "家庭地址", 99, false, false},
        {"ZipCode", P::kBase, "邮政编码", 19, false, false},
        {"MobilePhone1", P::kBase, "手机号码1", 20, false, false},
        {"NickName", P::kBase, "昵        称", 19, false, false},
        {"MobilePhone2", P::kBase, "手机号码2", 20, false, false},
        {"MSN", P::kBase, "MSN", 39, false, false},
        {"MobilePhone3", P::kBase, "手机号码3", 20, false, false},
        {"QQ", P::kBase, "QQ", 19, true, false},
        {"HomePhone", P::kBase, "家庭电话", 20, false, false},
        {"ICQ", P::kBase, "ICQ", 19, false, false},
        {"OfficePhone1", P::kBase, "办公电话1", 20, false, false},
        {"E_mail", P::kBase, "电子邮件", 49, false, false},
        {"OfficePhone2", P::kBase, "办公电话2", 20, false, false},
        {"CompanyWeb", P::kBase, "公司主页", 49, false, false},
        {"OfficePhone3", P::kBase, "办公电话3", 20, false, false},
        {"OfficeFax", P::kBase, "传         真", 20, false, false},
        {"RelRemark", P::kBase, "附        注", 511, false, true},
        {"ClientID", P::kAdditional, "客   户 ID", 19, false, false},
        {"Anniversary", P::kAdditional, "周年纪念", 19, false, false},
        {"Account1", P::kAdditional, "银行帐号1", 49, true, false},
        {"Account2", P::kAdditional, "银行帐号2", 49, true, false},
        {"Account3", P::kAdditional, "银行帐号3", 49, true, false},
        {"Account4", P::kAdditional, "银行帐号4", 49, true, false},
        {"Account5", P::kAdditional, "银行帐号5", 49, true, false},
        {"Ring", P::kAdditional, "铃　　声", 259, false, false},
        {"Picture", P::kImage, "图片路径", 259, false, false},
    };
    return fields;
}

const CContactField* FindContactField(std::string_view column) {
    for (const CContactField& f : ContactEditorFields())
        if (column == f.column) return &f;
    return nullptr;
}

int RelFieldIndex(std::string_view column) {
    for (std::size_t i = 0; i < kRelFieldCount; ++i)
        if (column == kRelFields[i].name) return static_cast<int>(i);
    return -1;
}

std::size_t GbkByteLength(std::string_view utf8) {
    return IsAscii(utf8) ? utf8.size() : Utf8ToGbk(utf8).size();
}

bool FitsField(std::string_view utf8, int maxBytes, bool digitsOnly) {
    if (digitsOnly)
        for (char c : utf8)
            if (c < '0' || c > '9') return false;
    return GbkByteLength(utf8) <= static_cast<std::size_t>(maxBytes);
}

std::string CutToGbkBytes(std::string_view utf8, int maxBytes) {
    if (GbkByteLength(utf8) <= static_cast<std::size_t>(maxBytes)) return std::string(utf8);
    std::string gbk = Utf8ToGbk(utf8);
    return GbkToUtf8(GbkPrefix(gbk, static_cast<std::size_t>(maxBytes)));
}

int GroupIndexOf(const std::vector<std::string>& groups, std::string_view groupName) {
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i] == groupName) return static_cast<int>(i);
    return 0;
}

CContactForm FillContactForm(const CRelData& rel, const std::vector<std::string>& groups) {
    CContactForm form;
    for (std::size_t i = 0; i < kRelFieldCount; ++i) {
        const FieldSpec& f = kRelFields[i];
        form.texts[i] = GbkToUtf8(FieldText(FieldPtr(&rel, f), f.width));
    }
    form.groupIndex = GroupIndexOf(groups, FieldText(rel.GroupName));
    form.storedBirthday = std::string(FieldText(rel.Birthday));
    form.birthday = ParseBirthday(form.storedBirthday);
    return form;
}

bool GatherContactForm(const CContactForm& form, const std::vector<std::string>& groups,
                       CRelData& rel) {
    if (form.groupIndex < 0 || static_cast<std::size_t>(form.groupIndex) >= groups.size())
        return false;
    rel = CRelData{};
    for (std::size_t i = 0; i < kRelFieldCount; ++i) {
        const FieldSpec& f = kRelFields[i];
        SetFieldUtf8(FieldPtr(&rel, f), f.width, form.texts[i]);
    }
    SetField(rel.Birthday, GatherBirthday(form.birthday, form.storedBirthday));
    SetField(rel.GroupName, groups[static_cast<std::size_t>(form.groupIndex)]);
    return true;
}

ENewContactCheck CheckNewContact(CContactForm& form) {
    std::string& name = form.Text("RelName");
    name = std::string(TrimSpace(name));
    const std::string& mobile1 = form.Text("MobilePhone1");
    if (CDataAccess().ContactExists(Utf8ToGbk(name), Utf8ToGbk(mobile1)))
        return ENewContactCheck::kExists;
    if (name.empty()) return ENewContactCheck::kEmptyName;
    if (mobile1.empty()) return ENewContactCheck::kEmptyMobile1;
    return ENewContactCheck::kOk;
}

const char* NewContactCheckMessage(ENewContactCheck check) {
    switch (check) {
        case ENewContactCheck::kExists:
            return msg::kContactExists;
        case ENewContactCheck::kEmptyName:
            return msg::kEnterContactName;
        case ENewContactCheck::kEmptyMobile1:
            return msg::kEnterMobile1;
        case ENewContactCheck::kOk:
            break;
    }
    return "";
}

}  // namespace kavo
