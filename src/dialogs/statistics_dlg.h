#pragma once

#include <functional>

#include "dialogs/worker_runner.h"
#include "skin/skin_dialog.h"

namespace kavo {
class CKavoTcpClient;
}
class QLineEdit;

// A window that fetches what it shows from the server when it opens: its worker runs one
// request while the window is busy. While busy, Enter and Esc are swallowed and the close
// box does nothing (the minimise box works). A failure closes the window and then shows the
// message of the client's last error.
class CZPFetchDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeMinimise = 80;
    static constexpr int kCodeClose = 81;

    bool IsBusy() const { return m_busy; }
    CZPWorkerRunner& Worker() { return m_worker; }
    // The failure text the window showed when it closed (empty otherwise).
    QString FailureMessage() const { return m_failure; }

    void OnSkinButton(int code) override;
    void reject() override;

protected:
    CZPFetchDlg(kavo::CKavoTcpClient& client, QWidget* parent);
    ~CZPFetchDlg() override;

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
    bool m_busy = false;
    bool m_started = false;
    QString m_failure;
};

// "数据统计": how many contacts, SMS and accounts the server holds and when each last changed.
class CZPStatisticsDlg : public CZPFetchDlg {
    Q_OBJECT

public:
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 220;

    explicit CZPStatisticsDlg(QWidget* parent = nullptr);
    CZPStatisticsDlg(kavo::CKavoTcpClient& client, QWidget* parent);

    // Row r (contacts, SMS, accounts): the count and the time fields.
    QLineEdit* CountField(int row) const { return m_counts[row]; }
    QLineEdit* TimeField(int row) const { return m_times[row]; }

protected:
    bool Fetch(kavo::CKavoTcpClient& client) override;
    void OnFetched() override;

private:
    QLineEdit* m_counts[3] = {};
    QLineEdit* m_times[3] = {};
};
