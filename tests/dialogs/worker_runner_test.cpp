#include "dialogs/worker_runner.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QTest>
#include <QThread>
#include <atomic>
#include <memory>

#include "net/kavo_tcp_client.h"

namespace {

TEST(WorkerRunnerTest, TheOutcomeAndProgressArriveOnTheWindowsThread) {
    QObject window;
    CZPWorkerRunner runner;
    QList<int> progress;
    int outcome = 0;
    QThread* seenOn = nullptr;
    std::atomic<bool> release{false};
    ASSERT_TRUE(runner.Start(
        &window,
        [&runner, &progress, &release](const std::atomic<bool>&) {
            for (int i = 1; i <= 3; ++i) runner.Post([&progress, i] { progress << i; });
            // Still running while the test tries to start a second worker.
            while (!release.load()) QThread::yieldCurrentThread();
            return false;
        },
        [&](int code) {
            outcome = code;
            seenOn = QThread::currentThread();
        }));
    EXPECT_FALSE(runner.Start(&window, [](const std::atomic<bool>&) { return true; }, {}));
    release = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome != 0; }, 10000));
    EXPECT_EQ(outcome, CZPWorkerRunner::kOutcomeFailure);
    EXPECT_EQ(progress, (QList<int>{1, 2, 3}));
    EXPECT_EQ(seenOn, window.thread());
    runner.Join();
    EXPECT_FALSE(runner.IsRunning());

    // A finished worker may be followed by another on the same runner.
    outcome = 0;
    ASSERT_TRUE(runner.Start(
        &window, [](const std::atomic<bool>&) { return true; },
        [&outcome](int code) { outcome = code; }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return outcome != 0; }, 10000));
    EXPECT_EQ(outcome, CZPWorkerRunner::kOutcomeSuccess);
}

TEST(WorkerRunnerTest, ACancelledWorkerIsJoinedAndItsOutcomeNeverArrives) {
    QObject window;
    CZPWorkerRunner runner;
    bool delivered = false;
    kavo::CKavoTcpClient client;
    runner.Start(
        &window,
        [](const std::atomic<bool>& cancelled) {
            while (!cancelled.load()) QThread::yieldCurrentThread();
            return true;
        },
        [&delivered](int) { delivered = true; });
    EXPECT_TRUE(runner.Cancel(&client));
    EXPECT_FALSE(runner.IsRunning());
    EXPECT_TRUE(runner.IsCancelled());
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST(WorkerRunnerTest, AnOutcomeQueuedBeforeTheCancelIsDropped) {
    QObject window;
    CZPWorkerRunner runner;
    bool delivered = false;
    runner.Start(
        &window, [](const std::atomic<bool>&) { return true; },
        [&delivered](int) { delivered = true; });
    runner.Join();  // the outcome now waits in the queue
    runner.Cancel(nullptr);
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

TEST(WorkerRunnerTest, AWindowDestroyedFirstReceivesNothing) {
    bool delivered = false;
    CZPWorkerRunner runner;
    {
        QObject window;
        runner.Start(
            &window, [](const std::atomic<bool>&) { return true; },
            [&delivered](int) { delivered = true; });
        runner.Join();
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(delivered);
}

}  // namespace
