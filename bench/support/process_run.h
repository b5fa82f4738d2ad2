// Runs of whole programs for the benchmarks that compare a process of ours with a peer's:
// wall time and peak resident memory, from the kernel's own count.
#pragma once

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace kavo::bench {

// One run of another program: its wall time and its peak resident memory.
struct ProcessRun {
    bool ok = false;
    double ms = 0;
    double peakMiB = 0;
};

// The child starts as a view of this process, and the kernel counts this process's peak as
// the child's: give memory back and forget the peak before each start.
inline void ForgetOwnPeak() {
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}

inline ProcessRun RunProcess(const std::vector<std::string>& args) {
    ForgetOwnPeak();
    ProcessRun run;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    run.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace kavo::bench
