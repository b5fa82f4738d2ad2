#include "dialogs/registe_dlg.h"

#include <gtest/gtest.h>

#include <QTest>

#include "dialogs/loading_dlg.h"
#include "dialogs/login_dlg.h"
#include "login_test_support.h"
#include "net/result_codes.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "store/data_access.h"

namespace kavo::test {
namespace {

class RegisteDlgTest : public WindowSessionTest {
protected:
    static void Fill(CZPRegisteDlg& dlg, const QString& user, const QString& password,
                     const QString& confirm, const QString& contact) {
        dlg.UserEdit()->setText(user);
        dlg.PasswordEdit()->setText(password);
        dlg.ConfirmEdit()->setText(confirm);
        dlg.ContactEdit()->setText(contact);
    }
};

TEST_F(RegisteDlgTest, TheFieldsAreCheckedInOrderBeforeAnythingIsSent) {
    CZPRegisteDlg dlg;
    const QString pw = QStringLiteral("secret");
    Fill(dlg, {}, {}, {}, {});
    EXPECT_FALSE(dlg.Register());
    Fill(dlg, QStringLiteral("newbie"), {}, pw, {});
    EXPECT_FALSE(dlg.Register());
    Fill(dlg, QStringLiteral("newbie"), pw, {}, {});
    EXPECT_FALSE(dlg.Register());
    // Compared as typed: a trailing blank makes them differ.
    Fill(dlg, QStringLiteral("newbie"), pw, pw + QLatin1Char(' '), {});
    EXPECT_FALSE(dlg.Register());

    const QStringList expected = {
        QStringLiteral("请输入注册用户名"), QStringLiteral("请输入注册密码"),
        QStringLiteral("请再次输入密码"), QStringLiteral("两次输入的密码不一致，请重新输入！")};
    ASSERT_EQ(CZPMessageScript::Shown().size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(CZPMessageScript::Shown()[i].text, expected[i]);
        EXPECT_EQ(CZPMessageScript::Shown()[i].icon, kMsgIconError);
    }
    EXPECT_FALSE(ServerClient().IsConnected());

    // Enter in a field registers like the button.
    dlg.show();
    QTest::keyClick(dlg.ContactEdit(), Qt::Key_Return);
    EXPECT_EQ(CZPMessageScript::Shown().size(), expected.size() + 1);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, expected.last());
}

TEST_F(RegisteDlgTest, ARegisteredUserIsListedButNotLoggedIn) {
    StartDemoServer();
    CZPRegisteDlg dlg;
    // An empty contact is sent as an empty e-mail.
    Fill(dlg, QStringLiteral("新用户"), QStringLiteral("pw 1"), QStringLiteral("pw 1"), {});
    EXPECT_TRUE(dlg.Register());
    EXPECT_EQ(dlg.result(), kIdOk);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());

    CDataAccess store;
    const std::string name = Utf8ToGbk("新用户");
    EXPECT_TRUE(store.UserExists(name));
    EXPECT_EQ(store.GetUserPassword(name), "pw 1");
    EXPECT_FALSE(store.IsUserLoggedIn(name));
    EXPECT_EQ(AppState().LoginMode, 0);
    // The service knows the user now.
    EXPECT_TRUE(LogIn(name, "pw 1"));
}

TEST_F(RegisteDlgTest, ARefusedRegistrationTellsWhyAndKeepsTheFields) {
    StartDemoServer();
    CZPRegisteDlg dlg;
    dlg.show();
    Fill(dlg, QStringLiteral("demo"), QStringLiteral("x"), QStringLiteral("x"),
         QStringLiteral("13800000009"));
    EXPECT_FALSE(dlg.Register());
    ASSERT_EQ(CZPMessageScript::Shown().size(), 1);
    const SShownMessage& shown = CZPMessageScript::Shown()[0];
    EXPECT_EQ(shown.icon, kMsgIconError);
    EXPECT_FALSE(shown.text.isEmpty());
    EXPECT_NE(shown.text, QString::fromStdString(ResultMessage(0)));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.ContactEdit()->text(), QStringLiteral("13800000009"));
    EXPECT_EQ(dlg.PasswordEdit()->text(), QStringLiteral("x"));
    EXPECT_FALSE(CDataAccess().IsUserLoggedIn("demo"));
}

TEST_F(RegisteDlgTest, RegisteringAtStartUpWithAutomaticLoginLogsTheNewUserIn) {
    StartDemoServer();
    CZPSettings::SetAutoLogin(true);
    CZPLoginDlg login;
    login.show();  // nobody known yet: nothing to log in automatically
    ASSERT_EQ(login.UserBox()->count(), 0);

    WhenShown<CZPRegisteDlg>([](CZPRegisteDlg* registration) {
        registration->UserEdit()->setText(QStringLiteral("fresh"));
        registration->PasswordEdit()->setText(QStringLiteral("pw9"));
        registration->ConfirmEdit()->setText(QStringLiteral("pw9"));
        registration->OnSkinButton(CZPRegisteDlg::kCodeRegister);
    });
    QTimer::singleShot(30000, &login, [&login] { login.done(kIdCancel); });
    login.OnSkinButton(CZPLoginDlg::kCodeRegister);
    // The refill puts the new user first and logs in as that user at once.
    ASSERT_TRUE(QTest::qWaitFor([&login] { return login.result() == kIdOk; }, 30000));
    EXPECT_EQ(login.UserBox()->itemText(0), QStringLiteral("fresh"));
    EXPECT_EQ(AppState().CurrentUserName(), "fresh");
    EXPECT_EQ(AppState().LoginMode, 2);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
}

}  // namespace
}  // namespace kavo::test
