#include "app/zp_skin_lib_app.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <thread>

#include "dialogs/app_settings.h"
#include "app/main_dlg.h"
#include "dialogs/login_dlg.h"
#include "dialogs/message_box.h"
#include "server_runner.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "workflows/session.h"

namespace {

// The application with the login and main windows replaced by scripted stand-ins.
class CScriptedApp : public CZpSkinLibApp {
public:
    using CZpSkinLibApp::CZpSkinLibApp;

    std::function<int()> login;
    bool mainWindowShown = false;
    QStringList steps;

protected:
    void StartStore() override {
        steps << QStringLiteral("store");
        CZpSkinLibApp::StartStore();
    }
    int RunLoginWindow() override {
        steps << QStringLiteral("login");
        return login ? login() : CZpSkinLibApp::RunLoginWindow();
    }
    void RunMainWindow() override {
        steps << QStringLiteral("main");
        mainWindowShown = true;
        if (realMainWindow) {
            CZpSkinLibApp::RunMainWindow();
        } else {
            kavo::CloseConnection();
        }
    }

public:
    bool realMainWindow = false;
};

// Calls fn with the first visible top-level window of type W, once it is up.
template <typename W>
void WhenShown(std::function<void(W*)> fn) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, fn] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<W*>(w);
            if (window && window->isVisible()) {
                timer->stop();
                timer->deleteLater();
                fn(window);
                return;
            }
        }
    });
    timer->start();
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        kavo::SetProgramDir((dir_.path() + QLatin1Char('/')).toStdString());
        CZPSettings::SetLocation(dir_.path());
        kavo::AppState().Reset();
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
    }
    void TearDown() override {
        kavo::CloseConnection();
        kavo::AppState().Reset();
        kavo::SetProgramDir({});
        CZPSettings::SetLocation({});
        CZPMessageScript::Reset();
    }

    // What a successful online login leaves behind.
    static int LogInOnline() {
        kavo::AppState().LoginMode = 2;
        kavo::AppState().SetCurrentUser("alice", "pw1");
        kavo::CDataAccess().SaveUser("alice", "pw1", {}, 2);
        return kIdOk;
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(AppTest, StartsTheStoreBeforeTheLoginAndEndsWithoutAMainWindowWhenNobodyLogsIn) {
    CScriptedApp program(*qApp);
    // The real login window, closed by its close box as soon as it is up.
    bool loginShown = false;
    WhenShown<CZPLoginDlg>([&loginShown](CZPLoginDlg* login) {
        loginShown = true;
        login->OnSkinButton(CZPLoginDlg::kCodeClose);
    });
    EXPECT_EQ(program.Run(), 0);
    EXPECT_TRUE(loginShown);
    EXPECT_EQ(program.steps, (QStringList{QStringLiteral("store"), QStringLiteral("login")}));
    EXPECT_FALSE(program.mainWindowShown);
    EXPECT_EQ(QCoreApplication::organizationName(), QStringLiteral("Norvane"));
    EXPECT_TRUE(QFile::exists(dir_.filePath(QStringLiteral("KAVO.kavo"))));
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
}

TEST_F(AppTest, AfterALoginTheMainWindowRunsAndItsEndReleasesTheUser) {
    CScriptedApp program(*qApp);
    program.realMainWindow = true;
    program.login = [] { return LogInOnline(); };
    bool mainShown = false;
    QString caption;
    WhenShown<CZPMainDlg>([&](CZPMainDlg* main) {
        mainShown = true;
        caption = main->windowTitle();
        main->reject();
    });
    EXPECT_EQ(program.Run(), 0);
    EXPECT_TRUE(mainShown);
    EXPECT_EQ(caption, QStringLiteral("Tavrin-手机管家"));
    EXPECT_FALSE(kavo::CDataAccess().IsUserLoggedIn("alice"));
}

TEST_F(AppTest, ALoginThatClosesWithoutLoggingInEndsLikeACancel) {
    CScriptedApp program(*qApp);
    program.login = [] { return kIdOk; };  // OK, but LoginMode stayed 0
    program.Run();
    EXPECT_FALSE(program.mainWindowShown);
}

TEST_F(AppTest, ACancelledLoginNeitherShowsTheMainWindowNorWritesLoginState) {
    CScriptedApp program(*qApp);
    program.login = [] {
        kavo::CDataAccess().SaveUser("bob", "pw", {}, 2);  // logged in by another copy
        return kIdCancel;
    };
    program.Run();
    EXPECT_FALSE(program.mainWindowShown);
    EXPECT_TRUE(kavo::CDataAccess().IsUserLoggedIn("bob"));
}

TEST_F(AppTest, EndingAfterAnOnlineLoginWritesLoginStateZero) {
    CScriptedApp program(*qApp);
    program.login = [] { return LogInOnline(); };
    program.Run();
    EXPECT_TRUE(program.mainWindowShown);
    kavo::CDataAccess access;
    EXPECT_FALSE(access.IsUserLoggedIn("alice"));
    EXPECT_TRUE(access.UserExists("alice"));
    EXPECT_EQ(access.GetUserPassword("alice"), "pw1");
}

TEST_F(AppTest, TheServerListIsReadFromTheProgramDirectory) {
    QFile cfg(dir_.filePath(QStringLiteral("KAVO.cfg")));
    ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
    cfg.write("<KAVO><IP SvrIP0=\"127.0.0.1\" SvrIP1=\"\" SvrIP2=\"\"/></KAVO>");
    cfg.close();
    EXPECT_EQ(CZpSkinLibApp::ConfigPath(), dir_.filePath(QStringLiteral("KAVO.cfg")));

    CScriptedApp program(*qApp);
    program.login = [] { return kIdCancel; };
    program.Run();
    EXPECT_EQ(program.Client().ServerHost(0), "127.0.0.1");
    // The program has one client: every window uses the one the start-up configured.
    EXPECT_EQ(&program.Client(), &kavo::ServerClient());
    EXPECT_EQ(program.Client().ServerHost(1), "");
}

// The whole start-up against the real service: the server list from KAVO.cfg, the automatic
// login of the most recent user, the main window, and the release of the user at the end.
TEST_F(AppTest, StartingWithAutomaticLoginReachesTheMainWindowThroughTheRealServer) {
    kavo::test::ServerRunner server;
    ASSERT_TRUE(server.Start({"--seed-demo"})) << server.error();
    QFile cfg(dir_.filePath(QStringLiteral("KAVO.cfg")));
    ASSERT_TRUE(cfg.open(QIODevice::WriteOnly));
    cfg.write("<KAVO><IP SvrIP0=\"127.0.0.1\" SvrIP1=\"\" SvrIP2=\"\"/></KAVO>");
    cfg.close();
    kavo::ServerClient().SetPorts(server.loginPort(), server.servicePort());
    ASSERT_TRUE(kavo::StartLocalStore());
    kavo::CDataAccess().SaveUser("demo", "demo123", {}, 0);
    CZPSettings::SetAutoLogin(true);

    CScriptedApp program(*qApp);
    program.realMainWindow = true;
    bool online = false;
    WhenShown<CZPMainDlg>([&online](CZPMainDlg* main) {
        online = kavo::AppState().LoginMode == 2 && kavo::CDataAccess().IsUserLoggedIn("demo") &&
                 !kavo::AppState().SmsList.empty();
        main->reject();
    });
    EXPECT_EQ(program.Run(), 0);
    EXPECT_TRUE(program.mainWindowShown);
    EXPECT_TRUE(online);
    EXPECT_FALSE(kavo::CDataAccess().IsUserLoggedIn("demo"));
    // Nothing went wrong on the way (the main window may offer its download).
    for (const SShownMessage& shown : CZPMessageScript::Shown())
        EXPECT_NE(shown.icon, kMsgIconError) << shown.text.toStdString();
    kavo::ServerClient().Close();
    kavo::ServerClient().SetPorts(1974, 1980);
}

// The contact download's message reaches the user even though a worker meets the failure:
// the worker hands it over and goes on, the box opens on the interface thread.
TEST_F(AppTest, AConnectionMessageFromAWorkerIsShownOnTheInterfaceThread) {
    QThread* shownOn = nullptr;
    CZPMessageScript::SetResponder([&shownOn](const SShownMessage&) {
        shownOn = QThread::currentThread();
        return kIdOk;
    });
    std::thread worker(
        [] { CZpSkinLibApp::ShowConnectionMessage("4-0-104接收联系人内容应答失败"); });
    worker.join();
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    for (int i = 0; i < 100 && CZPMessageScript::Shown().isEmpty(); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(CZPMessageScript::Shown().size(), 1);
    EXPECT_EQ(CZPMessageScript::Shown()[0].text, QStringLiteral("4-0-104接收联系人内容应答失败"));
    EXPECT_EQ(CZPMessageScript::Shown()[0].icon, kMsgIconError);
    EXPECT_EQ(shownOn, qApp->thread());
}
