#pragma once

#include <QString>

#include "dialogs/worker_runner.h"
#include "skin/skin_dialog.h"
#include "workflows/personal_info_flow.h"

namespace kavo {
class CKavoTcpClient;
}
class CZPSkinButton;
class CZPSkinEdit;

// "个人资料": the membership status that a worker fetches when the window opens, and the
// password change. A failed fetch closes the window with the error's message. The change
// button stays disabled while the worker runs, so only one request at a time uses the
// connection.
class CZPPersonalInfoDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    static constexpr int kCodeChangePassword = 34;
    static constexpr int kCodeClose = 35;
    static constexpr int kCodeMinimise = 36;
    static constexpr int kWidth = 549;
    static constexpr int kHeight = 563;
    static constexpr int kPasswordLimit = 19;

    explicit CZPPersonalInfoDlg(QWidget* parent = nullptr);
    CZPPersonalInfoDlg(kavo::CKavoTcpClient& client, QWidget* parent);
    ~CZPPersonalInfoDlg() override;

    CZPSkinEdit* OldPassword() const { return m_password[0]; }
    CZPSkinEdit* NewPassword() const { return m_password[1]; }
    CZPSkinEdit* ConfirmPassword() const { return m_password[2]; }
    CZPSkinButton* ChangeButton() const { return m_change; }
    bool IsBusy() const { return m_busy; }
    CZPWorkerRunner& Worker() { return m_worker; }
    // The fee type, expiry time and balance as drawn (empty until the server answered).
    QString FeeType() const { return QString::fromStdString(m_shown.feeType); }
    QString ExpiryTime() const { return QString::fromStdString(m_shown.expiryTime); }
    QString Balance() const { return QString::fromStdString(m_shown.balance); }
    QString FailureMessage() const { return m_failure; }

    void OnSkinButton(int code) override;
    void reject() override;

protected:
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChangePassword();

    kavo::CKavoTcpClient& m_client;
    CZPWorkerRunner m_worker;
    kavo::CMemberTexts m_fetched;  // written by the worker before it posts its outcome
    kavo::CMemberTexts m_shown;
    bool m_busy = false;
    bool m_started = false;
    QString m_failure;
    CZPSkinEdit* m_password[3] = {};
    CZPSkinButton* m_change = nullptr;
};
