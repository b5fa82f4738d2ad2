#include "server/request_handler.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "codecs/gbk_text.h"
#include "codecs/md5_checksum.h"
#include "net/field_codec.h"
#include "net/wire.h"

namespace kavo {

using wire::Cmd;

namespace {

// Replies stay strictly below the 8192 bytes that the client refuses.
constexpr std::size_t kReplyCapacity = wire::kMaxPacket - 1;

// More records than can ever fit in one reply, so a short fetch means the end was reached.
constexpr int kContactFetch = 124;  // 8175 / 66, the smallest packed contact
constexpr int kSmsFetch = 600;      // 8175 / 14
constexpr int kAccountFetch = 820;  // 8175 / 10
constexpr int kHistoryFetch = 60;   // newest first; as many as fit are sent
constexpr int kNoticesPerBatch = static_cast<int>((kReplyCapacity - 16) / wire::kNoticeSize);

std::string MemberExpiryDefault(std::int64_t now) {
    std::time_t t = static_cast<std::time_t>(now + 365LL * 24 * 3600);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

}  // namespace

bool SystemRandom(std::uint8_t* out, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = getrandom(out + got, n - got, 0);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        break;
    }
    if (got == n) return true;
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    while (got < n) {
        ssize_t r = read(fd, out + got, n - got);
        if (r > 0) {
            got += static_cast<std::size_t>(r);
        } else if (!(r < 0 && errno == EINTR)) {
            break;
        }
    }
    close(fd);
    return got == n;
}

bool IsDigestText(std::string_view text) {
    if (text.size() != 32) return false;
    for (char ch : text) {
        bool hex = (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
        if (!hex) return false;
    }
    return true;
}

bool CStagingBudget::Take(std::int64_t n) {
    std::int64_t now = used_.load();
    do {
        if (now + n > limit_) return false;
    } while (!used_.compare_exchange_weak(now, now + n));
    return true;
}

std::int64_t CStagedUpload::Cost(const StoredContact& c) {
    return static_cast<std::int64_t>(sizeof(StoredContact) + c.relName.size() +
                                     c.mobilePhone1.size() + c.packed.size());
}

CStagedUpload& CStagedUpload::operator=(CStagedUpload&& other) noexcept {
    if (this != &other) {
        Clear();
        budget_ = other.budget_;
        bytes_ = other.bytes_;
        contacts_ = std::move(other.contacts_);
        other.budget_ = nullptr;
        other.bytes_ = 0;
        other.contacts_.clear();
    }
    return *this;
}

bool CStagedUpload::Add(CStagingBudget& budget, std::vector<StoredContact> batch) {
    std::int64_t cost = 0;
    for (const StoredContact& c : batch) cost += Cost(c);
    if (!budget.Take(cost)) return false;
    if (budget_ && budget_ != &budget) Clear();
    budget_ = &budget;
    bytes_ += cost;
    for (StoredContact& c : batch) contacts_.push_back(std::move(c));
    return true;
}

void CStagedUpload::Clear() {
    if (budget_ && bytes_ != 0) budget_->Give(bytes_);
    bytes_ = 0;
    contacts_.clear();
    contacts_.shrink_to_fit();
}

struct CRequestHandler::Ctx {
    ServerRole role;
    const std::uint8_t* packet;
    std::size_t size;
    wire::RequestHeader header;
    const wire::CommandInfo* info;
    ConnectionState& st;
    const std::string& localHost;
    wire::CPacketWriter w;
    wire::CPacketReader r;
    RequestOutcome* outcome;

    // A reply with a body: the header now, the body next, then Done().
    void Begin(std::uint32_t result = 0) {
        w.BeginReply(info->replyCommand, header.sequence, result);
        outcome->result = result;
    }
    std::size_t Done() { return w.Finish(); }
    std::size_t Ack() {
        Begin(0);
        return Done();
    }
    std::size_t Refuse(std::uint32_t code) {
        Begin(code);
        outcome->refused = true;
        return Done();
    }
    std::size_t ReplyU32(std::uint32_t value) {
        Begin(0);
        w.PutU32(value);
        return Done();
    }
};

CRequestHandler::CRequestHandler(IServerStore& db, ServerConfig config)
    : db_(db),
      config_(std::move(config)),
      staging_(config_.maxStagedBytes),
      random_(SystemRandom) {}

std::int64_t CRequestHandler::Now() const {
    return clock_ ? clock_() : static_cast<std::int64_t>(std::time(nullptr));
}

std::string CRequestHandler::TimeText() const {
    std::time_t t = static_cast<std::time_t>(Now());
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof(buf), "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

bool CRequestHandler::NewSession(std::int64_t userId, std::string* token) {
    std::uint8_t bytes[wire::kTokenSize];
    if (!random_ || !random_(bytes, sizeof(bytes))) return false;
    token->assign(reinterpret_cast<const char*>(bytes), sizeof(bytes));
    return db_.CreateSession(*token, userId, Now(), config_.maxSessionsPerUser);
}

void CRequestHandler::History(Ctx& c, const std::string& utf8Operation) {
    db_.AddHistory(c.st.userId, TimeText(), Utf8ToGbk(utf8Operation));
}

std::size_t CRequestHandler::Handle(ServerRole role, const std::uint8_t* packet, std::size_t size,
                                    ConnectionState& state, const std::string& localHost,
                                    std::uint8_t* out, RequestOutcome* outcome) {
    RequestOutcome ignored;
    if (!outcome) outcome = &ignored;
    *outcome = RequestOutcome();
    wire::RequestHeader header;
    if (!wire::ParseRequestHeader(packet, size, header) || header.length != size) {
        outcome->close = true;
        return 0;
    }
    const wire::CommandInfo* info = wire::FindCommand(header.command);
    if (!info) {
        // Unknown commands are answered in kind, so the client sees a refusal rather than
        // a silence it would have to wait out.
        wire::CPacketWriter w(out, kReplyCapacity);
        w.BeginReply(header.command | wire::kReplyFlag, header.sequence, result::kDataLength);
        outcome->result = result::kDataLength;
        outcome->refused = true;
        return w.Finish();
    }
    Ctx c{role,
          packet,
          size,
          header,
          info,
          state,
          localHost,
          wire::CPacketWriter(out, kReplyCapacity),
          wire::CPacketReader(packet, size),
          outcome};
    outcome->command = info->name;

    const Cmd cmd = info->command;
    bool loginRequest = cmd == Cmd::Register || cmd == Cmd::Login || cmd == Cmd::LoginClose;
    if ((role == ServerRole::Login && !loginRequest) ||
        (role == ServerRole::Service && (cmd == Cmd::Register || cmd == Cmd::Login))) {
        return c.Refuse(result::kWrongServer);
    }
    if (info->variableLength ? size < info->requestLength : size != info->requestLength) {
        return c.Refuse(result::kDataLength);
    }

    if (info->hasToken) {
        std::string token(reinterpret_cast<const char*>(packet + wire::kTokenOffset),
                          wire::kTokenSize);
        std::int64_t userId = db_.SessionUser(token, Now(), config_.sessionIdleSeconds);
        if (userId == 0) return c.Refuse(result::kStaleSession);
        if (state.token != token || state.userId != userId) {
            ServerUser user;
            if (!db_.FindUserById(userId, &user)) return c.Refuse(result::kStaleSession);
            state.ResetSession();
            state.token = token;
            state.userId = userId;
            state.userName = user.name;
        }
        c.r.Seek(wire::kBodyOffset);
    } else {
        c.r.Seek(wire::kRequestHeaderSize);
    }

    switch (cmd) {
        case Cmd::Register:
            return Register(c);
        case Cmd::Login:
            return Login(c);
        case Cmd::LoginClose:
            return LoginClose(c);
        case Cmd::ChangePassword:
            return ChangePassword(c);
        case Cmd::NoticeCount:
            return NoticeCount(c);
        case Cmd::NoticeBatch:
            return NoticeBatch(c);
        case Cmd::ContactUploadBegin:
            return UploadBegin(c);
        case Cmd::ContactUploadBatch:
            return UploadBatch(c);
        case Cmd::ContactCount:
            return ContactCount(c);
        case Cmd::ContactDelete:
            return ContactDelete(c);
        case Cmd::ContactDownloadBatch:
            return DownloadBatch(c);
        case Cmd::SmsCount:
            return SmsCount(c);
        case Cmd::SmsBatch:
            return SmsBatch(c);
        case Cmd::SmsDelete:
            return SmsDelete(c);
        case Cmd::AccountCount:
            return AccountCount(c);
        case Cmd::AccountBatch:
            return AccountBatch(c);
        case Cmd::AccountModify:
            return AccountPut(c, false);
        case Cmd::AccountAdd:
            return AccountPut(c, true);
        case Cmd::AccountDelete:
            return AccountDelete(c);
        case Cmd::HistoryList:
            return HistoryList(c);
        case Cmd::MemberStatus:
            return MemberStatus(c);
        case Cmd::ServerStatistics:
            return ServerStatistics(c);
    }
    return c.Refuse(result::kDataLength);
}

// ---- login server --------------------------------------------------------------------

std::size_t CRequestHandler::Register(Ctx& c) {
    std::string name, digest, contact;
    c.r.ReadFixedText(name, wire::kUserNameWidth);
    c.r.ReadFixedText(digest, wire::kDigestWidth);
    c.r.ReadFixedText(contact, 50);
    // Names must fit the 50-byte fields of the records with their terminator.
    if (!c.r.ok() || name.empty() || name.size() >= wire::kUserNameWidth || !IsDigestText(digest)) {
        return c.Refuse(result::kDataLength);
    }
    contact = std::string(GbkPrefix(contact, 49));
    std::int64_t userId = 0;
    int rc = db_.RegisterUser(name, digest, contact, Now(), &userId);
    if (rc == 0) return c.Refuse(result::kNameTaken);
    if (rc < 0) return c.Refuse(result::kQueryFailed);
    MemberInfo member;
    member.feeType = Utf8ToGbk("免费会员");
    member.expiry = MemberExpiryDefault(Now());
    db_.SetMember(userId, member);
    std::string token;
    if (!NewSession(userId, &token)) return c.Refuse(result::kQueryFailed);
    db_.AddHistory(userId, TimeText(), Utf8ToGbk("注册"));
    c.Begin(0);
    c.w.PutBytes(token.data(), token.size());
    return c.Done();
}

std::size_t CRequestHandler::Login(Ctx& c) {
    std::string name, digest, timeText(wire::kTimeTextWidth, '\0');
    c.r.ReadFixedText(name, wire::kUserNameWidth);
    c.r.ReadFixedText(digest, wire::kDigestWidth);
    // The time text is hashed as the six bytes sent, whatever they are.
    c.r.ReadBytes(timeText.data(), timeText.size());
    if (!c.r.ok()) return c.Refuse(result::kDataLength);

    ServerUser user;
    if (name.empty() || !db_.FindUser(name, &user)) return c.Refuse(result::kUnknownUser);
    std::int64_t now = Now();
    if (user.lockedUntil > now) return c.Refuse(result::kLockedOut);
    if (user.lockedUntil != 0) {
        // The lock has run out: the count of wrong passwords starts again.
        db_.ClearLoginFailures(user.id);
    }
    std::string material = timeText + user.digest;
    std::string expected = CMD5Checksum::GetMD5(material.data(), material.size());
    if (!EqualsNoCase(digest, expected)) {
        int fails = db_.RecordLoginFailure(user.id, now, config_.lockAfter, config_.lockSeconds);
        return c.Refuse(fails >= config_.lockAfter ? result::kLockedOut : result::kWrongPassword);
    }
    if (user.failCount != 0) db_.ClearLoginFailures(user.id);

    std::string token;
    if (!NewSession(user.id, &token)) return c.Refuse(result::kQueryFailed);
    db_.AddHistory(user.id, TimeText(), Utf8ToGbk("登录"));

    std::string host = config_.serviceHost.empty() ? c.localHost : config_.serviceHost;
    c.Begin(0);
    c.w.PutBytes(token.data(), token.size());
    // The address is NUL-terminated text in a field of at least 20 bytes, which keeps the
    // reply at or above the 67 bytes the client asks for.
    c.w.PutFixedText(host, std::max<std::size_t>(20, host.size() + 1));
    return c.Done();
}

std::size_t CRequestHandler::LoginClose(Ctx& c) {
    // On the login server this only ends the login step: the client carries the same
    // token on to the service server. There it ends the session.
    if (c.role == ServerRole::Service) {
        db_.CloseSession(c.st.token);
        c.st.ResetSession();
    }
    return c.Ack();
}

// ---- service server ------------------------------------------------------------------

std::size_t CRequestHandler::ChangePassword(Ctx& c) {
    std::string name, digest, timeText(wire::kTimeTextWidth, '\0'), newDigest;
    c.r.ReadFixedText(name, wire::kUserNameWidth);
    c.r.ReadFixedText(digest, wire::kDigestWidth);
    c.r.ReadBytes(timeText.data(), timeText.size());
    c.r.ReadFixedText(newDigest, wire::kDigestWidth);
    if (!c.r.ok() || !IsDigestText(newDigest)) return c.Refuse(result::kDataLength);

    ServerUser user;
    if (!EqualsNoCase(name, c.st.userName) || !db_.FindUserById(c.st.userId, &user)) {
        return c.Refuse(result::kNotThisUser);
    }
    std::string material = timeText + user.digest;
    std::string expected = CMD5Checksum::GetMD5(material.data(), material.size());
    if (!EqualsNoCase(digest, expected)) return c.Refuse(result::kWrongOldPassword);
    if (!db_.SetPasswordDigest(user.id, newDigest)) return c.Refuse(result::kQueryFailed);
    History(c, "修改密码");
    return c.Ack();
}

std::size_t CRequestHandler::NoticeCount(Ctx& c) {
    c.st.noticeOffset = 0;
    return c.ReplyU32(static_cast<std::uint32_t>(db_.NoticeCount()));
}

std::size_t CRequestHandler::NoticeBatch(Ctx& c) {
    std::vector<CMsgData> notices = db_.NoticeRange(c.st.noticeOffset, kNoticesPerBatch);
    c.st.noticeOffset += static_cast<int>(notices.size());
    c.Begin(static_cast<std::uint32_t>(notices.size()));
    for (const CMsgData& m : notices) c.w.PutBytes(&m, sizeof(m));
    return c.Done();
}

// Contact upload. ContactUploadBegin announces how many contacts are still to come in
// the mode's field; each ContactUploadBatch brings some of them. The contacts wait in the
// connection until the announced number has arrived and are then applied in one
// transaction, so an upload that breaks off leaves the stored address book as it was.
//   mode 1: the stored address book becomes exactly the uploaded contacts (the store
//           workflow uses it);
//   mode 0: the uploaded contacts are merged in, each replacing a stored one of the same
//           key (RelName with MobilePhone1).
// A Begin that announces the number still outstanding in the same mode continues the
// upload; any other Begin drops what was received and starts anew.
std::size_t CRequestHandler::UploadBegin(Ctx& c) {
    std::uint32_t count0 = 0, count1 = 0;
    c.r.ReadU32(count0);
    c.r.ReadU32(count1);
    if (!c.r.ok() || (count0 != 0 && count1 != 0)) return c.Refuse(result::kDataLength);
    std::uint8_t mode = count1 != 0 ? 1 : 0;
    std::uint32_t count = mode ? count1 : count0;
    ConnectionState& st = c.st;
    if (st.uploading && st.uploadMode == mode && st.uploadRemaining == count && count != 0) {
        return c.Ack();
    }
    st.uploading = false;
    st.staged.Clear();
    if (count == 0) return c.Ack();
    if (count > static_cast<std::uint32_t>(config_.maxContacts)) {
        return c.Refuse(result::kTooManyContacts);
    }
    st.uploading = true;
    st.uploadMode = mode;
    st.uploadRemaining = count;
    return c.Ack();
}

std::size_t CRequestHandler::UploadBatch(Ctx& c) {
    ConnectionState& st = c.st;
    std::uint32_t count = 0;
    std::uint8_t mode = 0;
    c.r.ReadU32(count);
    c.r.ReadU8(mode);
    auto abandon = [&](std::uint32_t code) {
        st.uploading = false;
        st.staged.Clear();
        return c.Refuse(code);
    };
    if (!st.uploading || mode != st.uploadMode || count > st.uploadRemaining) {
        return abandon(result::kDataLength);
    }
    // Every packed contact takes at least its 33 two-byte lengths.
    if (count > c.r.remaining() / (2 * kRelFieldCount)) return abandon(result::kDataLength);
    std::uint8_t packed[sizeof(CRelData) + 2 * kRelFieldCount];
    std::vector<StoredContact> batch(count);
    for (StoredContact& s : batch) {
        CRelData contact;
        if (!c.r.ReadContact(contact)) return abandon(result::kDataLength);
        std::size_t n = wire::PackContact(contact, packed, sizeof(packed));
        s.relName = std::string(FieldText(contact.RelName));
        s.mobilePhone1 = std::string(FieldText(contact.MobilePhone1));
        s.packed.assign(reinterpret_cast<const char*>(packed), n);
    }
    if (c.r.remaining() != 0) return abandon(result::kDataLength);
    // Uploads under way share a bounded amount of memory: when it is spent, this upload
    // is dropped and the client is told to try again later.
    if (!st.staged.Add(staging_, std::move(batch))) return abandon(result::kServerBusy);
    st.uploadRemaining -= count;
    if (st.uploadRemaining != 0) return c.Ack();

    CStagedUpload contacts = std::move(st.staged);
    st.uploading = false;
    bool replace = st.uploadMode == 1;
    if (!replace && db_.ContactCount(st.userId) + contacts.contacts().size() >
                        static_cast<std::size_t>(config_.maxContacts)) {
        return c.Refuse(result::kTooManyContacts);
    }
    if (!db_.StoreContacts(st.userId, contacts.contacts(), replace, config_.keepVersions,
                           TimeText())) {
        return c.Refuse(result::kQueryFailed);
    }
    char op[96];
    std::snprintf(op, sizeof(op), replace ? "储存通讯录，共%zu条" : "合并储存通讯录，共%zu条",
                  contacts.contacts().size());
    History(c, op);
    db_.TouchKind(st.userId, DataKind::Contacts, TimeText());
    return c.Ack();
}

std::size_t CRequestHandler::ContactCount(Ctx& c) {
    // Counting starts a restore: the download cursor goes back to the first contact.
    c.st.contactCursor = 0;
    c.st.contactsSent = 0;
    return c.ReplyU32(static_cast<std::uint32_t>(db_.ContactCount(c.st.userId)));
}

std::size_t CRequestHandler::DownloadBatch(Ctx& c) {
    ConnectionState& st = c.st;
    auto rows = db_.ContactsAfter(st.userId, st.contactCursor, kContactFetch);
    c.Begin(0);
    std::uint32_t k = 0;
    for (const auto& [id, packed] : rows) {
        if (c.w.room() < packed.size()) break;
        c.w.PutBytes(packed.data(), packed.size());
        st.contactCursor = id;
        ++k;
    }
    c.w.PatchU32(12, k);
    c.outcome->result = k;
    st.contactsSent += k;
    bool atEnd = k == rows.size() && rows.size() < static_cast<std::size_t>(kContactFetch);
    if (atEnd && k > 0) {
        char op[96];
        std::snprintf(op, sizeof(op), "还原通讯录，共%u条", st.contactsSent);
        History(c, op);
        db_.TouchKind(st.userId, DataKind::Contacts, TimeText());
    }
    return c.Done();
}

std::size_t CRequestHandler::ContactDelete(Ctx& c) {
    std::uint32_t n = 0;
    c.r.ReadU32(n);
    if (!c.r.ok() || n > c.r.remaining() / wire::kContactNameWidth ||
        c.r.remaining() != n * wire::kContactNameWidth) {
        return c.Refuse(result::kDataLength);
    }
    std::vector<std::string> names(n);
    for (std::string& name : names) c.r.ReadFixedText(name, wire::kContactNameWidth);
    int deleted = db_.DeleteContactsByName(c.st.userId, names);
    if (deleted < 0) return c.Refuse(result::kQueryFailed);
    char op[96];
    std::snprintf(op, sizeof(op), "删除联系人%d个", deleted);
    History(c, op);
    db_.TouchKind(c.st.userId, DataKind::Contacts, TimeText());
    return c.Ack();
}

std::size_t CRequestHandler::SmsCount(Ctx& c) {
    return c.ReplyU32(static_cast<std::uint32_t>(db_.SmsCount(c.st.userId)));
}

std::size_t CRequestHandler::SmsBatch(Ctx& c) {
    std::uint32_t received = 0, again = 0;
    c.r.ReadU32(received);
    c.r.ReadU32(again);
    if (!c.r.ok() || received != again) return c.Refuse(result::kDataLength);
    std::vector<CSmsData> rows;
    if (received < 0x7FFFFFFFu)
        rows = db_.SmsRange(c.st.userId, static_cast<int>(received), kSmsFetch);
    c.Begin(0);
    std::uint32_t k = 0;
    for (const CSmsData& m : rows) {
        if (c.w.room() < wire::PackedSmsSize(m)) break;
        c.w.PutSms(m);
        ++k;
    }
    c.w.PatchU32(12, k);
    c.outcome->result = k;
    return c.Done();
}

std::size_t CRequestHandler::SmsDelete(Ctx& c) {
    std::uint32_t n = 0;
    c.r.ReadU32(n);
    if (!c.r.ok() || n > c.r.remaining() / 4 || c.r.remaining() != n * 4u) {
        return c.Refuse(result::kDataLength);
    }
    std::vector<std::uint32_t> ids(n);
    for (std::uint32_t& id : ids) c.r.ReadU32(id);
    int deleted = db_.DeleteSms(c.st.userId, ids);
    if (deleted < 0) return c.Refuse(result::kQueryFailed);
    char op[96];
    std::snprintf(op, sizeof(op), "删除短信%d条", deleted);
    History(c, op);
    db_.TouchKind(c.st.userId, DataKind::Sms, TimeText());
    return c.Ack();
}

std::size_t CRequestHandler::AccountCount(Ctx& c) {
    // The batch request carries no position, so counting restarts the download.
    c.st.accountCursor = 0;
    return c.ReplyU32(static_cast<std::uint32_t>(db_.AccountCount(c.st.userId)));
}

std::size_t CRequestHandler::AccountBatch(Ctx& c) {
    auto rows = db_.AccountsAfter(c.st.userId, c.st.accountCursor, kAccountFetch);
    c.Begin(0);
    std::uint32_t k = 0;
    for (const auto& [id, a] : rows) {
        if (c.w.room() < wire::PackedSize(&a, kAccountFields)) break;
        c.w.PutRecord(&a, kAccountFields);
        c.st.accountCursor = id;
        ++k;
    }
    c.w.PatchU32(12, k);
    c.outcome->result = k;
    return c.Done();
}

std::size_t CRequestHandler::AccountPut(Ctx& c, bool add) {
    // The name is checked as sent, before unpacking would clip it to its field.
    wire::CPacketReader peek(c.packet, c.size);
    std::string_view rawName;
    if (!peek.Seek(wire::kBodyOffset) || !peek.ReadU16String(rawName)) {
        return c.Refuse(result::kDataLength);
    }
    if (rawName.empty() || rawName.size() >= sizeof(CAccountData::AccountName)) {
        return c.Refuse(result::kAccountNameLength);
    }
    CAccountData account;
    if (!c.r.ReadAccount(account) || c.r.remaining() != 0) return c.Refuse(result::kDataLength);
    std::string name = GbkToUtf8(FieldText(account.AccountName));
    if (add) {
        if (!db_.PutAccount(c.st.userId, account)) return c.Refuse(result::kQueryFailed);
        History(c, "添加游戏账号：" + name);
    } else {
        int rc = db_.ModifyAccount(c.st.userId, account);
        if (rc < 0) return c.Refuse(result::kQueryFailed);
        if (rc == 0) return c.Refuse(result::kNotFound);
        History(c, "修改游戏账号：" + name);
    }
    db_.TouchKind(c.st.userId, DataKind::Accounts, TimeText());
    return c.Ack();
}

std::size_t CRequestHandler::AccountDelete(Ctx& c) {
    std::string_view name;
    if (!c.r.ReadU16String(name)) return c.Refuse(result::kDataLength);
    if (name.empty() || name.size() >= sizeof(CAccountData::AccountName)) {
        return c.Refuse(result::kAccountNameLength);
    }
    if (c.r.remaining() != 0) return c.Refuse(result::kDataLength);
    int rc = db_.DeleteAccount(c.st.userId, name);
    if (rc < 0) return c.Refuse(result::kQueryFailed);
    if (rc == 0) return c.Refuse(result::kNotFound);
    History(c, "删除游戏账号：" + GbkToUtf8(name));
    db_.TouchKind(c.st.userId, DataKind::Accounts, TimeText());
    return c.Ack();
}

std::size_t CRequestHandler::HistoryList(Ctx& c) {
    // One reply, no batches: the newest entries that fit.
    std::vector<CHistoryData> rows = db_.RecentHistory(c.st.userId, kHistoryFetch);
    c.Begin(0);
    c.w.PutU32(0);
    std::uint32_t k = 0;
    for (const CHistoryData& h : rows) {
        if (c.w.room() < wire::PackedSize(&h, kHistoryFields)) break;
        c.w.PutRecord(&h, kHistoryFields);
        ++k;
    }
    c.w.PatchU32(16, k);
    return c.Done();
}

std::size_t CRequestHandler::MemberStatus(Ctx& c) {
    MemberInfo member;
    if (!db_.GetMember(c.st.userId, &member)) {
        member.feeType = Utf8ToGbk("免费会员");
        member.expiry = MemberExpiryDefault(Now());
    }
    std::string fee(GbkPrefix(member.feeType, 259));
    char expiry[20];
    SetField(expiry, member.expiry);
    c.Begin(0);
    c.w.PutU32(1);
    c.w.PutBytes(expiry, sizeof(expiry));
    c.w.PutU32(member.balance);
    c.w.PutU32(static_cast<std::uint32_t>(fee.size()));
    c.w.PutBytes(fee.data(), fee.size());
    return c.Done();
}

std::size_t CRequestHandler::ServerStatistics(Ctx& c) {
    CStatisticsData stats;
    if (!db_.Statistics(c.st.userId, &stats)) return c.Refuse(result::kQueryFailed);
    c.Begin(0);
    for (const CStatItem* item : {&stats.Contacts, &stats.Sms, &stats.Accounts}) {
        c.w.PutU32(item->Count);
        c.w.PutBytes(item->LastTime, sizeof(item->LastTime));
    }
    return c.Done();
}

}  // namespace kavo
