#include "net/kavo_tcp_client.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codecs/md5_checksum.h"
#include "codecs/xml_document.h"
#include "net/field_codec.h"

namespace kavo {

using wire::Cmd;
using wire::CPacketReader;
using wire::CPacketWriter;

namespace {

// Names, passwords and fields longer than this are refused before anything is sent.
constexpr std::size_t kMaxCredential = 260;

std::string Md5Text(std::string_view bytes) {
    return CMD5Checksum::GetMD5(bytes.data(), bytes.size());
}

// MD5 of the time text followed by the password's own digest text.
std::string LoginDigest(std::string_view timeText, std::string_view password) {
    std::string input(timeText);
    input += Md5Text(password);
    return Md5Text(input);
}

bool BadCredential(std::string_view text) { return text.empty() || text.size() > kMaxCredential; }

std::string LocalTimeText() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    return buf;
}

}  // namespace

CKavoTcpClient::CKavoTcpClient() : servers_{"127.0.0.1", "", ""} {
    // The built-in login hosts: the reference service on this machine. A deployment names
    // its own in KAVO.cfg.
    std::memset(sendBuf_, 0, sizeof(sendBuf_));
    std::memset(recvBuf_, 0, sizeof(recvBuf_));
}

CKavoTcpClient::~CKavoTcpClient() = default;

CKavoTcpClient::Lock CKavoTcpClient::Serialize() {
    Lock lock(mutex_);
    BeginOperation();
    return lock;
}

bool CKavoTcpClient::LoadServerList(const std::string& path) {
    CXmlDocument doc;
    if (!doc.LoadFile(path)) return false;
    doc.Rewind();
    if (!doc.NextElement() || !doc.NextChildElement("IP")) return false;
    auto lock = Serialize();
    // Each slot takes its attribute as it is: a missing one empties the slot rather than
    // falling back to the built-in host.
    servers_[0] = doc.ChildAttribute("SvrIP0");
    servers_[1] = doc.ChildAttribute("SvrIP1");
    servers_[2] = doc.ChildAttribute("SvrIP2");
    return true;
}

void CKavoTcpClient::SetPorts(int loginPort, int servicePort) {
    auto lock = Serialize();
    loginPort_ = loginPort;
    servicePort_ = servicePort;
}

void CKavoTcpClient::SetMessageHook(std::function<void(const std::string&)> hook) {
    auto lock = Serialize();
    messageHook_ = std::move(hook);
}

void CKavoTcpClient::SetClock(std::function<std::string()> clock) {
    auto lock = Serialize();
    clock_ = std::move(clock);
}

std::string CKavoTcpClient::TimeText() const {
    std::string t = clock_ ? clock_() : LocalTimeText();
    t.resize(wire::kTimeTextWidth, '0');
    return t;
}

// ---------------------------------------------------------------------------------------------
// Connection

bool CKavoTcpClient::Connect(const std::string& host, int port) {
    auto lock = Serialize();
    return CTcpClient::Connect(host, port);
}

bool CKavoTcpClient::ConnectServerListLocked(int port) {
    for (const std::string& host : servers_) {
        if (!host.empty() && CTcpClient::Connect(host, port)) return true;
    }
    return false;
}

bool CKavoTcpClient::ConnectServerList(int port) {
    auto lock = Serialize();
    return ConnectServerListLocked(port);
}

bool CKavoTcpClient::Close() {
    auto lock = Serialize();
    return CTcpClient::Close();
}

void CKavoTcpClient::Drain() {
    auto lock = Serialize();
    CTcpClient::Drain();
}

bool CKavoTcpClient::IsDead() {
    auto lock = Serialize();
    return CTcpClient::IsDead();
}

