#include "refusing_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "net/wire.h"

namespace kavo::test {
namespace {

int Listen(int* port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof(a);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

int ConnectLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n > 0) {
        ssize_t k = ::send(fd, data, n, MSG_NOSIGNAL);
        if (k <= 0) return false;
        data += k;
        n -= static_cast<std::size_t>(k);
    }
    return true;
}

std::uint32_t U32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

CRefusingProxy::~CRefusingProxy() { Stop(); }

bool CRefusingProxy::Start(int loginPort, int servicePort, std::string refusedNameGbk,
                           std::uint32_t code) {
    refused_ = std::move(refusedNameGbk);
    code_ = code;
    upstream_[0] = loginPort;
    upstream_[1] = servicePort;
    if (::pipe(stopPipe_) != 0) return false;
    for (int i = 0; i < 2; ++i) {
        listeners_[i] = Listen(&ports_[i]);
        if (listeners_[i] < 0) return false;
    }
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void CRefusingProxy::Stop() {
    if (stopping_.exchange(true)) return;
    if (stopPipe_[1] >= 0) {
        const char c = 0;
        (void)!::write(stopPipe_[1], &c, 1);
    }
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& t : connections_)
        if (t.joinable()) t.join();
    for (int fd : {listeners_[0], listeners_[1], stopPipe_[0], stopPipe_[1]})
        if (fd >= 0) ::close(fd);
}

void CRefusingProxy::AcceptLoop() {
    while (!stopping_) {
        pollfd fds[3] = {
            {listeners_[0], POLLIN, 0}, {listeners_[1], POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) <= 0) continue;
        if (fds[2].revents) return;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & POLLIN)) continue;
            int client = ::accept(listeners_[i], nullptr, nullptr);
            if (client >= 0)
                connections_.emplace_back([this, client, i] { Serve(client, upstream_[i]); });
        }
    }
}

void CRefusingProxy::Serve(int client, int upstreamPort) {
    int server = ConnectLoopback(upstreamPort);
    std::vector<std::uint8_t> pending;
    std::uint8_t buf[16384];
    while (server >= 0 && !stopping_) {
        pollfd fds[3] = {{client, POLLIN, 0}, {server, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 3, -1) <= 0) continue;
        if (fds[2].revents) break;
        if (fds[1].revents) {
            ssize_t n = ::recv(server, buf, sizeof(buf), 0);
            if (n <= 0 || !SendAll(client, buf, static_cast<std::size_t>(n))) break;
        }
        if (fds[0].revents) {
            ssize_t n = ::recv(client, buf, sizeof(buf), 0);
            if (n <= 0) break;
            pending.insert(pending.end(), buf, buf + n);
            // Whole requests only: each is either passed on or answered here.
            bool ok = true;
            while (ok && pending.size() >= wire::kRequestHeaderSize) {
                const std::uint32_t length = U32(pending.data());
                if (length < wire::kRequestHeaderSize || length > wire::kMaxPacket) {
                    ok = false;
                    break;
                }
                if (pending.size() < length) break;
                const std::uint32_t command = U32(pending.data() + 4);
                const std::uint32_t sequence = U32(pending.data() + 8);
                bool refuse = false;
                if (command == static_cast<std::uint32_t>(wire::Cmd::ContactDelete) &&
                    length >= wire::kBodyOffset + 4 + wire::kContactNameWidth) {
                    const char* name =
                        reinterpret_cast<const char*>(pending.data() + wire::kBodyOffset + 4);
                    refuse = std::string(name, strnlen(name, wire::kContactNameWidth)) == refused_;
                }
                if (refuse) {
                    std::uint8_t reply[64];
                    wire::CPacketWriter w(reply, sizeof(reply));
                    w.BeginReply(wire::InfoOf(wire::Cmd::ContactDelete).replyCommand, sequence,
                                 code_);
                    const std::size_t size = w.Finish();
                    ++refusals_;
                    ok = SendAll(client, reply, size);
                } else {
                    ok = SendAll(server, pending.data(), length);
                }
                pending.erase(pending.begin(), pending.begin() + length);
            }
            if (!ok) break;
        }
    }
    if (server >= 0) ::close(server);
    ::close(client);
}

}  // namespace kavo::test
