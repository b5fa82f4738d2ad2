#include "server/server_db.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <type_traits>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS users(
  id INTEGER PRIMARY KEY,
  name BLOB NOT NULL UNIQUE,
  digest TEXT NOT NULL,
  contact BLOB NOT NULL DEFAULT x'',
  created INTEGER NOT NULL,
  fail_count INTEGER NOT NULL DEFAULT 0,
  locked_until INTEGER NOT NULL DEFAULT 0,
  contacts_time TEXT NOT NULL DEFAULT '',
  sms_time TEXT NOT NULL DEFAULT '',
  accounts_time TEXT NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS sessions(
  token BLOB PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  created INTEGER NOT NULL,
  last_used INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS sessions_user ON sessions(user_id, created);
CREATE INDEX IF NOT EXISTS sessions_used ON sessions(last_used);
CREATE TABLE IF NOT EXISTS contacts(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  rel_name BLOB NOT NULL,
  mobile1 BLOB NOT NULL,
  packed BLOB NOT NULL,
  UNIQUE(user_id, rel_name, mobile1));
CREATE INDEX IF NOT EXISTS contacts_user ON contacts(user_id, id);
CREATE TABLE IF NOT EXISTS sms(
  user_id INTEGER NOT NULL REFERENCES users(id),
  idx INTEGER NOT NULL,
  sms_id INTEGER NOT NULL,
  contact_name BLOB NOT NULL,
  phone BLOB NOT NULL,
  sms_time BLOB NOT NULL,
  text BLOB NOT NULL,
  PRIMARY KEY(user_id, idx));
CREATE INDEX IF NOT EXISTS sms_id ON sms(user_id, sms_id);
CREATE TABLE IF NOT EXISTS accounts(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  name BLOB NOT NULL,
  game BLOB NOT NULL,
  account_id BLOB NOT NULL,
  pwd BLOB NOT NULL,
  remark BLOB NOT NULL,
  UNIQUE(user_id, name));
CREATE TABLE IF NOT EXISTS history(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  time TEXT NOT NULL,
  operation BLOB NOT NULL);
CREATE INDEX IF NOT EXISTS history_user ON history(user_id, id);
CREATE TABLE IF NOT EXISTS notices(
  id INTEGER PRIMARY KEY,
  body BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS members(
  user_id INTEGER PRIMARY KEY REFERENCES users(id),
  fee_type BLOB NOT NULL,
  expiry TEXT NOT NULL,
  balance INTEGER NOT NULL);
)sql";

// Schema versions after the first: each step runs once, in one transaction, and sets
// PRAGMA user_version to its number.
//   1: names compared without letter case (name_key columns); kept address-book versions.
const char* const kMigrations[] = {
    R"sql(
ALTER TABLE users ADD COLUMN name_key BLOB;
UPDATE users SET name_key = kavo_name_key(name);
CREATE INDEX users_key ON users(name_key);
ALTER TABLE accounts ADD COLUMN name_key BLOB;
UPDATE accounts SET name_key = kavo_name_key(name);
CREATE INDEX accounts_key ON accounts(user_id, name_key);
CREATE TABLE versions(
  id INTEGER PRIMARY KEY,
  user_id INTEGER NOT NULL REFERENCES users(id),
  number INTEGER NOT NULL,
  time TEXT NOT NULL,
  count INTEGER NOT NULL,
  UNIQUE(user_id, number));
CREATE TABLE version_contacts(
  version_id INTEGER NOT NULL REFERENCES versions(id) ON DELETE CASCADE,
  seq INTEGER NOT NULL,
  rel_name BLOB NOT NULL,
  mobile1 BLOB NOT NULL,
  packed BLOB NOT NULL,
  PRIMARY KEY(version_id, seq)) WITHOUT ROWID;
)sql",
};
constexpr int kSchemaVersion = static_cast<int>(std::size(kMigrations));

void NameKeyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
    const void* p = sqlite3_value_blob(argv[0]);
    int n = sqlite3_value_bytes(argv[0]);
    std::string key =
        NameKey(p ? std::string_view(static_cast<const char*>(p), static_cast<std::size_t>(n))
                  : std::string_view());
    sqlite3_result_blob(ctx, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

std::string_view ColumnBlob(sqlite3_stmt* s, int col) {
    const void* p = sqlite3_column_blob(s, col);
    int n = sqlite3_column_bytes(s, col);
    // Never a view with a null pointer: memcpy from one is undefined even for 0 bytes.
    if (p == nullptr || n <= 0) return std::string_view("", 0);
    return {static_cast<const char*>(p), static_cast<std::size_t>(n)};
}

template <std::size_t N>
void ColumnToField(sqlite3_stmt* s, int col, char (&field)[N]) {
    SetField(field, ColumnBlob(s, col));
}

}  // namespace

