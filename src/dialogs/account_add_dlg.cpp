#include "dialogs/account_add_dlg.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include "dialogs/account_dlg.h"
#include "skin/skin_pane.h"

CZPAccountAddDlg::CZPAccountAddDlg(QWidget* parent) : CZPSkinDialog(parent) {
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);
    m_panel = new CZPAccountDlg(this);
    m_panel->SetNewMode(true);
    m_panel->setGeometry(11, 65, kWidth - 22, kHeight - 65 - 11);
    connect(m_panel, &CZPAccountDlg::finished, this, [this](bool ok) { ok ? accept() : reject(); });
}

kavo::CAccountData CZPAccountAddDlg::Record() const { return m_panel->GetRecord(); }

void CZPAccountAddDlg::OnSkinButton(int code) {
    if (code == kCodeClose) {
        m_panel->CloseCommand();
        return;
    }
    CZPSkinDialog::OnSkinButton(code);
}

void CZPAccountAddDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    m_panel->NameEdit()->setFocus();
}

void CZPAccountAddDlg::keyPressEvent(QKeyEvent* event) {
    if (!SwallowEnterAndEscape(event)) CZPSkinDialog::keyPressEvent(event);
}

void CZPAccountAddDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    // The header between the title bar and the panel.
    const QRect header(body.left() + 11, body.top() + 2, body.width() - 22, 65 - body.top() - 4);
    PaintPaneHeading(painter, header, QStringLiteral("新增游戏账号"));
}
