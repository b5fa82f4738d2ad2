// A bare client of the wire format for tests and the load test: it builds request
// packets with the shared wire helpers, sends them as they are (or any bytes at all) and
// reads one reply, so tests can see every field the server sends back.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/wire.h"

namespace kavo::test {

struct RawReply {
    wire::ReplyHeader header;
    std::vector<std::uint8_t> bytes;  // the whole reply, header included

    std::uint32_t result() const { return header.result; }
    // The u32 at `offset`, 0 when the reply is shorter.
    std::uint32_t U32(std::size_t offset) const;
};

class CRawKavoClient {
public:
    CRawKavoClient() = default;
    ~CRawKavoClient();
    CRawKavoClient(const CRawKavoClient&) = delete;
    CRawKavoClient& operator=(const CRawKavoClient&) = delete;

    bool Connect(const std::string& host, int port, int timeoutSeconds = 20);
    void Close();
    bool connected() const { return fd_ >= 0; }

    // Raw bytes, for malformed input.
    bool SendBytes(const void* data, std::size_t n);
    // Reads one reply: 12 bytes, then the rest that its length announces (below 8192).
    bool ReadReply(RawReply* reply);
    // True when the server closed the connection (reads 0 bytes within the timeout).
    bool WaitClosed(int timeoutSeconds);

    // One request: header, the token for every request but Login and Register, the body.
    // Returns false when the exchange failed on the transport.
    bool Call(wire::Cmd cmd, const std::vector<std::uint8_t>& body, RawReply* reply);

    // Register and Login as the real client does them on a login-server connection,
    // LoginClose included. Return the reply's result (0 on success, 0xFFFFFFFF when the
    // transport failed); the token is kept for later calls.
    std::uint32_t Register(const std::string& gbkName, const std::string& password,
                           const std::string& contact);
    std::uint32_t Login(const std::string& gbkName, const std::string& password,
                        std::string* serviceHost = nullptr);

    std::array<std::uint8_t, wire::kTokenSize>& token() { return token_; }
    std::uint32_t sequence() const { return sequence_; }

private:
    bool RecvExact(std::uint8_t* buf, std::size_t n);

    int fd_ = -1;
    int timeout_ = 20;
    std::uint32_t sequence_ = 0;
    std::array<std::uint8_t, wire::kTokenSize> token_{};
};

// Connects to the login server, logs in, then connects `service` to the service server
// on servicePort. Returns the Login result (0 on success).
std::uint32_t LoginToService(CRawKavoClient& service, const std::string& host, int loginPort,
                             int servicePort, const std::string& gbkName,
                             const std::string& password);

// Body builders.
void AppendU32(std::vector<std::uint8_t>& body, std::uint32_t v);
void AppendFixed(std::vector<std::uint8_t>& body, const std::string& text, std::size_t width);
void AppendU16String(std::vector<std::uint8_t>& body, const std::string& text);

// "%02d%02d%02d" of the local time, and the login digest made from it.
std::string TimeText();
std::string LoginDigest(const std::string& timeText, const std::string& password);

}  // namespace kavo::test
