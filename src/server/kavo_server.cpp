#include "server/kavo_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>

#include "net/wire.h"

namespace kavo {
namespace {

using Clock = std::chrono::steady_clock;

// epoll tags of the descriptors that are not connections (connection ids start at 1).
constexpr std::uint64_t kWakeTag = 0;
constexpr std::uint64_t kLoginTag = std::numeric_limits<std::uint64_t>::max() - 1;
constexpr std::uint64_t kServiceTag = std::numeric_limits<std::uint64_t>::max();

// How often the time limits are checked; they are counted in whole seconds.
constexpr auto kSweepInterval = std::chrono::milliseconds(200);
// Connections taken from one listener per wake-up, so that a flood on one port cannot
// keep the loop from everything else.
constexpr int kAcceptBurst = 256;

std::string AddressText(const sockaddr_in& a, bool withPort) {
    char host[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &a.sin_addr, host, sizeof(host));
    std::string text = host;
    if (withPort) text += ":" + std::to_string(ntohs(a.sin_port));
    return text;
}

}  // namespace

// One client connection. It reads one request at a time: the 12-byte header, then the
// rest its length announces; while a worker answers it, nothing more is read.
struct CKavoServer::Connection {
    enum class Phase { Reading, Answering, Writing };

    std::uint64_t id = 0;
    int fd = -1;
    ServerRole role = ServerRole::Login;
    std::uint32_t address = 0;  // the peer's IPv4 address, network order
    std::string peer;           // "ADDR:PORT", for the log
    std::string localHost;      // the address the client reached us on
    ConnectionState state;

    Phase phase = Phase::Reading;
    bool served = false;  // a whole request has arrived
    Clock::time_point handshakeDeadline;
    Clock::time_point deadline;  // of the current phase

