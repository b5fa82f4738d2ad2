#include "dialogs/login_dlg.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "dialogs/loading_dlg.h"
#include "login_test_support.h"
#include "net/result_codes.h"
#include "net/wire.h"
#include "skin/skin_check_box.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo::test {
namespace {

const QString kDemo = QStringLiteral("demo");
const QString kDemoPassword = QStringLiteral("demo123");

// What the user is told when no login server answers.
QString NoServerText() { return QString::fromStdString(ResultMessage(wire::kResultTransport)); }

class LoginDlgTest : public WindowSessionTest {
protected:
    // Types name and password and presses the log-in button; returns when the progress
    // window has finished.
    static bool PressLogin(CZPLoginDlg& dlg, const QString& name, const QString& password) {
        dlg.UserBox()->setEditText(name);
        dlg.PasswordBox()->setText(password);
        dlg.OnSkinButton(CZPLoginDlg::kCodeLogin);
        return dlg.result() == kIdOk;
    }
};

TEST_F(LoginDlgTest, AnOnlineLoginMarksTheUserLoggedInAndDownloadsTheLists) {
    StartDemoServer();
    CZPLoginDlg dlg;
    dlg.SavePasswordBox()->setChecked(true);
    // Blanks around name and password are not part of them.
    ASSERT_TRUE(PressLogin(dlg, QStringLiteral("  demo "), QStringLiteral(" demo123  ")));

    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    CAppState& state = AppState();
    EXPECT_EQ(state.LoginMode, 2);
    EXPECT_EQ(state.CurrentUserName(), "demo");
    EXPECT_FALSE(state.SmsList.empty());
    EXPECT_FALSE(state.AccountList.empty());
    EXPECT_FALSE(state.HistoryEntries.empty());
    ASSERT_FALSE(state.GroupNames.empty());
    EXPECT_EQ(state.GroupNames[0], "");

    CDataAccess store;
    EXPECT_TRUE(store.IsUserLoggedIn("demo"));
    EXPECT_EQ(store.GetUserPassword("demo"), "demo123");
    // A second running copy no longer lists the user.
    std::vector<CUserData> listed;
    store.LoadUserList(listed);
    EXPECT_TRUE(listed.empty());
    // The check boxes were written at the attempt.
    EXPECT_TRUE(CZPSettings::SavePassword());
    EXPECT_FALSE(CZPSettings::AutoLogin());
}

TEST_F(LoginDlgTest, TheSameUserIsRefusedWhileLoggedInEvenFromThisVeryCopy) {
    StartDemoServer();
    {
        CZPLoginDlg first;
        ASSERT_TRUE(PressLogin(first, kDemo, kDemoPassword));
    }
    CZPLoginDlg again;
    EXPECT_FALSE(PressLogin(again, kDemo, kDemoPassword));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 1);
    const SShownMessage& shown = CZPMessageScript::Shown()[0];
    EXPECT_EQ(shown.text, QString::fromUtf8(msg::kUserLoggedInElsewhere));
    EXPECT_EQ(shown.icon, kMsgIconError);
    // The refusal came before the previous user was released.
    EXPECT_TRUE(CDataAccess().IsUserLoggedIn("demo"));
    EXPECT_EQ(AppState().LoginMode, 2);
}

TEST_F(LoginDlgTest, EmptyNameOrPasswordIsANoticeAndNothingIsSent) {
    CZPLoginDlg dlg;
    EXPECT_FALSE(PressLogin(dlg, QStringLiteral("   "), kDemoPassword));
    EXPECT_FALSE(PressLogin(dlg, kDemo, QStringLiteral("  ")));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 2);
    EXPECT_EQ(CZPMessageScript::Shown()[0].text, QString::fromUtf8(msg::kEnterUserName));
    EXPECT_EQ(CZPMessageScript::Shown()[1].text, QString::fromUtf8(msg::kEnterPassword));
    EXPECT_EQ(CZPMessageScript::Shown()[1].icon, kMsgIconNotice);
    EXPECT_FALSE(ServerClient().IsConnected());
}

TEST_F(LoginDlgTest, EnterInAnyFieldLogsInLikeTheButton) {
    CZPLoginDlg dlg;
    dlg.show();
    QTest::keyClick(dlg.PasswordBox(), Qt::Key_Return);
    QTest::keyClick(dlg.UserBox()->lineEdit(), Qt::Key_Enter);
    QTest::keyClick(dlg.AutoLoginBox(), Qt::Key_Return);
    ASSERT_EQ(CZPMessageScript::Shown().size(), 3);
    for (const SShownMessage& shown : CZPMessageScript::Shown())
        EXPECT_EQ(shown.text, QString::fromUtf8(msg::kEnterUserName));
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(LoginDlgTest, AKnownUserWithTheRightPasswordIsOfferedTheOfflineLogin) {
    CLoopbackPort closed(false);
    AimClient(closed.port(), closed.port());
    CDataAccess().SaveUser("demo", "demo123", {}, 0);

    // Declined first: the login window comes back, nobody is logged in.
    CZPMessageScript::SetNextAnswer(kIdNo);
    CZPLoginDlg dlg;
    dlg.show();
    EXPECT_FALSE(PressLogin(dlg, kDemo, kDemoPassword));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(AppState().LoginMode, 0);

    CZPMessageScript::SetNextAnswer(kIdYes);
    EXPECT_TRUE(PressLogin(dlg, kDemo, kDemoPassword));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 2);
    const SShownMessage& asked = CZPMessageScript::Shown()[1];
    EXPECT_TRUE(asked.text.endsWith(QString::fromUtf8(msg::kAskOfflineLogin)))
        << asked.text.toStdString();
    EXPECT_TRUE(asked.text.startsWith(NoServerText()));
    EXPECT_EQ(asked.icon, kMsgIconQuestion);
    EXPECT_EQ(asked.buttons, kMsgYesNo);

    EXPECT_EQ(AppState().LoginMode, 1);
    EXPECT_EQ(AppState().CurrentUserName(), "demo");
    // An offline login does not claim the user against other copies.
    EXPECT_FALSE(CDataAccess().IsUserLoggedIn("demo"));
}

