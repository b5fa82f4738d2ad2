// The server's data in one SQLite file (BLOB columns for the GBK texts), for a server that
// runs as one process.
//
// One connection, one mutex: every public call runs under the lock, and the calls that
// change several rows do so in one transaction, so a reader never sees half an upload.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "server/server_store.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kavo {

class CServerDb : public IServerStore {
public:
    CServerDb() = default;
    ~CServerDb() override;
    CServerDb(const CServerDb&) = delete;
    CServerDb& operator=(const CServerDb&) = delete;

    // Opens or creates the file and its tables. False with LastError() on failure.
    bool Open(const std::string& path);
    void Close() override;
    std::string LastError() const override;

    int RegisterUser(std::string_view name, std::string_view digest, std::string_view contact,
                     std::int64_t now, std::int64_t* userId) override;
    bool FindUser(std::string_view name, ServerUser* user) override;
    bool FindUserById(std::int64_t id, ServerUser* user) override;
    int RecordLoginFailure(std::int64_t userId, std::int64_t now, int lockAfter,
                           std::int64_t lockSeconds) override;
    void ClearLoginFailures(std::int64_t userId) override;
    bool SetPasswordDigest(std::int64_t userId, std::string_view digest) override;

    bool CreateSession(const Token& token, std::int64_t userId, std::int64_t now,
                       int maxPerUser) override;
    std::int64_t SessionUser(const Token& token, std::int64_t now, std::int64_t maxIdle) override;
    void CloseSession(const Token& token) override;

    int ContactCount(std::int64_t userId) override;
    bool StoreContacts(std::int64_t userId, const std::vector<StoredContact>& contacts,
                       bool replaceAll, int keepVersions = 0,
                       std::string_view timeText = {}) override;

    std::vector<BookVersion> Versions(std::int64_t userId) override;
    int ReinstateVersion(std::int64_t userId, int number, int keepVersions,
                         std::string_view timeText, int* savedAs = nullptr) override;
    std::vector<std::pair<std::int64_t, std::string>> ContactsAfter(std::int64_t userId,
                                                                    std::int64_t afterId,
                                                                    int limit) override;
    int DeleteContactsByName(std::int64_t userId, const std::vector<std::string>& names) override;

    int SmsCount(std::int64_t userId) override;
    std::vector<CSmsData> SmsRange(std::int64_t userId, int offset, int limit) override;
    bool AddSms(std::int64_t userId, const CSmsData& sms, std::uint32_t* id) override;
    int DeleteSms(std::int64_t userId, const std::vector<std::uint32_t>& ids) override;

    int AccountCount(std::int64_t userId) override;
    std::vector<std::pair<std::int64_t, CAccountData>> AccountsAfter(std::int64_t userId,
                                                                     std::int64_t afterId,
                                                                     int limit) override;
    bool PutAccount(std::int64_t userId, const CAccountData& account) override;
    int ModifyAccount(std::int64_t userId, const CAccountData& account) override;
    int DeleteAccount(std::int64_t userId, std::string_view accountName) override;

    void AddHistory(std::int64_t userId, std::string_view timeText, std::string_view operation,
                    int keep = 500) override;
    std::vector<CHistoryData> RecentHistory(std::int64_t userId, int limit) override;

    int NoticeCount() override;
    std::vector<CMsgData> NoticeRange(int offset, int limit) override;
    bool AddNotice(const CMsgData& notice) override;

    bool GetMember(std::int64_t userId, MemberInfo* info) override;
    bool SetMember(std::int64_t userId, const MemberInfo& info) override;

    bool Statistics(std::int64_t userId, CStatisticsData* stats) override;
    void TouchKind(std::int64_t userId, DataKind kind, std::string_view timeText) override;

    int UserCount() override;

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
    template <class Key>
    int DeleteEach(std::int64_t userId, const std::vector<Key>& keys, const char* sql,
                   const char* what);

    mutable std::mutex mutex_;
    sqlite3* db_ = nullptr;
    std::string lastError_;
};

}  // namespace kavo
