#include "dialogs/fetch_dlg.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShowEvent>

#include "dialogs/message_box.h"
#include "net/kavo_tcp_client.h"
#include "net/result_codes.h"

CZPFetchDlg::CZPFetchDlg(kavo::CKavoTcpClient& client, QWidget* parent, int minimiseCode,
                         int closeCode)
    : CZPSkinDialog(parent),
      m_client(client),
      m_minimiseCode(minimiseCode),
      m_closeCode(closeCode) {
    setModal(true);
    SetCaptionCodes(minimiseCode, closeCode);
}

CZPFetchDlg::~CZPFetchDlg() { CancelFetch(); }

void CZPFetchDlg::CancelFetch() {
    if (m_worker.IsRunning()) m_worker.Cancel(&m_client);
}

void CZPFetchDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    if (event->spontaneous() || m_started) return;
    m_started = true;
    m_busy = true;
    kavo::CKavoTcpClient* client = &m_client;
    m_worker.Start(
        this, [this, client](const std::atomic<bool>&) { return Fetch(*client); },
        [this](int code) { OnSkinButton(code); });
}

void CZPFetchDlg::OnSkinButton(int code) {
    if (code == m_minimiseCode) {
        showMinimized();
        return;
    }
    if (code == m_closeCode) {
        reject();
        return;
    }
    switch (code) {
        case CZPWorkerRunner::kOutcomeSuccess:
            m_worker.Join();
            m_busy = false;
            OnFetched();
            break;
        case CZPWorkerRunner::kOutcomeFailure: {
            m_worker.Join();
            m_busy = false;
            m_failure = QString::fromStdString(kavo::ResultMessage(m_client.LastError()));
            QWidget* owner = parentWidget();
            done(kIdCancel);
            ZPMessageBox(owner, m_failure, kMsgIconError, kMsgOk);
            break;
        }
        default:
            break;
    }
}

void CZPFetchDlg::reject() {
    if (m_busy) return;  // the worker still uses the shared lists
    CZPSkinDialog::reject();
}

void CZPFetchDlg::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (m_busy && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)) return;
    CZPSkinDialog::keyPressEvent(event);
}

void CZPFetchDlg::closeEvent(QCloseEvent* event) {
    if (m_busy) {
        event->ignore();
        return;
    }
    CZPSkinDialog::closeEvent(event);
}
