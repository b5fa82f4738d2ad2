#include "workflows/login_flow.h"

#include "codecs/gbk_text.h"
#include "net/result_codes.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/login_lock.h"
#include "workflows/messages.h"
#include "workflows/session.h"

namespace kavo {
namespace {

// The login window removes spaces only, not other white space.
std::string StripBlanks(std::string_view s) {
    std::size_t b = s.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    return std::string(s.substr(b, s.find_last_not_of(' ') - b + 1));
}

void BecomeCurrentUser(const CLoginForm& form, int mode) {
    CAppState& state = AppState();
    state.SetCurrentUser(form.user, form.password);
    state.LoginMode = mode;
    CDataAccess().LoadGroups(state.GroupNames);
}

// The lists of the user who just logged in, in place of the previous user's.
void TakeDownloads(CLoginDownloads& downloads) {
    CAppState& state = AppState();
    state.ClearLoginLists();
    state.NoticeList = std::move(downloads.notices);
    state.ServerStats = downloads.stats;
    state.SmsList = std::move(downloads.sms);
    state.AccountList = std::move(downloads.accounts);
    state.HistoryEntries = std::move(downloads.history);
}

}  // namespace

LoginCheck CheckLoginForm(CLoginForm& form) {
    form.user = StripBlanks(form.user);
    if (form.user.empty()) return LoginCheck::kEmptyName;
    form.password = StripBlanks(form.password);
    if (form.password.empty()) return LoginCheck::kEmptyPassword;
    CDataAccess store;
    if (store.IsUserLoggedIn(form.user)) {
        if (IsLoginLockHeld(form.user)) return LoginCheck::kLoggedInElsewhere;
        // Nobody holds the user's lock: the copy that wrote the state died without writing
        // it back.
        store.SetLoginState(form.user, 0);
    }
    return LoginCheck::kOk;
}

const char* LoginCheckMessage(LoginCheck check) {
    switch (check) {
        case LoginCheck::kEmptyName:
            return msg::kEnterUserName;
        case LoginCheck::kEmptyPassword:
            return msg::kEnterPassword;
        case LoginCheck::kLoggedInElsewhere:
            return msg::kUserLoggedInElsewhere;
        case LoginCheck::kOk:
            break;
    }
    return "";
}

void ReleaseCurrentUser() {
    std::string_view name = AppState().CurrentUserName();
    if (!name.empty()) CDataAccess().SetLoginState(name, 0);
    ReleaseLoginLock();
}

bool RunLoginWorker(CKavoTcpClient& client, const CLoginForm& form, bool registration,
                    const std::atomic<bool>& cancelled, CLoginDownloads& into) {
    into = CLoginDownloads{};
    client.Close();
    if (!ConnectLoginServer(client) || cancelled) return false;
    if (registration) return client.Register(form.user, form.password, form.email);
    if (!client.Login(form.user, form.password)) return false;

    into.notices = client.LoginNotices();
    // Best effort: a failed download leaves its list as far as it got.
    if (!cancelled) client.ServerStatistics(into.stats);
    if (!cancelled) client.DownloadSms(into.sms);
    if (!cancelled) client.DownloadAccounts(into.accounts);
    if (!cancelled) client.DownloadHistory(into.history);
    return true;
}

bool RunLoginWorker(CKavoTcpClient& client, const CLoginForm& form, bool registration,
                    const std::atomic<bool>& cancelled) {
    CLoginDownloads downloads;
    if (!RunLoginWorker(client, form, registration, cancelled, downloads)) return false;
    if (!registration) TakeDownloads(downloads);
    return true;
}

void ApplyLoginSuccess(const CLoginForm& form, bool registration, CLoginDownloads* downloads) {
    if (registration) {
        CDataAccess().SaveUser(form.user, form.password, form.email, 0);
        return;
    }
    CAppState& state = AppState();
    if (downloads) TakeDownloads(*downloads);
    state.SetCurrentUser(form.user, form.password);
    state.LoginMode = 2;
    // The lock first: a copy that dies from here on leaves a state nobody holds.
    HoldLoginLock(form.user);
    CDataAccess().SaveUser(form.user, form.password, {}, 2);
    CDataAccess().LoadGroups(state.GroupNames);
}

CLoginFailure DescribeLoginFailure(int lastError, const CLoginForm& form, bool registration) {
    CLoginFailure failure;
    failure.message = ResultMessage(lastError);
    if (!registration) {
        CDataAccess store;
        failure.offlineOffered =
            store.UserExists(form.user) && store.GetUserPassword(form.user) == form.password;
    }
    if (failure.offlineOffered) failure.message += msg::kAskOfflineLogin;
    return failure;
}

void ApplyOfflineLogin(const CLoginForm& form) {
    CAppState& state = AppState();
    if (state.CurrentUserName() != form.user) {
        CLoginDownloads nothing;
        TakeDownloads(nothing);
        state.ContactList.clear();
    }
    BecomeCurrentUser(form, 1);
}

}  // namespace kavo
