#include "dialogs/worker_runner.h"

#include <QMetaObject>
#include <algorithm>
#include <chrono>

#include "net/kavo_tcp_client.h"

CZPWorkerRunner::~CZPWorkerRunner() {
    if (m_thread.joinable()) Cancel(nullptr, kCancelWaitMs);
}

bool CZPWorkerRunner::Start(QObject* window, Job job, std::function<void(int code)> onOutcome) {
    if (m_running.load()) return false;
    // A worker that has finished is joined before the next one starts.
    if (m_thread.joinable()) m_thread.join();
    m_window = window;
    m_cancelled = false;
    m_running = true;
    m_thread = std::thread([this, job = std::move(job), onOutcome = std::move(onOutcome)] {
        const bool ok = job(m_cancelled);
        if (!m_cancelled.load() && onOutcome) {
            const int code = ok ? kOutcomeSuccess : kOutcomeFailure;
            Post([this, onOutcome, code] {
                // A cancel that came after the post was queued wins over the outcome.
                if (!m_cancelled.load()) onOutcome(code);
            });
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
        m_finished.notify_all();
    });
    return true;
}

void CZPWorkerRunner::Post(std::function<void()> fn) {
    // The QPointer is read on the worker; invokeMethod drops the call if the window is
    // destroyed before the event is delivered, so a stale pointer is never called.
    QObject* window = m_window.data();
    if (!window) return;
    QMetaObject::invokeMethod(window, std::move(fn), Qt::QueuedConnection);
}

bool CZPWorkerRunner::Cancel(kavo::CKavoTcpClient* client, int waitMs) {
    m_cancelled = true;
    if (!m_thread.joinable()) return true;
    const bool wasRunning = m_running.load();
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    bool ended = false;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        while (m_running.load()) {
            if (client) client->Abort();
            const auto now = Clock::now();
            if (now >= deadline) break;
            const auto step =
                std::min<Clock::duration>(deadline - now, std::chrono::milliseconds(50));
            m_finished.wait_for(lock, step);
        }
        ended = !m_running.load();
    }
    // Threads are never killed: after the abort a blocked call returns, so the join is short.
    // Past the wait, a request that asked to finish (the last batch of a store) is stopped
    // too: its outcome can no longer be told anyway.
    if (!ended && client) {
        client->HoldAborts(false);
        client->Abort();
    }
    m_thread.join();
    // An interrupted exchange leaves the connection unusable: the next operation must find
    // it closed and connect afresh. A worker that had already finished keeps its connection.
    if (client && wasRunning) client->Close();
    return ended;
}

void CZPWorkerRunner::Join() {
    if (m_thread.joinable()) m_thread.join();
}