bool CKavoTcpClient::TryIsConnected(bool* alive) {
    Lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return false;
    BeginOperation();
    bool dead = CTcpClient::IsDead();
    if (alive) *alive = !dead;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Framing

CPacketWriter CKavoTcpClient::StartRequest(Cmd cmd) {
    CPacketWriter w(sendBuf_, sizeof(sendBuf_));
    w.BeginRequest(cmd, Sequence(), wire::InfoOf(cmd).hasToken ? token_.data() : nullptr);
    return w;
}

bool CKavoTcpClient::Refuse(int code) {
    SetLastError(code);
    return false;
}

bool CKavoTcpClient::SendPacket(CPacketWriter& w) {
    std::size_t n = w.Finish();
    if (n == 0) return Refuse(wire::kResultDataLength);
    sentSequence_ = wire::GetU32(sendBuf_ + 8);
    if (!SendAll(sendBuf_, n, Timeouts().ioMs)) return Refuse(wire::kResultTransport);
    return true;
}

bool CKavoTcpClient::ReadReply() {
    // A reply shorter than its header leaves no result of its own: show 0, not the last one.
    std::memset(recvBuf_, 0, wire::kReplyHeaderSize);
    replyLength_ = 0;
    if (!RecvExact(recvBuf_, wire::kRequestHeaderSize, Timeouts().ioMs))
        return Refuse(wire::kResultTransport);
    std::uint32_t length = wire::GetU32(recvBuf_);
    if (length >= wire::kMaxPacket) {
        CTcpClient::Drain();
        return Refuse(wire::kResultTransport);
    }
    if (length > wire::kRequestHeaderSize &&
        !RecvExact(recvBuf_ + wire::kRequestHeaderSize, length - wire::kRequestHeaderSize,
                   Timeouts().ioMs))
        return Refuse(wire::kResultTransport);
    replyLength_ = length;
    return true;
}

wire::ReplyHeader CKavoTcpClient::Reply() const {
    wire::ReplyHeader h;
    wire::ParseReplyHeader(recvBuf_, wire::kReplyHeaderSize, h);
    return h;
}

CPacketReader CKavoTcpClient::ReplyReader() const { return CPacketReader(recvBuf_, replyLength_); }

bool CKavoTcpClient::Accept(Cmd cmd, std::uint32_t minimum, bool checkResult, bool setError) {
    wire::ReplyHeader h = Reply();
    bool ok = replyLength_ >= minimum && h.command == wire::ReplyCommand(cmd) &&
              h.sequence == sentSequence_ && (!checkResult || h.result == 0);
    if (!ok && setError) SetLastError(static_cast<int>(h.result));
    return ok;
}

bool CKavoTcpClient::Transact(CPacketWriter& w, Cmd cmd, bool checkResult) {
    return SendPacket(w) && ReadReply() && Accept(cmd, wire::InfoOf(cmd).replyMinimum, checkResult);
}

bool CKavoTcpClient::ReadBatchReply(Cmd cmd, std::uint32_t& k) {
    if (!ReadReply()) return false;
    if (!Accept(cmd, wire::kReplyHeaderSize, false, false)) return false;
    k = Reply().result;
    return true;
}

bool CKavoTcpClient::CountRequest(Cmd cmd, std::int32_t& total) {
    CPacketWriter w = StartRequest(cmd);
    if (!Transact(w, cmd)) return false;
    total = static_cast<std::int32_t>(wire::GetU32(recvBuf_ + wire::kReplyBodyOffset));
    return true;
}

// ---------------------------------------------------------------------------------------------
// Register, Login, LoginClose, ChangePassword

bool CKavoTcpClient::LoginCloseLocked() {
    CPacketWriter w = StartRequest(Cmd::LoginClose);
    return Transact(w, Cmd::LoginClose);
}

bool CKavoTcpClient::Register(std::string_view user, std::string_view password,
                              std::string_view mobileOrEmail) {
    auto lock = Serialize();
    if (BadCredential(user) || BadCredential(password)) return false;
    if (user.size() > wire::kUserNameWidth || mobileOrEmail.size() > wire::kUserNameWidth)
        return Refuse(wire::kResultDataLength);

    CPacketWriter w = StartRequest(Cmd::Register);
    w.PutFixedText(user, wire::kUserNameWidth);
    w.PutFixedText(Md5Text(password), wire::kDigestWidth);
    w.PutFixedText(mobileOrEmail, wire::kUserNameWidth);
    bool accepted = Transact(w, Cmd::Register);
    if (accepted) {
        std::memcpy(token_.data(), recvBuf_ + wire::kReplyBodyOffset, wire::kTokenSize);
        LoginCloseLocked();
    }
    CTcpClient::Close();
    return accepted;
}

bool CKavoTcpClient::Login(std::string_view user, std::string_view password) {
    auto lock = Serialize();
    if (BadCredential(user) || BadCredential(password)) return false;
    if (user.size() > wire::kUserNameWidth) return Refuse(wire::kResultDataLength);

    std::string timeText = TimeText();
    CPacketWriter w = StartRequest(Cmd::Login);
    w.PutFixedText(user, wire::kUserNameWidth);
    w.PutFixedText(LoginDigest(timeText, password), wire::kDigestWidth);
    w.PutFixedText(timeText, wire::kTimeTextWidth);
    w.PutU32(1);
    bool accepted = Transact(w, Cmd::Login);

    std::string serviceHost;
    if (accepted) {
        std::memcpy(token_.data(), recvBuf_ + wire::kReplyBodyOffset, wire::kTokenSize);
        // The address is NUL-terminated text from 48, read no further than the reply.
        const char* p = reinterpret_cast<const char*>(recvBuf_ + 48);
        std::size_t avail = replyLength_ - 48;
        const void* nul = std::memchr(p, 0, avail);
        serviceHost.assign(p, nul ? static_cast<const char*>(nul) - p : avail);
        LoginCloseLocked();
    }
    std::string loginHost = Host();
    CTcpClient::Close();
    if (!accepted) return false;

    // A reply that names no service server means the login server serves the user itself.
    if (serviceHost.empty() || serviceHost == "0.0.0.0") serviceHost = loginHost;
    if (!CTcpClient::Connect(serviceHost, servicePort_)) return Refuse(wire::kResultTransport);

    CTcpClient::Drain();
    loginNotices_.clear();
    DownloadNoticesLocked(loginNotices_);
    return true;
}

bool CKavoTcpClient::ChangePassword(std::string_view user, std::string_view oldPassword,
                                    std::string_view newPassword) {
    auto lock = Serialize();
    if (user.size() > wire::kUserNameWidth || oldPassword.size() > kMaxCredential ||
        newPassword.size() > kMaxCredential)
        return Refuse(wire::kResultDataLength);
    std::string timeText = TimeText();
    CPacketWriter w = StartRequest(Cmd::ChangePassword);
    w.PutFixedText(user, wire::kUserNameWidth);
    w.PutFixedText(LoginDigest(timeText, oldPassword), wire::kDigestWidth);
    w.PutFixedText(timeText, wire::kTimeTextWidth);
    w.PutFixedText(Md5Text(newPassword), wire::kDigestWidth);
    return Transact(w, Cmd::ChangePassword);
}

// ---------------------------------------------------------------------------------------------
// Downloads

bool CKavoTcpClient::DownloadNotices(std::vector<CMsgData>& out) {
    auto lock = Serialize();
    return DownloadNoticesLocked(out);
}

bool CKavoTcpClient::DownloadNoticesLocked(std::vector<CMsgData>& out) {
    std::int32_t total = 0;
    if (!CountRequest(Cmd::NoticeCount, total)) return false;
    std::int64_t expected = total;
    while (expected > 0) {
        CPacketWriter w = StartRequest(Cmd::NoticeBatch);
        std::uint32_t k = 0;
        if (!SendPacket(w) || !ReadBatchReply(Cmd::NoticeBatch, k)) return false;
        if (k < 1 || k > expected) return false;
        CPacketReader r = ReplyReader();
        r.Seek(wire::kReplyBodyOffset);
        if (std::uint64_t{k} * wire::kNoticeSize > r.remaining())
            return Refuse(wire::kResultDataLength);
        for (std::uint32_t i = 0; i < k; ++i) {
            CMsgData notice;
            r.ReadBytes(&notice, sizeof(notice));
            out.push_back(notice);
        }
        expected -= k;
    }
    return true;
}

namespace {

// Unpacks k records from the reader into a batch of their own, so that a reply whose
// counts run past its end adds nothing.
template <typename Record, typename Read>
bool UnpackBatch(CPacketReader& r, std::uint32_t k, std::vector<Record>& out, Read read) {
    std::vector<Record> batch;
    for (std::uint32_t i = 0; i < k; ++i) {
        Record rec;
        if (!read(r, rec)) return false;
        batch.push_back(rec);
    }
    out.insert(out.end(), batch.begin(), batch.end());
    return true;
}

}  // namespace

bool CKavoTcpClient::DownloadSms(std::vector<CSmsData>& out) {
    auto lock = Serialize();
    std::int32_t total = 0;
    if (!CountRequest(Cmd::SmsCount, total)) return false;
    std::int64_t received = 0;
    while (received < total) {
        CPacketWriter w = StartRequest(Cmd::SmsBatch);
        w.PutU32(static_cast<std::uint32_t>(received));
        w.PutU32(static_cast<std::uint32_t>(received));
        std::uint32_t k = 0;
        if (!SendPacket(w) || !ReadBatchReply(Cmd::SmsBatch, k)) return false;
        if (k < 1) return false;
        CPacketReader r = ReplyReader();
        r.Seek(wire::kReplyBodyOffset);
        if (!UnpackBatch(r, k, out, [](CPacketReader& rd, CSmsData& s) { return rd.ReadSms(s); }))
            return Refuse(wire::kResultDataLength);
        received += k;
    }
    return true;
}

bool CKavoTcpClient::DownloadAccounts(std::vector<CAccountData>& out) {
    auto lock = Serialize();
    std::int32_t total = 0;
    if (!CountRequest(Cmd::AccountCount, total)) return false;
    std::int64_t expected = total;
    while (expected > 0) {
        CPacketWriter w = StartRequest(Cmd::AccountBatch);
        std::uint32_t k = 0;
        if (!SendPacket(w) || !ReadBatchReply(Cmd::AccountBatch, k)) return false;
        if (k < 1) return false;
        CPacketReader r = ReplyReader();
        r.Seek(wire::kReplyBodyOffset);
        if (!UnpackBatch(r, k, out,
                         [](CPacketReader& rd, CAccountData& a) { return rd.ReadAccount(a); }))
            return Refuse(wire::kResultDataLength);
        expected -= k;
    }
    return true;
}

bool CKavoTcpClient::DownloadHistory(std::vector<CHistoryData>& out) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::HistoryList);
    if (!SendPacket(w) || !ReadReply()) return false;
    // The result field is not examined here, and a refusal keeps the last error code.
    if (!Accept(Cmd::HistoryList, wire::InfoOf(Cmd::HistoryList).replyMinimum, false, false))
        return false;
    CPacketReader r = ReplyReader();
    r.Seek(wire::kReplyBodyOffset);
    std::uint32_t k = 0;
    r.ReadU32(k);
    if (!UnpackBatch(r, k, out,
                     [](CPacketReader& rd, CHistoryData& h) { return rd.ReadHistory(h); }))
        return Refuse(wire::kResultDataLength);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Contacts

