// What each column of a CSV file fills. The product's own nineteen Chinese labels come
// first (found anywhere inside a column's title, in their table order); a column without
// one of them is looked up in the table of other programs' column titles (contacts
// exports of web mail services, mail programs and phones, in English and Chinese); a
// column found in neither goes into the remark as "title:value ".
//
// The table of other programs' titles lives in csv_columns.cpp and nowhere else; the
// README's import section lists it by program.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// Targets 0-17 are the contact fields of the known labels, in the labels' order.
enum class ECsvTarget : int {
    kRelName = 0,
    kKeshNum,
    kCorpPosition,
    kMobilePhone1,
    kMobilePhone2,
    kHomePhone,
    kOfficePhone1,
    kOfficePhone2,
    kNickName,
    kBirthday,
    kAnniversary,
    kCompanyAddr,
    kHomeAddr,
    kCompanyWeb,
    kZipCode,
    kE_mail,
    kOfficeFax,
    kRing,
    kRemark,  // "附注": appended to the remark as "title:value "
    kIgnore,  // "忽略"
    // Parts of a name, joined when the file has no full name for a contact.
    kGivenName,
    kMiddleName,
    kFamilyName,
    // Parts of a birthday in columns of their own.
    kBirthYear,
    kBirthMonth,
    kBirthDay,
    // A value whose kind stands in a type column beside it ("Phone 1 - Type").
    kPhoneByType,
    kAddressByType,
    kPostalCodeByType,
    kTargetCount
};

inline constexpr int kCsvFieldTargets = 18;  // kRelName .. kRing

// How a column's target was found.
enum class ECsvMatch { kOwnLabel, kOtherProgram, kUnknown, kChosen };

struct CCsvColumn {
    ECsvTarget target = ECsvTarget::kRemark;
    ECsvMatch match = ECsvMatch::kUnknown;
    int ownSlot = -1;     // the known label's slot when matched by one
    int typeColumn = -1;  // for the by-type targets: the column naming the kind
};

// Whether the target takes its kind from a type column beside the value.
inline bool IsTargetByKind(ECsvTarget target) {
    return target == ECsvTarget::kPhoneByType || target == ECsvTarget::kAddressByType ||
           target == ECsvTarget::kPostalCodeByType;
}

// The targets a column may be given, in their order: every one, but those by kind only
// where the column has a type column beside it (or has that target already).
std::vector<ECsvTarget> CsvTargetChoices(const CCsvColumn& column);

// The Chinese name of a target, as the preview and kavoctl's --map show and accept it
// (the field targets by their labels: "姓名", "组织", ... "响铃文件路径").
const char* CsvTargetName(ECsvTarget target);
// The target of a name: a CsvTargetName, or a column name of the contacts table
// ("RelName", "MobilePhone1", ...), case ignored for those.
std::optional<ECsvTarget> CsvTargetFromName(std::string_view utf8);

// The target of another program's column title (UTF-8), if the table knows it. Titles
// are compared without case, blanks, '-', '_' and ':', and a run of digits in a title of
// the table ("Phone # - Value") stands for any number.
std::optional<ECsvTarget> OtherProgramTarget(std::string_view utf8Title);

// The mapping of a header (GBK labels) as the import takes it by default. `ownFormat`
// keeps the product's rules for its own files: a repeated label takes the later column
// and only the first 41 unknown columns reach the remark.
std::vector<CCsvColumn> DefaultCsvMapping(const std::vector<std::string>& headerGbk);

// True when every column was found by one of the product's own labels or is unknown:
// the file can be read by the product's own line rules.
bool NoOtherProgramColumns(const std::vector<CCsvColumn>& mapping);

// Applies choices of the form "COLUMN=FIELD,COLUMN=FIELD": COLUMN is a column title
// (UTF-8, as in the header) or "#N" for the N-th column counted from 1; FIELD a target
// name. False with the reason (UTF-8) when a column or field is not found.
bool ApplyCsvMapChoices(std::string_view choices, const std::vector<std::string>& headerGbk,
                        std::vector<CCsvColumn>& mapping, std::string& error);

}  // namespace kavo
