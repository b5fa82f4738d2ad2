#include "dialogs/add_users_dlg.h"

#include <QKeyEvent>
#include <QPainter>

#include "dialogs/name_card_dlg.h"
#include "skin/skin_pane.h"

CZPAddUsersDlg::CZPAddUsersDlg(int initialGroupIndex, QWidget* parent) : CZPSkinDialog(parent) {
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);
    m_card = new CZPNameCardDlg(this);
    m_card->SetModal(true);
    m_card->SetInitialGroupIndex(initialGroupIndex);
    m_card->setGeometry(10, 63, 780, 528);
    connect(m_card, &CZPNameCardDlg::finished, this, [this](bool ok) { ok ? accept() : reject(); });
}

bool CZPAddUsersDlg::Record(kavo::CRelData& rel) const { return m_card->Gather(rel); }

void CZPAddUsersDlg::OnSkinButton(int code) {
    if (code == kCodeClose) {
        m_card->CancelCommand();
        return;
    }
    CZPSkinDialog::OnSkinButton(code);
}

void CZPAddUsersDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    CentreOverParent();
}

void CZPAddUsersDlg::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Esc ends the window; Save and Cancel do.
    if (!SwallowEnterAndEscape(event)) CZPSkinDialog::keyPressEvent(event);
}

void CZPAddUsersDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    // The header between the title bar and the editor.
    const QRect header(body.left() + 10, body.top() + 4, body.width() - 20, 63 - body.top() - 8);
    PaintPaneHeading(painter, header, QStringLiteral("新增联系人"));
}
