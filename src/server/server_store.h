// What the server keeps, behind one interface with two implementations: the embedded
// SQLite file (CServerDb, one server process) and PostgreSQL (CPgServerDb, any number of
// server processes on one database). Users, their sessions and lockouts, address books and
// their kept versions, SMS, game accounts, operation history, member status and the
// server notices all live there, so whatever one process writes every other one sees.
// Text is kept as the GBK bytes that travel on the wire, so whatever a client stores comes
// back byte for byte. Every call is safe from any thread; a call that changes several rows
// does so in one transaction, so a reader never sees half an upload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

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

class IServerStore {
public:
    virtual ~IServerStore() = default;

    virtual std::string LastError() const = 0;
    virtual void Close() = 0;

    // Users. Names match without the letter case of ASCII letters, as the client compares
    // them (NameKey). RegisterUser returns 1 for a new user, 0 when the name is taken in any
    // letter case, -1 on a database failure. FindUser prefers the exact spelling.
    virtual int RegisterUser(std::string_view name, std::string_view digest,
                             std::string_view contact, std::int64_t now, std::int64_t* userId) = 0;
    virtual bool FindUser(std::string_view name, ServerUser* user) = 0;
    virtual bool FindUserById(std::int64_t id, ServerUser* user) = 0;
    // Counts one wrong password; once `lockAfter` have come in a row the user is locked
    // until now + lockSeconds. Returns the new count of wrong passwords in a row.
    virtual int RecordLoginFailure(std::int64_t userId, std::int64_t now, int lockAfter,
                                   std::int64_t lockSeconds) = 0;
    virtual void ClearLoginFailures(std::int64_t userId) = 0;
    virtual bool SetPasswordDigest(std::int64_t userId, std::string_view digest) = 0;

    // Sessions. SessionUser returns the user of a live token (0 for none) and marks it
    // used; sessions unused for more than maxIdle seconds are gone. Each user keeps at most
    // maxPerUser sessions: the oldest are dropped when a new one starts.
    virtual bool CreateSession(const Token& token, std::int64_t userId, std::int64_t now,
                               int maxPerUser) = 0;
    virtual std::int64_t SessionUser(const Token& token, std::int64_t now,
                                     std::int64_t maxIdle) = 0;
    virtual void CloseSession(const Token& token) = 0;

    // Contacts, in the order they were stored. StoreContacts applies one complete upload:
    // with replaceAll the user's address book becomes exactly `contacts`; otherwise they
    // are merged in, a contact with the same key (RelName, MobilePhone1) replaced. Later
    // duplicates within one upload win. A replacing upload keeps the book it replaces as a
    // version (none when the book was empty or stays as it was), and the user keeps the
    // latest keepVersions of them (0: none).
    virtual int ContactCount(std::int64_t userId) = 0;
    virtual bool StoreContacts(std::int64_t userId, const std::vector<StoredContact>& contacts,
                               bool replaceAll, int keepVersions = 0,
                               std::string_view timeText = {}) = 0;

    // Kept versions of the address book, oldest first.
    virtual std::vector<BookVersion> Versions(std::int64_t userId) = 0;
    // Makes version `number` the current book again; the current book becomes a version
    // itself (unless it is empty). Returns the number of contacts reinstated, -1 when there
    // is no such version, -2 on a failure. *savedAs gets the number the replaced book was
    // kept as (0 when it was not kept).
    virtual int ReinstateVersion(std::int64_t userId, int number, int keepVersions,
                                 std::string_view timeText, int* savedAs = nullptr) = 0;
    // Up to `limit` contacts with an id above afterId, in id order: (id, packed form).
    virtual std::vector<std::pair<std::int64_t, std::string>> ContactsAfter(std::int64_t userId,
                                                                            std::int64_t afterId,
                                                                            int limit) = 0;
    // Deletes every contact with one of these names; returns how many went, -1 on failure.
    virtual int DeleteContactsByName(std::int64_t userId,
                                     const std::vector<std::string>& names) = 0;

    // SMS, in id order. Ids stay below 2^24 and none of their three low bytes is 0: the
    // field codec carries an id as text, so a zero byte would cut it short.
    virtual int SmsCount(std::int64_t userId) = 0;
    virtual std::vector<CSmsData> SmsRange(std::int64_t userId, int offset, int limit) = 0;
    virtual bool AddSms(std::int64_t userId, const CSmsData& sms, std::uint32_t* id) = 0;
    virtual int DeleteSms(std::int64_t userId, const std::vector<std::uint32_t>& ids) = 0;

    // Game accounts, unique by AccountName within a user (without letter case, the exact
    // spelling preferred where older data holds several), in the order they were added.
    // Adding or modifying an account takes the spelling of the name sent.
    virtual int AccountCount(std::int64_t userId) = 0;
    virtual std::vector<std::pair<std::int64_t, CAccountData>> AccountsAfter(std::int64_t userId,
                                                                             std::int64_t afterId,
                                                                             int limit) = 0;
    // Adds the account, replacing one of the same name. False on failure.
    virtual bool PutAccount(std::int64_t userId, const CAccountData& account) = 0;
    // 1 changed, 0 no account of that name, -1 failure.
    virtual int ModifyAccount(std::int64_t userId, const CAccountData& account) = 0;
    virtual int DeleteAccount(std::int64_t userId, std::string_view accountName) = 0;

    // Operation history, newest first. Each user keeps the latest `keep` entries.
    virtual void AddHistory(std::int64_t userId, std::string_view timeText,
                            std::string_view operation, int keep = 500) = 0;
    virtual std::vector<CHistoryData> RecentHistory(std::int64_t userId, int limit) = 0;

    // Server notices, oldest first; every user sees them all.
    virtual int NoticeCount() = 0;
    virtual std::vector<CMsgData> NoticeRange(int offset, int limit) = 0;
    virtual bool AddNotice(const CMsgData& notice) = 0;

    // Member status; a user without a row reads as the defaults given at registration.
    virtual bool GetMember(std::int64_t userId, MemberInfo* info) = 0;
    virtual bool SetMember(std::int64_t userId, const MemberInfo& info) = 0;

    // Statistics of one user: counts and the last operation time of each kind.
    virtual bool Statistics(std::int64_t userId, CStatisticsData* stats) = 0;
    virtual void TouchKind(std::int64_t userId, DataKind kind, std::string_view timeText) = 0;

    // The sums over all users, for the log line at start-up.
    virtual int UserCount() = 0;
};

// The form in which names are compared: ASCII letters in lower case, every other byte
// (the trail byte of a double-byte GBK character included) as it is.
std::string NameKey(std::string_view gbk);

// The SMS id of the n-th SMS of a user (n from 0): three non-zero bytes.
std::uint32_t SmsIdForIndex(std::uint32_t n);
// The inverse; false when the id is not one SmsIdForIndex hands out.
bool SmsIndexForId(std::uint32_t id, std::uint32_t* n);

}  // namespace kavo
