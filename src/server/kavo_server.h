// The listener: the login port and the service port, one thread per connection, idle
// and per-packet time limits, a cap on connections, and a shutdown that closes every
// connection and waits for its thread before the database is closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "server/request_handler.h"

namespace kavo {

struct ListenOptions {
    std::string address = "127.0.0.1";  // IPv4, dotted
    int loginPort = 1974;               // 0: any free port
    int servicePort = 1980;
    int idleSeconds = 600;   // a connection with no request for this long is closed
    int packetSeconds = 20;  // a started packet must arrive, and a reply leave, in this time
    int maxConnections = 512;
    bool logRequests = true;  // one line per request on stderr
};

class CKavoServer {
public:
    CKavoServer(CRequestHandler& handler, ListenOptions options);
    ~CKavoServer();
    CKavoServer(const CKavoServer&) = delete;
    CKavoServer& operator=(const CKavoServer&) = delete;

    // Binds and listens on both ports. False with LastError() when either fails.
    bool Start();
    const std::string& LastError() const { return error_; }
    int LoginPort() const { return loginPort_; }
    int ServicePort() const { return servicePort_; }

    // Accepts connections until Stop(); returns once every connection has ended.
    void Run();
    // Safe from any thread: makes Run() close all connections and return.
    void Stop();

private:
    void Serve(int fd, ServerRole role, std::string peer, std::string localHost);
    void Log(const std::string& peer, const RequestOutcome& outcome);
    bool OpenListener(int port, int* fd, int* boundPort);

    CRequestHandler& handler_;
    ListenOptions options_;
    std::string error_;
    int loginFd_ = -1;
    int serviceFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int loginPort_ = 0;
    int servicePort_ = 0;
    std::atomic<bool> stopping_{false};

    std::mutex mutex_;
    std::condition_variable allDone_;
    std::set<int> connections_;  // live connection sockets, so Stop() can shut them down
    int active_ = 0;             // connection threads still running
};

}  // namespace kavo
