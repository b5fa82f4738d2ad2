#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "dialogs/worker_runner.h"
#include "skin/skin_dialog.h"

namespace kavo {
class CKavoTcpClient;
}
class CZPSkinButton;

// The progress window of "储存通讯录" and "还原通讯录". Its worker starts when the window is
// shown and runs the store or the restore of src/workflows; the window shows the running
// count and, once closed, the completion message or the reason of the failure. exec()
// returns kIdOk after a success and kIdCancel after a failure or a cancel.
//
// A restore merges what arrived into the local store also after a failure or a cancel, on
// this thread once the worker has ended: by default into the store directly, or through
// the merge handler (the main window, which also reloads its list).
class CZPWaittingDlg : public CZPSkinDialog {
    Q_OBJECT

public:
    enum EDirection : int { kStore = 0, kRestore = 1 };

    static constexpr int kCodeCancel = 5;
    static constexpr int kCodeClose = 6;
    static constexpr int kCodeMinimise = 7;
    static constexpr int kWidth = 380;
    static constexpr int kHeight = 170;

    CZPWaittingDlg(int direction, QWidget* parent = nullptr);
    CZPWaittingDlg(int direction, kavo::CKavoTcpClient& client, QWidget* parent = nullptr);
    ~CZPWaittingDlg() override;

    int Direction() const { return m_direction; }
    QString Text() const { return m_text; }
    // What the window said when it closed (empty after a cancel).
    QString ResultMessage() const { return m_resultMessage; }
    bool Merged() const { return m_merged; }
    CZPWorkerRunner& Worker() { return m_worker; }
    CZPSkinButton* CancelButton() const { return m_cancelButton; }

    void SetMergeHandler(std::function<void()> merge) { m_merge = std::move(merge); }

    // progress(count) from the worker: the line becomes "…已上传%d" or "…已还原%d".
    void OnProgress(int count);
    // The buttons (5 and 6 cancel, 7 minimises) and the worker's outcome (49, 50).
    void OnSkinButton(int code) override;

signals:
    // A count arrived from the worker.
    void progressed(int count);

protected:
    void PaintBody(QPainter& painter, const QRect& body) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StartWorker();
    void Finish(int code);
    void CancelWork();
    void Merge();

    int m_direction = kStore;
    kavo::CKavoTcpClient& m_client;
    QString m_text;
    QString m_resultMessage;
    std::string m_failure;    // written by the worker before it posts its outcome
    std::string m_shortfall;  // the same: what a restore's merge could not store, and why
    std::atomic<bool> m_workerSucceeded{false};
    bool m_started = false;
    bool m_handled = false;
    bool m_merged = false;
    std::function<void()> m_merge;
    CZPWorkerRunner m_worker;
    CZPSkinButton* m_cancelButton = nullptr;
};
