#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace kavo {
class CKavoTcpClient;
}

// Hosts the one worker thread of a modal progress window. The job runs on its own thread and
// never touches a widget: it reports through Post(), which queues a call on the window's
// thread, and its outcome arrives there as the code 49 (success) or 50 (failure), unless the
// user cancelled meanwhile or the window is gone.
//
// Cancel() sets the cancelled flag that the job looks at between its steps and aborts the
// request under way on the server client, so a call blocked on a server that does not answer
// returns at once; it waits up to 10 seconds for the worker and joins it. The destructor
// cancels a worker that still runs, so the thread never outlives its window. Make the runner a
// member of the window: it is then destroyed, and its worker joined, before the window's
// QObject part, so a post from the worker never races the window's destruction.
class CZPWorkerRunner {
public:
    static constexpr int kOutcomeSuccess = 49;
    static constexpr int kOutcomeFailure = 50;
    static constexpr int kCancelWaitMs = 10000;

    // The job returns its outcome; it may look at the flag as often as it likes.
    using Job = std::function<bool(const std::atomic<bool>& cancelled)>;

    CZPWorkerRunner() = default;
    ~CZPWorkerRunner();
    CZPWorkerRunner(const CZPWorkerRunner&) = delete;
    CZPWorkerRunner& operator=(const CZPWorkerRunner&) = delete;

    // Starts job on a new thread; onOutcome(49 or 50) is called later on window's thread.
    // False when a worker already runs; one that has finished may be followed by another.
    bool Start(QObject* window, Job job, std::function<void(int code)> onOutcome);

    // From the worker: runs fn on the window's thread, later, unless the window is gone.
    void Post(std::function<void()> fn);

    // Stops the worker: the flag, an abort of client's request (repeated while waiting, so a
    // request the worker begins just after the flag was set is stopped too), a wait of at
    // most waitMs, then the join. True when the worker had ended within the wait. Without a
    // worker it only sets the flag.
    bool Cancel(kavo::CKavoTcpClient* client, int waitMs = kCancelWaitMs);

    bool IsRunning() const { return m_running.load(); }
    bool IsCancelled() const { return m_cancelled.load(); }
    const std::atomic<bool>& CancelledFlag() const { return m_cancelled; }

    // Waits for the worker to end by itself and joins it (tests, and windows that must not
    // go on before it has finished).
    void Join();

private:
    QPointer<QObject> m_window;
    std::thread m_thread;
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_running{false};
    std::mutex m_mutex;
    std::condition_variable m_finished;
};
