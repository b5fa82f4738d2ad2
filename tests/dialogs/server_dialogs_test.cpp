// Personal information, statistics, history and about against the real kavo-server.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>
#include <csignal>
#include <memory>

#include "command_dialogs_support.h"
#include "dialogs/about_dlg.h"
#include "dialogs/history_dlg.h"
#include "dialogs/personal_info_dlg.h"
#include "dialogs/statistics_dlg.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "store/data_access.h"
#include "workflows/login_flow.h"
#include "workflows/messages.h"

using namespace kavo;

namespace {

class ServerDialogsTest : public test::CommandDialogTest {
protected:
    void LogInDemo() {
        StartServer();
        ASSERT_TRUE(LogIn("demo", "demo123"));
    }
    void BreakConnection() {
        server().Stop();
        client().Abort();
    }
};

TEST_F(ServerDialogsTest, PersonalInfoShowsStatusThenChangesThePassword) {
    LogInDemo();
    CZPPersonalInfoDlg dlg(client(), nullptr);
    dlg.show();
    EXPECT_FALSE(dlg.ChangeButton()->isEnabled());  // the worker has the connection
    ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
    EXPECT_TRUE(dlg.ChangeButton()->isEnabled());
    EXPECT_FALSE(dlg.FeeType().isEmpty());
    EXPECT_FALSE(dlg.Balance().isEmpty());
    EXPECT_TRUE(dlg.isVisible());

    // The refused signs never reach the field, typed or pasted.
    QTest::keyClicks(dlg.NewPassword(), QStringLiteral("ab'c?d!"));
    EXPECT_EQ(dlg.NewPassword()->text(), QStringLiteral("abcd"));
    dlg.NewPassword()->clear();

    // A wrong old password fails without a request.
    dlg.OldPassword()->setText("nope");
    dlg.NewPassword()->setText("fresh1");
    dlg.ConfirmPassword()->setText("fresh1");
    dlg.OnSkinButton(CZPPersonalInfoDlg::kCodeChangePassword);
    EXPECT_EQ(LastText(), msg::kPasswordChangeFailed);

    dlg.OldPassword()->setText("demo123");
    dlg.OnSkinButton(CZPPersonalInfoDlg::kCodeChangePassword);
    EXPECT_EQ(LastText(), msg::kPasswordChanged);
    EXPECT_TRUE(dlg.isVisible());
    dlg.OnSkinButton(CZPPersonalInfoDlg::kCodeClose);
    EXPECT_FALSE(dlg.isVisible());

    // The new password opens the offline login once the server is gone.
    BreakConnection();
    CLoginForm form{"demo", "fresh1", {}};
    EXPECT_TRUE(DescribeLoginFailure(26, form, false).offlineOffered);
    ApplyOfflineLogin(form);
    EXPECT_EQ(AppState().LoginMode.load(), 1);
}

TEST_F(ServerDialogsTest, PersonalInfoClosesWithTheErrorWhenTheStatusCannotBeFetched) {
    LogInDemo();
    BreakConnection();
    CZPPersonalInfoDlg dlg(client(), nullptr);
    dlg.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), kIdCancel);
    EXPECT_FALSE(dlg.FailureMessage().isEmpty());
    EXPECT_EQ(LastText(), dlg.FailureMessage());
}

TEST_F(ServerDialogsTest, StatisticsFillsItsFieldsAndLeavesTheHistoryAlone) {
    LogInDemo();
    AppState().HistoryEntries.clear();
    CZPStatisticsDlg dlg(client(), nullptr);
    dlg.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.CountField(0)->text(), QStringLiteral("0"));
    EXPECT_FALSE(dlg.TimeField(0)->text().isEmpty());
    EXPECT_TRUE(AppState().HistoryEntries.empty());
    // Esc closes it once the worker has ended.
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(ServerDialogsTest, WhileLoadingEscAndTheCloseBoxDoNothing) {
    LogInDemo();
    // The server stops answering until it is continued: the worker waits meanwhile.
    ASSERT_EQ(::kill(server().pid(), SIGSTOP), 0);
    CZPStatisticsDlg dlg(client(), nullptr);
    dlg.show();
    ASSERT_TRUE(dlg.IsBusy());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    dlg.OnSkinButton(CZPFetchDlg::kCodeClose);
    dlg.close();
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(::kill(server().pid(), SIGCONT), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
    EXPECT_TRUE(dlg.isVisible());
    dlg.OnSkinButton(CZPFetchDlg::kCodeClose);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(ServerDialogsTest, AWindowDestroyedWhileFetchingStopsItsWorkerFirst) {
    LogInDemo();
    ASSERT_EQ(::kill(server().pid(), SIGSTOP), 0);
    {
        auto stats = std::make_unique<CZPStatisticsDlg>(client(), nullptr);
        auto history = std::make_unique<CZPHistoryDlg>(client(), nullptr);
        stats->show();
        ASSERT_TRUE(stats->IsBusy());
        // Gone while the request hangs: the worker must not call into a half-destroyed window.
        stats.reset();
        history->show();
        history.reset();
    }
    ASSERT_EQ(::kill(server().pid(), SIGCONT), 0);
}

TEST_F(ServerDialogsTest, HistoryGreetsAndListsOrClosesOnFailure) {
    LogInDemo();
    {
        CZPHistoryDlg dlg(client(), nullptr);
        dlg.show();
        EXPECT_EQ(dlg.Greeting(), msg::kWelcomeShort);
        ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
        ASSERT_FALSE(AppState().HistoryEntries.empty());
        EXPECT_TRUE(dlg.Greeting().startsWith(QStringLiteral("demo 欢迎您!您最后更新的日期:")));
        EXPECT_GT(dlg.VisibleRows(), 0);
        dlg.grab();  // paints every row without complaint
    }
    BreakConnection();
    CZPHistoryDlg dlg(client(), nullptr);
    dlg.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !dlg.IsBusy(); }));
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_TRUE(AppState().HistoryEntries.empty());
    EXPECT_EQ(LastText(), dlg.FailureMessage());
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconError);
}

TEST(AboutTest, ShowsBothVersionsAndClosesWithOk) {
    CZPAbout about;
    const QString all = about.Lines().join('\n');
    EXPECT_TRUE(all.contains(QStringLiteral("v20091208")));
    EXPECT_TRUE(all.contains(QStringLiteral("v1.0")));
    EXPECT_EQ(about.Lines().size(), 4);
    about.show();
    about.OnSkinButton(CZPAbout::kCodeOk);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
