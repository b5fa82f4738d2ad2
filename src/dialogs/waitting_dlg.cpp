#include "dialogs/waitting_dlg.h"

#include <QKeyEvent>
#include <QPainter>
#include <QShowEvent>

#include "dialogs/message_box.h"
#include "dialogs/progress_face.h"
#include "skin/skin_button.h"
#include "skin/skin_theme.h"
#include "store/app_state.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"
#include "workflows/session.h"

namespace {

QString Format(const char* format, int count) {
    return QString::fromUtf8(format).replace(QStringLiteral("%d"), QString::number(count));
}

}  // namespace

CZPWaittingDlg::CZPWaittingDlg(int direction, QWidget* parent)
    : CZPWaittingDlg(direction, kavo::ServerClient(), parent) {}

CZPWaittingDlg::CZPWaittingDlg(int direction, kavo::CKavoTcpClient& client, QWidget* parent)
    : CZPSkinDialog(parent),
      m_direction(direction == kRestore ? kRestore : kStore),
      m_client(client),
      m_text(QString::fromUtf8(kavo::msg::kReadingData)) {
    setModal(true);
    setFixedSize(kWidth, kHeight);
    SetCaptionCodes(kCodeMinimise, kCodeClose);

    m_cancelButton = BuildProgressFace(this, kCodeCancel);
}

CZPWaittingDlg::~CZPWaittingDlg() {
    // The window never outlives its worker, nor the worker its window.
    if (m_worker.IsRunning()) m_worker.Cancel(&m_client);
}

void CZPWaittingDlg::PaintBody(QPainter& painter, const QRect& body) {
    CZPSkinDialog::PaintBody(painter, body);
    PaintProgressText(painter, body, m_text);
}

void CZPWaittingDlg::showEvent(QShowEvent* event) {
    CZPSkinDialog::showEvent(event);
    if (!event->spontaneous() && !m_started) StartWorker();
}

void CZPWaittingDlg::keyPressEvent(QKeyEvent* event) {
    // Enter must not end the window behind the worker's back; Esc cancels like the button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    if (event->key() == Qt::Key_Escape) {
        OnSkinButton(kCodeCancel);
        return;
    }
    CZPSkinDialog::keyPressEvent(event);
}

void CZPWaittingDlg::StartWorker() {
    m_started = true;
    kavo::CKavoTcpClient* client = &m_client;
    CZPWorkerRunner* runner = &m_worker;
    std::string* failure = &m_failure;
    std::string* shortfall = &m_shortfall;
    m_shortfall.clear();
    const int direction = m_direction;
    m_worker.Start(
        this,
        [this, client, runner, failure, shortfall, direction](const std::atomic<bool>& cancelled) {
            // Progress goes to the window as a queued call; the count is copied.
            auto progress = [this, runner](int count) {
                runner->Post([this, count] { OnProgress(count); });
            };
            bool ok = false;
            if (direction == kStore) {
                kavo::CAddressBookStore store(*client);
                ok = store.Run(cancelled, progress);
                *failure = store.FailureMessage();
            } else {
                kavo::CAddressBookRestore restore(*client);
                ok = restore.Run(progress);
                *failure = restore.FailureMessage();
                // The download went into the address book as it arrived.
                *shortfall = kavo::MergeShortfallMessage(restore.MergeOutcome());
            }
            m_workerSucceeded = ok;
            return ok;
        },
        [this](int code) { OnSkinButton(code); });
}

void CZPWaittingDlg::OnProgress(int count) {
    if (m_handled) return;
    m_text = Format(
        m_direction == kStore ? kavo::msg::kUploadProgress : kavo::msg::kRestoreProgress, count);
    update();
    emit progressed(count);
}

void CZPWaittingDlg::OnSkinButton(int code) {
    switch (code) {
        case CZPWorkerRunner::kOutcomeSuccess:
        case CZPWorkerRunner::kOutcomeFailure:
            if (!m_handled) Finish(code);
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

void CZPWaittingDlg::Merge() {
    if (m_direction != kRestore || m_merged) return;
    m_merged = true;
    // The restore merged what arrived; the window that asked shows it.
    if (m_merge) m_merge();
}

void CZPWaittingDlg::Finish(int code) {
    m_handled = true;
    m_worker.Join();
    bool ok = code == CZPWorkerRunner::kOutcomeSuccess;
    // What arrived before a failure is kept, like a complete download.
    Merge();
    // A restore is complete only when the local store took everything that arrived.
    if (!m_shortfall.empty()) {
        m_failure = ok ? m_shortfall : m_failure + "\n" + m_shortfall;
        ok = false;
    }
    hide();
    done(ok ? kIdOk : kIdCancel);
    QWidget* owner = parentWidget();
    if (ok) {
        m_resultMessage = QString::fromUtf8(m_direction == kStore ? kavo::msg::kStoreDone
                                                                  : kavo::msg::kRestoreDone);
        ZPMessageBox(owner, m_resultMessage, kMsgIconSuccess, kMsgOk);
    } else {
        m_resultMessage = QString::fromStdString(m_failure);
        ZPMessageBox(owner, m_resultMessage, kMsgIconError, kMsgOk);
    }
}

void CZPWaittingDlg::CancelWork() {
    m_handled = true;
    hide();
    // A worker still stuck after the wait is left to end on its own; its lists are not read.
    if (!m_worker.Cancel(&m_client)) {
        done(kIdCancel);
        return;
    }
    // The store waits for a batch already sent; when that was the last one the server has
    // the whole address book, and the user is told so rather than nothing.
    if (m_direction == kStore && m_workerSucceeded) {
        m_handled = false;
        Finish(CZPWorkerRunner::kOutcomeSuccess);
        return;
    }
    Merge();
    done(kIdCancel);
}
