// Logging in and out against the real kavo-server, as the login window and kavoctl do.
#include "workflows/login_flow.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"
#include "workflows/session.h"

using namespace kavo;
using kavo::test::SessionTest;

class LoginFlowTest : public SessionTest {};

TEST_F(LoginFlowTest, OnlineLoginMarksTheUserAndDownloadsItsLists) {
    StartServer();
    ASSERT_TRUE(LogIn("  demo ", "demo123 "));
    CAppState& state = AppState();
    EXPECT_EQ(state.LoginMode, 2);
    EXPECT_EQ(state.CurrentUserName(), "demo");
    EXPECT_TRUE(CDataAccess().IsUserLoggedIn("demo"));
    EXPECT_FALSE(state.SmsList.empty());
    EXPECT_FALSE(state.AccountList.empty());
    EXPECT_FALSE(state.HistoryEntries.empty());
    EXPECT_GT(state.ServerStats.Contacts.Count, 0u);

    // The same user cannot log in a second time while logged in.
    CLoginForm again{"demo", "demo123", {}};
    EXPECT_EQ(CheckLoginForm(again), LoginCheck::kLoggedInElsewhere);

    EndSession();
    EXPECT_FALSE(CDataAccess().IsUserLoggedIn("demo"));
    EXPECT_EQ(CDataAccess().GetUserPassword("demo"), "demo123");
}

TEST_F(LoginFlowTest, EmptyFieldsAreRefusedInOrder) {
    CLoginForm form{"   ", "", {}};
    EXPECT_EQ(CheckLoginForm(form), LoginCheck::kEmptyName);
    EXPECT_STREQ(LoginCheckMessage(LoginCheck::kEmptyName), msg::kEnterUserName);
    form = {"bob", "  ", {}};
    EXPECT_EQ(CheckLoginForm(form), LoginCheck::kEmptyPassword);
}

TEST_F(LoginFlowTest, ServerDownOffersOfflineOnlyWithTheStoredPassword) {
    StartServer();
    ASSERT_TRUE(LogIn("demo", "demo123"));
    EndSession();
    AppState().Reset();
    server().Stop();

    CLoginForm right{"demo", "demo123", {}};
    ASSERT_EQ(CheckLoginForm(right), LoginCheck::kOk);
    std::atomic<bool> cancelled{false};
    ASSERT_FALSE(RunLoginWorker(client(), right, false, cancelled));
    CLoginFailure failure = DescribeLoginFailure(client().LastError(), right, false);
    EXPECT_TRUE(failure.offlineOffered);
    EXPECT_EQ(failure.message, "(1A)无法连接远程服务器是否离线登录?");

    CLoginForm wrong{"demo", "Demo123", {}};
    EXPECT_FALSE(DescribeLoginFailure(26, wrong, false).offlineOffered);
    CLoginForm stranger{"nobody", "demo123", {}};
    EXPECT_FALSE(DescribeLoginFailure(26, stranger, false).offlineOffered);
    EXPECT_FALSE(DescribeLoginFailure(26, right, true).offlineOffered);

    ApplyOfflineLogin(right);
    EXPECT_EQ(AppState().LoginMode, 1);
    EXPECT_FALSE(CDataAccess().IsUserLoggedIn("demo"));
}

TEST_F(LoginFlowTest, WrongPasswordShowsTheServersMessage) {
    StartServer();
    CLoginForm form{"demo", "nope", {}};
    std::atomic<bool> cancelled{false};
    EXPECT_FALSE(RunLoginWorker(client(), form, false, cancelled));
    CLoginFailure failure = DescribeLoginFailure(client().LastError(), form, false);
    EXPECT_FALSE(failure.offlineOffered);
    EXPECT_NE(failure.message.find("密码错误"), std::string::npos) << failure.message;
}

TEST_F(LoginFlowTest, RegisteredUserIsRememberedAndCanLogIn) {
    StartServer(false);
    std::string name = Utf8ToGbk("新用户");
    ASSERT_TRUE(Register(name, "pw1"));
    EXPECT_TRUE(CDataAccess().UserExists(name));
    EXPECT_FALSE(Register(name, "pw2"));
    EXPECT_EQ(client().LastError(), 2);
    ASSERT_TRUE(LogIn(name, "pw1"));
    EXPECT_EQ(AppState().GroupNames.size(), 1u);
}

