#include "dialogs/modal_dialog.h"

#include <QEventLoop>

CZPModalDialog::CZPModalDialog(QWidget* parent) : CZPSkinDialog(parent) {}

CZPModalDialog::~CZPModalDialog() {
    if (m_loop) m_loop->exit();
}

int CZPModalDialog::exec() {
    QPointer<CZPModalDialog> alive(this);
    setResult(0);
    m_ended = false;
    setWindowModality(parentWidget() ? Qt::WindowModal : Qt::ApplicationModal);
    show();
    QEventLoop loop;
    // A window that ended while it was being shown (an automatic login) needs no loop.
    if (!m_ended) {
        m_loop = &loop;
        loop.exec(QEventLoop::DialogExec);
    }
    if (!alive) return 0;
    m_loop = nullptr;
    return result();
}

void CZPModalDialog::done(int result) {
    m_ended = true;
    CZPSkinDialog::done(result);
    if (m_loop) m_loop->exit();
}
