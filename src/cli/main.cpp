// kavoctl's entry: the command runs on the main thread; SIGINT, SIGTERM and SIGHUP are
// taken by a thread of their own, which asks the command to stop and ends the request
// under way. The command then finishes as a cancelled window would, so an interruption
// never leaves the local store half written or the user marked as logged in.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cli/kavoctl.h"
#include "workflows/session.h"

namespace {

std::atomic<bool> g_interrupted{false};

void WatchSignals(sigset_t set) {
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0) continue;
        // A request that must finish (the last batch of a store) is waited for; a second
        // signal stops it too.
        if (g_interrupted.exchange(true)) kavo::ServerClient().HoldAborts(false);
        kavo::ServerClient().Abort();
    }
}

}  // namespace

int main(int argc, char** argv) {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    // Blocked before any thread starts, so that every thread inherits the mask and only
    // the watcher receives them.
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread(WatchSignals, set).detach();
    // A reader that goes away early (a pipe into head) must not end the program before it
    // has logged the user out; the failed write is reported by the exit status instead.
    signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args(argv + 1, argv + argc);
    int rc = kavo::RunKavoctl(args, g_interrupted, stdout, stderr, stdin);
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && rc == kavo::kExitOk)
        rc = kavo::kExitFailed;
    std::fflush(stderr);
    return rc;
}
