// Turns one complete request packet into one reply packet. No sockets here: the
// listener reads a packet, hands it over with the state of its connection, and writes
// back whatever reply comes out, so every answer can be tested without a network.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "server/server_store.h"

namespace kavo {

// Which of the two servers a connection came in on. The login server answers Register,
// Login and LoginClose; the service server answers everything a logged-in client asks.
enum class ServerRole { Login, Service };

// Result codes the server sends besides 0 (their texts are the client's).
namespace result {
inline constexpr std::uint32_t kNameTaken = 2;
inline constexpr std::uint32_t kUnknownUser = 23;
inline constexpr std::uint32_t kLockedOut = 24;
inline constexpr std::uint32_t kWrongPassword = 25;
inline constexpr std::uint32_t kServerBusy = 116;        // no room to stage an upload now
inline constexpr std::uint32_t kQueryFailed = 118;       // the database failed
inline constexpr std::uint32_t kNotFound = 120;          // the record is not (any longer) there
inline constexpr std::uint32_t kStaleSession = 122;      // unknown, closed or expired token
inline constexpr std::uint32_t kDataLength = 123;        // malformed or unknown request
inline constexpr std::uint32_t kWrongOldPassword = 124;  // ChangePassword
inline constexpr std::uint32_t kNotThisUser = 125;       // ChangePassword names another user
inline constexpr std::uint32_t kWrongServer = 126;       // a request sent to the other server
inline constexpr std::uint32_t kTooManyContacts = 127;
inline constexpr std::uint32_t kAccountNameLength = 129;
}  // namespace result

struct ServerConfig {
    int lockAfter = 10;  // wrong passwords in a row that lock a user out
    std::int64_t lockSeconds = 12 * 3600;
    std::int64_t sessionIdleSeconds = 24 * 3600;  // a token unused this long is gone
    int maxSessionsPerUser = 128;                 // the oldest go first; several devices may log in
    int maxContacts = 10000;                      // per user
    std::int64_t maxStagedBytes = 256LL << 20;    // uploads under way, all connections together
    int keepVersions = 5;     // earlier address books kept per user when a store replaces one
    std::string serviceHost;  // named in Login replies; empty: the address the login came to
};

// The memory that uploads under way may hold, all connections together. Safe from any
// thread.
class CStagingBudget {
public:
    explicit CStagingBudget(std::int64_t limit) : limit_(limit) {}
    // Takes n bytes; false, taking nothing, when they would go past the limit.
    bool Take(std::int64_t n);
    void Give(std::int64_t n) { used_.fetch_sub(n); }
    std::int64_t used() const { return used_.load(); }
    std::int64_t limit() const { return limit_; }

private:
    std::atomic<std::int64_t> used_{0};
    const std::int64_t limit_;
};

// The contacts of one upload under way. Their bytes are counted against a budget and
// given back when the upload is applied, abandoned or its connection goes.
class CStagedUpload {
public:
    CStagedUpload() = default;
    ~CStagedUpload() { Clear(); }
    CStagedUpload(CStagedUpload&& other) noexcept { *this = std::move(other); }
    CStagedUpload& operator=(CStagedUpload&& other) noexcept;

    // Adds one batch; false, adding nothing, when the budget has no room for it.
    bool Add(CStagingBudget& budget, std::vector<StoredContact> batch);
    const std::vector<StoredContact>& contacts() const { return contacts_; }
    std::int64_t bytes() const { return bytes_; }
    void Clear();

    // What one staged contact costs: its bytes and its bookkeeping.
    static std::int64_t Cost(const StoredContact& c);

private:
    CStagingBudget* budget_ = nullptr;
    std::int64_t bytes_ = 0;
    std::vector<StoredContact> contacts_;
};

// What the server remembers between the requests of one connection: the session they
// belong to, the contact upload being received and the download cursors. A request with
// another session's token starts afresh.
struct ConnectionState {
    std::string token;
    std::int64_t userId = 0;
    std::string userName;

    bool uploading = false;
    std::uint8_t uploadMode = 0;
    std::uint32_t uploadRemaining = 0;
    CStagedUpload staged;

    std::int64_t contactCursor = 0;
    std::uint32_t contactsSent = 0;
    std::int64_t accountCursor = 0;
    int noticeOffset = 0;

    void ResetSession() { *this = ConnectionState(); }
};

// The outcome of one request, for the log line.
struct RequestOutcome {
    const char* command = "?";
    std::uint32_t result = 0;  // the result field sent (a record count in batch replies)
    bool refused = false;      // a non-zero result that is a refusal, not a count
    bool close = false;        // the connection must be closed without a reply
};

class CRequestHandler {
public:
    // Fills `out` with n random bytes; false when the system's random source fails.
    using RandomSource = std::function<bool(std::uint8_t* out, std::size_t n)>;
    using Clock = std::function<std::int64_t()>;

    CRequestHandler(IServerStore& db, ServerConfig config);

    void SetClock(Clock clock) { clock_ = std::move(clock); }
    void SetRandomSource(RandomSource random) { random_ = std::move(random); }
    const ServerConfig& config() const { return config_; }
    // Bytes that uploads under way hold now, all connections together.
    std::int64_t StagedBytes() const { return staging_.used(); }

    // Answers one request packet (`size` bytes, header included, as its length field
    // says). `localHost` is the address the connection came in on. Writes the reply to
    // `out` (kMaxPacket bytes) and returns its length; 0 means close without replying.
    std::size_t Handle(ServerRole role, const std::uint8_t* packet, std::size_t size,
                       ConnectionState& state, const std::string& localHost, std::uint8_t* out,
                       RequestOutcome* outcome);

    // Local time as "YYYY-MM-DD HH:MM:SS", the form of every time the server stores.
    std::string TimeText() const;

private:
    struct Ctx;

    std::size_t Register(Ctx& c);
    std::size_t Login(Ctx& c);
    std::size_t LoginClose(Ctx& c);
    std::size_t ChangePassword(Ctx& c);
    std::size_t NoticeCount(Ctx& c);
    std::size_t NoticeBatch(Ctx& c);
    std::size_t UploadBegin(Ctx& c);
    std::size_t UploadBatch(Ctx& c);
    std::size_t ContactCount(Ctx& c);
    std::size_t DownloadBatch(Ctx& c);
    std::size_t ContactDelete(Ctx& c);
    std::size_t SmsCount(Ctx& c);
    std::size_t SmsBatch(Ctx& c);
    std::size_t SmsDelete(Ctx& c);
    std::size_t AccountCount(Ctx& c);
    std::size_t AccountBatch(Ctx& c);
    std::size_t AccountPut(Ctx& c, bool add);
    std::size_t AccountDelete(Ctx& c);
    std::size_t HistoryList(Ctx& c);
    std::size_t MemberStatus(Ctx& c);
    std::size_t ServerStatistics(Ctx& c);

    bool NewSession(std::int64_t userId, std::string* token);
    void History(Ctx& c, const std::string& utf8Operation);
    std::int64_t Now() const;

    IServerStore& db_;
    ServerConfig config_;
    CStagingBudget staging_;
    Clock clock_;
    RandomSource random_;
};

// The system's random source (getrandom), falling back to /dev/urandom.
bool SystemRandom(std::uint8_t* out, std::size_t n);

// True when text is 32 hexadecimal digits, the form of a password digest.
bool IsDigestText(std::string_view text);

}  // namespace kavo