    std::vector<std::uint8_t> packet;  // the request being read, header included
    std::size_t have = 0;              // its bytes read so far
    std::size_t need = wire::kRequestHeaderSize;
    std::vector<std::uint8_t> reply;
    std::size_t replySent = 0;
};

CKavoServer::CKavoServer(CRequestHandler& handler, ListenOptions options)
    : handler_(handler), options_(std::move(options)) {}

CKavoServer::~CKavoServer() {
    for (auto& [id, c] : connections_) close(c->fd);
    for (int fd : {loginFd_, serviceFd_, epollFd_, wakeFd_, spareFd_})
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
    int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (s < 0) {
        error_ = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        listen(s, SOMAXCONN) != 0) {
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
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epollFd_ < 0 || wakeFd_ < 0) {
        error_ = std::string("epoll: ") + std::strerror(errno);
        return false;
    }
    if (!OpenListener(options_.loginPort, &loginFd_, &loginPort_) ||
        !OpenListener(options_.servicePort, &serviceFd_, &servicePort_)) {
        return false;
    }
    spareFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
    // The listeners and the wake-up stay level-triggered; connections are armed one
    // event at a time (EPOLLONESHOT), so a connection being answered sends no events.
    for (auto [fd, tag] : {std::pair{wakeFd_, kWakeTag}, std::pair{loginFd_, kLoginTag},
                           std::pair{serviceFd_, kServiceTag}}) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = tag;
        if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
            error_ = std::string("epoll_ctl: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void CKavoServer::Stop() {
    stopping_ = true;
    if (wakeFd_ >= 0) {
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof(one));
    }
}

void CKavoServer::Run() {
    for (int i = 0; i < std::max(1, options_.workers); ++i)
        workers_.emplace_back(&CKavoServer::Worker, this);

    std::vector<epoll_event> events(256);
    auto nextSweep = Clock::now() + kSweepInterval;
    while (!stopping_) {
        int n = epoll_wait(epollFd_, events.data(), static_cast<int>(events.size()),
                           static_cast<int>(kSweepInterval.count()));
        if (n < 0 && errno != EINTR) break;
        for (int i = 0; i < n; ++i) {
            std::uint64_t tag = events[i].data.u64;
            if (tag == kWakeTag) {
                std::uint64_t count = 0;
                [[maybe_unused]] ssize_t r = read(wakeFd_, &count, sizeof(count));
                CollectAnswers();
            } else if (tag == kLoginTag) {
                Accept(loginFd_, ServerRole::Login);
            } else if (tag == kServiceTag) {
                Accept(serviceFd_, ServerRole::Service);
            } else {
                auto it = connections_.find(tag);
                if (it == connections_.end()) continue;
                Connection& c = *it->second;
                if (c.phase == Connection::Phase::Reading) {
                    OnReadable(c);
                } else if (c.phase == Connection::Phase::Writing) {
                    OnWritable(c);
                }
            }
        }
        if (Clock::now() >= nextSweep) {
            SweepDeadlines();
            nextSweep = Clock::now() + kSweepInterval;
        }
    }

    close(loginFd_);
    close(serviceFd_);
    loginFd_ = serviceFd_ = -1;
    // The requests under way finish (a change already in the database is committed);
    // their replies are not sent any more.
    {
        std::lock_guard lock(queueMutex_);
        workersStop_ = true;
    }
    queueReady_.notify_all();
    for (std::thread& t : workers_) t.join();
    workers_.clear();
    for (auto& [id, c] : connections_) {
        shutdown(c->fd, SHUT_RDWR);
        close(c->fd);
    }
    connections_.clear();
    perAddress_.clear();
    pending_.clear();
    answered_.clear();
}

void CKavoServer::Accept(int listenFd, ServerRole role) {
    for (int i = 0; i < kAcceptBurst; ++i) {
        sockaddr_in peer{};
        socklen_t len = sizeof(peer);
        int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len,
                         SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if ((errno == EMFILE || errno == ENFILE) && spareFd_ >= 0) {
                // Out of descriptors: the newest connection is refused. The spare
                // descriptor makes room to take it off the queue and hang up.
                close(spareFd_);
                spareFd_ = -1;
                int refused =
                    accept4(listenFd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
                if (refused >= 0) {
                    close(refused);
                    LogLine(AddressText(peer, true), "refused: out of file descriptors");
                }
                spareFd_ = open("/dev/null", O_RDONLY | O_CLOEXEC);
                continue;
            }
            return;  // nothing more waiting (or an error the next wake-up retries)
        }
        std::string peerText = AddressText(peer, true);
        if (connections_.size() >= static_cast<std::size_t>(options_.maxConnections)) {
            close(fd);
            LogLine(peerText, "refused: too many connections");
            continue;
        }
        std::uint32_t address = peer.sin_addr.s_addr;
        auto countIt = perAddress_.find(address);
        if (countIt != perAddress_.end() && countIt->second >= options_.maxPerAddress) {
            close(fd);
            LogLine(peerText, "refused: too many connections from this address");
            continue;
        }
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
        sockaddr_in local{};
        len = sizeof(local);
        getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);

        auto c = std::make_unique<Connection>();
        c->id = nextId_++;
        c->fd = fd;
        c->role = role;
        c->address = address;
        c->peer = std::move(peerText);
        c->localHost = AddressText(local, false);
        auto now = Clock::now();
        c->handshakeDeadline =
            now + std::chrono::seconds(std::min(options_.handshakeSeconds, options_.idleSeconds));
        c->deadline = c->handshakeDeadline;
        epoll_event ev{};
        ev.events = EPOLLIN | EPOLLONESHOT;
        ev.data.u64 = c->id;
        if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
            close(fd);
            continue;
        }
        ++perAddress_[address];
        connections_.emplace(c->id, std::move(c));
    }
}

void CKavoServer::Arm(Connection& c, std::uint32_t events) {
    epoll_event ev{};
    ev.events = events | EPOLLONESHOT;
    ev.data.u64 = c.id;
    if (epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &ev) != 0) CloseConnection(c, "");
}

void CKavoServer::OnReadable(Connection& c) {
    for (;;) {
        if (c.have == 0) c.packet.resize(wire::kRequestHeaderSize);
        ssize_t r = recv(c.fd, c.packet.data() + c.have, c.need - c.have, 0);
        if (r < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                Arm(c, EPOLLIN);
            } else {
                CloseConnection(c, "");
            }
            return;
        }
        if (r == 0) {
            CloseConnection(c, "");
            return;
        }
        if (c.have == 0) {
            // Once a packet has started it must arrive whole within the packet time (and
            // the first one within the handshake time as well).
            c.deadline = Clock::now() + std::chrono::seconds(options_.packetSeconds);
            if (!c.served) c.deadline = std::min(c.deadline, c.handshakeDeadline);
        }
        c.have += static_cast<std::size_t>(r);
        if (c.have == wire::kRequestHeaderSize && c.need == wire::kRequestHeaderSize) {
            std::uint32_t length = wire::GetU32(c.packet.data());
            if (length < wire::kRequestHeaderSize || length > wire::kMaxPacket) {
                // Nothing after a lying length can be framed again: hang up.
                CloseConnection(c, "bad packet length " + std::to_string(length));
                return;
            }
            c.need = length;
            c.packet.resize(length);
        }
        if (c.have == c.need) break;
    }
    // A whole request: a worker answers it; the socket stays quiet until the reply is out.
    c.phase = Connection::Phase::Answering;
    c.served = true;
    {
        std::lock_guard lock(queueMutex_);
        pending_.push_back(&c);
    }
    queueReady_.notify_one();
}

