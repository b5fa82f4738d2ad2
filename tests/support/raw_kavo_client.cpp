#include "raw_kavo_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "codecs/md5_checksum.h"

namespace kavo::test {

std::uint32_t RawReply::U32(std::size_t offset) const {
    if (offset + 4 > bytes.size()) return 0;
    return wire::GetU32(bytes.data() + offset);
}

CRawKavoClient::~CRawKavoClient() { Close(); }

bool CRawKavoClient::Connect(const std::string& host, int port, int timeoutSeconds) {
    Close();
    timeout_ = timeoutSeconds;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1) return false;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        close(fd);
        return false;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    fd_ = fd;
    return true;
}

void CRawKavoClient::Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

bool CRawKavoClient::SendBytes(const void* data, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t sent = 0;
    while (sent < n && fd_ >= 0) {
        pollfd pfd{fd_, POLLOUT, 0};
        if (poll(&pfd, 1, timeout_ * 1000) <= 0) return false;
        ssize_t r = send(fd_, p + sent, n - sent, MSG_NOSIGNAL);
        if (r > 0) {
            sent += static_cast<std::size_t>(r);
        } else if (r < 0 && errno != EINTR && errno != EAGAIN) {
            return false;
        }
    }
    return sent == n;
}

bool CRawKavoClient::RecvExact(std::uint8_t* buf, std::size_t n) {
    std::size_t got = 0;
    while (got < n && fd_ >= 0) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, timeout_ * 1000) <= 0) return false;
        ssize_t r = recv(fd_, buf + got, n - got, 0);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (r == 0 || (errno != EINTR && errno != EAGAIN)) {
            return false;
        }
    }
    return got == n;
}

bool CRawKavoClient::ReadReply(RawReply* reply) {
    reply->bytes.assign(wire::kRequestHeaderSize, 0);
    if (!RecvExact(reply->bytes.data(), wire::kRequestHeaderSize)) return false;
    std::uint32_t length = wire::GetU32(reply->bytes.data());
    if (length < wire::kReplyHeaderSize || length >= wire::kMaxPacket) return false;
    reply->bytes.resize(length);
    if (!RecvExact(reply->bytes.data() + wire::kRequestHeaderSize,
                   length - wire::kRequestHeaderSize)) {
        return false;
    }
    wire::ParseReplyHeader(reply->bytes.data(), reply->bytes.size(), reply->header);
    return true;
}

bool CRawKavoClient::WaitClosed(int timeoutSeconds) {
    auto deadline = std::time(nullptr) + timeoutSeconds;
    std::uint8_t scratch[4096];
    while (fd_ >= 0 && std::time(nullptr) <= deadline) {
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, 1000) <= 0) continue;
        ssize_t r = recv(fd_, scratch, sizeof(scratch), 0);
        if (r == 0 || (r < 0 && errno == ECONNRESET)) return true;
    }
    return false;
}

bool CRawKavoClient::Call(wire::Cmd cmd, const std::vector<std::uint8_t>& body, RawReply* reply) {
    std::vector<std::uint8_t> packet(wire::kMaxPacket);
    wire::CPacketWriter w(packet.data(), packet.size());
    bool token = wire::InfoOf(cmd).hasToken;
    w.BeginRequest(cmd, sequence_, token ? token_.data() : nullptr);
    w.PutBytes(body.data(), body.size());
    std::size_t n = w.Finish();
    if (n == 0) return false;
    ++sequence_;
    return SendBytes(packet.data(), n) && ReadReply(reply);
}

std::uint32_t CRawKavoClient::Register(const std::string& gbkName, const std::string& password,
                                       const std::string& contact) {
    std::vector<std::uint8_t> body;
    AppendFixed(body, gbkName, 50);
    AppendFixed(body, CMD5Checksum::GetMD5(password.data(), password.size()), 32);
    AppendFixed(body, contact, 50);
    RawReply reply;
    if (!Call(wire::Cmd::Register, body, &reply)) return 0xFFFFFFFFu;
    if (reply.result() != 0) return reply.result();
    if (reply.bytes.size() < 48) return 0xFFFFFFFFu;
    std::memcpy(token_.data(), reply.bytes.data() + 16, token_.size());
    RawReply closeReply;
    Call(wire::Cmd::LoginClose, {}, &closeReply);
    return 0;
}

std::uint32_t CRawKavoClient::Login(const std::string& gbkName, const std::string& password,
                                    std::string* serviceHost) {
    std::string time = TimeText();
    std::vector<std::uint8_t> body;
    AppendFixed(body, gbkName, 50);
    AppendFixed(body, LoginDigest(time, password), 32);
    AppendFixed(body, time, 6);
    AppendU32(body, 1);
    RawReply reply;
    if (!Call(wire::Cmd::Login, body, &reply)) return 0xFFFFFFFFu;
    if (reply.result() != 0) return reply.result();
    if (reply.bytes.size() < 67) return 0xFFFFFFFFu;
    std::memcpy(token_.data(), reply.bytes.data() + 16, token_.size());
    if (serviceHost) {
        const char* p = reinterpret_cast<const char*>(reply.bytes.data() + 48);
        serviceHost->assign(p, strnlen(p, reply.bytes.size() - 48));
    }
    RawReply closeReply;
    Call(wire::Cmd::LoginClose, {}, &closeReply);
    return 0;
}

std::uint32_t LoginToService(CRawKavoClient& service, const std::string& host, int loginPort,
                             int servicePort, const std::string& gbkName,
                             const std::string& password) {
    CRawKavoClient login;
    if (!login.Connect(host, loginPort)) return 0xFFFFFFFFu;
    std::uint32_t rc = login.Login(gbkName, password);
    if (rc != 0) return rc;
    if (!service.Connect(host, servicePort)) return 0xFFFFFFFFu;
    service.token() = login.token();
    return 0;
}

void AppendU32(std::vector<std::uint8_t>& body, std::uint32_t v) {
    std::uint8_t b[4];
    wire::PutU32(b, v);
    body.insert(body.end(), b, b + 4);
}

void AppendFixed(std::vector<std::uint8_t>& body, const std::string& text, std::size_t width) {
    std::size_t n = std::min(text.size(), width);
    body.insert(body.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    body.insert(body.end(), width - n, 0);
}

void AppendU16String(std::vector<std::uint8_t>& body, const std::string& text) {
    std::uint8_t b[2];
    wire::PutU16(b, static_cast<std::uint16_t>(text.size()));
    body.insert(body.end(), b, b + 2);
    body.insert(body.end(), text.begin(), text.end());
}

std::string TimeText() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

std::string LoginDigest(const std::string& timeText, const std::string& password) {
    std::string material = timeText + CMD5Checksum::GetMD5(password.data(), password.size());
    return CMD5Checksum::GetMD5(material.data(), material.size());
}

}  // namespace kavo::test