bool CKavoTcpClient::UploadContacts(std::deque<CRelData>& list, int mode) {
    auto lock = Serialize();
    // A contact whose packed form alone reaches the batch limit could never be sent: each
    // call would send an empty batch and the list would never shrink.
    if (!list.empty() &&
        wire::kUploadBatchHeader + wire::PackedContactSize(list.front()) >= wire::kUploadBatchLimit)
        return Refuse(wire::kResultDataLength);

    CPacketWriter begin = StartRequest(Cmd::ContactUploadBegin);
    std::uint32_t count = static_cast<std::uint32_t>(list.size());
    begin.PutU32(mode == 0 ? count : 0);
    begin.PutU32(mode == 0 ? 0 : count);
    if (!Transact(begin, Cmd::ContactUploadBegin)) return false;

    CPacketWriter w = StartRequest(Cmd::ContactUploadBatch);
    w.PutU32(0);
    w.PutU8(static_cast<std::uint8_t>(mode));
    std::uint32_t packed = 0;
    while (!list.empty()) {
        if (w.size() + wire::PackedContactSize(list.front()) >= wire::kUploadBatchLimit) break;
        w.PutContact(list.front());
        list.pop_front();
        ++packed;
    }
    w.PatchU32(wire::kBodyOffset, packed);
    return Transact(w, Cmd::ContactUploadBatch);
}

