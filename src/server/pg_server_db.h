// The server's data in PostgreSQL, through libpq: several kavo-server processes, on one
// machine or many, serve the same users from one database. Sessions, lockouts, address
// books and their versions live in the database, so a login on one process and a store on
// another work alike. GBK texts are bytea columns. The schema is created, and later
// upgraded, by whichever server comes first (under an advisory lock).
//
// A small pool of connections: each public call holds one for its duration, so the
// server's workers query side by side. Changes of one user's address book or SMS lock the
// user's row first, so two connections (of one process or of several) storing for the same
// user take turns.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "server/server_store.h"

struct pg_conn;

namespace kavo {

class CPgServerDb : public IServerStore {
public:
    CPgServerDb() = default;
    ~CPgServerDb() override;
    CPgServerDb(const CPgServerDb&) = delete;
    CPgServerDb& operator=(const CPgServerDb&) = delete;

    // Opens `connections` connections and creates or upgrades the schema. `conninfo` is a
    // "postgresql://" URI or "key=value" pairs; empty, libpq takes everything from the PG*
    // environment variables. False with LastError() on failure.
    bool Open(const std::string& conninfo, int connections = 1);
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
    class Result;
    struct Params;
    class Lease;

    bool CreateSchema();
    void SetError(std::string text);
    Result Run(const char* sql, const Params& params, const char* what);
    bool Command(const char* sql, const char* what);  // no parameters, several statements
    bool Begin();
    bool Commit();
    bool RollBack();
    bool LockUser(std::int64_t userId);
    std::int64_t CountLocked(const char* sql, std::int64_t userId);
    int SaveVersionLocked(std::int64_t userId, int keep, std::string_view timeText);
    bool PruneVersionsLocked(std::int64_t userId, int keep);
    bool InsertContactsLocked(std::int64_t userId, const std::vector<const StoredContact*>& rows);
    template <class Key>
    int DeleteEach(std::int64_t userId, const std::vector<Key>& keys, const char* sql,
                   const char* what);

    std::mutex poolMutex_;
    std::condition_variable available_;
    std::vector<pg_conn*> pool_;  // every connection
    std::vector<pg_conn*> idle_;  // those no call holds now
    mutable std::mutex errorMutex_;
    std::string lastError_;
};

}  // namespace kavo
