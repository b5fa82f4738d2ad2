#include "app/zp_skin_lib_app.h"

#include <QApplication>
#include <QCoreApplication>
#include <QThread>
#include <cstdio>

#include "app/main_dlg.h"
#include "dialogs/app_settings.h"
// Defined by the build once the command layer is part of the application library.
#ifdef KAVO_HAS_MAIN_COMMANDS
#include "app/main_commands.h"
#endif
#include "dialogs/login_dlg.h"
#include "dialogs/message_box.h"
#include "skin/skin_theme.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"
#include "workflows/messages.h"
#include "workflows/session.h"

CZpSkinLibApp::CZpSkinLibApp(QApplication& app) : m_app(app) {}

CZpSkinLibApp::~CZpSkinLibApp() = default;

kavo::CKavoTcpClient& CZpSkinLibApp::Client() { return kavo::ServerClient(); }

QString CZpSkinLibApp::ConfigPath() { return QString::fromStdString(kavo::GetConfigPath()); }

int CZpSkinLibApp::Run() {
    SetRegistryKey();
    InstallMenuLook();
    BuildMainWindowObject();
    StartStore();

    const int login = RunLoginWindow();
    // A login window that closes without a login, cancelled or not, ends the program.
    if (login != kIdCancel && kavo::AppState().LoginMode != 0) RunMainWindow();

    TearDown();
    return 0;
}

void CZpSkinLibApp::SetRegistryKey() {
    QCoreApplication::setOrganizationName(QString::fromLatin1(CZPSettings::kCompany));
    QCoreApplication::setApplicationName(CZPSettings::ProgramName());
}

void CZpSkinLibApp::InstallMenuLook() { CSkinTheme::InstallMenuLook(m_app); }

void CZpSkinLibApp::BuildMainWindowObject() {
    // A missing or unreadable file keeps the built-in server list.
    Client().LoadServerList(ConfigPath().toStdString());
    Client().SetMessageHook(&CZpSkinLibApp::ShowConnectionMessage);
}

void CZpSkinLibApp::ShowConnectionMessage(const std::string& text) {
    const QString message = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    auto show = [message] {
        QWidget* owner = QApplication::activeModalWidget();
        if (!owner) owner = QApplication::activeWindow();
        ZPMessageBox(owner, message, kMsgIconError, kMsgOk);
    };
    if (QThread::currentThread() == qApp->thread()) {
        show();
    } else {
        QMetaObject::invokeMethod(qApp, show, Qt::QueuedConnection);
    }
}

void CZpSkinLibApp::StartStore() {
    // A store that cannot be opened is not reported here: every operation on it then fails
    // and the window that asked reports that in its own words.
    kavo::StartLocalStore();
    const std::string notice = kavo::TakePrivacyNotice();
    if (!notice.empty()) std::fprintf(stderr, "kavo: %s\n", notice.c_str());
    if (!kavo::LocalStoreDamaged()) return;
    // A damaged file is never uploaded from. Moved aside, it makes room for an empty one
    // that the contacts view, finding it empty after the login, offers to restore.
    const std::string ask =
        kavo::msg::FillIn(kavo::msg::kDatabaseDamaged, kavo::LocalStoreDamage()) + '\n' +
        kavo::msg::kAskRestoreDamaged;
    if (ZPMessageBox(nullptr, QString::fromStdString(ask), kMsgIconQuestion, kMsgYesNo) != kIdYes)
        return;
    const std::string aside = kavo::SetDamagedDatabaseAside();
    if (aside.empty()) {
        ZPMessageBox(nullptr, QString::fromUtf8(kavo::msg::kDamagedNotMoved), kMsgIconError,
                     kMsgOk);
        return;
    }
    kavo::StartLocalStore();
    ZPMessageBox(nullptr,
                 QString::fromStdString(kavo::msg::FillIn(kavo::msg::kDamagedSetAside, aside)),
                 kMsgIconNotice, kMsgOk);
}

int CZpSkinLibApp::RunLoginWindow() {
    CZPLoginDlg login;
    return login.exec();
}

void CZpSkinLibApp::RunMainWindow() {
    {
        CZPMainDlg main;
#ifdef KAVO_HAS_MAIN_COMMANDS
        // The toolbar, its menus and the notification-area icon; owned by the window.
        auto* commands = new CZPMainCommands(&main);
        commands->Install();
#endif
        main.Run();
    }
    kavo::CloseConnection();
}

void CZpSkinLibApp::TearDown() {
    Client().SetMessageHook({});
    kavo::EndSession();
    Client().Close();
    kavo::CloseConnection();
}