TEST_F(LoginFlowTest, ReconnectTurnsAnOfflineLoginOnline) {
    StartServer();
    ASSERT_TRUE(LogIn("demo", "demo123"));
    client().Close();
    AppState().LoginMode = 1;
    EXPECT_TRUE(Reconnect(client()));
    EXPECT_EQ(AppState().LoginMode, 2);
    EXPECT_TRUE(RefreshServerStats(client()));

    server().Stop();
    client().Close();
    AppState().LoginMode = 1;
    EXPECT_FALSE(Reconnect(client()));
    EXPECT_EQ(AppState().LoginMode, 1);
}

TEST_F(LoginFlowTest, CancelledLoginSkipsTheDownloads) {
    StartServer();
    CLoginForm form{"demo", "demo123", {}};
    std::atomic<bool> cancelled{true};
    // Cancelled before the connection: the worker gives up without logging in.
    EXPECT_FALSE(RunLoginWorker(client(), form, false, cancelled));
    EXPECT_TRUE(AppState().SmsList.empty());
}

// The progress window's worker keeps what it downloads to itself: the lists the windows
// show change only when the login has succeeded, on the thread that takes them.
TEST_F(LoginFlowTest, TheWorkerLeavesTheSharedListsAloneUntilTheLoginIsTaken) {
    StartServer();
    ASSERT_TRUE(LogIn("demo", "demo123"));
    CAppState& state = AppState();
    ASSERT_TRUE(CDataAccess().AddGroup("friends"));
    CDataAccess().LoadGroups(state.GroupNames);
    const std::vector<std::string> groups = state.GroupNames;
    const std::size_t sms = state.SmsList.size();
    ASSERT_GT(groups.size(), 1u);

    // Another login that fails (wrong password), and one that succeeds but is not taken
    // (cancelled from the main window): the current user's lists stand.
    std::atomic<bool> cancelled{false};
    CLoginDownloads downloads;
    CLoginForm wrong{"demo", "nope", {}};
    EXPECT_FALSE(RunLoginWorker(client(), wrong, false, cancelled, downloads));
    CLoginForm right{"demo", "demo123", {}};
    ASSERT_TRUE(RunLoginWorker(client(), right, false, cancelled, downloads));
    EXPECT_EQ(downloads.sms.size(), sms);
    EXPECT_FALSE(downloads.accounts.empty());
    EXPECT_EQ(state.GroupNames, groups);
    EXPECT_EQ(state.SmsList.size(), sms);

    // Taken: the lists are replaced, not appended to, and the groups are loaded once.
    ApplyLoginSuccess(right, false, &downloads);
    EXPECT_EQ(state.SmsList.size(), sms);
    EXPECT_EQ(state.GroupNames, groups);
}

TEST_F(LoginFlowTest, AnOfflineLoginAsAnotherUserShowsNoneOfThePreviousUsersData) {
    StartServer();
    ASSERT_TRUE(Register("offline2", "pw2"));
    ASSERT_TRUE(LogIn("offline2", "pw2"));
    EndSession();
    ASSERT_TRUE(LogIn("demo", "demo123"));
    CAppState& state = AppState();
    ASSERT_FALSE(state.SmsList.empty());
    ASSERT_FALSE(state.AccountList.empty());
    ASSERT_FALSE(state.HistoryEntries.empty());
    ASSERT_GT(state.ServerStats.Sms.Count, 0u);
    server().Stop();

    // The same user offline keeps what the server sent earlier in this run.
    CLoginForm same{"demo", "demo123", {}};
    ApplyOfflineLogin(same);
    EXPECT_FALSE(state.SmsList.empty());

    CLoginForm other{"offline2", "pw2", {}};
    ApplyOfflineLogin(other);
    EXPECT_EQ(state.CurrentUserName(), "offline2");
    EXPECT_EQ(state.LoginMode, 1);
    EXPECT_TRUE(state.SmsList.empty());
    EXPECT_TRUE(state.AccountList.empty());
    EXPECT_TRUE(state.HistoryEntries.empty());
    EXPECT_TRUE(state.NoticeList.empty());
    EXPECT_EQ(state.ServerStats.Sms.Count, 0u);
    EXPECT_EQ(state.ServerStats.Accounts.Count, 0u);
}
