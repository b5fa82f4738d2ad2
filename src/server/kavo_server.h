// The listener: the login port and the service port served by one event loop (epoll, with
// non-blocking sockets) and a small pool of threads that answer the requests. A socket that
// sends nothing costs a few hundred bytes and no thread, so idle or silent connections
// cannot starve the working ones. Time limits: the first request must arrive within the
// handshake time, later ones within the idle time, and a started packet whole within the
// packet time. Caps: connections in all, and connections from one address; past a cap the
// newest connection is refused, never one already served. A shutdown stops accepting, lets
// the requests under way finish and closes every connection before the database is closed.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "server/request_handler.h"

namespace kavo {

struct ListenOptions {
    std::string address = "127.0.0.1";  // IPv4, dotted
    int loginPort = 1974;               // 0: any free port
    int servicePort = 1980;
    int handshakeSeconds = 10;  // a new connection must send its first whole request in this
    int idleSeconds = 600;      // a connection with no request for this long is closed
    int packetSeconds = 20;     // a started packet must arrive, and a reply leave, in this time
    int maxConnections = 10000;
    int maxPerAddress = 256;  // connections from one IPv4 address
    int workers = 4;          // threads answering requests
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

    // Serves connections until Stop(); returns once every connection has ended.
    void Run();
    // Safe from any thread: makes Run() close all connections and return.
    void Stop();

private:
    struct Connection;

    void Accept(int listenFd, ServerRole role);
    void OnReadable(Connection& c);
    void OnWritable(Connection& c);
    void StartWrite(Connection& c);
    void WaitForRequest(Connection& c);
    void Arm(Connection& c, std::uint32_t events);
    void CloseConnection(Connection& c, const std::string& why);
    void SweepDeadlines();
    void CollectAnswers();
    void Worker();
    void Log(const std::string& peer, const RequestOutcome& outcome);
    void LogLine(const std::string& peer, const std::string& text);
    bool OpenListener(int port, int* fd, int* boundPort);

    CRequestHandler& handler_;
    ListenOptions options_;
    std::string error_;
    int loginFd_ = -1;
    int serviceFd_ = -1;
    int epollFd_ = -1;
    int wakeFd_ = -1;   // eventfd: Stop() and the workers' answers wake the loop
    int spareFd_ = -1;  // given up when out of descriptors, to refuse one connection
    int loginPort_ = 0;
    int servicePort_ = 0;
    std::atomic<bool> stopping_{false};

    // Owned and touched by the loop's thread only, except a connection that a worker is
    // answering: that one belongs to the worker until it is handed back through answered_.
    std::unordered_map<std::uint64_t, std::unique_ptr<Connection>> connections_;
    std::unordered_map<std::uint32_t, int> perAddress_;
    std::uint64_t nextId_ = 1;

    std::mutex queueMutex_;
    std::condition_variable queueReady_;
    std::deque<Connection*> pending_;   // complete requests waiting for a worker
    std::deque<Connection*> answered_;  // replies ready to be written
    bool workersStop_ = false;
    std::vector<std::thread> workers_;
};

}  // namespace kavo