void CKavoServer::Worker() {
    for (;;) {
        Connection* c = nullptr;
        {
            std::unique_lock lock(queueMutex_);
            queueReady_.wait(lock, [this] { return workersStop_ || !pending_.empty(); });
            if (pending_.empty()) return;
            c = pending_.front();
            pending_.pop_front();
        }
        c->reply.resize(wire::kMaxPacket);
        RequestOutcome outcome;
        std::size_t n = handler_.Handle(c->role, c->packet.data(), c->packet.size(), c->state,
                                        c->localHost, c->reply.data(), &outcome);
        Log(c->peer, outcome);
        c->reply.resize(n);
        {
            std::lock_guard lock(queueMutex_);
            answered_.push_back(c);
        }
        std::uint64_t one = 1;
        [[maybe_unused]] ssize_t r = write(wakeFd_, &one, sizeof(one));
    }
}

void CKavoServer::CollectAnswers() {
    std::deque<Connection*> ready;
    {
        std::lock_guard lock(queueMutex_);
        ready.swap(answered_);
    }
    for (Connection* c : ready) {
        if (c->reply.empty()) {
            CloseConnection(*c, "");  // the handler asked to hang up without a reply
        } else {
            StartWrite(*c);
        }
    }
}

void CKavoServer::StartWrite(Connection& c) {
    c.phase = Connection::Phase::Writing;
    c.replySent = 0;
    c.deadline = Clock::now() + std::chrono::seconds(options_.packetSeconds);
    OnWritable(c);
}

void CKavoServer::OnWritable(Connection& c) {
    while (c.replySent < c.reply.size()) {
        ssize_t r =
            send(c.fd, c.reply.data() + c.replySent, c.reply.size() - c.replySent, MSG_NOSIGNAL);
        if (r > 0) {
            c.replySent += static_cast<std::size_t>(r);
        } else if (r < 0 && errno == EINTR) {
            continue;
        } else if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            Arm(c, EPOLLOUT);
            return;
        } else {
            CloseConnection(c, "");
            return;
        }
    }
    WaitForRequest(c);
}

void CKavoServer::WaitForRequest(Connection& c) {
    c.phase = Connection::Phase::Reading;
    // Buffers go back between requests: a quiet connection holds no packet memory.
    std::vector<std::uint8_t>().swap(c.packet);
    std::vector<std::uint8_t>().swap(c.reply);
    c.have = 0;
    c.need = wire::kRequestHeaderSize;
    c.deadline = Clock::now() + std::chrono::seconds(options_.idleSeconds);
    Arm(c, EPOLLIN);
}

void CKavoServer::SweepDeadlines() {
    auto now = Clock::now();
    std::vector<std::pair<Connection*, const char*>> expired;
    for (auto& [id, c] : connections_) {
        if (c->phase == Connection::Phase::Answering || c->deadline > now) continue;
        const char* why = "truncated packet";
        if (c->phase == Connection::Phase::Writing) {
            why = "reply not taken";
        } else if (!c->served) {
            why = "no request within the handshake time";
        } else if (c->have == 0) {
            why = "idle";
        }
        expired.emplace_back(c.get(), why);
    }
    for (auto [c, why] : expired) CloseConnection(*c, why);
}

void CKavoServer::CloseConnection(Connection& c, const std::string& why) {
    if (!why.empty()) LogLine(c.peer, "closed: " + why);
    close(c.fd);  // also takes it out of the epoll set
    auto count = perAddress_.find(c.address);
    if (count != perAddress_.end() && --count->second <= 0) perAddress_.erase(count);
    connections_.erase(c.id);  // c is gone from here on
}

void CKavoServer::LogLine(const std::string& peer, const std::string& text) {
    if (!options_.logRequests) return;
    std::string line = handler_.TimeText() + " " + peer + " " + text + "\n";
    std::fputs(line.c_str(), stderr);
}

void CKavoServer::Log(const std::string& peer, const RequestOutcome& outcome) {
    if (!options_.logRequests) return;
    std::string line = handler_.TimeText() + " " + peer + " " + outcome.command +
                       (outcome.refused ? " refused=" : " result=") +
                       std::to_string(outcome.result) + "\n";
    std::fputs(line.c_str(), stderr);
}

}  // namespace kavo
