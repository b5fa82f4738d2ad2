// A whole program on one machine for workflow, window and command-line tests: a fresh
// program directory with its own database, the real kavo-server with the demo data on
// loopback, and a client pointed at it. The process-wide state is reset before and after.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/kavo_tcp_client.h"
#include "server_runner.h"

namespace kavo::test {

class SessionTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts the server (with the demo user unless told otherwise) and points the client at
    // it; writes a KAVO.cfg naming it into the program directory.
    void StartServer(bool seedDemo = true);
    // The client of the test, aimed at the server's ports.
    CKavoTcpClient& client() { return *client_; }
    ServerRunner& server() { return *server_; }
    const std::string& programDir() const { return dir_->path(); }

    // A login as the login window runs it: check, worker, success handling. True on success.
    bool LogIn(const std::string& user, const std::string& password);
    // Registers a new user with the service (and the users table, as the window does).
    bool Register(const std::string& user, const std::string& password);

private:
    std::unique_ptr<TempDir> dir_;
    std::unique_ptr<ServerRunner> server_;
    std::unique_ptr<CKavoTcpClient> client_;
};

}  // namespace kavo::test
