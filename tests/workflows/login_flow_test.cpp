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
