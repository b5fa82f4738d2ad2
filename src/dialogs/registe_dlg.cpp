#include "dialogs/registe_dlg.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QShowEvent>

#include "codecs/gbk_text.h"
#include "dialogs/loading_dlg.h"
#include "dialogs/message_box.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "skin/skin_label.h"
#include "workflows/login_flow.h"
#include "workflows/registration_flow.h"

namespace {

// The limits of the login window, so that whatever is registered can be typed there again,
// and of the e-mail column of the users table.
constexpr int kNameMaxLength = 49;
constexpr int kPasswordMaxLength = 19;
constexpr int kContactMaxLength = 49;

bool IsEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

std::string ToGbk(const QString& text) { return kavo::Utf8ToGbk(text.toStdString()); }

}  // namespace

CZPRegisteDlg::CZPRegisteDlg(QWidget* parent) : CZPModalDialog(parent) {
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(40, 16, 40, 14);
    grid->setHorizontalSpacing(12);
    grid->setVerticalSpacing(8);
    grid->setColumnStretch(1, 1);

    auto addRow = [this, grid](int row, const QString& label, int maxLength, bool masked) {
        grid->addWidget(new CZPSkinLabel(label, this), row, 0);
        auto* edit = new CZPSkinEdit(this);
        edit->setMaxLength(maxLength);
        edit->SetMasked(masked);
        edit->installEventFilter(this);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    m_user = addRow(0, QStringLiteral("用户名"), kNameMaxLength, false);
    m_password = addRow(1, QStringLiteral("密码"), kPasswordMaxLength, true);
    m_confirm = addRow(2, QStringLiteral("确认密码"), kPasswordMaxLength, true);
    m_contact = addRow(3, QStringLiteral("手机号/邮箱"), kContactMaxLength, false);

    m_registerButton = new CZPSkinButton(QStringLiteral("注册"), kCodeRegister, this);
    m_registerButton->SetKind(CZPSkinButton::EKind::kPrimary);
    m_registerButton->setAutoDefault(false);
    m_registerButton->setMinimumWidth(90);
    m_registerButton->installEventFilter(this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_registerButton);
    buttons->addStretch(1);
    grid->setRowStretch(4, 1);
    grid->addLayout(buttons, 5, 0, 1, 2);
}

void CZPRegisteDlg::showEvent(QShowEvent* event) {
    CZPModalDialog::showEvent(event);
    if (!event->spontaneous() && !m_busy) CentreOverParent();
}

bool CZPRegisteDlg::Register() {
    if (m_busy) return false;
    // Compared and sent as typed: blanks are part of a registered name or password.
    const QString user = m_user->text();
    const QString password = m_password->text();
    const QString confirm = m_confirm->text();
    const kavo::RegistrationCheck check = kavo::CheckRegistrationForm(
        user.toStdString(), password.toStdString(), confirm.toStdString());
    if (check != kavo::RegistrationCheck::kOk) {
        ZPMessageBox(this, QString::fromUtf8(kavo::RegistrationCheckMessage(check)), kMsgIconError,
                     kMsgOk);
        return false;
    }

    CZPLoadingDlg progress(this, true);
    progress.SetForm({ToGbk(user), ToGbk(password), ToGbk(m_contact->text())});
    m_busy = true;
    hide();
    const bool ok = progress.exec() == kIdOk;
    m_busy = false;
    if (ok) {
        done(kIdOk);
        return true;
    }
    // The fields stay as they were, for another try.
    show();
    raise();
    activateWindow();
    return false;
}

void CZPRegisteDlg::OnSkinButton(int code) {
    switch (code) {
        case kCodeRegister:
            Register();
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

void CZPRegisteDlg::keyPressEvent(QKeyEvent* event) {
    if (IsEnter(event)) {
        Register();
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        done(kIdCancel);
        return;
    }
    CZPModalDialog::keyPressEvent(event);
}

bool CZPRegisteDlg::eventFilter(QObject* watched, QEvent* event) {
    if (IsEnter(event)) {
        Register();
        return true;
    }
    return CZPModalDialog::eventFilter(watched, event);
}
