#include "server_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace kavo::test {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/kavo-test-XXXXXX";
    std::vector<char> buf(base.begin(), base.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string BinDir() {
    const char* dir = std::getenv("KAVO_BIN_DIR");
    return dir && *dir ? dir : "build/bin";
}

ServerRunner::ServerRunner() = default;

ServerRunner::~ServerRunner() { Stop(); }

bool ServerRunner::Start(const std::vector<std::string>& extraArgs, const std::string& dbPath) {
    Stop();
    error_.clear();
    startOutput_.clear();
    dbPath_ = dbPath.empty() ? dir_.File("server.db") : dbPath;
    logPath_ = dir_.File("server.log");
    std::string program = BinDir() + "/kavo-server";
    std::vector<std::string> args = {program,          "--listen", host_,  "--login-port", "0",
                                     "--service-port", "0",        "--db", dbPath_};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        error_ = "pipe failed";
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logPath_.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (rc != 0) {
        close(pipeFds[0]);
        error_ = "cannot start " + program;
        return false;
    }
    pid_ = pid;
    stdoutFd_ = pipeFds[0];

    // The server prints its ports once both are listening.
    const std::string marker = "kavo-server listening ";
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    std::string out;
    while (out.find(marker) == std::string::npos ||
           out.find('\n', out.find(marker)) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{stdoutFd_, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
            error_ = "kavo-server did not report its ports; log: " + ReadLog();
            Kill();
            return false;
        }
        char buf[512];
        ssize_t n = read(stdoutFd_, buf, sizeof(buf));
        if (n <= 0) {
            error_ = "kavo-server ended before listening; log: " + ReadLog();
            Kill();
            return false;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    std::size_t at = out.find(marker);
    startOutput_ = out.substr(0, at);
    std::string line = out.substr(at, out.find('\n', at) - at);
    auto portAfter = [&](const std::string& key) {
        std::size_t k = line.find(key);
        if (k == std::string::npos) return 0;
        std::size_t colon = line.find(':', k);
        return colon == std::string::npos ? 0 : std::atoi(line.c_str() + colon + 1);
    };
    loginPort_ = portAfter("login=");
    servicePort_ = portAfter("service=");
    if (loginPort_ <= 0 || servicePort_ <= 0) {
        error_ = "cannot read the ports from: " + line;
        Kill();
        return false;
    }
    return true;
}

int ServerRunner::Stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    int exitCode = -1;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            if (WIFEXITED(status)) exitCode = WEXITSTATUS(status);
            break;
        }
        if (r < 0) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
    if (stdoutFd_ >= 0) close(stdoutFd_);
    stdoutFd_ = -1;
    return exitCode;
}

void ServerRunner::Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (stdoutFd_ >= 0) close(stdoutFd_);
    stdoutFd_ = -1;
}

std::string ServerRunner::ReadLog() const {
    std::ifstream in(logPath_);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace kavo::test