// A prepared statement that finalizes itself; binds are 1-based as in SQLite.
class CServerDb::Stmt {
public:
    Stmt(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &s_, nullptr) != SQLITE_OK) s_ = nullptr;
    }
    ~Stmt() { sqlite3_finalize(s_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool ok() const { return s_ != nullptr; }
    sqlite3_stmt* get() const { return s_; }
    Stmt& Bind(int i, std::int64_t v) {
        if (s_) sqlite3_bind_int64(s_, i, v);
        return *this;
    }
    Stmt& Blob(int i, std::string_view v) {
        // An empty value is bound as an empty blob, never NULL, so keys compare equal.
        if (s_)
            sqlite3_bind_blob(s_, i, v.empty() ? "" : v.data(), static_cast<int>(v.size()),
                              SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Text(int i, std::string_view v) {
        if (s_) sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step() { return s_ ? sqlite3_step(s_) : SQLITE_ERROR; }
    bool Run() { return Step() == SQLITE_DONE; }
    void Reset() {
        if (s_) {
            sqlite3_reset(s_);
            sqlite3_clear_bindings(s_);
        }
    }

private:
    sqlite3_stmt* s_ = nullptr;
};

std::string NameKey(std::string_view gbk) {
    std::string key(gbk);
    for (std::size_t i = 0; i < key.size();) {
        std::size_t n = GbkCharLength(key, i);
        if (n == 1 && key[i] >= 'A' && key[i] <= 'Z') key[i] = static_cast<char>(key[i] + 32);
        i += n;
    }
    return key;
}

CServerDb::~CServerDb() { Close(); }

bool CServerDb::Open(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (db_) return true;
    int rc =
        sqlite3_open_v2(path.c_str(), &db_,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        lastError_ = db_ ? sqlite3_errmsg(db_) : "cannot open the database";
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_busy_timeout(db_, 5000);
    // WAL with synchronous=NORMAL: a committed transaction survives the process being
    // killed; only a power cut can take back the last few.
    if (!Exec("PRAGMA journal_mode=WAL;") || !Exec("PRAGMA synchronous=NORMAL;") ||
        !Exec("PRAGMA foreign_keys=ON;") || !Exec(kSchema) || !Migrate()) {
        sqlite3_close(db_);
        db_ = nullptr;
        return false;
    }
    return true;
}

bool CServerDb::Migrate() {
    sqlite3_create_function(db_, "kavo_name_key", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            NameKeyFunction, nullptr, nullptr);
    for (;;) {
        if (!Exec("BEGIN IMMEDIATE")) return false;
        Stmt v(db_, "PRAGMA user_version");
        int version = v.Step() == SQLITE_ROW ? sqlite3_column_int(v.get(), 0) : -1;
        if (version < 0 || version > kSchemaVersion) {
            Exec("ROLLBACK");
            lastError_ = version < 0 ? "cannot read the schema version"
                                     : "the file was written by a newer kavo-server (schema " +
                                           std::to_string(version) + ")";
            return false;
        }
        if (version == kSchemaVersion) return Exec("COMMIT");
        std::string step = kMigrations[version];
        step += "PRAGMA user_version = " + std::to_string(version + 1) + ";";
        if (!Exec(step.c_str())) {
            std::string why = lastError_;
            Exec("ROLLBACK");
            lastError_ = "upgrading the schema to " + std::to_string(version + 1) + ": " + why;
            return false;
        }
        if (!Exec("COMMIT")) return false;
    }
}

void CServerDb::Close() {
    std::lock_guard lock(mutex_);
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

std::string CServerDb::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

bool CServerDb::Exec(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        lastError_ = err ? err : "statement failed";
        sqlite3_free(err);
        return false;
    }
    return true;
}

void CServerDb::Fail(const char* what) {
    lastError_ = std::string(what) + ": " + (db_ ? sqlite3_errmsg(db_) : "not open");
}

bool CServerDb::CommitLocked() {
    if (Exec("COMMIT")) return true;
    Exec("ROLLBACK");
    return false;
}

bool CServerDb::RollBackLocked(const char* what) {
    Fail(what);
    Exec("ROLLBACK");
    return false;
}

int CServerDb::CountLocked(const char* sql, std::int64_t userId) {
    if (!db_) return 0;
    Stmt s(db_, sql);
    s.Bind(1, userId);
    if (s.Step() != SQLITE_ROW) {
        Fail("count");
        return 0;
    }
    return sqlite3_column_int(s.get(), 0);
}

// ---- users ---------------------------------------------------------------------------

int CServerDb::RegisterUser(std::string_view name, std::string_view digest,
                            std::string_view contact, std::int64_t now, std::int64_t* userId) {
    std::lock_guard lock(mutex_);
    if (!db_ || !Exec("BEGIN IMMEDIATE")) return -1;
    std::string key = NameKey(name);
    {
        // Checked in the transaction: no other process can take the name meanwhile.
        Stmt taken(db_, "SELECT 1 FROM users WHERE name_key = ? LIMIT 1");
        taken.Blob(1, key);
        int rc = taken.Step();
        if (rc == SQLITE_ROW) {
            Exec("ROLLBACK");
            return 0;
        }
        if (rc != SQLITE_DONE) {
            RollBackLocked("register");
            return -1;
        }
    }
    Stmt s(db_, "INSERT INTO users(name, name_key, digest, contact, created) VALUES(?,?,?,?,?)");
    s.Blob(1, name).Blob(2, key).Text(3, digest).Blob(4, contact).Bind(5, now);
    int rc = s.Step();
    if (rc == SQLITE_CONSTRAINT) {
        Exec("ROLLBACK");
        return 0;
    }
    if (rc != SQLITE_DONE) {
        RollBackLocked("register");
        return -1;
    }
    std::int64_t id = sqlite3_last_insert_rowid(db_);
    if (!CommitLocked()) {
        Fail("register");
        return -1;
    }
    if (userId) *userId = id;
    return 1;
}

namespace {
void ReadUser(sqlite3_stmt* s, ServerUser* user) {
    user->id = sqlite3_column_int64(s, 0);
    user->name = std::string(ColumnBlob(s, 1));
    const unsigned char* d = sqlite3_column_text(s, 2);
    user->digest = d ? reinterpret_cast<const char*>(d) : "";
    user->failCount = sqlite3_column_int(s, 3);
    user->lockedUntil = sqlite3_column_int64(s, 4);
}
}  // namespace

bool CServerDb::FindUser(std::string_view name, ServerUser* user) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_,
           "SELECT id, name, digest, fail_count, locked_until FROM users WHERE name_key = ?"
           " ORDER BY name = ? DESC, id LIMIT 1");
    s.Blob(1, NameKey(name)).Blob(2, name);
    if (s.Step() != SQLITE_ROW) return false;
    ReadUser(s.get(), user);
    return true;
}

bool CServerDb::FindUserById(std::int64_t id, ServerUser* user) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_, "SELECT id, name, digest, fail_count, locked_until FROM users WHERE id = ?");
    s.Bind(1, id);
    if (s.Step() != SQLITE_ROW) return false;
    ReadUser(s.get(), user);
    return true;
}

int CServerDb::RecordLoginFailure(std::int64_t userId, std::int64_t now, int lockAfter,
                                  std::int64_t lockSeconds) {
    std::lock_guard lock(mutex_);
    if (!db_) return 0;
    Stmt s(db_,
           "UPDATE users SET fail_count = fail_count + 1,"
           " locked_until = CASE WHEN fail_count + 1 >= ?2 THEN ?3 ELSE locked_until END"
           " WHERE id = ?1 RETURNING fail_count");
    s.Bind(1, userId).Bind(2, lockAfter).Bind(3, now + lockSeconds);
    if (s.Step() != SQLITE_ROW) {
        Fail("login failure");
        return 0;
    }
    return sqlite3_column_int(s.get(), 0);
}

void CServerDb::ClearLoginFailures(std::int64_t userId) {
    std::lock_guard lock(mutex_);
    if (!db_) return;
    Stmt s(db_, "UPDATE users SET fail_count = 0, locked_until = 0 WHERE id = ?");
    s.Bind(1, userId);
    if (!s.Run()) Fail("clear failures");
}

bool CServerDb::SetPasswordDigest(std::int64_t userId, std::string_view digest) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_, "UPDATE users SET digest = ? WHERE id = ?");
    s.Text(1, digest).Bind(2, userId);
    if (!s.Run()) {
        Fail("password");
        return false;
    }
    return sqlite3_changes(db_) == 1;
}

