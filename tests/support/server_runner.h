// Test helpers shared by every test that needs a real server or scratch files:
//   TempDir       a fresh temporary directory, removed with everything in it at the end;
//   ServerRunner  the real kavo-server (from $KAVO_BIN_DIR) on free loopback ports with a
//                 temporary database, stopped and waited for in its destructor.
// A test target that starts the server must build it first:
//   add_dependencies(<test target> kavo-server)
// or use kavo_server_test_dependency(<test target>) from tests/support/CMakeLists.txt.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kavo::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + name
    std::string File(const std::string& name) const;

private:
    std::string path_;
};

// Where kavo-server, kavoctl and libpelbook.so are built: $KAVO_BIN_DIR, else "build/bin".
std::string BinDir();

class ServerRunner {
public:
    ServerRunner();
    ~ServerRunner();  // Stop()
    ServerRunner(const ServerRunner&) = delete;
    ServerRunner& operator=(const ServerRunner&) = delete;

    // Starts kavo-server on 127.0.0.1 with free ports and the database `dbPath` (empty: a
    // file in a temporary directory of its own), passing `extraArgs` on (for instance
    // {"--seed-demo"}). Returns once both ports accept connections; false with error()
    // when the server could not be started within 20 seconds.
    bool Start(const std::vector<std::string>& extraArgs = {}, const std::string& dbPath = "");
    // Asks the server to stop (SIGTERM) and waits for it, killing it after 10 seconds.
    // Returns its exit status, or -1 when it did not exit by itself.
    int Stop();
    // Kills the server at once (SIGKILL), as a crash would.
    void Kill();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& host() const { return host_; }
    int loginPort() const { return loginPort_; }
    int servicePort() const { return servicePort_; }
    const std::string& dbPath() const { return dbPath_; }
    // The server's stderr: one line per request.
    const std::string& logPath() const { return logPath_; }
    std::string ReadLog() const;
    // Everything the server printed on stdout before it was ready (the demo line, say).
    const std::string& startOutput() const { return startOutput_; }
    const std::string& error() const { return error_; }

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::string host_ = "127.0.0.1";
    int loginPort_ = 0;
    int servicePort_ = 0;
    std::string dbPath_;
    std::string logPath_;
    std::string startOutput_;
    std::string error_;
};

}  // namespace kavo::test
