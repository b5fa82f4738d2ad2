// What the contact editor shows and gathers, free of widgets: the text of every field, the
// group and birthday selections, the byte limits of the fields, the birthday's text form,
// and the checks of the new-contact window.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

namespace kavo {

// ---- birthday ----

// The selectors' indexes: 0 is the empty entry; the year index + 1939 is the year (the
// selector offers 1940 to 2010), the month and day indexes are the numbers themselves.
struct CBirthdayParts {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const CBirthdayParts&) const = default;
};

inline constexpr int kBirthdayYearBase = 1939;
inline constexpr int kBirthdayFirstYear = 1940;
inline constexpr int kBirthdayLastYear = 2010;
inline constexpr int kBirthdayYearEntries = kBirthdayLastYear - kBirthdayYearBase + 1;  // 72

// Only eight digits yyyymmdd select anything; every other text selects nothing. A year
// before 1940 or after 2010, a month above 12 or a day above 31 leaves that selector empty.
CBirthdayParts ParseBirthday(std::string_view text);
// The selected parts written one after another: "%04d" year, "%02d" month, "%02d" day, each
// only when selected.
std::string FormatBirthday(const CBirthdayParts& parts);
// Whether the selectors show `text` exactly, so that gathering gives it back.
bool BirthdayShowable(std::string_view text);
// The Birthday to store: the selectors' text, except that a stored text the selectors
// could not show is kept as long as the user left the selectors as the fill set them.
std::string GatherBirthday(const CBirthdayParts& shown, std::string_view stored);

// ---- fields ----

enum class EContactPage { kBase = 0, kAdditional = 1, kImage = 2 };

// One edit field of the editor.
struct CContactField {
    const char* column;  // the CRelData field (kRelFields name)
    EContactPage page;
    const char* label;  // UTF-8
    int maxBytes;       // GBK bytes the field accepts, one less than the column's width
    bool digitsOnly;
    bool multiLine;
};

// The edit fields of the three pages in their order on the pages (Birthday and GroupName
// are selectors and not among them).
const std::vector<CContactField>& ContactEditorFields();
const CContactField* FindContactField(std::string_view column);
// The index of a column in kRelFields, -1 when there is none.
int RelFieldIndex(std::string_view column);

// Whether a UTF-8 text fits a field of `maxBytes` GBK bytes (and holds digits only when
// asked).
bool FitsField(std::string_view utf8, int maxBytes, bool digitsOnly);
std::size_t GbkByteLength(std::string_view utf8);
// The longest start of `utf8` that fits `maxBytes` GBK bytes, never splitting a character.
std::string CutToGbkBytes(std::string_view utf8, int maxBytes);

// ---- the form ----

struct CContactForm {
    std::array<std::string, kRelFieldCount> texts;  // UTF-8, by kRelFields index
    int groupIndex = 0;
    CBirthdayParts birthday;
    std::string storedBirthday;  // GBK, as the record had it when filled

    std::string& Text(std::string_view column) { return texts[RelFieldIndex(column)]; }
    const std::string& Text(std::string_view column) const { return texts[RelFieldIndex(column)]; }
};

// The index of `groupName` (GBK) in `groups`, compared exactly; 0 when absent.
int GroupIndexOf(const std::vector<std::string>& groups, std::string_view groupName);

// Record to form: every text, the group selection, the parsed birthday.
CContactForm FillContactForm(const CRelData& rel, const std::vector<std::string>& groups);
// Form to record: `rel` is zero-filled and written field by field. When the group index
// is not a valid index of `groups`, nothing is written and false is returned.
bool GatherContactForm(const CContactForm& form, const std::vector<std::string>& groups,
                       CRelData& rel);

// The checks of the new-contact window, in their order.
enum class ENewContactCheck {
    kOk,
    kExists,        // "该联系人姓名已存在!"
    kEmptyName,     // "请输入联系人姓名！"
    kEmptyMobile1,  // "请输入手机号码1！" (the focus goes to the mobile phone 1 field)
};
// Trims the form's name in place, then: the key already stored for the current user (the
// name alone when mobile phone 1 is empty), an empty name, an empty mobile phone 1.
ENewContactCheck CheckNewContact(CContactForm& form);
// The message of a check (UTF-8), empty for kOk.
const char* NewContactCheckMessage(ENewContactCheck check);

}  // namespace kavo