int CServerDb::UserCount() {
    std::lock_guard lock(mutex_);
    if (!db_) return 0;
    Stmt s(db_, "SELECT count(*) FROM users");
    return s.Step() == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) : 0;
}

// ---- sessions ------------------------------------------------------------------------

bool CServerDb::CreateSession(const Token& token, std::int64_t userId, std::int64_t now,
                              int maxPerUser) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_, "INSERT INTO sessions(token, user_id, created, last_used) VALUES(?,?,?,?)");
    s.Blob(1, token).Bind(2, userId).Bind(3, now).Bind(4, now);
    if (!s.Run()) {
        Fail("session");
        return false;
    }
    Stmt prune(db_,
               "DELETE FROM sessions WHERE user_id = ?1 AND rowid NOT IN"
               " (SELECT rowid FROM sessions WHERE user_id = ?1"
               "  ORDER BY created DESC, rowid DESC LIMIT ?2)");
    prune.Bind(1, userId).Bind(2, maxPerUser);
    if (!prune.Run()) Fail("session prune");
    // Sessions nobody used for a week are dropped too, whoever they belong to.
    Stmt old(db_, "DELETE FROM sessions WHERE last_used < ?");
    old.Bind(1, now - 7 * 24 * 3600);
    old.Run();
    return true;
}

