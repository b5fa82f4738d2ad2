#include "net/tcp_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace kavo {
namespace {

constexpr int kAttempts = 5;
constexpr std::size_t kDrainChunk = 512;
// A peer that never stops sending must not keep a drain going for ever.
constexpr std::size_t kDrainLimit = 1 << 20;

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool IsWouldBlock(int err) { return err == EAGAIN || err == EWOULDBLOCK || err == EINTR; }

bool ResolveIPv4(const std::string& host, in_addr& out) {
    if (host.empty()) return false;
    if (inet_pton(AF_INET, host.c_str(), &out) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || !list) return false;
    out = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr;
    freeaddrinfo(list);
    return true;
}

}  // namespace

CTcpClient::CTcpClient() { wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC); }

CTcpClient::~CTcpClient() {
    CloseConnection();
    if (wakeFd_ >= 0) close(wakeFd_);
}

void CTcpClient::SetSocket(int fd) {
    std::lock_guard lock(fdMutex_);
    fd_ = fd;
}

void CTcpClient::BeginOperation() {
    operationGeneration_ = abortGeneration_.load();
    if (wakeFd_ >= 0) {
        std::uint64_t v;
        while (read(wakeFd_, &v, sizeof(v)) > 0) {
        }
    }
}

void CTcpClient::Abort() {
    // Under the lock, so that an abort either lands before a hold begins (and the held
    // request then fails before anything is sent) or not at all.
    std::lock_guard lock(fdMutex_);
    if (abortsHeld_) return;
    abortGeneration_.fetch_add(1);
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof(one));
    }
    if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void CTcpClient::HoldAborts(bool hold) {
    std::lock_guard lock(fdMutex_);
    abortsHeld_ = hold;
}

bool CTcpClient::Connect(const std::string& host, int port) {
    if (fd_ >= 0) CloseConnection();
    if (Aborted() || port <= 0 || port > 65535) return false;
    int fd = connector_ ? connector_(host, port) : Dial(host, port);
    if (fd < 0) return false;
    SetSocket(fd);
    host_ = host;
    port_ = port;
    connected_ = true;
    lastError_ = 0;
    return true;
}

int CTcpClient::Dial(const std::string& host, int port) {
    in_addr addr{};
    if (!ResolveIPv4(host, addr)) return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        osError_ = errno;
        return -1;
    }
    // The descriptor is published before the wait so that Abort() can shut it down.
    SetSocket(fd);

    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<std::uint16_t>(port));
    sa.sin_addr = addr;

    // Connect without blocking so the attempt has a time limit and can be aborted; the
    // socket goes back to blocking mode for the rest of its life.
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
    if (!ok && errno == EINPROGRESS) {
        int r = PollSocket(POLLOUT, timeouts_.connectMs);
        if (r > 0) {
            int err = 0;
            socklen_t len = sizeof(err);
            ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
            if (!ok) osError_ = err;
        }
    } else if (!ok) {
        osError_ = errno;
    }
    if (!ok) {
        CloseConnection();
        return -1;
    }
    fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    return fd;
}

int CTcpClient::PollSocket(short events, int timeoutMs) {
    if (fd_ < 0) return -1;
    auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (Aborted()) return -1;
        pollfd fds[2] = {{fd_, events, 0}, {wakeFd_, POLLIN, 0}};
        int n = poll(fds, wakeFd_ >= 0 ? 2 : 1, RemainingMs(deadline));
        if (n < 0) {
            if (errno == EINTR) continue;
            osError_ = errno;
            return -1;
        }
        if (Aborted()) return -1;
        if (fds[0].revents & POLLNVAL) return -1;
        if (fds[0].revents) return fds[0].revents;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            // A wake-up meant for an operation that has finished: consume it and go on.
            std::uint64_t v;
            while (read(wakeFd_, &v, sizeof(v)) > 0) {
            }
            continue;
        }
        if (RemainingMs(deadline) == 0) return 0;
    }
}

std::size_t CTcpClient::WaitReadable(int timeoutMs) {
    int r = PollSocket(POLLIN, timeoutMs);
    if (r <= 0) return 0;
    int waiting = 0;
    if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0) return 0;
    return static_cast<std::size_t>(waiting);
}

bool CTcpClient::WaitWritable(int timeoutMs) {
    int r = PollSocket(POLLOUT, timeoutMs);
    return r > 0 && (r & POLLOUT) && !(r & POLLERR);
}

bool CTcpClient::RecvExact(void* dst, std::size_t n, int timeoutMs) {
    auto* out = static_cast<std::uint8_t*>(dst);
    if (n) std::memset(out, 0, n);
    std::size_t received = 0;
    for (int attempt = 0; received < n && attempt < kAttempts; ++attempt) {
        if (WaitReadable(timeoutMs) == 0) {
            CloseConnection();
            return false;
        }
        ssize_t r = recv(fd_, out + received, n - received, 0);
        if (r > 0) {
            received += static_cast<std::size_t>(r);
        } else if (r == 0) {
            CloseConnection();
            break;
        } else if (IsWouldBlock(errno)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } else {
            osError_ = errno;
            CloseConnection();
            return false;
        }
    }
    return received == n;
}

bool CTcpClient::SendAll(const void* data, std::size_t n, int timeoutMs) {
    auto* in = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    for (int attempt = 0; sent < n && attempt < kAttempts; ++attempt) {
        if (!WaitWritable(timeoutMs)) {
            CloseConnection();
            return false;
        }
        ssize_t r = send(fd_, in + sent, n - sent, MSG_NOSIGNAL);
        if (r > 0) {
            sent += static_cast<std::size_t>(r);
        } else if (r < 0 && IsWouldBlock(errno)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        } else {
            osError_ = r < 0 ? errno : 0;
            CloseConnection();
            return false;
        }
    }
    sequence_.fetch_add(1);
    return sent == n;
}

void CTcpClient::Drain() {
    std::uint8_t scratch[kDrainChunk];
    std::size_t total = 0;
    while (fd_ >= 0 && total < kDrainLimit) {
        int waiting = 0;
        if (ioctl(fd_, FIONREAD, &waiting) != 0 || waiting <= 0) return;
        std::size_t left = static_cast<std::size_t>(waiting);
        while (left > 0) {
            std::size_t chunk = std::min(left, kDrainChunk);
            if (!RecvExact(scratch, chunk, timeouts_.drainMs)) return;
            left -= chunk;
            total += chunk;
        }
    }
}

bool CTcpClient::IsDead() {
    if (!connected_) return true;
    if (!WaitWritable(timeouts_.livenessMs)) {
        CloseConnection();
        return true;
    }
    return false;
}

void CTcpClient::CloseConnection() { Close(); }

bool CTcpClient::Close() {
    int fd;
    {
        std::lock_guard lock(fdMutex_);
        fd = fd_;
        fd_ = -1;
    }
    connected_ = false;
    if (fd < 0) return false;
    return close(fd) == 0;
}

}  // namespace kavo
