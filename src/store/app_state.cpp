#include "store/app_state.h"

#include <cstring>

#include "codecs/gbk_text.h"

namespace kavo {

CAppState& AppState() {
    static CAppState state;
    return state;
}

void CAppState::SetCurrentUser(std::string_view name, std::string_view password) {
    CurrentUser.Clear();
    if (!name.empty()) SetField(CurrentUser.UserName, name);
    // The password may fill all 20 bytes of its field; a shorter one ends at a NUL.
    std::size_t nul = password.find('\0');
    if (nul != std::string_view::npos) password = password.substr(0, nul);
    std::string_view kept = GbkPrefix(password, sizeof CurrentUser.UserPwd);
    if (!kept.empty()) std::memcpy(CurrentUser.UserPwd, kept.data(), kept.size());
}

void CAppState::ClearLoginLists() {
    GroupNames.assign(1, std::string());
    SmsList.clear();
    AccountList.clear();
    HistoryEntries.clear();
}

void CAppState::Reset() {
    LoginMode = 0;
    CurrentUser.Clear();
    ContactsChanged = false;
    GroupNames.assign(1, std::string());
    ContactList.clear();
    SmsList.clear();
    AccountList.clear();
    HistoryEntries.clear();
    NoticeList.clear();
    ServerStats.Clear();
    NoticePosition = 0;
}

}  // namespace kavo
