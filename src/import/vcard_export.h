// Contacts to a vCard 3.0 file (UTF-8), one card per contact, for other address books and
// for the system address book that the address-book import reads back.
//
// Standard properties carry what they can: FN and N (the name), NICKNAME, ORG (KeshNum),
// TITLE, TEL (mobile 1 as the preferred CELL, mobiles 2 and 3, office phones with office
// phone 1 preferred, the office fax, the home phone), EMAIL, ADR (work: CompanyAddr and
// ZipCode; home: HomeAddr), URL (CompanyWeb), BDAY (a Birthday written as YYYY-MM-DD or
// as the contact editor's YYYYMMDD),
// NOTE (RelRemark) and CATEGORIES (GroupName). The rest goes into X- properties: X-QQ,
// X-MSN, X-ICQ, X-ANNIVERSARY and X-KAVO-* for the other fields (a Birthday that is not
// a date among them); the picture and ring tone are paths on this PC and stay out.
#pragma once

#include <string>
#include <vector>

#include "store/records.h"

namespace kavo {

// The file's bytes: UTF-8, lines ended by CR LF and folded at 75 bytes.
std::string VCardExportText(const std::vector<CRelData>& contacts);

// All or nothing, as WriteCsvContacts.
bool WriteVCardContacts(const std::string& path, const std::vector<CRelData>& contacts);

}  // namespace kavo
