#pragma once

#include <QString>

#include "dialogs/worker_runner.h"
#include "skin/skin_dialog.h"

namespace kavo {
class CKavoTcpClient;
}

// A window that fetches what it shows from the server when it opens: its worker runs one
// request while the window is busy. While busy, Enter and Esc are swallowed and the close
// box does nothing (the minimise box works). A failure closes the window and then shows the
// message of the client's last error.
class CZPFetchDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    // The caption box codes unless a window names its own.
    static constexpr int kCodeMinimise = 80;
    static constexpr int kCodeClose = 81;

    bool IsBusy() const { return m_busy; }
    CZPWorkerRunner& Worker() { return m_worker; }
    // The failure text the window showed when it closed (empty otherwise).
    QString FailureMessage() const { return m_failure; }

    void OnSkinButton(int code) override;
    void reject() override;

protected:
    CZPFetchDlg(kavo::CKavoTcpClient& client, QWidget* parent, int minimiseCode = kCodeMinimise,
                int closeCode = kCodeClose);
    ~CZPFetchDlg() override;

    kavo::CKavoTcpClient& Client() { return m_client; }
    // Cancels a running worker and waits for it. A window whose Fetch writes its own members
    // calls it from its own destructor: they are gone by the time this class's destructor
    // cancels.
    void CancelFetch();

    // The request, on the worker thread.
    virtual bool Fetch(kavo::CKavoTcpClient& client) = 0;
    // The outcome arrived and was a success.
    virtual void OnFetched() = 0;

    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    kavo::CKavoTcpClient& m_client;
    CZPWorkerRunner m_worker;
    int m_minimiseCode;
    int m_closeCode;
    bool m_busy = false;
    bool m_started = false;
    QString m_failure;
};
