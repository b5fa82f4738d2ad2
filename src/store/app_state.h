// The process-wide state that the windows, the command-line tool and the workers share.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/gbk_text.h"
#include "store/records.h"

namespace kavo {

// Who may touch what. Everything here belongs to the user-interface thread, with one
// exception: a worker started by a modal progress window may fill the lists while that
// window holds the user's input, because nothing else runs on them meanwhile:
//   - the login worker: GroupNames, SmsList, AccountList, HistoryEntries, NoticeList,
//     ServerStats;
//   - the store and restore worker: ContactList, GroupNames;
//   - the personal-information, statistics and history workers: ServerStats,
//     HistoryEntries, CurrentUser's password (after a password change).
// The UI thread reads the lists only after the worker has posted its outcome. LoginMode
// and ContactsChanged are atomic because timers read them while a worker may write them.
struct CAppState {
    // 0 nobody logged in, 1 offline, 2 online.
    std::atomic<int> LoginMode{0};
    // Only the user name (the owner of every contact and group statement) and the plain
    // password are filled.
    CUserData CurrentUser;
    std::atomic<bool> ContactsChanged{false};
    // GBK names; entry 0 is always the empty text, the group of all contacts ("全部").
    std::vector<std::string> GroupNames{std::string()};
    std::vector<CRelData> ContactList;
    std::vector<CSmsData> SmsList;
    std::vector<CAccountData> AccountList;
    std::vector<CHistoryData> HistoryEntries;
    std::vector<CMsgData> NoticeList;
    CStatisticsData ServerStats;
    // Where the rotating notice line goes on; never reset, so a refilled list goes on
    // where the old one left off.
    std::size_t NoticePosition = 0;

    // The user name of the statements (GBK, at most 49 bytes).
    std::string_view CurrentUserName() const { return FieldText(CurrentUser.UserName); }
    // Sets name and plain password (cut to 49 and 20 bytes), clearing the rest.
    void SetCurrentUser(std::string_view name, std::string_view password);
    // What a new login starts from: the group, SMS, account and history lists emptied.
    void ClearLoginLists();
    // Everything back to the state at process start (for tests, and the CLI between runs).
    void Reset();
};

CAppState& AppState();

}  // namespace kavo
