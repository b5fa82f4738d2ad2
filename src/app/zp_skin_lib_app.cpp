#include "app/zp_skin_lib_app.h"

#include <QApplication>
#include <QCoreApplication>

#include "app/app_settings.h"
#include "dialogs/message_box.h"
#include "skin/skin_theme.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"

CZpSkinLibApp::CZpSkinLibApp(QApplication& app) : m_app(app) {}

CZpSkinLibApp::~CZpSkinLibApp() = default;

QString CZpSkinLibApp::ConfigPath() {
    return QString::fromStdString(kavo::GetProgramDir()) + QStringLiteral("KAVO.cfg");
}

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
    m_client.LoadServerList(ConfigPath().toStdString());
}

void CZpSkinLibApp::StartStore() {
    // A store that cannot be opened is not reported here: every operation on it then fails
    // and the window that asked reports that in its own words.
    kavo::StartLocalStore();
}

int CZpSkinLibApp::RunLoginWindow() {
    ZPMessageBox(nullptr, QStringLiteral("登录窗口尚未完成，程序将退出。"), kMsgIconNotice, kMsgOk);
    return kIdCancel;
}

void CZpSkinLibApp::RunMainWindow() { kavo::CloseConnection(); }

void CZpSkinLibApp::TearDown() {
    kavo::CAppState& state = kavo::AppState();
    if (state.LoginMode != 0) {
        const std::string name(state.CurrentUserName());
        const std::string password(kavo::FieldText(state.CurrentUser.UserPwd));
        kavo::CDataAccess().SaveUser(name, password, {}, 0);
    }
    m_client.Close();
    kavo::CloseConnection();
}
