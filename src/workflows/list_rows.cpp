#include "workflows/list_rows.h"

#include <algorithm>

#include "codecs/gbk_text.h"
#include "collation/pinyin.h"

namespace kavo {
namespace {

std::string_view TrimBlanks(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

std::string LowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

// Whether `column`, lowered, contains (or equals) the lowered needle.
bool Matches(std::string_view column, const std::string& needle, bool exact) {
    std::string lowered = LowerAscii(column);
    return exact ? lowered == needle : lowered.find(needle) != std::string::npos;
}

}  // namespace

CListRow ContactRow(const CRelData& rel) {
    CListRow row;
    row.name = FieldUtf8(rel.RelName);
    for (const char* phone : {rel.MobilePhone1, rel.MobilePhone2, rel.MobilePhone3, rel.HomePhone,
                              rel.OfficePhone1, rel.OfficePhone2, rel.OfficePhone3}) {
        std::string_view text = TrimBlanks(FieldText(phone, sizeof(rel.MobilePhone1)));
        if (!text.empty()) {
            row.phone = GbkToUtf8(text);
            break;
        }
    }
    row.mobile1 = FieldUtf8(rel.MobilePhone1);
    return row;
}

CListRow SmsRow(const CSmsData& sms) {
    CListRow row;
    std::string_view shown = TrimBlanks(FieldText(sms.ContactName));
    if (shown.empty()) shown = FieldText(sms.PhoneNumber);
    row.name = GbkToUtf8(GbkPrefix(shown, 12));
    row.phone = FieldUtf8(sms.SmsTime);
    row.data = sms.SmsID;
    return row;
}

CListRow AccountRow(const CAccountData& account) {
    CListRow row;
    row.name = FieldUtf8(account.AccountName);
    row.phone = FieldUtf8(account.AccountID);
    return row;
}

template <typename Record, typename Make>
static std::vector<CListRow> MakeRows(const std::vector<Record>& records, Make make) {
    std::vector<CListRow> rows;
    rows.reserve(records.size());
    for (const Record& r : records) rows.push_back(make(r));
    return rows;
}

std::vector<CListRow> ContactRows(const std::vector<CRelData>& contacts) {
    return MakeRows(contacts, ContactRow);
}
std::vector<CListRow> SmsRows(const std::vector<CSmsData>& sms) { return MakeRows(sms, SmsRow); }
std::vector<CListRow> AccountRows(const std::vector<CAccountData>& accounts) {
    return MakeRows(accounts, AccountRow);
}

std::vector<int> SearchRows(const std::vector<CListRow>& rows, std::string_view text, bool exact) {
    std::vector<int> found;
    const std::string_view trimmed = TrimBlanks(text);
    const std::string needle = LowerAscii(trimmed);
    if (needle.empty()) return found;
    const int n = static_cast<int>(rows.size());
    std::vector<PinyinMatch> spelled;
    const CPinyinQuery pinyin(exact ? std::string_view() : trimmed);
    if (pinyin.IsPinyin()) spelled.assign(rows.size(), PinyinMatch::kNone);
    for (int r = 0; r < n; ++r) {
        const CListRow& row = rows[static_cast<std::size_t>(r)];
        if (Matches(row.name, needle, exact) || Matches(row.phone, needle, exact))
            found.push_back(r);
        else if (!spelled.empty())
            spelled[static_cast<std::size_t>(r)] = pinyin.Match(row.name);
    }
    for (PinyinMatch kind : {PinyinMatch::kFromStart, PinyinMatch::kInside})
        for (int r = 0; r < static_cast<int>(spelled.size()); ++r)
            if (spelled[static_cast<std::size_t>(r)] == kind) found.push_back(r);
    return found;
}

int GatherRows(std::vector<CListRow>& rows, std::string_view text, bool exact) {
    const std::vector<int> found = SearchRows(rows, text, exact);
    if (found.empty()) return 0;
    std::vector<bool> taken(rows.size(), false);
    std::vector<CListRow> gathered;
    gathered.reserve(rows.size());
    for (int r : found) {
        taken[static_cast<std::size_t>(r)] = true;
        gathered.push_back(std::move(rows[static_cast<std::size_t>(r)]));
    }
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (!taken[r]) gathered.push_back(std::move(rows[r]));
    rows.swap(gathered);
    return static_cast<int>(found.size());
}

int FindNextRow(const std::vector<CListRow>& rows, int selected, std::string_view text,
                bool exact) {
    const std::string_view trimmed = TrimBlanks(text);
    const std::string needle = LowerAscii(trimmed);
    const int n = static_cast<int>(rows.size());
    if (needle.empty() || n == 0) return -1;
    int start = (selected < 0 || selected >= n) ? 0 : selected + 1;
    for (int i = 0; i < n; ++i) {
        int r = (start + i) % n;
        if (Matches(rows[r].name, needle, exact) || Matches(rows[r].phone, needle, false)) return r;
    }
    const CPinyinQuery pinyin(exact ? std::string_view() : trimmed);
    if (!pinyin.IsPinyin()) return -1;
    for (int i = 0; i < n; ++i) {
        int r = (start + i) % n;
        if (pinyin.Match(rows[r].name) != PinyinMatch::kNone) return r;
    }
    return -1;
}

}  // namespace kavo