std::int64_t CServerDb::SessionUser(const Token& token, std::int64_t now, std::int64_t maxIdle) {
    std::lock_guard lock(mutex_);
    if (!db_) return 0;
    Stmt s(db_, "SELECT user_id, last_used FROM sessions WHERE token = ?");
    s.Blob(1, token);
    if (s.Step() != SQLITE_ROW) return 0;
    std::int64_t user = sqlite3_column_int64(s.get(), 0);
    std::int64_t lastUsed = sqlite3_column_int64(s.get(), 1);
    if (now - lastUsed > maxIdle) {
        Stmt del(db_, "DELETE FROM sessions WHERE token = ?");
        del.Blob(1, token);
        del.Run();
        return 0;
    }
    // Writing on every request would serialise all readers behind the WAL writer; a
    // minute's precision is plenty for an idle limit counted in hours.
    if (now - lastUsed >= 60) {
        Stmt touch(db_, "UPDATE sessions SET last_used = ? WHERE token = ?");
        touch.Bind(1, now).Blob(2, token);
        touch.Run();
    }
    return user;
}

void CServerDb::CloseSession(const Token& token) {
    std::lock_guard lock(mutex_);
    if (!db_) return;
    Stmt s(db_, "DELETE FROM sessions WHERE token = ?");
    s.Blob(1, token);
    s.Run();
}

// ---- contacts ------------------------------------------------------------------------

int CServerDb::ContactCount(std::int64_t userId) {
    std::lock_guard lock(mutex_);
    return CountLocked("SELECT count(*) FROM contacts WHERE user_id = ?", userId);
}

bool CServerDb::StoreContacts(std::int64_t userId, const std::vector<StoredContact>& contacts,
                              bool replaceAll, int keepVersions, std::string_view timeText) {
    std::lock_guard lock(mutex_);
    if (!db_ || !Exec("BEGIN IMMEDIATE")) return false;
    bool ok = true;
    if (replaceAll) {
        // A store of the book as it is changes nothing and keeps no version of it.
        bool same = true;
        {
            Stmt cur(db_, "SELECT packed FROM contacts WHERE user_id = ? ORDER BY id");
            cur.Bind(1, userId);
            std::size_t i = 0;
            int rc;
            while ((rc = cur.Step()) == SQLITE_ROW) {
                if (i >= contacts.size() || ColumnBlob(cur.get(), 0) != contacts[i].packed) {
                    same = false;
                    break;
                }
                ++i;
            }
            same = same && rc == SQLITE_DONE && i == contacts.size();
        }
        if (same) return CommitLocked();
        if (keepVersions > 0 && SaveVersionLocked(userId, keepVersions, timeText) < 0) {
            return RollBackLocked("keep the address book's version");
        }
        Stmt del(db_, "DELETE FROM contacts WHERE user_id = ?");
        del.Bind(1, userId);
        ok = del.Run();
    }
    // REPLACE deletes the row of the same key and inserts anew, so a replaced contact
    // moves to the end, in upload order.
    Stmt ins(db_,
             "INSERT OR REPLACE INTO contacts(user_id, rel_name, mobile1, packed)"
             " VALUES(?,?,?,?)");
    ok = ok && ins.ok();
    for (std::size_t i = 0; ok && i < contacts.size(); ++i) {
        const StoredContact& c = contacts[i];
        ins.Bind(1, userId).Blob(2, c.relName).Blob(3, c.mobilePhone1).Blob(4, c.packed);
        ok = ins.Run();
        ins.Reset();
    }
    if (!ok) return RollBackLocked("store contacts");
    return CommitLocked();
}

int CServerDb::SaveVersionLocked(std::int64_t userId, int keep, std::string_view timeText) {
    int count = CountLocked("SELECT count(*) FROM contacts WHERE user_id = ?", userId);
    if (count == 0) return 0;
    Stmt add(db_,
             "INSERT INTO versions(user_id, number, time, count) VALUES(?1,"
             " (SELECT coalesce(max(number), 0) + 1 FROM versions WHERE user_id = ?1), ?2, ?3)");
    add.Bind(1, userId).Text(2, timeText).Bind(3, count);
    if (!add.Run()) return -1;
    std::int64_t versionId = sqlite3_last_insert_rowid(db_);
    Stmt copy(db_,
              "INSERT INTO version_contacts(version_id, seq, rel_name, mobile1, packed)"
              " SELECT ?, id, rel_name, mobile1, packed FROM contacts WHERE user_id = ?");
    copy.Bind(1, versionId).Bind(2, userId);
    if (!copy.Run()) return -1;
    Stmt number(db_, "SELECT number FROM versions WHERE id = ?");
    number.Bind(1, versionId);
    if (number.Step() != SQLITE_ROW) return -1;
    int saved = sqlite3_column_int(number.get(), 0);
    return PruneVersionsLocked(userId, keep) ? saved : -1;
}

