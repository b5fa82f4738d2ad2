#pragma once

#include <memory>

#include "dialogs/modal_dialog.h"
#include "dialogs/worker_runner.h"
#include "workflows/login_flow.h"

class CZPSkinButton;

// The progress window of a login or a registration. It is built by the login window (login
// mode) or the registration window (registration mode), filled with the form, and run with
// exec(); its worker starts when it is shown. exec() returns kIdOk when the window that
// started it should close with OK: after an online login, an accepted offline login or a
// registration. Otherwise it returns kIdCancel, after telling the user why, and the starter
// shows itself again.
class CZPLoadingDlg : public CZPModalDialog {
    Q_OBJECT

public:
    static constexpr int kCodeCancel = 5;
    static constexpr int kCodeClose = 6;
    static constexpr int kCodeMinimise = 7;
    static constexpr int kWidth = 360;
    static constexpr int kHeight = 170;

    explicit CZPLoadingDlg(QWidget* parent = nullptr, bool registration = false);
    ~CZPLoadingDlg() override;

    // The user name, password and (registration only) e-mail, as GBK bytes.
    void SetForm(const kavo::CLoginForm& form) { m_form = form; }
    const kavo::CLoginForm& Form() const { return m_form; }
    bool IsRegistration() const { return m_registration; }

    CZPWorkerRunner& Worker() { return m_worker; }
    CZPSkinButton* CancelButton() const { return m_cancelButton; }

    // The buttons (5 and 6 cancel, 7 minimises) and the worker's outcome (49, 50).
    void OnSkinButton(int code) override;

protected:
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;

private:
    void StartWorker();
    void OnSuccess();
    void OnFailure();
    void CancelWork();

    kavo::CLoginForm m_form;
    bool m_registration = false;
    bool m_started = false;
    bool m_handled = false;
    // Shared with the worker, which may outlive a cancelled window for a moment.
    std::shared_ptr<kavo::CLoginDownloads> m_downloads = std::make_shared<kavo::CLoginDownloads>();
    CZPWorkerRunner m_worker;
    CZPSkinButton* m_cancelButton = nullptr;
};
