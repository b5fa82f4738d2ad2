// Logging in and registering: the checks of the login window, the worker's exchange with
// the server, and what success, failure and the offline login change in the process-wide
// state. The windows and kavoctl run these same steps.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "net/kavo_tcp_client.h"

namespace kavo {

// What the user typed, as GBK bytes. The e-mail (or mobile number) only for a registration.
struct CLoginForm {
    std::string user;
    std::string password;
    std::string email;
};

enum class LoginCheck {
    kOk,
    kEmptyName,          // "请输入用户名"
    kEmptyPassword,      // "请输入密码"
    kLoggedInElsewhere,  // "当前用户名已在系统其它进程中被登录使用"
};

// Removes the blanks around name and password and checks them in the login window's order:
// name, password, then whether another running copy has the user logged in.
LoginCheck CheckLoginForm(CLoginForm& form);
// The message of a refused check (UTF-8); empty for kOk.
const char* LoginCheckMessage(LoginCheck check);

// Before a new login from a running session: the previous user is no longer logged in.
void ReleaseCurrentUser();

// What a login downloads: held by the worker until the user-interface thread takes it, so
// that no list a window is showing is written from another thread, and a login that fails
// or is cancelled leaves the lists of the current user as they were.
struct CLoginDownloads {
    std::vector<CMsgData> notices;
    CStatisticsData stats{};
    std::vector<CSmsData> sms;
    std::vector<CAccountData> accounts;
    std::vector<CHistoryData> history;
};

// The worker of the progress window. Register, or Login followed by the best-effort
// downloads (statistics, SMS, accounts, history) into `into`, each only while not
// cancelled. Returns the outcome; the reason of a failure stays in the client's last error
// code. ApplyLoginSuccess then takes `into` on the user-interface thread.
bool RunLoginWorker(CKavoTcpClient& client, const CLoginForm& form, bool registration,
                    const std::atomic<bool>& cancelled, CLoginDownloads& into);
// The same for callers on one thread (kavoctl, tests): a successful login's downloads go
// straight into the process-wide state.
bool RunLoginWorker(CKavoTcpClient& client, const CLoginForm& form, bool registration,
                    const std::atomic<bool>& cancelled);

// Success, on the user-interface thread: a registration saves the user with LoginState 0;
// a login makes the user current and online, saves it with LoginState 2, loads its groups
// and, when given, puts what the worker downloaded in place of the previous user's lists.
void ApplyLoginSuccess(const CLoginForm& form, bool registration,
                       CLoginDownloads* downloads = nullptr);

// Failure: the message of the client's last error code, and whether an offline login is
// offered (login mode, a known user, the stored password equal to the typed one). When it
// is, the message already ends in "是否离线登录?" and is a question.
struct CLoginFailure {
    std::string message;  // UTF-8
    bool offlineOffered = false;
};
CLoginFailure DescribeLoginFailure(int lastError, const CLoginForm& form, bool registration);

// The accepted offline login: current user, offline mode, its groups. LoginState is not
// written. Logging in offline as another user than the current one clears what the server
// sent for the previous user (SMS, game accounts with their passwords, history, statistics,
// notices): nobody is shown another user's data.
void ApplyOfflineLogin(const CLoginForm& form);

}  // namespace kavo