bool CServerDb::PruneVersionsLocked(std::int64_t userId, int keep) {
    Stmt prune(db_,
               "DELETE FROM versions WHERE user_id = ?1 AND number <="
               " (SELECT number FROM versions WHERE user_id = ?1 ORDER BY number DESC"
               "  LIMIT 1 OFFSET ?2)");
    prune.Bind(1, userId).Bind(2, std::max(keep, 0));
    return prune.Run();
}

std::vector<BookVersion> CServerDb::Versions(std::int64_t userId) {
    std::lock_guard lock(mutex_);
    std::vector<BookVersion> out;
    if (!db_) return out;
    Stmt s(db_, "SELECT number, time, count FROM versions WHERE user_id = ? ORDER BY number");
    s.Bind(1, userId);
    while (s.Step() == SQLITE_ROW) {
        BookVersion& v = out.emplace_back();
        v.number = sqlite3_column_int(s.get(), 0);
        const unsigned char* t = sqlite3_column_text(s.get(), 1);
        v.time = t ? reinterpret_cast<const char*>(t) : "";
        v.contacts = sqlite3_column_int(s.get(), 2);
    }
    return out;
}

int CServerDb::ReinstateVersion(std::int64_t userId, int number, int keepVersions,
                                std::string_view timeText, int* savedAs) {
    std::lock_guard lock(mutex_);
    if (savedAs) *savedAs = 0;
    if (!db_ || !Exec("BEGIN IMMEDIATE")) return -2;
    std::int64_t versionId = 0;
    {
        Stmt find(db_, "SELECT id FROM versions WHERE user_id = ? AND number = ?");
        find.Bind(1, userId).Bind(2, number);
        int rc = find.Step();
        if (rc == SQLITE_DONE) {
            Exec("ROLLBACK");
            return -1;
        }
        if (rc != SQLITE_ROW) {
            RollBackLocked("reinstate");
            return -2;
        }
        versionId = sqlite3_column_int64(find.get(), 0);
    }
    // The current book is kept first, without pruning: the version to reinstate is copied
    // out before anything is dropped.
    int saved = SaveVersionLocked(userId, std::numeric_limits<int>::max(), timeText);
    if (saved < 0) {
        RollBackLocked("reinstate");
        return -2;
    }
    Stmt del(db_, "DELETE FROM contacts WHERE user_id = ?");
    del.Bind(1, userId);
    Stmt copy(db_,
              "INSERT OR REPLACE INTO contacts(user_id, rel_name, mobile1, packed)"
              " SELECT ?, rel_name, mobile1, packed FROM version_contacts WHERE version_id = ?"
              " ORDER BY seq");
    copy.Bind(1, userId).Bind(2, versionId);
    if (!del.Run() || !copy.Run() || !PruneVersionsLocked(userId, std::max(keepVersions, 1))) {
        RollBackLocked("reinstate");
        return -2;
    }
    int count = CountLocked("SELECT count(*) FROM contacts WHERE user_id = ?", userId);
    if (!CommitLocked()) {
        Fail("reinstate");
        return -2;
    }
    if (savedAs) *savedAs = saved;
    return count;
}

std::vector<std::pair<std::int64_t, std::string>> CServerDb::ContactsAfter(std::int64_t userId,
                                                                           std::int64_t afterId,
                                                                           int limit) {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, std::string>> out;
    if (!db_) return out;
    Stmt s(db_, "SELECT id, packed FROM contacts WHERE user_id = ? AND id > ? ORDER BY id LIMIT ?");
    s.Bind(1, userId).Bind(2, afterId).Bind(3, limit);
    while (s.Step() == SQLITE_ROW) {
        out.emplace_back(sqlite3_column_int64(s.get(), 0), std::string(ColumnBlob(s.get(), 1)));
    }
    return out;
}

// Deletes the user's rows of each key in one transaction: all of them or none.
template <class Key>
int CServerDb::DeleteEach(std::int64_t userId, const std::vector<Key>& keys, const char* sql,
                          const char* what) {
    std::lock_guard lock(mutex_);
    if (!db_ || !Exec("BEGIN IMMEDIATE")) return -1;
    Stmt del(db_, sql);
    int total = 0;
    for (const Key& key : keys) {
        del.Bind(1, userId);
        if constexpr (std::is_integral_v<Key>)
            del.Bind(2, key);
        else
            del.Blob(2, key);
        if (!del.Run()) {
            RollBackLocked(what);
            return -1;
        }
        total += sqlite3_changes(db_);
        del.Reset();
    }
    return CommitLocked() ? total : -1;
}

