// The one client of the service: the login server list, the login token, the request
// framing and every request of the service. All text arguments and record fields are the
// GBK bytes that travel on the wire.
//
// Every request returns true or false and leaves the reason in LastError(): the server's
// result code of a refused reply, 26 for any transport failure, 123 for data that does not
// fit its packet or field. One mutex serialises the requests and the liveness check, so the
// user-interface thread and one worker can share the client; Abort() is the one call that
// does not wait for it.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/tcp_client.h"
#include "net/wire.h"
#include "store/records.h"

namespace kavo {

// What the MemberStatus reply tells about the user's subscription.
struct CMemberStatus {
    std::uint32_t Value = 0;    // the reply's first u32, unused by the screens
    std::string ExpiryTime;     // expiry time text
    std::uint32_t Balance = 0;  // in the service's own currency units
    std::string FeeType;        // fee type text
};

class CKavoTcpClient : protected CTcpClient {
public:
    static constexpr int kLoginPort = 1974;
    static constexpr int kServicePort = 1980;
    static constexpr int kServerSlots = 3;

    CKavoTcpClient();
    ~CKavoTcpClient() override;

    // ---- server list and connection ----

    // Replaces the three login hosts from the configuration file (element IP under the
    // root, attributes SvrIP0..SvrIP2; a missing attribute empties its slot). A missing or
    // malformed file, or one without an IP element, leaves the list alone; false then.
    bool LoadServerList(const std::string& path);
    const std::string& ServerHost(int slot) const { return servers_.at(slot); }
    void SetServerHost(int slot, std::string host) { servers_.at(slot) = std::move(host); }

    // The ports of the login and the service server; 1974 and 1980 unless a test sets others.
    void SetPorts(int loginPort, int servicePort);
    int LoginPort() const { return loginPort_; }
    int ServicePort() const { return servicePort_; }

    bool Connect(const std::string& host, int port);
    // Tries slots 0, 1, 2 in order, always from slot 0; the first that connects wins.
    bool ConnectServerList(int port);
    // ConnectServerList on the login port.
    bool ConnectLoginServer() { return ConnectServerList(loginPort_); }
    bool Close();
    void Drain();
    // The liveness check (blocks while another thread's request is under way).
    bool IsDead();
    // The liveness check for the user-interface thread: false, without waiting, when a
    // request holds the client; otherwise true with *alive set.
    bool TryIsConnected(bool* alive);

    using CTcpClient::Abort;  // from any thread: ends the request under way, closing the socket
    using CTcpClient::HoldAborts;
    using CTcpClient::Host;
    using CTcpClient::IsConnected;
    using CTcpClient::LastError;
    using CTcpClient::Port;
    using CTcpClient::Sequence;
    using CTcpClient::SetConnector;
    using CTcpClient::SetLastError;
    using CTcpClient::SetTimeouts;
    using CTcpClient::Timeouts;

    // The 32 bytes of the last successful Login or Register reply (zeros before).
    const std::array<std::uint8_t, wire::kTokenSize>& Token() const { return token_; }

    // ---- requests ----

    // On a connection to the login server. Names longer than their 50-byte field are
    // refused (123) before sending. The connection is closed afterwards.
    bool Register(std::string_view user, std::string_view password, std::string_view mobileOrEmail);
    // On a connection to the login server; on success the client is connected to the
    // service server that the reply names, on the service port (the login host when the reply
    // names none or 0.0.0.0), and LoginNotices() holds the notices downloaded there.
    bool Login(std::string_view user, std::string_view password);
    const std::vector<CMsgData>& LoginNotices() const { return loginNotices_; }
    bool ChangePassword(std::string_view user, std::string_view oldPassword,
                        std::string_view newPassword);

    // The downloads append to `out`; a failure keeps what earlier batches appended.
    bool DownloadNotices(std::vector<CMsgData>& out);
    bool DownloadSms(std::vector<CSmsData>& out);
    bool DownloadAccounts(std::vector<CAccountData>& out);
    bool DownloadHistory(std::vector<CHistoryData>& out);

    // One batch: ContactUploadBegin with the contacts left, then as many contacts from the
    // front of the list as keep the packet below 2170 bytes, removed from the list as they
    // are packed. A front contact too big for any batch fails the call (123) with nothing
    // sent and the list unchanged. mode 0 or 1.
    bool UploadContacts(std::deque<CRelData>& list, int mode);
    // The number of contacts stored on the server; 0 on failure.
    std::uint32_t ContactCount();
    // The same, telling a failure apart from an empty address book on the server.
    bool ContactCount(std::uint32_t& count);
    // One batch of stored contacts appended to `out` (possibly none); true without sending
    // when remaining <= 0. When no reply arrives, the message hook receives the text.
    bool DownloadContacts(int remaining, std::vector<CRelData>& out);
    // The message hook of DownloadContacts: UTF-8 text for the user's message box.
    void SetMessageHook(std::function<void(const std::string&)> hook);

    bool DeleteContacts(const std::vector<std::string>& names);
    bool DeleteSms(const std::vector<std::uint32_t>& ids);
    // AccountAdd for a new record, AccountModify for an existing one.
    bool ModifyAccount(const CAccountData& account, bool isNew);
    bool DeleteAccount(std::string_view accountName);
    bool MemberStatus(CMemberStatus& out);
    bool ServerStatistics(CStatisticsData& out);

    // The local time text "HHMMSS" used in the login digest; tests may fix it.
    void SetClock(std::function<std::string()> clock);

private:
    using Lock = std::unique_lock<std::mutex>;
    Lock Serialize();

    // Request framing; the caller holds the mutex.
    wire::CPacketWriter StartRequest(wire::Cmd cmd);
    bool SendPacket(wire::CPacketWriter& w);
    bool ReadReply();
    wire::ReplyHeader Reply() const;
    // The lockstep tests: minimum length, reply command, sequence, and a zero result when
    // asked. A refusal sets the last error code to the reply's result when setError.
    bool Accept(wire::Cmd cmd, std::uint32_t minimum, bool checkResult, bool setError = true);
    // Send, read and accept with the request's own reply minimum.
    bool Transact(wire::CPacketWriter& w, wire::Cmd cmd, bool checkResult = true);
    // Reads a batch reply: length >= 16, command and sequence. No error code on refusal.
    bool ReadBatchReply(wire::Cmd cmd, std::uint32_t& k);
    wire::CPacketReader ReplyReader() const;
    bool Refuse(int code);

    bool ConnectServerListLocked(int port);
    bool DownloadNoticesLocked(std::vector<CMsgData>& out);
    bool LoginCloseLocked();
    std::string TimeText() const;
    bool CountRequest(wire::Cmd cmd, std::int32_t& total);

    std::mutex mutex_;
    std::array<std::string, kServerSlots> servers_;
    int loginPort_ = kLoginPort;
    int servicePort_ = kServicePort;
    std::array<std::uint8_t, wire::kTokenSize> token_{};
    std::uint8_t sendBuf_[wire::kMaxPacket];
    std::uint8_t recvBuf_[wire::kMaxPacket];
    std::uint32_t replyLength_ = 0;  // bytes of the last reply held in recvBuf_
    std::uint32_t sentSequence_ = 0;
    std::vector<CMsgData> loginNotices_;
    std::function<void(const std::string&)> messageHook_;
    std::function<std::string()> clock_;
};

}  // namespace kavo
