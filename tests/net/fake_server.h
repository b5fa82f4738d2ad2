// A scripted stand-in for the service on 127.0.0.1: it records every request's bytes and
// answers each from the next step of its script. Connections are served one after the
// other; a connection whose script has run out is closed.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/wire.h"

namespace kavo::test {

using Bytes = std::vector<std::uint8_t>;

// What the server does with one request.
struct Action {
    std::vector<Bytes> pieces;  // sent one after the other
    int gapMs = 0;              // pause between pieces
    bool closeAfter = false;    // close the connection after answering
    bool hold = false;          // answer only once Release() was called
};

struct Request {
    Bytes bytes;
    std::uint32_t length() const { return wire::GetU32(bytes.data()); }
    std::uint32_t command() const { return wire::GetU32(bytes.data() + 4); }
    std::uint32_t sequence() const { return wire::GetU32(bytes.data() + 8); }
    std::uint32_t U32(std::size_t at) const { return wire::GetU32(bytes.data() + at); }
    Bytes Token() const { return Bytes(bytes.begin() + 12, bytes.begin() + 44); }
};

using Step = std::function<Action(const Request&)>;

// A reply packet with the given header fields; length is the real size unless forced.
inline Bytes MakeReply(std::uint32_t command, std::uint32_t sequence, std::uint32_t result,
                       const Bytes& body = {}, std::uint32_t forcedLength = 0) {
    Bytes b(16 + body.size());
    wire::PutU32(b.data(), forcedLength ? forcedLength : static_cast<std::uint32_t>(b.size()));
    wire::PutU32(b.data() + 4, command);
    wire::PutU32(b.data() + 8, sequence);
    wire::PutU32(b.data() + 12, result);
    if (!body.empty()) std::memcpy(b.data() + 16, body.data(), body.size());
    return b;
}

inline Bytes U32Bytes(std::uint32_t v) {
    Bytes b(4);
    wire::PutU32(b.data(), v);
    return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

inline Bytes TextBytes(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline Bytes U16String(std::string_view s) {
    Bytes b(2 + s.size());
    wire::PutU16(b.data(), static_cast<std::uint16_t>(s.size()));
    if (!s.empty()) std::memcpy(b.data() + 2, s.data(), s.size());
    return b;
}

// Step helpers.
inline Step Answer(std::uint32_t result, Bytes body = {}) {
    return [=](const Request& q) {
        return Action{{MakeReply(q.command() == 0x38 ? 0x80000035u : q.command() | 0x80000000u,
                                 q.sequence(), result, body)}};
    };
}
inline Step Send(Bytes raw) {
    return [=](const Request&) { return Action{{raw}}; };
}
inline Step CloseNow() {
    return [](const Request&) { return Action{{}, 0, true}; };
}

class CFakeServer {
public:
    CFakeServer() {
        listenFd_ = socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sa.sin_port = 0;
        bind(listenFd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
        listen(listenFd_, 8);
        socklen_t len = sizeof(sa);
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
        thread_ = std::thread([this] { Run(); });
    }

    ~CFakeServer() {
        stop_ = true;
        Release();
        shutdown(listenFd_, SHUT_RDWR);
        {
            std::lock_guard lock(mutex_);
            if (connFd_ >= 0) shutdown(connFd_, SHUT_RDWR);
        }
        thread_.join();
        close(listenFd_);
    }

    int Port() const { return port_; }

    CFakeServer& Then(Step step) {
        std::lock_guard lock(mutex_);
        script_.push_back(std::move(step));
        return *this;
    }

    std::vector<Request> Requests() {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int Connections() {
        std::lock_guard lock(mutex_);
        return connections_;
    }
    // Lets a held answer go.
    void Release() {
        std::lock_guard lock(mutex_);
        released_ = true;
        cv_.notify_all();
    }
    // Waits until n requests arrived (or about five seconds passed).
    bool WaitRequests(std::size_t n) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, std::chrono::seconds(5), [&] { return requests_.size() >= n; });
    }

private:
    bool ReadAll(int fd, std::uint8_t* p, std::size_t n) {
        while (n) {
            ssize_t r = recv(fd, p, n, 0);
            if (r <= 0) return false;
            p += r;
            n -= static_cast<std::size_t>(r);
        }
        return true;
    }

    void Run() {
        while (!stop_) {
            int fd = accept(listenFd_, nullptr, nullptr);
            if (fd < 0) return;
            {
                std::lock_guard lock(mutex_);
                connFd_ = fd;
                ++connections_;
            }
            Serve(fd);
            {
                std::lock_guard lock(mutex_);
                connFd_ = -1;
            }
            close(fd);
        }
    }

    void Serve(int fd) {
        while (!stop_) {
            Request q;
            q.bytes.resize(12);
            if (!ReadAll(fd, q.bytes.data(), 12)) return;
            std::uint32_t len = q.length();
            if (len > 12 && len < 65536) {
                q.bytes.resize(len);
                if (!ReadAll(fd, q.bytes.data() + 12, len - 12)) return;
            }
            Step step;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(q);
                cv_.notify_all();
                if (script_.empty()) return;
                step = std::move(script_.front());
                script_.pop_front();
            }
            Action a = step(q);
            if (a.hold) {
                std::unique_lock lock(mutex_);
                cv_.wait(lock, [&] { return released_; });
            }
            for (std::size_t i = 0; i < a.pieces.size(); ++i) {
                if (i && a.gapMs) std::this_thread::sleep_for(std::chrono::milliseconds(a.gapMs));
                const Bytes& p = a.pieces[i];
                if (!p.empty()) send(fd, p.data(), p.size(), MSG_NOSIGNAL);
            }
            if (a.closeAfter) return;
        }
    }

    int listenFd_ = -1;
    int connFd_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Step> script_;
    std::vector<Request> requests_;
    int connections_ = 0;
    bool released_ = false;
    std::atomic<bool> stop_{false};
};

}  // namespace kavo::test