std::uint32_t CKavoTcpClient::ContactCount() {
    std::uint32_t count = 0;
    ContactCount(count);
    return count;
}

bool CKavoTcpClient::ContactCount(std::uint32_t& count) {
    auto lock = Serialize();
    std::int32_t total = 0;
    count = 0;
    if (!CountRequest(Cmd::ContactCount, total)) return false;
    count = static_cast<std::uint32_t>(total);
    return true;
}

bool CKavoTcpClient::DownloadContacts(int remaining, std::vector<CRelData>& out) {
    std::string message;
    std::function<void(const std::string&)> hook;
    {
        auto lock = Serialize();
        if (remaining <= 0) return true;
        CPacketWriter w = StartRequest(Cmd::ContactDownloadBatch);
        if (!SendPacket(w)) return false;
        if (ReadReply()) {
            if (!Accept(Cmd::ContactDownloadBatch, wire::kReplyHeaderSize, false, false))
                return false;
            CPacketReader r = ReplyReader();
            r.Seek(wire::kReplyBodyOffset);
            if (!UnpackBatch(r, Reply().result, out,
                             [](CPacketReader& rd, CRelData& c) { return rd.ReadContact(c); }))
                return Refuse(wire::kResultDataLength);
            return true;
        }
        char head[64];
        std::snprintf(head, sizeof(head), "%d-%d-%u", remaining,
                      static_cast<int>(wire::GetU32(recvBuf_ + 12)),
                      static_cast<unsigned>(LastOsError()));
        message = std::string(head) + "接收联系人内容应答失败";
        hook = messageHook_;
    }
    // Shown by the application; called without the lock so the hook may wait on the screen.
    if (hook) hook(message);
    return false;
}

