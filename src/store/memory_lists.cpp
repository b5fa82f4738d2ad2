// The lists of what the server holds for the logged-in user, kept in memory only.
#include <cerrno>
#include <cstdlib>

#include "codecs/gbk_text.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "codecs/gbk_text.h"

namespace kavo {
namespace {

template <typename List, typename Match>
auto FindFirst(List& list, Match match) {
    for (auto it = list.begin(); it != list.end(); ++it)
        if (match(*it)) return it;
    return list.end();
}

auto NameIs(std::string_view accountName) {
    return [accountName](const CAccountData& a) {
        return EqualsNoCase(FieldText(a.AccountName), accountName);
    };
}

// The id of an SMS from its decimal text, the way atoi reads it: leading digits count,
// anything else (or a value no SMS id can have) reads as 0.
std::uint32_t SmsIdOf(std::string_view text) {
    std::string s(text);
    errno = 0;
    long long value = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT32_MIN || value > static_cast<long long>(UINT32_MAX))
        return 0;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

bool AccountNameExists(const std::vector<CAccountData>& list, std::string_view accountName) {
    return FindFirst(list, NameIs(accountName)) != list.end();
}

bool FindAccount(const std::vector<CAccountData>& list, std::string_view accountName,
                 CAccountData& account) {
    auto it = FindFirst(list, NameIs(accountName));
    if (it == list.end()) return false;
    account = *it;
    return true;
}

bool DeleteAccount(std::vector<CAccountData>& list, std::string_view accountName) {
    auto it = FindFirst(list, NameIs(accountName));
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

bool PutAccount(std::vector<CAccountData>& list, const CAccountData& account) {
    std::string_view id = FieldText(account.AccountID);
    auto it = FindFirst(
        list, [id](const CAccountData& a) { return EqualsNoCase(FieldText(a.AccountID), id); });
    if (it == list.end())
        list.push_back(account);
    else
        *it = account;
    return true;
}

bool AddAccount(std::vector<CAccountData>& list, const CAccountData& account) {
    if (AccountNameExists(list, FieldText(account.AccountName))) return false;
    list.push_back(account);
    return true;
}

bool FindSms(const std::vector<CSmsData>& list, std::string_view smsIdText, CSmsData& sms) {
    std::uint32_t id = SmsIdOf(smsIdText);
    auto it = FindFirst(list, [id](const CSmsData& s) { return s.SmsID == id; });
    if (it == list.end()) return false;
    sms = *it;
    return true;
}

bool DeleteSms(std::vector<CSmsData>& list, std::uint32_t smsId) {
    auto it = FindFirst(list, [smsId](const CSmsData& s) { return s.SmsID == smsId; });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}

std::string NextNoticeText(const std::vector<CMsgData>& notices, std::size_t& position) {
    if (notices.empty()) {
        static const std::string welcome = Utf8ToGbk("欢迎使用Tavrin-手机管家软件");
        return welcome;
    }
    const CMsgData& notice = notices[position % notices.size()];
    ++position;
    return std::string(FieldText(notice.MsgText));
}

bool CDataAccess::AccountNameExists(std::string_view accountName) {
    return kavo::AccountNameExists(AppState().AccountList, accountName);
}

bool CDataAccess::FindAccount(std::string_view accountName, CAccountData& account) {
    return kavo::FindAccount(AppState().AccountList, accountName, account);
}

bool CDataAccess::DeleteAccount(std::string_view accountName) {
    return kavo::DeleteAccount(AppState().AccountList, accountName);
}

bool CDataAccess::PutAccount(const CAccountData& account) {
    return kavo::PutAccount(AppState().AccountList, account);
}

bool CDataAccess::AddAccount(const CAccountData& account) {
    return kavo::AddAccount(AppState().AccountList, account);
}

bool CDataAccess::FindSms(std::string_view smsIdText, CSmsData& sms) {
    return kavo::FindSms(AppState().SmsList, smsIdText, sms);
}

bool CDataAccess::DeleteSms(std::uint32_t smsId) {
    return kavo::DeleteSms(AppState().SmsList, smsId);
}

std::string CDataAccess::NextNoticeText() {
    CAppState& state = AppState();
    return kavo::NextNoticeText(state.NoticeList, state.NoticePosition);
}

}  // namespace kavo