TEST_F(LoginDlgTest, AWrongPasswordOrAnUnknownUserIsNeverOfferedTheOfflineLogin) {
    CLoopbackPort closed(false);
    AimClient(closed.port(), closed.port());
    CDataAccess().SaveUser("demo", "demo123", {}, 0);

    CZPLoginDlg dlg;
    EXPECT_FALSE(PressLogin(dlg, kDemo, QStringLiteral("Demo123")));
    EXPECT_FALSE(PressLogin(dlg, QStringLiteral("stranger"), kDemoPassword));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 2);
    for (const SShownMessage& shown : CZPMessageScript::Shown()) {
        EXPECT_EQ(shown.text, NoServerText());
        EXPECT_EQ(shown.icon, kMsgIconError);
        EXPECT_EQ(shown.buttons, kMsgOk);
    }
    EXPECT_EQ(AppState().LoginMode, 0);
}

TEST_F(LoginDlgTest, AutomaticLoginHappensAtStartUpOnly) {
    StartDemoServer();
    CDataAccess().SaveUser("demo", "demo123", {}, 0);
    CZPSettings::SetAutoLogin(true);

    CZPLoginDlg atStart;
    EXPECT_TRUE(atStart.AutoLoginBox()->isChecked());
    QTimer::singleShot(30000, &atStart, [&atStart] { atStart.done(kIdCancel); });
    EXPECT_EQ(atStart.exec(), kIdOk);
    EXPECT_EQ(atStart.PasswordBox()->text(), kDemoPassword);
    EXPECT_EQ(AppState().LoginMode, 2);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());

    // Shown again from the main window: the user chooses. Another user is listed first.
    CDataAccess().SaveUser("second", "pw2", {}, 0);
    CZPLoginDlg later;
    later.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(later.WillLogInAutomatically());
    QCoreApplication::processEvents();
    EXPECT_TRUE(later.isVisible());
    EXPECT_EQ(later.UserBox()->currentText(), QStringLiteral("second"));
    EXPECT_EQ(later.PasswordBox()->text(), QStringLiteral("pw2"));
    EXPECT_EQ(AppState().CurrentUserName(), "demo");
}

TEST_F(LoginDlgTest, TheCheckBoxesAndThePickedNameFillThePassword) {
    CDataAccess store;
    store.SaveUser("older", "pw-old", {}, 0);
    store.SaveUser("newer", "pw-new", {}, 0);

    CZPLoginDlg dlg;
    dlg.FillUserList(false);
    ASSERT_GE(dlg.UserBox()->count(), 2);
    EXPECT_TRUE(dlg.PasswordBox()->text().isEmpty());  // nothing remembered by default

    dlg.AutoLoginBox()->setChecked(true);
    EXPECT_TRUE(dlg.SavePasswordBox()->isChecked());
    dlg.AutoLoginBox()->setChecked(false);
    EXPECT_TRUE(dlg.SavePasswordBox()->isChecked());

    const int older = dlg.UserBox()->findText(QStringLiteral("older"));
    ASSERT_GE(older, 0);
    dlg.UserBox()->setCurrentIndex(older);
    emit dlg.UserBox()->activated(older);
    EXPECT_EQ(dlg.PasswordBox()->text(), QStringLiteral("pw-old"));

    dlg.SavePasswordBox()->setChecked(false);
    const int newer = dlg.UserBox()->findText(QStringLiteral("newer"));
    dlg.UserBox()->setCurrentIndex(newer);
    emit dlg.UserBox()->activated(newer);
    EXPECT_EQ(dlg.PasswordBox()->text(), QStringLiteral("pw-old"));  // left alone
}

TEST_F(LoginDlgTest, CancellingAgainstAServerThatNeverAnswersReturnsToTheLoginWindow) {
    CLoopbackPort hung(true);
    AimClient(hung.port(), hung.port());

    CZPLoginDlg dlg;
    dlg.show();
    QElapsedTimer sinceCancel;
    bool progressSeen = false;
    WhenShown<CZPLoadingDlg>([&](CZPLoadingDlg* progress) {
        progressSeen = true;
        EXPECT_FALSE(dlg.isVisible());  // the login window steps aside meanwhile
        sinceCancel.start();
        progress->OnSkinButton(CZPLoadingDlg::kCodeCancel);
    });
    EXPECT_FALSE(PressLogin(dlg, kDemo, kDemoPassword));
    ASSERT_TRUE(progressSeen);
    // Within the ten seconds of the wait: the abort ends the blocked request at once.
    EXPECT_LT(sinceCancel.elapsed(), 12000);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    EXPECT_EQ(AppState().LoginMode, 0);
    EXPECT_FALSE(ServerClient().IsConnected());
}

TEST_F(LoginDlgTest, TheCloseBoxEndsTheWindowWithCancel) {
    CZPLoginDlg dlg;
    QTimer::singleShot(0, &dlg, [&dlg] { dlg.OnSkinButton(CZPLoginDlg::kCodeClose); });
    EXPECT_EQ(dlg.exec(), kIdCancel);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8(msg::kCaption));
}

}  // namespace
}  // namespace kavo::test
