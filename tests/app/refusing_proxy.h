// A loopback proxy in front of kavo-server that refuses chosen contact deletions: every
// request is passed on unchanged, except a ContactDelete naming the refused contact, which
// is answered at once with a refusal code. So one request of a run can fail while the
// others reach the real server.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace kavo::test {

class CRefusingProxy {
public:
    ~CRefusingProxy();
    // Listens on two free loopback ports in front of the server's login and service ports.
    bool Start(int loginPort, int servicePort, std::string refusedNameGbk, std::uint32_t code);
    void Stop();
    int LoginPort() const { return ports_[0]; }
    int ServicePort() const { return ports_[1]; }
    int Refusals() const { return refusals_.load(); }

private:
    void AcceptLoop();
    void Serve(int client, int upstreamPort);

    int listeners_[2] = {-1, -1};
    int ports_[2] = {0, 0};
    int upstream_[2] = {0, 0};
    int stopPipe_[2] = {-1, -1};
    std::string refused_;
    std::uint32_t code_ = 0;
    std::atomic<int> refusals_{0};
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::vector<std::thread> connections_;
};

}  // namespace kavo::test
