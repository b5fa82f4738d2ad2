#pragma once

#include "dialogs/modal_dialog.h"

class CZPSkinButton;
class CZPSkinEdit;

// The registration window: user name, password, its confirmation and a mobile number or
// e-mail. The input is checked here and the request runs in the progress window in its
// registration mode. exec() returns kIdOk after a successful registration (the new user is
// then in the users table, not logged in) and kIdCancel when closed.
class CZPRegisteDlg : public CZPModalDialog {
    Q_OBJECT

public:
    static constexpr int kCodeClose = 37;
    static constexpr int kCodeMinimise = 38;
    static constexpr int kCodeRegister = 39;
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 250;

    explicit CZPRegisteDlg(QWidget* parent = nullptr);

    CZPSkinEdit* UserEdit() const { return m_user; }
    CZPSkinEdit* PasswordEdit() const { return m_password; }
    CZPSkinEdit* ConfirmEdit() const { return m_confirm; }
    CZPSkinEdit* ContactEdit() const { return m_contact; }

    // The checks, then the progress window. True when the user was registered.
    bool Register();

    void OnSkinButton(int code) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CZPSkinEdit* m_user = nullptr;
    CZPSkinEdit* m_password = nullptr;
    CZPSkinEdit* m_confirm = nullptr;
    CZPSkinEdit* m_contact = nullptr;
    CZPSkinButton* m_registerButton = nullptr;
    bool m_busy = false;
};
