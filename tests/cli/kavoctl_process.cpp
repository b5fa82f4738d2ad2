#include "kavoctl_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "server_runner.h"

extern char** environ;

namespace kavo::test {

KavoctlProcess::~KavoctlProcess() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        Wait();
    }
    CloseInput();
}

bool KavoctlProcess::Start(const std::vector<std::string>& args, const std::string& input,
                           bool keepInputOpen,
                           const std::vector<std::pair<std::string, std::string>>& env) {
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return false;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return false;

    // Everything the child needs is built before the fork.
    const std::string program = BinDir() + "/kavoctl";
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& [k, v] : env)
            replaced |= std::strncmp(*e, (k + "=").c_str(), k.size() + 1) == 0;
        if (!replaced) envStore.emplace_back(*e);
    }
    for (const auto& [k, v] : env) envStore.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (std::string& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_ = ::fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
        ::dup2(inPipe[0], 0);
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    std::size_t done = 0;
    while (done < input.size()) {
        ssize_t n = ::write(in_, input.data() + done, input.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (!keepInputOpen) CloseInput();
    return true;
}

void KavoctlProcess::CloseInput() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
}

bool KavoctlProcess::Blocks(int signal) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigBlk:", 0) != 0) continue;
        unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
        return (mask >> (signal - 1)) & 1u;
    }
    return false;
}

CliResult KavoctlProcess::Wait() {
    CliResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (out_ >= 0 || err_ >= 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            break;
        }
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        if (::poll(fds, 2, 1000) <= 0) continue;
        int* owners[2] = {&out_, &err_};
        std::string* sinks[2] = {&result.out, &result.err};
        for (int i = 0; i < 2; ++i) {
            if (*owners[i] < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            ssize_t n = ::read(*owners[i], buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(n));
            } else {
                ::close(*owners[i]);
                *owners[i] = -1;
            }
        }
    }
    for (int* fd : {&out_, &err_}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return result;
}

CliResult RunKavoctl(const std::vector<std::string>& args, const std::string& input,
                     const std::vector<std::pair<std::string, std::string>>& env) {
    KavoctlProcess p;
    if (!p.Start(args, input, false, env)) return {};
    return p.Wait();
}

}  // namespace kavo::test
