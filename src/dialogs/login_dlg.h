#pragma once

#include "dialogs/modal_dialog.h"

class CZPSkinButton;
class CZPSkinCheckBox;
class CZPSkinComboBox;
class CZPSkinEdit;

// The login window: the known users of this PC (most recently used first), the password,
// "记住密码" and "自动登录". Logging in hands the work to the progress window; exec()
// returns kIdOk after an online or an accepted offline login and kIdCancel when closed.
//
// The automatic login happens only while nobody has logged in yet in this run of the
// program, so the window shown again from the main window waits for the user.
class CZPLoginDlg : public CZPModalDialog {
    Q_OBJECT

public:
    static constexpr int kCodeLogin = 0;
    static constexpr int kCodeRegister = 1;
    static constexpr int kCodeMinimise = 2;
    static constexpr int kCodeClose = 4;
    static constexpr int kWidth = 400;
    static constexpr int kHeight = 250;
    static constexpr int kNameMaxLength = 49;
    static constexpr int kPasswordMaxLength = 19;

    explicit CZPLoginDlg(QWidget* parent = nullptr);

    CZPSkinComboBox* UserBox() const { return m_user; }
    CZPSkinEdit* PasswordBox() const { return m_password; }
    CZPSkinCheckBox* SavePasswordBox() const { return m_savePassword; }
    CZPSkinCheckBox* AutoLoginBox() const { return m_autoLogin; }

    // Refills the user list from the users table and fills in the first user; starts the
    // automatic login when allowed is true and the preferences ask for it.
    void FillUserList(bool allowAutoLogin);
    // Whether opening the window now would log in by itself.
    bool WillLogInAutomatically() const;

    // Checks the form, then runs the progress window. True when the login succeeded (the
    // window is then closed with OK).
    bool Login();
    void ShowRegistration();

    void OnSkinButton(int code) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnUserPicked(int index);
    void FillStoredPassword(const QString& user);
    bool WantsStoredPassword() const;

    CZPSkinComboBox* m_user = nullptr;
    CZPSkinEdit* m_password = nullptr;
    CZPSkinCheckBox* m_savePassword = nullptr;
    CZPSkinCheckBox* m_autoLogin = nullptr;
    CZPSkinButton* m_loginButton = nullptr;
    CZPSkinButton* m_registerButton = nullptr;
    bool m_filled = false;
    bool m_busy = false;
};
