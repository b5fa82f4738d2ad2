// The rows of the main window's list in its three views, and the search over them.
// Rows hold UTF-8 text, ready for the screen; building them from the GBK records is done
// once per row here, so the window itself never converts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

namespace kavo {

struct CListRow {
    std::string name;        // column 0
    std::string phone;       // column 1
    std::string mobile1;     // column 2 (hidden): with the name, the key of a contact row
    std::uint32_t data = 0;  // the SMS id of an SMS row
};

// Contacts: the name, the first non-blank of the phone numbers, the first mobile number.
CListRow ContactRow(const CRelData& rel);
// SMS: the contact name without surrounding blanks, or the number when the name is blank,
// cut to 12 bytes of GBK; then the time; the id as row data.
CListRow SmsRow(const CSmsData& sms);
// Accounts: the account name and id.
CListRow AccountRow(const CAccountData& account);

std::vector<CListRow> ContactRows(const std::vector<CRelData>& contacts);
std::vector<CListRow> SmsRows(const std::vector<CSmsData>& sms);
std::vector<CListRow> AccountRows(const std::vector<CAccountData>& accounts);

// The rows a search finds, best first, as indices into `rows`: those whose column 0 or 1
// contains `text` (equals it, when exact); then, for a text of Latin letters only and not
// exact, those whose name the text spells in pinyin (collation/pinyin.h: "zw", "zhangwei"
// and "zhang wei" find 张伟), from the name's first character before from a later one.
// Each kind keeps the rows' order. ASCII letters compare without case; blanks around the
// text are ignored and an empty text finds nothing.
std::vector<int> SearchRows(const std::vector<CListRow>& rows, std::string_view text, bool exact);

// Gather search: the rows SearchRows finds move to the top in its order, the others
// follow in theirs. Returns the number of rows gathered.
int GatherRows(std::vector<CListRow>& rows, std::string_view text, bool exact);

// Next search: from the row after `selected` down to the end, then from the top down to
// `selected` itself, the first row whose column 0 contains `text` (equals it, when exact)
// or whose column 1 contains it; when no row does, the first whose name the text spells
// in pinyin (not when exact). Returns its index, or -1.
int FindNextRow(const std::vector<CListRow>& rows, int selected, std::string_view text, bool exact);

}  // namespace kavo