int CServerDb::DeleteContactsByName(std::int64_t userId, const std::vector<std::string>& names) {
    return DeleteEach(userId, names, "DELETE FROM contacts WHERE user_id = ? AND rel_name = ?",
                      "delete contacts");
}

// ---- SMS -----------------------------------------------------------------------------

std::uint32_t SmsIdForIndex(std::uint32_t n) {
    std::uint32_t b0 = 1 + n % 255;
    std::uint32_t b1 = 1 + (n / 255) % 255;
    std::uint32_t b2 = 1 + (n / (255 * 255)) % 255;
    return b0 | (b1 << 8) | (b2 << 16);
}

bool SmsIndexForId(std::uint32_t id, std::uint32_t* n) {
    std::uint32_t b0 = id & 0xFF, b1 = (id >> 8) & 0xFF, b2 = (id >> 16) & 0xFF;
    if (b0 == 0 || b1 == 0 || b2 == 0 || (id >> 24) != 0) return false;
    *n = (b0 - 1) + (b1 - 1) * 255 + (b2 - 1) * 255 * 255;
    return true;
}

int CServerDb::SmsCount(std::int64_t userId) {
    std::lock_guard lock(mutex_);
    return CountLocked("SELECT count(*) FROM sms WHERE user_id = ?", userId);
}

std::vector<CSmsData> CServerDb::SmsRange(std::int64_t userId, int offset, int limit) {
    std::lock_guard lock(mutex_);
    std::vector<CSmsData> out;
    if (!db_) return out;
    Stmt s(db_,
           "SELECT sms_id, contact_name, phone, sms_time, text FROM sms WHERE user_id = ?"
           " ORDER BY idx LIMIT ? OFFSET ?");
    s.Bind(1, userId).Bind(2, limit).Bind(3, offset);
    while (s.Step() == SQLITE_ROW) {
        CSmsData& m = out.emplace_back();
        m.SmsID = static_cast<std::uint32_t>(sqlite3_column_int64(s.get(), 0));
        ColumnToField(s.get(), 1, m.ContactName);
        ColumnToField(s.get(), 2, m.PhoneNumber);
        ColumnToField(s.get(), 3, m.SmsTime);
        ColumnToField(s.get(), 4, m.SmsText);
    }
    return out;
}

bool CServerDb::AddSms(std::int64_t userId, const CSmsData& sms, std::uint32_t* id) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt next(db_, "SELECT coalesce(max(idx) + 1, 0) FROM sms WHERE user_id = ?");
    next.Bind(1, userId);
    if (next.Step() != SQLITE_ROW) return false;
    std::int64_t idx = sqlite3_column_int64(next.get(), 0);
    if (idx >= 255LL * 255 * 255) {
        lastError_ = "no SMS id left for this user";
        return false;
    }
    std::uint32_t smsId = SmsIdForIndex(static_cast<std::uint32_t>(idx));
    Stmt s(db_,
           "INSERT INTO sms(user_id, idx, sms_id, contact_name, phone, sms_time, text)"
           " VALUES(?,?,?,?,?,?,?)");
    s.Bind(1, userId).Bind(2, idx).Bind(3, smsId);
    s.Blob(4, FieldText(sms.ContactName)).Blob(5, FieldText(sms.PhoneNumber));
    s.Blob(6, FieldText(sms.SmsTime)).Blob(7, FieldText(sms.SmsText));
    if (!s.Run()) {
        Fail("add SMS");
        return false;
    }
    if (id) *id = smsId;
    return true;
}

int CServerDb::DeleteSms(std::int64_t userId, const std::vector<std::uint32_t>& ids) {
    return DeleteEach(userId, ids, "DELETE FROM sms WHERE user_id = ? AND sms_id = ?",
                      "delete SMS");
}

// ---- accounts ------------------------------------------------------------------------

int CServerDb::AccountCount(std::int64_t userId) {
    std::lock_guard lock(mutex_);
    return CountLocked("SELECT count(*) FROM accounts WHERE user_id = ?", userId);
}

std::vector<std::pair<std::int64_t, CAccountData>> CServerDb::AccountsAfter(std::int64_t userId,
                                                                            std::int64_t afterId,
                                                                            int limit) {
    std::lock_guard lock(mutex_);
    std::vector<std::pair<std::int64_t, CAccountData>> out;
    if (!db_) return out;
    Stmt s(db_,
           "SELECT id, name, game, account_id, pwd, remark FROM accounts"
           " WHERE user_id = ? AND id > ? ORDER BY id LIMIT ?");
    s.Bind(1, userId).Bind(2, afterId).Bind(3, limit);
    while (s.Step() == SQLITE_ROW) {
        auto& [id, a] = out.emplace_back();
        id = sqlite3_column_int64(s.get(), 0);
        ColumnToField(s.get(), 1, a.AccountName);
        ColumnToField(s.get(), 2, a.GameName);
        ColumnToField(s.get(), 3, a.AccountID);
        ColumnToField(s.get(), 4, a.AccountPwd);
        ColumnToField(s.get(), 5, a.Remark);
    }
    return out;
}

