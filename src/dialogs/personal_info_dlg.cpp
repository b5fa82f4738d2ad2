#include "dialogs/personal_info_dlg.h"

#include <QKeyEvent>
#include <QPainter>
#include <QShowEvent>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "skin/skin_button.h"
#include "skin/skin_edit.h"
#include "skin/skin_theme.h"
#include "store/app_state.h"
#include "workflows/session.h"

namespace {

constexpr int kLabelLeft = 60;
constexpr int kFieldLeft = 190;
constexpr int kFieldWidth = 220;
constexpr int kFieldHeight = 24;
constexpr int kIdTop = 70;
constexpr int kPasswordTop = 120;  // old, new, repeat: one every 44 pixels
constexpr int kRowGap = 44;
constexpr int kStatusTop = 350;  // "会员状态" and its three lines
constexpr int kStatusGap = 36;

bool HasRefusedChar(const QString& text) {
    for (QChar c : text)
        if (kavo::IsRefusedPasswordChar(c.unicode())) return true;
    return false;
}

}  // namespace

CZPPersonalInfoDlg::CZPPersonalInfoDlg(QWidget* parent)
    : CZPPersonalInfoDlg(kavo::ServerClient(), parent) {}

CZPPersonalInfoDlg::CZPPersonalInfoDlg(kavo::CKavoTcpClient& client, QWidget* parent)
    : CZPFetchDlg(client, parent, kCodeMinimise, kCodeClose) {
    setFixedSize(kWidth, kHeight);
    for (int i = 0; i < 3; ++i) {
        m_password[i] = new CZPSkinEdit(this);
        m_password[i]->SetMasked(true);
        m_password[i]->setMaxLength(kPasswordLimit);
        m_password[i]->setGeometry(kFieldLeft, kPasswordTop + i * kRowGap, kFieldWidth,
                                   kFieldHeight);
        m_password[i]->installEventFilter(this);
        // A paste or an input method bypasses the key filter: take the signs out again.
        connect(m_password[i], &QLineEdit::textEdited, this,
                [edit = m_password[i]](const QString& t) {
                    if (!HasRefusedChar(t)) return;
                    edit->setText(
                        QString::fromStdString(kavo::StripRefusedPasswordChars(t.toStdString())));
                });
    }
    m_change = new CZPSkinButton(QStringLiteral("修改密码"), kCodeChangePassword, this);
    m_change->setAutoDefault(false);
    m_change->setGeometry(kFieldLeft, kPasswordTop + 3 * kRowGap, 100, 28);
    auto* close = new CZPSkinButton(QStringLiteral("关闭"), kCodeClose, this);
    close->setAutoDefault(false);
    close->setGeometry(kWidth - 100, kHeight - 48, 80, 28);
}

CZPPersonalInfoDlg::~CZPPersonalInfoDlg() { CancelFetch(); }

bool CZPPersonalInfoDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->text().isEmpty() && HasRefusedChar(key->text())) return true;  // dropped
    }
    return CZPFetchDlg::eventFilter(watched, event);
}

void CZPPersonalInfoDlg::showEvent(QShowEvent* event) {
    CZPFetchDlg::showEvent(event);
    if (IsBusy()) m_change->setEnabled(false);  // the worker has the connection
}

bool CZPPersonalInfoDlg::Fetch(kavo::CKavoTcpClient& client) {
    return kavo::FetchMemberTexts(client, m_fetched);
}

void CZPPersonalInfoDlg::OnFetched() {
    m_shown = m_fetched;
    m_change->setEnabled(true);
    update();
}

void CZPPersonalInfoDlg::OnSkinButton(int code) {
    if (code == kCodeChangePassword) {
        if (!IsBusy()) ChangePassword();
        return;
    }
    CZPFetchDlg::OnSkinButton(code);
}

void CZPPersonalInfoDlg::ChangePassword() {
    const kavo::PasswordChange result = kavo::ChangeCurrentPassword(
        Client(), m_password[0]->text().toStdString(), m_password[1]->text().toStdString(),
        m_password[2]->text().toStdString());
    const bool ok = result == kavo::PasswordChange::kOk;
    ZPMessageBox(this, QString::fromUtf8(kavo::PasswordChangeMessage(result)),
                 ok ? kMsgIconSuccess : kMsgIconError, kMsgOk);
}

void CZPPersonalInfoDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (!IsBusy() && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        reject();  // Enter closes the window like Esc once the status is there
        return;
    }
    CZPFetchDlg::keyPressEvent(event);
}

void CZPPersonalInfoDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPFetchDlg::PaintBody(painter, body);
    painter.setFont(CSkinTheme::UiFont(13));
    painter.setPen(CSkinTheme::Color(ESkinColor::kText));
    auto label = [&](int top, const QString& text) {
        painter.drawText(QRect(kLabelLeft, top, kFieldLeft - kLabelLeft - 10, kFieldHeight),
                         Qt::AlignRight | Qt::AlignVCenter, text);
    };
    label(kIdTop, QStringLiteral("客户 ID"));
    painter.drawText(QRect(kFieldLeft, kIdTop, kFieldWidth, kFieldHeight), Qt::AlignVCenter,
                     QString::fromStdString(kavo::GbkToUtf8(kavo::AppState().CurrentUserName())));
    label(kPasswordTop, QStringLiteral("旧密码"));
    label(kPasswordTop + kRowGap, QStringLiteral("新密码"));
    label(kPasswordTop + 2 * kRowGap, QStringLiteral("再次输入密码"));

    const int statusTop = kStatusTop;
    painter.setPen(CSkinTheme::Color(ESkinColor::kAccent));
    painter.setFont(CSkinTheme::UiFont(13, true));
    painter.drawText(QRect(kLabelLeft, statusTop - 40, 200, kFieldHeight), Qt::AlignVCenter,
                     QStringLiteral("会员状态"));
    painter.drawLine(kLabelLeft, statusTop - 12, kWidth - kLabelLeft, statusTop - 12);
    painter.setFont(CSkinTheme::UiFont(13));
    const QString labels[3] = {QStringLiteral("付费类型:"), QStringLiteral("到期时间:"),
                               QStringLiteral("余额:")};
    const QString values[3] = {FeeType(), ExpiryTime(), Balance()};
    for (int i = 0; i < 3; ++i) {
        painter.setPen(CSkinTheme::Color(ESkinColor::kText));
        label(statusTop + i * kStatusGap, labels[i]);
        painter.drawText(QRect(kFieldLeft, statusTop + i * kStatusGap, 300, kFieldHeight),
                         Qt::AlignVCenter, values[i]);
    }
}
