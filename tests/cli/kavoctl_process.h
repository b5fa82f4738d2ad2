// Runs build/bin/kavoctl as a child process with its standard streams on pipes.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace kavo::test {

struct CliResult {
    int status = -1;  // the exit status, or 128 + the signal that ended it
    std::string out;
    std::string err;
};

class KavoctlProcess {
public:
    KavoctlProcess() = default;
    ~KavoctlProcess();
    KavoctlProcess(const KavoctlProcess&) = delete;
    KavoctlProcess& operator=(const KavoctlProcess&) = delete;

    // Starts kavoctl with `args` and the environment plus `env`; `input` is written to its
    // standard input, which stays open when `keepInputOpen`.
    bool Start(const std::vector<std::string>& args, const std::string& input = {},
               bool keepInputOpen = false,
               const std::vector<std::pair<std::string, std::string>>& env = {});
    pid_t pid() const { return pid_; }
    void CloseInput();
    // True once the child's main thread blocks `signal` (its handling is in place).
    bool Blocks(int signal) const;
    // Collects both outputs until the child ends (killing it after two minutes).
    CliResult Wait();

private:
    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
};

// Start and Wait in one.
CliResult RunKavoctl(const std::vector<std::string>& args, const std::string& input = {},
                     const std::vector<std::pair<std::string, std::string>>& env = {});

}  // namespace kavo::test