namespace {
// The one account a name stands for: the exact spelling first, else the oldest that
// matches without letter case.
constexpr const char* kAccountByName =
    "(SELECT id FROM accounts WHERE user_id = :user AND name_key = :key"
    " ORDER BY name = :name DESC, id LIMIT 1)";

// The named values of the account statements.
template <class Statement>
void BindAccount(Statement& s, std::int64_t userId, const CAccountData& a) {
    sqlite3_stmt* st = s.get();
    const auto at = [st](const char* name) { return sqlite3_bind_parameter_index(st, name); };
    s.Bind(at(":user"), userId);
    s.Blob(at(":key"), NameKey(FieldText(a.AccountName)));
    s.Blob(at(":name"), FieldText(a.AccountName));
    s.Blob(at(":game"), FieldText(a.GameName));
    s.Blob(at(":aid"), FieldText(a.AccountID));
    s.Blob(at(":pwd"), FieldText(a.AccountPwd));
    s.Blob(at(":remark"), FieldText(a.Remark));
}
}  // namespace

bool CServerDb::PutAccount(std::int64_t userId, const CAccountData& a) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    // An account added again under any spelling of its name keeps its row and its place.
    int rc = 0;
    {
        std::string sql = std::string(
                              "UPDATE accounts SET name = :name, name_key = :key, game = :game,"
                              " account_id = :aid, pwd = :pwd, remark = :remark WHERE id = ") +
                          kAccountByName;
        Stmt s(db_, sql.c_str());
        BindAccount(s, userId, a);
        if (!s.Run()) {
            Fail("add account");
            return false;
        }
        rc = sqlite3_changes(db_);
    }
    if (rc > 0) return true;
    Stmt s(db_,
           "INSERT INTO accounts(user_id, name, name_key, game, account_id, pwd, remark)"
           " VALUES(?,?,?,?,?,?,?)");
    s.Bind(1, userId).Blob(2, FieldText(a.AccountName)).Blob(3, NameKey(FieldText(a.AccountName)));
    s.Blob(4, FieldText(a.GameName)).Blob(5, FieldText(a.AccountID));
    s.Blob(6, FieldText(a.AccountPwd)).Blob(7, FieldText(a.Remark));
    if (!s.Run()) {
        Fail("add account");
        return false;
    }
    return true;
}

int CServerDb::ModifyAccount(std::int64_t userId, const CAccountData& a) {
    std::lock_guard lock(mutex_);
    if (!db_) return -1;
    // The name may change in letter case only: that is how an account is renamed so.
    std::string sql = std::string(
                          "UPDATE accounts SET name = :name, game = :game, account_id = :aid,"
                          " pwd = :pwd, remark = :remark WHERE id = ") +
                      kAccountByName;
    Stmt s(db_, sql.c_str());
    BindAccount(s, userId, a);
    if (!s.Run()) {
        Fail("modify account");
        return -1;
    }
    return sqlite3_changes(db_) > 0 ? 1 : 0;
}

int CServerDb::DeleteAccount(std::int64_t userId, std::string_view accountName) {
    std::lock_guard lock(mutex_);
    if (!db_) return -1;
    std::string sql = std::string("DELETE FROM accounts WHERE id = ") + kAccountByName;
    Stmt s(db_, sql.c_str());
    sqlite3_stmt* st = s.get();
    s.Bind(sqlite3_bind_parameter_index(st, ":user"), userId);
    s.Blob(sqlite3_bind_parameter_index(st, ":key"), NameKey(accountName));
    s.Blob(sqlite3_bind_parameter_index(st, ":name"), accountName);
    if (!s.Run()) {
        Fail("delete account");
        return -1;
    }
    return sqlite3_changes(db_) > 0 ? 1 : 0;
}

// ---- history -------------------------------------------------------------------------

void CServerDb::AddHistory(std::int64_t userId, std::string_view timeText,
                           std::string_view operation, int keep) {
    std::lock_guard lock(mutex_);
    if (!db_) return;
    Stmt s(db_, "INSERT INTO history(user_id, time, operation) VALUES(?,?,?)");
    s.Bind(1, userId).Text(2, timeText).Blob(3, operation);
    if (!s.Run()) {
        Fail("history");
        return;
    }
    std::int64_t id = sqlite3_last_insert_rowid(db_);
    // Prune now and then rather than on every entry.
    if (id % 16 == 0) {
        Stmt prune(db_,
                   "DELETE FROM history WHERE user_id = ?1 AND id <="
                   " (SELECT id FROM history WHERE user_id = ?1 ORDER BY id DESC"
                   "  LIMIT 1 OFFSET ?2)");
        prune.Bind(1, userId).Bind(2, keep);
        prune.Run();
    }
}

