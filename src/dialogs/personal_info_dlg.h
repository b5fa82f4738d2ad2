#pragma once

#include <QString>

#include "dialogs/fetch_dlg.h"
#include "workflows/personal_info_flow.h"

class CZPSkinButton;
class CZPSkinEdit;

// "个人资料": the membership status that a worker fetches when the window opens, and the
// password change. A failed fetch closes the window with the error's message. The change
// button stays disabled while the worker runs, so only one request at a time uses the
// connection.
class CZPPersonalInfoDlg : public CZPFetchDlg {
    Q_OBJECT

public:
    static constexpr int kCodeChangePassword = 34;
    // This window's own caption box codes (in place of the fetch window's).
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
    // The fee type, expiry time and balance as drawn (empty until the server answered).
    QString FeeType() const { return QString::fromStdString(m_shown.feeType); }
    QString ExpiryTime() const { return QString::fromStdString(m_shown.expiryTime); }
    QString Balance() const { return QString::fromStdString(m_shown.balance); }

    void OnSkinButton(int code) override;

protected:
    bool Fetch(kavo::CKavoTcpClient& client) override;
    void OnFetched() override;
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChangePassword();

    kavo::CMemberTexts m_fetched;  // written by the worker before it posts its outcome
    kavo::CMemberTexts m_shown;
    CZPSkinEdit* m_password[3] = {};
    CZPSkinButton* m_change = nullptr;
};
