// The server's own data: one SQLite file holding the users, their sessions, address
// books, SMS, game accounts, operation history, member status and the server notices.
// Text is kept as the GBK bytes that travel on the wire (BLOB columns), so whatever a
// client stores comes back byte for byte.
//
// One connection, one mutex: every public call runs under the lock, and the calls that
// change several rows do so in one transaction, so a reader never sees half an upload.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kavo {

using Token = std::string;  // the 32 opaque bytes of a login token

struct ServerUser {
    std::int64_t id = 0;
    std::string name;    // GBK
    std::string digest;  // the password digest, 32 lower-case hex characters
    int failCount = 0;   // wrong passwords in a row
    std::int64_t lockedUntil = 0;
};

// One stored contact: its key and its packed wire form.
struct StoredContact {
    std::string relName;
    std::string mobilePhone1;
    std::string packed;
};

struct MemberInfo {
    std::string feeType;  // GBK
    std::string expiry;   // "YYYY-MM-DD HH:MM:SS"
    std::uint32_t balance = 0;
};

// One kept earlier address book of a user.
struct BookVersion {
    int number = 0;    // 1, 2, 3 ... per user, never reused
    std::string time;  // "YYYY-MM-DD HH:MM:SS", when it stopped being the current book
    int contacts = 0;
};

// The three kinds of stored data whose last operation time the statistics report.
enum class DataKind { Contacts, Sms, Accounts };

class CServerDb {
public:
    CServerDb() = default;
    ~CServerDb();
    CServerDb(const CServerDb&) = delete;
    CServerDb& operator=(const CServerDb&) = delete;

    // Opens or creates the file and its tables. False with LastError() on failure.
    bool Open(const std::string& path);
    void Close();
    std::string LastError() const;

    // Users. Names match without the letter case of ASCII letters, as the client compares
    // them (NameKey). RegisterUser returns 1 for a new user, 0 when the name is taken in any
    // letter case, -1 on a database failure. FindUser prefers the exact spelling.
    int RegisterUser(std::string_view name, std::string_view digest, std::string_view contact,
                     std::int64_t now, std::int64_t* userId);
    bool FindUser(std::string_view name, ServerUser* user);
    bool FindUserById(std::int64_t id, ServerUser* user);
    // Counts one wrong password; once `lockAfter` have come in a row the user is locked
    // until now + lockSeconds. Returns the new count of wrong passwords in a row.
    int RecordLoginFailure(std::int64_t userId, std::int64_t now, int lockAfter,
                           std::int64_t lockSeconds);
    void ClearLoginFailures(std::int64_t userId);
    bool SetPasswordDigest(std::int64_t userId, std::string_view digest);

    // Sessions. SessionUser returns the user of a live token (0 for none) and marks it
    // used; sessions unused for more than maxIdle seconds are gone. Each user keeps at most
    // maxPerUser sessions: the oldest are dropped when a new one starts.
    bool CreateSession(const Token& token, std::int64_t userId, std::int64_t now, int maxPerUser);
    std::int64_t SessionUser(const Token& token, std::int64_t now, std::int64_t maxIdle);
    void CloseSession(const Token& token);

    // Contacts, in the order they were stored. StoreContacts applies one complete upload:
    // with replaceAll the user's address book becomes exactly `contacts`; otherwise they
    // are merged in, a contact with the same key (RelName, MobilePhone1) replaced. Later
    // duplicates within one upload win. A replacing upload keeps the book it replaces as a
    // version (none when the book was empty or stays as it was), and the user keeps the
    // latest keepVersions of them (0: none).
    int ContactCount(std::int64_t userId);
    bool StoreContacts(std::int64_t userId, const std::vector<StoredContact>& contacts,
                       bool replaceAll, int keepVersions = 0, std::string_view timeText = {});