std::vector<CHistoryData> CServerDb::RecentHistory(std::int64_t userId, int limit) {
    std::lock_guard lock(mutex_);
    std::vector<CHistoryData> out;
    if (!db_) return out;
    Stmt s(db_,
           "SELECT u.name, h.time, h.operation FROM history h JOIN users u ON u.id = h.user_id"
           " WHERE h.user_id = ? ORDER BY h.id DESC LIMIT ?");
    s.Bind(1, userId).Bind(2, limit);
    while (s.Step() == SQLITE_ROW) {
        CHistoryData& h = out.emplace_back();
        ColumnToField(s.get(), 0, h.UserName);
        ColumnToField(s.get(), 1, h.OperTime);
        ColumnToField(s.get(), 2, h.Operation);
    }
    return out;
}

// ---- notices -------------------------------------------------------------------------

int CServerDb::NoticeCount() {
    std::lock_guard lock(mutex_);
    if (!db_) return 0;
    Stmt s(db_, "SELECT count(*) FROM notices");
    return s.Step() == SQLITE_ROW ? sqlite3_column_int(s.get(), 0) : 0;
}

std::vector<CMsgData> CServerDb::NoticeRange(int offset, int limit) {
    std::lock_guard lock(mutex_);
    std::vector<CMsgData> out;
    if (!db_) return out;
    Stmt s(db_, "SELECT body FROM notices ORDER BY id LIMIT ? OFFSET ?");
    s.Bind(1, limit).Bind(2, offset);
    while (s.Step() == SQLITE_ROW) {
        CMsgData& m = out.emplace_back();
        std::string_view body = ColumnBlob(s.get(), 0);
        std::memcpy(&m, body.data(), std::min(body.size(), sizeof(m)));
    }
    return out;
}

bool CServerDb::AddNotice(const CMsgData& notice) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_, "INSERT INTO notices(body) VALUES(?)");
    s.Blob(1, std::string_view(reinterpret_cast<const char*>(&notice), sizeof(notice)));
    if (!s.Run()) {
        Fail("notice");
        return false;
    }
    return true;
}

// ---- member status and statistics ---------------------------------------------------

bool CServerDb::GetMember(std::int64_t userId, MemberInfo* info) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_, "SELECT fee_type, expiry, balance FROM members WHERE user_id = ?");
    s.Bind(1, userId);
    if (s.Step() != SQLITE_ROW) return false;
    info->feeType = std::string(ColumnBlob(s.get(), 0));
    const unsigned char* e = sqlite3_column_text(s.get(), 1);
    info->expiry = e ? reinterpret_cast<const char*>(e) : "";
    info->balance = static_cast<std::uint32_t>(sqlite3_column_int64(s.get(), 2));
    return true;
}

bool CServerDb::SetMember(std::int64_t userId, const MemberInfo& info) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    Stmt s(db_,
           "INSERT OR REPLACE INTO members(user_id, fee_type, expiry, balance) VALUES(?,?,?,?)");
    s.Bind(1, userId).Blob(2, info.feeType).Text(3, info.expiry).Bind(4, info.balance);
    if (!s.Run()) {
        Fail("member");
        return false;
    }
    return true;
}

bool CServerDb::Statistics(std::int64_t userId, CStatisticsData* stats) {
    std::lock_guard lock(mutex_);
    if (!db_) return false;
    stats->Clear();
    Stmt s(db_,
           "SELECT (SELECT count(*) FROM contacts WHERE user_id = ?1), contacts_time,"
           " (SELECT count(*) FROM sms WHERE user_id = ?1), sms_time,"
           " (SELECT count(*) FROM accounts WHERE user_id = ?1), accounts_time"
           " FROM users WHERE id = ?1");
    s.Bind(1, userId);
    if (s.Step() != SQLITE_ROW) return false;
    CStatItem* items[] = {&stats->Contacts, &stats->Sms, &stats->Accounts};
    for (int i = 0; i < 3; ++i) {
        items[i]->Count = static_cast<std::uint32_t>(sqlite3_column_int64(s.get(), i * 2));
        const unsigned char* t = sqlite3_column_text(s.get(), i * 2 + 1);
        SetField(items[i]->LastTime, t ? reinterpret_cast<const char*>(t) : "");
    }
    return true;
}

void CServerDb::TouchKind(std::int64_t userId, DataKind kind, std::string_view timeText) {
    std::lock_guard lock(mutex_);
    if (!db_) return;
    const char* sql = kind == DataKind::Contacts ? "UPDATE users SET contacts_time = ? WHERE id = ?"
                      : kind == DataKind::Sms    ? "UPDATE users SET sms_time = ? WHERE id = ?"
                                              : "UPDATE users SET accounts_time = ? WHERE id = ?";
    Stmt s(db_, sql);
    s.Text(1, timeText).Bind(2, userId);
    s.Run();
}

}  // namespace kavo
