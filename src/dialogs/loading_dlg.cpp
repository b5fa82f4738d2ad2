#include "dialogs/loading_dlg.h"

#include <QPainter>
#include <QShowEvent>

#include "dialogs/message_box.h"
#include "dialogs/progress_face.h"
#include "skin/skin_button.h"
#include "skin/skin_theme.h"
#include "workflows/messages.h"
#include "workflows/session.h"

CZPLoadingDlg::CZPLoadingDlg(QWidget* parent, bool registration)
    : CZPModalDialog(parent), m_registration(registration) {
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);

    m_cancelButton = BuildProgressFace(this, kCodeCancel);
}

CZPLoadingDlg::~CZPLoadingDlg() {
    // The window never outlives its worker, nor the worker its window.
    if (m_worker.IsRunning()) m_worker.Cancel(&kavo::ServerClient());
}

void CZPLoadingDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    PaintProgressText(painter, body, QString::fromUtf8(kavo::msg::kReadingData));
}

void CZPLoadingDlg::showEvent(QShowEvent* event) {
    CZPModalDialog::showEvent(event);
    if (!event->spontaneous() && !m_started) StartWorker();
}

void CZPLoadingDlg::StartWorker() {
    m_started = true;
    const kavo::CLoginForm form = m_form;
    const bool registration = m_registration;
    // The worker fills its own lists; OnSuccess hands them over on this thread, after the
    // worker has been joined.
    std::shared_ptr<kavo::CLoginDownloads> downloads = m_downloads;
    m_worker.Start(
        this,
        [form, registration, downloads](const std::atomic<bool>& cancelled) {
            return kavo::RunLoginWorker(kavo::ServerClient(), form, registration, cancelled,
                                        *downloads);
        },
        [this](int code) { OnSkinButton(code); });
}

void CZPLoadingDlg::OnSkinButton(int code) {
    switch (code) {
        case CZPWorkerRunner::kOutcomeSuccess:
            if (!m_handled) OnSuccess();
            break;
        case CZPWorkerRunner::kOutcomeFailure:
            if (!m_handled) OnFailure();
            break;
        case kCodeCancel:
        case kCodeClose:
            if (!m_handled) CancelWork();
            break;
        case kCodeMinimise:
            showMinimized();
            break;
        default:
            break;
    }
}

void CZPLoadingDlg::OnSuccess() {
    m_handled = true;
    m_worker.Join();
    kavo::ApplyLoginSuccess(m_form, m_registration, m_downloads.get());
    done(kIdOk);
}

void CZPLoadingDlg::OnFailure() {
    m_handled = true;
    m_worker.Join();
    hide();
    QWidget* owner = parentWidget();
    const kavo::CLoginFailure failure =
        kavo::DescribeLoginFailure(kavo::ServerClient().LastError(), m_form, m_registration);
    const QString text = QString::fromStdString(failure.message);
    if (failure.offlineOffered) {
        if (ZPMessageBox(owner, text, kMsgIconQuestion, kMsgYesNo) == kIdYes) {
            kavo::ApplyOfflineLogin(m_form);
            done(kIdOk);
            return;
        }
    } else {
        ZPMessageBox(owner, text, kMsgIconError, kMsgOk);
    }
    done(kIdCancel);
}

void CZPLoadingDlg::CancelWork() {
    m_handled = true;
    hide();
    if (QWidget* starter = parentWidget()) starter->show();
    m_worker.Cancel(&kavo::ServerClient());
    done(kIdCancel);
}