    // Kept versions of the address book, oldest first.
    std::vector<BookVersion> Versions(std::int64_t userId);
    // Makes version `number` the current book again; the current book becomes a version
    // itself (unless it is empty). Returns the number of contacts reinstated, -1 when there
    // is no such version, -2 on a failure. *savedAs gets the number the replaced book was
    // kept as (0 when it was not kept).
    int ReinstateVersion(std::int64_t userId, int number, int keepVersions,
                         std::string_view timeText, int* savedAs = nullptr);
    // Up to `limit` contacts with an id above afterId, in id order: (id, packed form).
    std::vector<std::pair<std::int64_t, std::string>> ContactsAfter(std::int64_t userId,
                                                                    std::int64_t afterId,
                                                                    int limit);
    // Deletes every contact with one of these names; returns how many went, -1 on failure.
    int DeleteContactsByName(std::int64_t userId, const std::vector<std::string>& names);

    // SMS, in id order. Ids stay below 2^24 and none of their three low bytes is 0: the
    // field codec carries an id as text, so a zero byte would cut it short.
    int SmsCount(std::int64_t userId);
    std::vector<CSmsData> SmsRange(std::int64_t userId, int offset, int limit);
    bool AddSms(std::int64_t userId, const CSmsData& sms, std::uint32_t* id);
    int DeleteSms(std::int64_t userId, const std::vector<std::uint32_t>& ids);

    // Game accounts, unique by AccountName within a user (without letter case, the exact
    // spelling preferred where older data holds several), in the order they were added.
    // Adding or modifying an account takes the spelling of the name sent.
    int AccountCount(std::int64_t userId);
    std::vector<std::pair<std::int64_t, CAccountData>> AccountsAfter(std::int64_t userId,
                                                                     std::int64_t afterId,
                                                                     int limit);
    // Adds the account, replacing one of the same name. False on failure.
    bool PutAccount(std::int64_t userId, const CAccountData& account);
    // 1 changed, 0 no account of that name, -1 failure.
    int ModifyAccount(std::int64_t userId, const CAccountData& account);
    int DeleteAccount(std::int64_t userId, std::string_view accountName);

    // Operation history, newest first. Each user keeps the latest `keep` entries.
    void AddHistory(std::int64_t userId, std::string_view timeText, std::string_view operation,
                    int keep = 500);
    std::vector<CHistoryData> RecentHistory(std::int64_t userId, int limit);

    // Server notices, oldest first; every user sees them all.
    int NoticeCount();
    std::vector<CMsgData> NoticeRange(int offset, int limit);
    bool AddNotice(const CMsgData& notice);

    // Member status; a user without a row reads as the defaults given at registration.
    bool GetMember(std::int64_t userId, MemberInfo* info);
    bool SetMember(std::int64_t userId, const MemberInfo& info);

    // Statistics of one user: counts and the last operation time of each kind.
    bool Statistics(std::int64_t userId, CStatisticsData* stats);
    void TouchKind(std::int64_t userId, DataKind kind, std::string_view timeText);

    // The sums over all users, for the log line at start-up.
    int UserCount();

private:
    class Stmt;
    bool Exec(const char* sql);
    bool Migrate();
    // Saves the user's current book as a new version and drops versions past `keep`.
    // Returns the new version's number, 0 when the book is empty, -1 on failure.
    int SaveVersionLocked(std::int64_t userId, int keep, std::string_view timeText);
    bool PruneVersionsLocked(std::int64_t userId, int keep);
    int CountLocked(const char* sql, std::int64_t userId);
    void Fail(const char* what);
    // The two ends of a transaction opened with BEGIN: COMMIT (rolled back when the commit
    // fails), and the roll-back after a failed statement. Both return false on a failure.
    bool CommitLocked();
    bool RollBackLocked(const char* what);

    mutable std::mutex mutex_;
    sqlite3* db_ = nullptr;
    std::string lastError_;
};

// The form in which names are compared: ASCII letters in lower case, every other byte
// (the trail byte of a double-byte GBK character included) as it is.
std::string NameKey(std::string_view gbk);

// The SMS id of the n-th SMS of a user (n from 0): three non-zero bytes.
std::uint32_t SmsIdForIndex(std::uint32_t n);
// The inverse; false when the id is not one SmsIdForIndex hands out.
bool SmsIndexForId(std::uint32_t id, std::uint32_t* n);

}  // namespace kavo
