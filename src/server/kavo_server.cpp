#include "server/kavo_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "net/wire.h"

namespace kavo {
namespace {

using Clock = std::chrono::steady_clock;

// Waits until fd is ready for `events` or the deadline passes.
bool WaitReady(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd, events, 0};
        int r = poll(&p, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}

bool RecvExact(int fd, std::uint8_t* buf, std::size_t n, Clock::time_point deadline) {
    std::size_t got = 0;
    while (got < n) {
        if (!WaitReady(fd, POLLIN, deadline)) return false;
        ssize_t r = recv(fd, buf + got, n - got, 0);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0) {
            return false;
        } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
    }
    return true;
}

bool SendAll(int fd, const std::uint8_t* buf, std::size_t n, Clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < n) {
        if (!WaitReady(fd, POLLOUT, deadline)) return false;
        ssize_t r = send(fd, buf + sent, n - sent, MSG_NOSIGNAL);
        if (r > 0) {
            sent += static_cast<std::size_t>(r);
        } else if (r < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
    }
    return true;
}

std::string AddressText(const sockaddr_in& a, bool withPort) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof(host));
    std::string text = host;
    if (withPort) text += ":" + std::to_string(ntohs(a.sin_port));
    return text;
}

}  // namespace

CKavoServer::CKavoServer(CRequestHandler& handler, ListenOptions options)
    : handler_(handler), options_(std::move(options)) {}

CKavoServer::~CKavoServer() {
    for (int fd : {loginFd_, serviceFd_, wakeRead_, wakeWrite_})
        if (fd >= 0) close(fd);
}

bool CKavoServer::OpenListener(int port, int* fd, int* boundPort) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, options_.address.c_str(), &addr.sin_addr) != 1) {
        error_ = "not an IPv4 address: " + options_.address;
        return false;
    }
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 512) != 0) {
        error_ = options_.address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        close(s);
        return false;
    }
    socklen_t len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    *boundPort = ntohs(addr.sin_port);
    *fd = s;
    return true;
}

bool CKavoServer::Start() {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    return OpenListener(options_.loginPort, &loginFd_, &loginPort_) &&
           OpenListener(options_.servicePort, &serviceFd_, &servicePort_);
}

void CKavoServer::Stop() {
    stopping_ = true;
    if (wakeWrite_ >= 0) {
        char byte = 1;
        [[maybe_unused]] ssize_t r = write(wakeWrite_, &byte, 1);
    }
}

void CKavoServer::Run() {
    while (!stopping_) {
        pollfd fds[3] = {{loginFd_, POLLIN, 0}, {serviceFd_, POLLIN, 0}, {wakeRead_, POLLIN, 0}};
        int r = poll(fds, 3, -1);
        if (r < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[2].revents) break;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            sockaddr_in peer{};
            socklen_t len = sizeof(peer);
            int fd = accept4(fds[i].fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors: the pending connection stays in the queue and poll
                // would report it at once again, so give the other connections time to end.
                if (errno == EMFILE || errno == ENFILE) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
                continue;
            }
            std::string peerText = AddressText(peer, true);
            sockaddr_in local{};
            len = sizeof(local);
            getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
            int one = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
            {
                std::lock_guard lock(mutex_);
                if (active_ >= options_.maxConnections) {
                    close(fd);
                    if (options_.logRequests) {
                        std::fprintf(stderr, "%s %s refused: too many connections\n",
                                     handler_.TimeText().c_str(), peerText.c_str());
                    }
                    continue;
                }
                ++active_;
                connections_.insert(fd);
            }
            ServerRole role = i == 0 ? ServerRole::Login : ServerRole::Service;
            try {
                std::thread(&CKavoServer::Serve, this, fd, role, peerText,
                            AddressText(local, false))
                    .detach();
            } catch (...) {
                std::lock_guard lock(mutex_);
                connections_.erase(fd);
                close(fd);
                --active_;
            }
        }
    }

    close(loginFd_);
    close(serviceFd_);
    loginFd_ = serviceFd_ = -1;
    std::unique_lock lock(mutex_);
    for (int fd : connections_) shutdown(fd, SHUT_RDWR);
    // Every thread ends soon after its socket is shut down; a request already in the
    // database finishes first, so nothing committed is lost.
    allDone_.wait_for(lock, std::chrono::seconds(30), [this] { return active_ == 0; });
}

void CKavoServer::Log(const std::string& peer, const RequestOutcome& outcome) {
    if (!options_.logRequests) return;
    std::string line = handler_.TimeText() + " " + peer + " " + outcome.command +
                       (outcome.refused ? " refused=" : " result=") +
                       std::to_string(outcome.result) + "\n";
    std::fputs(line.c_str(), stderr);
}

void CKavoServer::Serve(int fd, ServerRole role, std::string peer, std::string localHost) {
    auto in = std::make_unique<std::uint8_t[]>(wire::kMaxPacket);
    auto out = std::make_unique<std::uint8_t[]>(wire::kMaxPacket);
    ConnectionState state;
    const auto idle = std::chrono::seconds(options_.idleSeconds);
    const auto packet = std::chrono::seconds(options_.packetSeconds);
    std::string why;
    while (!stopping_) {
        if (!WaitReady(fd, POLLIN, Clock::now() + idle)) {
            why = "idle";
            break;
        }
        // Once a packet has started it must arrive whole within the packet time.
        auto deadline = Clock::now() + packet;
        if (!RecvExact(fd, in.get(), wire::kRequestHeaderSize, deadline)) break;
        std::uint32_t length = wire::GetU32(in.get());
        if (length < wire::kRequestHeaderSize || length > wire::kMaxPacket) {
            // Nothing after a lying length can be framed again: hang up.
            why = "bad packet length " + std::to_string(length);
            break;
        }
        if (!RecvExact(fd, in.get() + wire::kRequestHeaderSize, length - wire::kRequestHeaderSize,
                       deadline)) {
            why = "truncated packet";
            break;
        }
        RequestOutcome outcome;
        std::size_t n =
            handler_.Handle(role, in.get(), length, state, localHost, out.get(), &outcome);
        Log(peer, outcome);
        if (n == 0) break;
        if (!SendAll(fd, out.get(), n, Clock::now() + packet)) break;
    }
    if (!why.empty() && options_.logRequests) {
        std::fprintf(stderr, "%s %s closed: %s\n", handler_.TimeText().c_str(), peer.c_str(),
                     why.c_str());
    }
    std::lock_guard lock(mutex_);
    connections_.erase(fd);
    close(fd);
    if (--active_ == 0) allDone_.notify_all();
}

}  // namespace kavo
