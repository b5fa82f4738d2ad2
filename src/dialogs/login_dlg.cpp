#include "dialogs/login_dlg.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QShowEvent>
#include <QTimer>
#include <vector>

#include "dialogs/app_settings.h"
#include "codecs/gbk_text.h"
#include "dialogs/loading_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/registe_dlg.h"
#include "skin/skin_button.h"
#include "skin/skin_check_box.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/login_flow.h"

namespace {

bool IsEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

std::string ToGbk(const QString& text) { return kavo::Utf8ToGbk(text.toStdString()); }

QString FromGbk(std::string_view gbk) { return QString::fromStdString(kavo::GbkToUtf8(gbk)); }

}  // namespace

CZPLoginDlg::CZPLoginDlg(QWidget* parent) : CZPModalDialog(parent) {
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(40, 22, 40, 18);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(12);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    grid->addWidget(new CZPSkinLabel(QStringLiteral("用户名"), this), 0, 0);
    m_user = new CZPSkinComboBox(this, true);
    m_user->SetMaxLength(kNameMaxLength);
    m_user->setInsertPolicy(QComboBox::NoInsert);
    grid->addWidget(m_user, 0, 1, 1, 2);

    grid->addWidget(new CZPSkinLabel(QStringLiteral("密码"), this), 1, 0);
    m_password = new CZPSkinEdit(this);
    m_password->SetMasked(true);
    m_password->setMaxLength(kPasswordMaxLength);
    grid->addWidget(m_password, 1, 1, 1, 2);

    m_savePassword = new CZPSkinCheckBox(QStringLiteral("记住密码"), this);
    m_autoLogin = new CZPSkinCheckBox(QStringLiteral("自动登录"), this);
    m_savePassword->setChecked(CZPSettings::SavePassword());
    m_autoLogin->setChecked(CZPSettings::AutoLogin());
    grid->addWidget(m_savePassword, 2, 1);
    grid->addWidget(m_autoLogin, 2, 2);

    m_loginButton = new CZPSkinButton(QStringLiteral("登录"), kCodeLogin, this);
    m_loginButton->SetKind(CZPSkinButton::EKind::kPrimary);
    m_registerButton = new CZPSkinButton(QStringLiteral("注册"), kCodeRegister, this);
    for (CZPSkinButton* b : {m_loginButton, m_registerButton}) {
        b->setAutoDefault(false);
        b->setMinimumWidth(90);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_loginButton);
    buttons->addSpacing(16);
    buttons->addWidget(m_registerButton);
    buttons->addStretch(1);
    grid->setRowStretch(3, 1);
    grid->addLayout(buttons, 4, 0, 1, 3);

    // Ticking "自动登录" ticks "记住密码" too; unticking it leaves that alone.
    connect(m_autoLogin, &QCheckBox::toggled, this, [this](bool on) {
        if (on) m_savePassword->setChecked(true);
    });
    connect(m_user, qOverload<int>(&QComboBox::activated), this, &CZPLoginDlg::OnUserPicked);

    // Enter anywhere in the window logs in, whichever control has the focus.
    for (QWidget* w :
         std::initializer_list<QWidget*>{m_user, m_user->lineEdit(), m_password, m_savePassword,
                                         m_autoLogin, m_loginButton, m_registerButton}) {
        if (w) w->installEventFilter(this);
    }
}

bool CZPLoginDlg::WantsStoredPassword() const {
    return m_savePassword->isChecked() || m_autoLogin->isChecked();
}

bool CZPLoginDlg::WillLogInAutomatically() const {
    // Nobody has logged in yet in this run: the start-up of the program.
    return m_autoLogin->isChecked() && m_user->count() > 0 &&
           kavo::AppState().CurrentUserName().empty();
}

void CZPLoginDlg::FillUserList(bool allowAutoLogin) {
    m_filled = true;
    m_user->clear();
    std::vector<kavo::CUserData> users;
    kavo::CDataAccess().LoadUserList(users);
    for (const kavo::CUserData& u : users) m_user->addItem(FromGbk(kavo::FieldText(u.UserName)));
    if (m_user->count() == 0) return;
    m_user->setCurrentIndex(0);
    m_user->setEditText(m_user->itemText(0));
    if (WantsStoredPassword()) FillStoredPassword(m_user->itemText(0));
    if (allowAutoLogin && WillLogInAutomatically()) {
        // Once the window is on the screen, as a click on the button would.
        QTimer::singleShot(0, this, [this] { Login(); });
    }
}

void CZPLoginDlg::FillStoredPassword(const QString& user) {
    m_password->setText(FromGbk(kavo::CDataAccess().GetUserPassword(ToGbk(user))));
}

void CZPLoginDlg::OnUserPicked(int index) {
    if (index < 0 || !WantsStoredPassword()) return;
    FillStoredPassword(m_user->itemText(index));
}

void CZPLoginDlg::showEvent(QShowEvent* event) {
    CZPModalDialog::showEvent(event);
    if (!event->spontaneous() && !m_filled) {
        CentreOverParent();
        FillUserList(true);
    }
}

bool CZPLoginDlg::Login() {
    if (m_busy) return false;
    kavo::CLoginForm form;
    form.user = ToGbk(m_user->currentText());
    form.password = ToGbk(m_password->text());
    const kavo::LoginCheck check = kavo::CheckLoginForm(form);
    if (check != kavo::LoginCheck::kOk) {
        const int icon =
            check == kavo::LoginCheck::kLoggedInElsewhere ? kMsgIconError : kMsgIconNotice;
        ZPMessageBox(this, QString::fromUtf8(kavo::LoginCheckMessage(check)), icon, kMsgOk);
        return false;
    }
    // Someone logged in earlier in this run is no longer logged in once a new login starts.
    kavo::ReleaseCurrentUser();

    m_busy = true;
    hide();
    CZPSettings::SetSavePassword(m_savePassword->isChecked());
    CZPSettings::SetAutoLogin(m_autoLogin->isChecked());

    CZPLoadingDlg progress(this, false);
    progress.SetForm(form);
    const bool ok = progress.exec() == kIdOk;
    m_busy = false;
    if (ok) {
        done(kIdOk);
        return true;
    }
    show();
    raise();
    activateWindow();
    return false;
}

void CZPLoginDlg::ShowRegistration() {
    CZPRegisteDlg registration(this);
    registration.exec();
    FillUserList(true);
}

void CZPLoginDlg::OnSkinButton(int code) {
    switch (code) {
        case kCodeLogin:
            Login();
            break;
        case kCodeRegister:
            ShowRegistration();
            break;
        case kCodeMinimise:
            showMinimized();
            break;
        case kCodeClose:
            done(kIdCancel);
            break;
        default:
            break;
    }
}

void CZPLoginDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) {
        Login();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        done(kIdCancel);
        return;
    }
    CZPModalDialog::keyPressEvent(event);
}

bool CZPLoginDlg::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnter(event) && !m_user->view()->isVisible()) {
        Login();
        return true;
    }
    return CZPModalDialog::eventFilter(watched, event);
}