bool CKavoTcpClient::DeleteContacts(const std::vector<std::string>& names) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::ContactDelete);
    w.PutU32(static_cast<std::uint32_t>(names.size()));
    for (const std::string& name : names) w.PutFixedText(name, wire::kContactNameWidth);
    return Transact(w, Cmd::ContactDelete);
}

// ---------------------------------------------------------------------------------------------
// SMS, accounts, status

bool CKavoTcpClient::DeleteSms(const std::vector<std::uint32_t>& ids) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::SmsDelete);
    w.PutU32(static_cast<std::uint32_t>(ids.size()));
    for (std::uint32_t id : ids) w.PutU32(id);
    return Transact(w, Cmd::SmsDelete);
}

bool CKavoTcpClient::ModifyAccount(const CAccountData& account, bool isNew) {
    auto lock = Serialize();
    Cmd cmd = isNew ? Cmd::AccountAdd : Cmd::AccountModify;
    CPacketWriter w = StartRequest(cmd);
    w.PutRecord(&account, kAccountFields);
    return Transact(w, cmd);
}

bool CKavoTcpClient::DeleteAccount(std::string_view accountName) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::AccountDelete);
    w.PutU16String(accountName);
    return Transact(w, Cmd::AccountDelete);
}

bool CKavoTcpClient::MemberStatus(CMemberStatus& out) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::MemberStatus);
    if (!Transact(w, Cmd::MemberStatus)) return false;
    CPacketReader r = ReplyReader();
    r.Seek(wire::kReplyBodyOffset);
    CMemberStatus status;
    std::uint32_t n = 0;
    r.ReadU32(status.Value);
    r.ReadFixedText(status.ExpiryTime, 20);
    r.ReadU32(status.Balance);
    r.ReadU32(n);
    if (n > 0 && n < kMaxCredential) {
        std::string fee(n, '\0');
        if (!r.ReadBytes(fee.data(), n)) return Refuse(wire::kResultDataLength);
        status.FeeType = std::move(fee);
    }
    out = std::move(status);
    return true;
}

bool CKavoTcpClient::ServerStatistics(CStatisticsData& out) {
    auto lock = Serialize();
    CPacketWriter w = StartRequest(Cmd::ServerStatistics);
    if (!Transact(w, Cmd::ServerStatistics)) return false;
    CPacketReader r = ReplyReader();
    r.Seek(wire::kReplyBodyOffset);
    CStatisticsData stats;
    for (CStatItem* item : {&stats.Contacts, &stats.Sms, &stats.Accounts}) {
        r.ReadU32(item->Count);
        r.ReadBytes(item->LastTime, sizeof(item->LastTime));
    }
    out = stats;
    return true;
}

}  // namespace kavo
