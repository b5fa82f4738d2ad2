#include "server/pg_server_db.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <type_traits>
#include <utility>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

constexpr int kSchemaVersion = 1;

// Every table, as the current schema version has it. Run under the advisory lock, so two
// servers starting together do not race.
const char* const kSchema = R"sql(
CREATE TABLE IF NOT EXISTS kavo_schema(version integer NOT NULL);
CREATE TABLE IF NOT EXISTS users(
  id bigserial PRIMARY KEY,
  name bytea NOT NULL,
  name_key bytea NOT NULL UNIQUE,
  digest text NOT NULL,
  contact bytea NOT NULL DEFAULT ''::bytea,
  created bigint NOT NULL,
  fail_count integer NOT NULL DEFAULT 0,
  locked_until bigint NOT NULL DEFAULT 0,
  contacts_time text NOT NULL DEFAULT '',
  sms_time text NOT NULL DEFAULT '',
  accounts_time text NOT NULL DEFAULT '');
CREATE TABLE IF NOT EXISTS sessions(
  token bytea PRIMARY KEY,
  user_id bigint NOT NULL REFERENCES users(id),
  created bigint NOT NULL,
  last_used bigint NOT NULL,
  seq bigserial);
CREATE INDEX IF NOT EXISTS sessions_user ON sessions(user_id, created);
CREATE INDEX IF NOT EXISTS sessions_used ON sessions(last_used);
CREATE TABLE IF NOT EXISTS contacts(
  id bigserial PRIMARY KEY,
  user_id bigint NOT NULL REFERENCES users(id),
  rel_name bytea NOT NULL,
  mobile1 bytea NOT NULL,
  packed bytea NOT NULL,
  UNIQUE(user_id, rel_name, mobile1));
CREATE INDEX IF NOT EXISTS contacts_user ON contacts(user_id, id);
CREATE TABLE IF NOT EXISTS sms(
  user_id bigint NOT NULL REFERENCES users(id),
  idx bigint NOT NULL,
  sms_id bigint NOT NULL,
  contact_name bytea NOT NULL,
  phone bytea NOT NULL,
  sms_time bytea NOT NULL,
  text bytea NOT NULL,
  PRIMARY KEY(user_id, idx));
CREATE INDEX IF NOT EXISTS sms_id ON sms(user_id, sms_id);
CREATE TABLE IF NOT EXISTS accounts(
  id bigserial PRIMARY KEY,
  user_id bigint NOT NULL REFERENCES users(id),
  name bytea NOT NULL,
  name_key bytea NOT NULL,
  game bytea NOT NULL,
  account_id bytea NOT NULL,
  pwd bytea NOT NULL,
  remark bytea NOT NULL,
  UNIQUE(user_id, name_key));
CREATE TABLE IF NOT EXISTS history(
  id bigserial PRIMARY KEY,
  user_id bigint NOT NULL REFERENCES users(id),
  time text NOT NULL,
  operation bytea NOT NULL);
CREATE INDEX IF NOT EXISTS history_user ON history(user_id, id);
CREATE TABLE IF NOT EXISTS notices(
  id bigserial PRIMARY KEY,
  body bytea NOT NULL);
CREATE TABLE IF NOT EXISTS members(
  user_id bigint PRIMARY KEY REFERENCES users(id),
  fee_type bytea NOT NULL,
  expiry text NOT NULL,
  balance bigint NOT NULL);
CREATE TABLE IF NOT EXISTS versions(
  id bigserial PRIMARY KEY,
  user_id bigint NOT NULL REFERENCES users(id),
  number integer NOT NULL,
  time text NOT NULL,
  count integer NOT NULL,
  UNIQUE(user_id, number));
CREATE TABLE IF NOT EXISTS version_contacts(
  version_id bigint NOT NULL REFERENCES versions(id) ON DELETE CASCADE,
  seq bigint NOT NULL,
  rel_name bytea NOT NULL,
  mobile1 bytea NOT NULL,
  packed bytea NOT NULL,
  PRIMARY KEY(version_id, seq));
)sql";

// Contacts per INSERT statement; each takes three parameters besides the user's.
constexpr std::size_t kInsertRows = 300;

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

}  // namespace

// Parameters of one statement: integers and texts as text, bytea in binary form.
struct CPgServerDb::Params {
    std::vector<std::string> values;
    std::vector<int> formats;

    Params& Int(std::int64_t v) {
        values.push_back(std::to_string(v));
        formats.push_back(0);
        return *this;
    }
    Params& Text(std::string_view v) {
        values.emplace_back(v);
        formats.push_back(0);
        return *this;
    }
    Params& Bytes(std::string_view v) {
        values.emplace_back(v);
        formats.push_back(1);
        return *this;
    }
};

// A statement's result in text form; bytea columns arrive as "\x" and hexadecimal digits.
class CPgServerDb::Result {
public:
    explicit Result(PGresult* r = nullptr) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(Result&& o) noexcept : r_(std::exchange(o.r_, nullptr)) {}
    Result& operator=(Result&& o) noexcept {
        std::swap(r_, o.r_);
        return *this;
    }

    bool ok() const {
        auto s = r_ ? PQresultStatus(r_) : PGRES_FATAL_ERROR;
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    int rows() const { return r_ ? PQntuples(r_) : 0; }
    int affected() const { return r_ ? std::atoi(PQcmdTuples(r_)) : 0; }
    std::int64_t Int(int row, int col) const {
        return std::strtoll(PQgetvalue(r_, row, col), nullptr, 10);
    }
    std::string Text(int row, int col) const { return PQgetvalue(r_, row, col); }
    std::string Bytes(int row, int col) const {
        const char* v = PQgetvalue(r_, row, col);
        std::size_t n = static_cast<std::size_t>(PQgetlength(r_, row, col));
        std::string out;
        if (n < 2 || v[0] != '\\' || v[1] != 'x') return out;
        out.reserve((n - 2) / 2);
        for (std::size_t i = 2; i + 1 < n; i += 2)
            out.push_back(static_cast<char>(HexValue(v[i]) * 16 + HexValue(v[i + 1])));
        return out;
    }
    template <std::size_t N>
    void Field(int row, int col, char (&field)[N]) const {
        SetField(field, Bytes(row, col));
    }

private:
    PGresult* r_;
};

namespace {
// The connection the calling thread holds for the public call under way.
thread_local pg_conn* tlsConnection = nullptr;
}  // namespace

// A connection of the pool, held by one thread for one public call; waits while every
// connection is taken.
class CPgServerDb::Lease {
public:
    explicit Lease(CPgServerDb& db) : db_(db), previous_(tlsConnection) {
        std::unique_lock lock(db_.poolMutex_);
        db_.available_.wait(lock, [this] { return db_.pool_.empty() || !db_.idle_.empty(); });
        if (!db_.idle_.empty()) {
            conn_ = db_.idle_.back();
            db_.idle_.pop_back();
        }
        tlsConnection = conn_;
    }
    ~Lease() {
        tlsConnection = previous_;
        if (!conn_) return;
        {
            std::lock_guard lock(db_.poolMutex_);
            db_.idle_.push_back(conn_);
        }
        db_.available_.notify_one();
    }
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

private:
    CPgServerDb& db_;
    pg_conn* previous_;
    pg_conn* conn_ = nullptr;
};

CPgServerDb::~CPgServerDb() { Close(); }

bool CPgServerDb::Open(const std::string& conninfo, int connections) {
    std::lock_guard open(poolMutex_);
    if (!pool_.empty()) return true;
    for (int i = 0; i < std::max(1, connections); ++i) {
        pg_conn* conn = PQconnectdb(conninfo.c_str());
        if (PQstatus(conn) != CONNECTION_OK) {
            SetError(PQerrorMessage(conn));
            PQfinish(conn);
            for (pg_conn* c : pool_) PQfinish(c);
            pool_.clear();
            return false;
        }
        // Notices ("relation already exists, skipping") are of no interest to the log.
        PQsetNoticeProcessor(
            conn, [](void*, const char*) {}, nullptr);
        pool_.push_back(conn);
    }
    tlsConnection = pool_.front();
    bool ok = CreateSchema();
    tlsConnection = nullptr;
    if (!ok) {
        for (pg_conn* c : pool_) PQfinish(c);
        pool_.clear();
        return false;
    }
    idle_ = pool_;
    return true;
}

bool CPgServerDb::CreateSchema() {
    if (!Begin()) return false;
    if (!Command("SELECT pg_advisory_xact_lock(4242001)", "schema lock") ||
        !Command(kSchema, "schema")) {
        return RollBack();
    }
    Result v = Run("SELECT max(version) FROM kavo_schema", Params(), "schema version");
    if (!v.ok()) return RollBack();
    std::int64_t version = v.rows() > 0 ? v.Int(0, 0) : 0;
    if (version > kSchemaVersion) {
        RollBack();
        SetError("the database was set up by a newer kavo-server (schema " +
                 std::to_string(version) + ")");
        return false;
    }
    // Later schema versions add their upgrade steps here, from `version` on.
    if (version < kSchemaVersion) {
        Params p;
        p.Int(kSchemaVersion);
        if (!Command("DELETE FROM kavo_schema", "schema version") ||
            !Run("INSERT INTO kavo_schema(version) VALUES($1::integer)", p, "schema version")
                 .ok()) {
            return RollBack();
        }
    }
    return Commit();
}

void CPgServerDb::Close() {
    std::unique_lock lock(poolMutex_);
    // Calls under way finish first.
    available_.wait(lock, [this] { return idle_.size() == pool_.size(); });
    for (pg_conn* c : pool_) PQfinish(c);
    pool_.clear();
    idle_.clear();
    available_.notify_all();
}

std::string CPgServerDb::LastError() const {
    std::lock_guard lock(errorMutex_);
    return lastError_;
}

void CPgServerDb::SetError(std::string text) {
    std::lock_guard lock(errorMutex_);
    lastError_ = std::move(text);
}

CPgServerDb::Result CPgServerDb::Run(const char* sql, const Params& params, const char* what) {
    pg_conn* conn = tlsConnection;
    if (!conn) {
        SetError(std::string(what) + ": not connected");
        return Result();
    }
    // A connection lost between requests (the database restarted, say) is made again;
    // one lost inside a transaction fails the transaction.
    if (PQstatus(conn) == CONNECTION_BAD && PQtransactionStatus(conn) != PQTRANS_INTRANS)
        PQreset(conn);
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const std::string& v : params.values) {
        values.push_back(v.data());
        lengths.push_back(static_cast<int>(v.size()));
    }
    Result r(PQexecParams(conn, sql, static_cast<int>(values.size()), nullptr, values.data(),
                          lengths.data(), params.formats.data(), 0));
    if (!r.ok()) SetError(std::string(what) + ": " + PQerrorMessage(conn));
    return r;
}

bool CPgServerDb::Command(const char* sql, const char* what) {
    pg_conn* conn = tlsConnection;
    if (!conn) return false;
    Result r(PQexec(conn, sql));
    if (!r.ok()) SetError(std::string(what) + ": " + PQerrorMessage(conn));
    return r.ok();
}

bool CPgServerDb::Begin() {
    pg_conn* conn = tlsConnection;
    if (conn && PQstatus(conn) == CONNECTION_BAD) PQreset(conn);
    return Command("BEGIN", "begin");
}
bool CPgServerDb::Commit() {
    if (Command("COMMIT", "commit")) return true;
    Command("ROLLBACK", "roll back");
    return false;
}
bool CPgServerDb::RollBack() {
    std::string why = LastError();
    Command("ROLLBACK", "roll back");
    SetError(why);
    return false;
}

bool CPgServerDb::LockUser(std::int64_t userId) {
    Params p;
    p.Int(userId);
    return Run("SELECT id FROM users WHERE id = $1::bigint FOR UPDATE", p, "lock user").ok();
}

std::int64_t CPgServerDb::CountLocked(const char* sql, std::int64_t userId) {
    Params p;
    p.Int(userId);
    Result r = Run(sql, p, "count");
    return r.ok() && r.rows() > 0 ? r.Int(0, 0) : 0;
}

// ---- users ---------------------------------------------------------------------------

int CPgServerDb::RegisterUser(std::string_view name, std::string_view digest,
                              std::string_view contact, std::int64_t now, std::int64_t* userId) {
    Lease lease(*this);
    Params p;
    p.Bytes(name).Bytes(NameKey(name)).Text(digest).Bytes(contact).Int(now);
    // The unique name key decides, whichever server the other registration came to.
    Result r =
        Run("INSERT INTO users(name, name_key, digest, contact, created)"
            " VALUES($1::bytea, $2::bytea, $3::text, $4::bytea, $5::bigint)"
            " ON CONFLICT (name_key) DO NOTHING RETURNING id",
            p, "register");
    if (!r.ok()) return -1;
    if (r.rows() == 0) return 0;
    if (userId) *userId = r.Int(0, 0);
    return 1;
}

namespace {
constexpr const char* kUserColumns = "id, name, digest, fail_count, locked_until";
}  // namespace

bool CPgServerDb::FindUser(std::string_view name, ServerUser* user) {
    Lease lease(*this);
    Params p;
    p.Bytes(NameKey(name));
    std::string sql =
        std::string("SELECT ") + kUserColumns + " FROM users WHERE name_key = $1::bytea";
    Result r = Run(sql.c_str(), p, "find user");
    if (!r.ok() || r.rows() == 0) return false;
    user->id = r.Int(0, 0);
    user->name = r.Bytes(0, 1);
    user->digest = r.Text(0, 2);
    user->failCount = static_cast<int>(r.Int(0, 3));
    user->lockedUntil = r.Int(0, 4);
    return true;
}

bool CPgServerDb::FindUserById(std::int64_t id, ServerUser* user) {
    Lease lease(*this);
    Params p;
    p.Int(id);
    std::string sql = std::string("SELECT ") + kUserColumns + " FROM users WHERE id = $1::bigint";
    Result r = Run(sql.c_str(), p, "find user");
    if (!r.ok() || r.rows() == 0) return false;
    user->id = r.Int(0, 0);
    user->name = r.Bytes(0, 1);
    user->digest = r.Text(0, 2);
    user->failCount = static_cast<int>(r.Int(0, 3));
    user->lockedUntil = r.Int(0, 4);
    return true;
}

int CPgServerDb::RecordLoginFailure(std::int64_t userId, std::int64_t now, int lockAfter,
                                    std::int64_t lockSeconds) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Int(lockAfter).Int(now + lockSeconds);
    Result r =
        Run("UPDATE users SET fail_count = fail_count + 1,"
            " locked_until = CASE WHEN fail_count + 1 >= $2::integer THEN $3::bigint"
            " ELSE locked_until END WHERE id = $1::bigint RETURNING fail_count",
            p, "login failure");
    return r.ok() && r.rows() > 0 ? static_cast<int>(r.Int(0, 0)) : 0;
}

void CPgServerDb::ClearLoginFailures(std::int64_t userId) {
    Lease lease(*this);
    Params p;
    p.Int(userId);
    Run("UPDATE users SET fail_count = 0, locked_until = 0 WHERE id = $1::bigint", p,
        "clear failures");
}

bool CPgServerDb::SetPasswordDigest(std::int64_t userId, std::string_view digest) {
    Lease lease(*this);
    Params p;
    p.Text(digest).Int(userId);
    Result r = Run("UPDATE users SET digest = $1::text WHERE id = $2::bigint", p, "password");
    return r.ok() && r.affected() == 1;
}

int CPgServerDb::UserCount() {
    Lease lease(*this);
    Result r = Run("SELECT count(*) FROM users", Params(), "count users");
    return r.ok() && r.rows() > 0 ? static_cast<int>(r.Int(0, 0)) : 0;
}

// ---- sessions ------------------------------------------------------------------------

bool CPgServerDb::CreateSession(const Token& token, std::int64_t userId, std::int64_t now,
                                int maxPerUser) {
    Lease lease(*this);
    Params p;
    p.Bytes(token).Int(userId).Int(now);
    if (!Run("INSERT INTO sessions(token, user_id, created, last_used)"
             " VALUES($1::bytea, $2::bigint, $3::bigint, $3::bigint)",
             p, "session")
             .ok()) {
        return false;
    }
    Params prune;
    prune.Int(userId).Int(maxPerUser);
    Run("DELETE FROM sessions WHERE user_id = $1::bigint AND token NOT IN"
        " (SELECT token FROM sessions WHERE user_id = $1::bigint"
        "  ORDER BY created DESC, seq DESC LIMIT $2::integer)",
        prune, "session prune");
    // Sessions nobody used for a week are dropped too, whoever they belong to.
    Params old;
    old.Int(now - 7 * 24 * 3600);
    Run("DELETE FROM sessions WHERE last_used < $1::bigint", old, "session prune");
    return true;
}

std::int64_t CPgServerDb::SessionUser(const Token& token, std::int64_t now, std::int64_t maxIdle) {
    Lease lease(*this);
    Params p;
    p.Bytes(token);
    Result r = Run("SELECT user_id, last_used FROM sessions WHERE token = $1::bytea", p, "session");
    if (!r.ok() || r.rows() == 0) return 0;
    std::int64_t user = r.Int(0, 0);
    std::int64_t lastUsed = r.Int(0, 1);
    if (now - lastUsed > maxIdle) {
        Run("DELETE FROM sessions WHERE token = $1::bytea", p, "session expiry");
        return 0;
    }
    // A minute's precision is plenty for an idle limit counted in hours.
    if (now - lastUsed >= 60) {
        Params touch;
        touch.Int(now).Bytes(token);
        Run("UPDATE sessions SET last_used = $1::bigint WHERE token = $2::bytea", touch,
            "session use");
    }
    return user;
}

void CPgServerDb::CloseSession(const Token& token) {
    Lease lease(*this);
    Params p;
    p.Bytes(token);
    Run("DELETE FROM sessions WHERE token = $1::bytea", p, "close session");
}

// ---- contacts ------------------------------------------------------------------------

int CPgServerDb::ContactCount(std::int64_t userId) {
    Lease lease(*this);
    return static_cast<int>(
        CountLocked("SELECT count(*) FROM contacts WHERE user_id = $1::bigint", userId));
}

bool CPgServerDb::InsertContactsLocked(std::int64_t userId,
                                       const std::vector<const StoredContact*>& rows) {
    for (std::size_t first = 0; first < rows.size(); first += kInsertRows) {
        std::size_t end = std::min(rows.size(), first + kInsertRows);
        std::string sql = "INSERT INTO contacts(user_id, rel_name, mobile1, packed) VALUES";
        Params p;
        p.Int(userId);
        int n = 2;
        for (std::size_t i = first; i < end; ++i) {
            const StoredContact& c = *rows[i];
            p.Bytes(c.relName).Bytes(c.mobilePhone1).Bytes(c.packed);
            sql += i == first ? "(" : ",(";
            sql += "$1::bigint,$" + std::to_string(n) + "::bytea,$" + std::to_string(n + 1) +
                   "::bytea,$" + std::to_string(n + 2) + "::bytea)";
            n += 3;
        }
        // One statement's rows get their ids in the order they are listed.
        if (!Run(sql.c_str(), p, "store contacts").ok()) return false;
    }
    return true;
}

bool CPgServerDb::StoreContacts(std::int64_t userId, const std::vector<StoredContact>& contacts,
                                bool replaceAll, int keepVersions, std::string_view timeText) {
    Lease lease(*this);
    // A contact replaced by a later one of the same key moves to the later one's place.
    std::map<std::pair<std::string_view, std::string_view>, std::size_t> last;
    for (std::size_t i = 0; i < contacts.size(); ++i)
        last[{contacts[i].relName, contacts[i].mobilePhone1}] = i;
    std::vector<const StoredContact*> rows;
    for (std::size_t i = 0; i < contacts.size(); ++i)
        if (last[{contacts[i].relName, contacts[i].mobilePhone1}] == i)
            rows.push_back(&contacts[i]);

    if (!Begin()) return false;
    if (!LockUser(userId)) return RollBack();
    if (replaceAll) {
        // A store of the book as it is changes nothing and keeps no version of it.
        Params p;
        p.Int(userId);
        Result cur = Run("SELECT packed FROM contacts WHERE user_id = $1::bigint ORDER BY id", p,
                         "store contacts");
        if (!cur.ok()) return RollBack();
        bool same = static_cast<std::size_t>(cur.rows()) == contacts.size();
        for (int i = 0; same && i < cur.rows(); ++i)
            same = cur.Bytes(i, 0) == contacts[static_cast<std::size_t>(i)].packed;
        if (same) return Commit();
        if (keepVersions > 0 && SaveVersionLocked(userId, keepVersions, timeText) < 0)
            return RollBack();
        if (!Run("DELETE FROM contacts WHERE user_id = $1::bigint", p, "store contacts").ok())
            return RollBack();
    } else {
        for (const StoredContact* c : rows) {
            Params p;
            p.Int(userId).Bytes(c->relName).Bytes(c->mobilePhone1);
            if (!Run("DELETE FROM contacts WHERE user_id = $1::bigint AND rel_name = $2::bytea"
                     " AND mobile1 = $3::bytea",
                     p, "store contacts")
                     .ok())
                return RollBack();
        }
    }
    if (!InsertContactsLocked(userId, rows)) return RollBack();
    return Commit();
}

int CPgServerDb::SaveVersionLocked(std::int64_t userId, int keep, std::string_view timeText) {
    std::int64_t count =
        CountLocked("SELECT count(*) FROM contacts WHERE user_id = $1::bigint", userId);
    if (count == 0) return 0;
    Params p;
    p.Int(userId).Text(timeText).Int(count);
    Result v =
        Run("INSERT INTO versions(user_id, number, time, count) VALUES($1::bigint,"
            " (SELECT coalesce(max(number), 0) + 1 FROM versions WHERE user_id = $1::bigint),"
            " $2::text, $3::integer) RETURNING id, number",
            p, "keep version");
    if (!v.ok() || v.rows() == 0) return -1;
    Params copy;
    copy.Int(v.Int(0, 0)).Int(userId);
    if (!Run("INSERT INTO version_contacts(version_id, seq, rel_name, mobile1, packed)"
             " SELECT $1::bigint, id, rel_name, mobile1, packed FROM contacts"
             " WHERE user_id = $2::bigint",
             copy, "keep version")
             .ok())
        return -1;
    int saved = static_cast<int>(v.Int(0, 1));
    return PruneVersionsLocked(userId, keep) ? saved : -1;
}

bool CPgServerDb::PruneVersionsLocked(std::int64_t userId, int keep) {
    Params p;
    p.Int(userId).Int(std::max(keep, 0));
    return Run("DELETE FROM versions WHERE user_id = $1::bigint AND number <="
               " (SELECT number FROM versions WHERE user_id = $1::bigint"
               "  ORDER BY number DESC LIMIT 1 OFFSET $2::integer)",
               p, "prune versions")
        .ok();
}

std::vector<BookVersion> CPgServerDb::Versions(std::int64_t userId) {
    Lease lease(*this);
    std::vector<BookVersion> out;
    Params p;
    p.Int(userId);
    Result r =
        Run("SELECT number, time, count FROM versions WHERE user_id = $1::bigint ORDER BY number",
            p, "versions");
    for (int i = 0; r.ok() && i < r.rows(); ++i) {
        BookVersion& v = out.emplace_back();
        v.number = static_cast<int>(r.Int(i, 0));
        v.time = r.Text(i, 1);
        v.contacts = static_cast<int>(r.Int(i, 2));
    }
    return out;
}

int CPgServerDb::ReinstateVersion(std::int64_t userId, int number, int keepVersions,
                                  std::string_view timeText, int* savedAs) {
    Lease lease(*this);
    if (savedAs) *savedAs = 0;
    if (!Begin()) return -2;
    if (!LockUser(userId)) {
        RollBack();
        return -2;
    }
    Params find;
    find.Int(userId).Int(number);
    Result v = Run("SELECT id FROM versions WHERE user_id = $1::bigint AND number = $2::integer",
                   find, "reinstate");
    if (!v.ok()) {
        RollBack();
        return -2;
    }
    if (v.rows() == 0) {
        RollBack();
        return -1;
    }
    std::int64_t versionId = v.Int(0, 0);
    // The current book is kept first, without pruning: the version to reinstate is copied
    // out before anything is dropped.
    int saved = SaveVersionLocked(userId, std::numeric_limits<int>::max(), timeText);
    Params user;
    user.Int(userId);
    Params copy;
    copy.Int(userId).Int(versionId);
    if (saved < 0 ||
        !Run("DELETE FROM contacts WHERE user_id = $1::bigint", user, "reinstate").ok() ||
        !Run("INSERT INTO contacts(user_id, rel_name, mobile1, packed)"
             " SELECT $1::bigint, rel_name, mobile1, packed FROM version_contacts"
             " WHERE version_id = $2::bigint ORDER BY seq",
             copy, "reinstate")
             .ok() ||
        !PruneVersionsLocked(userId, std::max(keepVersions, 1))) {
        RollBack();
        return -2;
    }
    int count = static_cast<int>(
        CountLocked("SELECT count(*) FROM contacts WHERE user_id = $1::bigint", userId));
    if (!Commit()) return -2;
    if (savedAs) *savedAs = saved;
    return count;
}

std::vector<std::pair<std::int64_t, std::string>> CPgServerDb::ContactsAfter(std::int64_t userId,
                                                                             std::int64_t afterId,
                                                                             int limit) {
    Lease lease(*this);
    std::vector<std::pair<std::int64_t, std::string>> out;
    Params p;
    p.Int(userId).Int(afterId).Int(limit);
    Result r =
        Run("SELECT id, packed FROM contacts WHERE user_id = $1::bigint AND id > $2::bigint"
            " ORDER BY id LIMIT $3::integer",
            p, "contacts");
    for (int i = 0; r.ok() && i < r.rows(); ++i) out.emplace_back(r.Int(i, 0), r.Bytes(i, 1));
    return out;
}

// Deletes the user's rows of each key in one transaction: all of them or none.
template <class Key>
int CPgServerDb::DeleteEach(std::int64_t userId, const std::vector<Key>& keys, const char* sql,
                            const char* what) {
    Lease lease(*this);
    if (!Begin()) return -1;
    int total = 0;
    for (const Key& key : keys) {
        Params p;
        p.Int(userId);
        if constexpr (std::is_integral_v<Key>)
            p.Int(key);
        else
            p.Bytes(key);
        Result r = Run(sql, p, what);
        if (!r.ok()) {
            RollBack();
            return -1;
        }
        total += r.affected();
    }
    return Commit() ? total : -1;
}

int CPgServerDb::DeleteContactsByName(std::int64_t userId, const std::vector<std::string>& names) {
    return DeleteEach(userId, names,
                      "DELETE FROM contacts WHERE user_id = $1::bigint AND rel_name = $2::bytea",
                      "delete contacts");
}

// ---- SMS -----------------------------------------------------------------------------

int CPgServerDb::SmsCount(std::int64_t userId) {
    Lease lease(*this);
    return static_cast<int>(
        CountLocked("SELECT count(*) FROM sms WHERE user_id = $1::bigint", userId));
}

std::vector<CSmsData> CPgServerDb::SmsRange(std::int64_t userId, int offset, int limit) {
    Lease lease(*this);
    std::vector<CSmsData> out;
    Params p;
    p.Int(userId).Int(limit).Int(offset);
    Result r =
        Run("SELECT sms_id, contact_name, phone, sms_time, text FROM sms WHERE user_id = $1::bigint"
            " ORDER BY idx LIMIT $2::integer OFFSET $3::integer",
            p, "SMS");
    for (int i = 0; r.ok() && i < r.rows(); ++i) {
        CSmsData& m = out.emplace_back();
        m.SmsID = static_cast<std::uint32_t>(r.Int(i, 0));
        r.Field(i, 1, m.ContactName);
        r.Field(i, 2, m.PhoneNumber);
        r.Field(i, 3, m.SmsTime);
        r.Field(i, 4, m.SmsText);
    }
    return out;
}

bool CPgServerDb::AddSms(std::int64_t userId, const CSmsData& sms, std::uint32_t* id) {
    Lease lease(*this);
    if (!Begin()) return false;
    if (!LockUser(userId)) return RollBack();
    std::int64_t idx =
        CountLocked("SELECT coalesce(max(idx) + 1, 0) FROM sms WHERE user_id = $1::bigint", userId);
    if (idx >= 255LL * 255 * 255) {
        RollBack();
        SetError("no SMS id left for this user");
        return false;
    }
    std::uint32_t smsId = SmsIdForIndex(static_cast<std::uint32_t>(idx));
    Params p;
    p.Int(userId).Int(idx).Int(smsId);
    p.Bytes(FieldText(sms.ContactName)).Bytes(FieldText(sms.PhoneNumber));
    p.Bytes(FieldText(sms.SmsTime)).Bytes(FieldText(sms.SmsText));
    if (!Run("INSERT INTO sms(user_id, idx, sms_id, contact_name, phone, sms_time, text)"
             " VALUES($1::bigint, $2::bigint, $3::bigint, $4::bytea, $5::bytea, $6::bytea,"
             " $7::bytea)",
             p, "add SMS")
             .ok())
        return RollBack();
    if (!Commit()) return false;
    if (id) *id = smsId;
    return true;
}

int CPgServerDb::DeleteSms(std::int64_t userId, const std::vector<std::uint32_t>& ids) {
    return DeleteEach(userId, ids,
                      "DELETE FROM sms WHERE user_id = $1::bigint AND sms_id = $2::bigint",
                      "delete SMS");
}

// ---- accounts ------------------------------------------------------------------------

int CPgServerDb::AccountCount(std::int64_t userId) {
    Lease lease(*this);
    return static_cast<int>(
        CountLocked("SELECT count(*) FROM accounts WHERE user_id = $1::bigint", userId));
}

std::vector<std::pair<std::int64_t, CAccountData>> CPgServerDb::AccountsAfter(std::int64_t userId,
                                                                              std::int64_t afterId,
                                                                              int limit) {
    Lease lease(*this);
    std::vector<std::pair<std::int64_t, CAccountData>> out;
    Params p;
    p.Int(userId).Int(afterId).Int(limit);
    Result r =
        Run("SELECT id, name, game, account_id, pwd, remark FROM accounts"
            " WHERE user_id = $1::bigint AND id > $2::bigint ORDER BY id LIMIT $3::integer",
            p, "accounts");
    for (int i = 0; r.ok() && i < r.rows(); ++i) {
        auto& [id, a] = out.emplace_back();
        id = r.Int(i, 0);
        r.Field(i, 1, a.AccountName);
        r.Field(i, 2, a.GameName);
        r.Field(i, 3, a.AccountID);
        r.Field(i, 4, a.AccountPwd);
        r.Field(i, 5, a.Remark);
    }
    return out;
}

bool CPgServerDb::PutAccount(std::int64_t userId, const CAccountData& a) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Bytes(FieldText(a.AccountName)).Bytes(NameKey(FieldText(a.AccountName)));
    p.Bytes(FieldText(a.GameName)).Bytes(FieldText(a.AccountID));
    p.Bytes(FieldText(a.AccountPwd)).Bytes(FieldText(a.Remark));
    // An account added again under any spelling of its name keeps its row and its place.
    return Run("INSERT INTO accounts(user_id, name, name_key, game, account_id, pwd, remark)"
               " VALUES($1::bigint, $2::bytea, $3::bytea, $4::bytea, $5::bytea, $6::bytea,"
               " $7::bytea) ON CONFLICT (user_id, name_key) DO UPDATE SET name = excluded.name,"
               " game = excluded.game, account_id = excluded.account_id, pwd = excluded.pwd,"
               " remark = excluded.remark",
               p, "add account")
        .ok();
}

int CPgServerDb::ModifyAccount(std::int64_t userId, const CAccountData& a) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Bytes(NameKey(FieldText(a.AccountName))).Bytes(FieldText(a.AccountName));
    p.Bytes(FieldText(a.GameName)).Bytes(FieldText(a.AccountID));
    p.Bytes(FieldText(a.AccountPwd)).Bytes(FieldText(a.Remark));
    // The name may change in letter case only: that is how an account is renamed so.
    Result r = Run(
        "UPDATE accounts SET name = $3::bytea, game = $4::bytea, account_id = $5::bytea,"
        " pwd = $6::bytea, remark = $7::bytea WHERE user_id = $1::bigint AND name_key = $2::bytea",
        p, "modify account");
    if (!r.ok()) return -1;
    return r.affected() > 0 ? 1 : 0;
}

int CPgServerDb::DeleteAccount(std::int64_t userId, std::string_view accountName) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Bytes(NameKey(accountName));
    Result r = Run("DELETE FROM accounts WHERE user_id = $1::bigint AND name_key = $2::bytea", p,
                   "delete account");
    if (!r.ok()) return -1;
    return r.affected() > 0 ? 1 : 0;
}

// ---- history -------------------------------------------------------------------------

void CPgServerDb::AddHistory(std::int64_t userId, std::string_view timeText,
                             std::string_view operation, int keep) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Text(timeText).Bytes(operation);
    Result r =
        Run("INSERT INTO history(user_id, time, operation) VALUES($1::bigint, $2::text, $3::bytea)"
            " RETURNING id",
            p, "history");
    // Prune now and then rather than on every entry.
    if (!r.ok() || r.rows() == 0 || r.Int(0, 0) % 16 != 0) return;
    Params prune;
    prune.Int(userId).Int(keep);
    Run("DELETE FROM history WHERE user_id = $1::bigint AND id <="
        " (SELECT id FROM history WHERE user_id = $1::bigint ORDER BY id DESC"
        "  LIMIT 1 OFFSET $2::integer)",
        prune, "history prune");
}

std::vector<CHistoryData> CPgServerDb::RecentHistory(std::int64_t userId, int limit) {
    Lease lease(*this);
    std::vector<CHistoryData> out;
    Params p;
    p.Int(userId).Int(limit);
    Result r =
        Run("SELECT u.name, h.time, h.operation FROM history h JOIN users u ON u.id = h.user_id"
            " WHERE h.user_id = $1::bigint ORDER BY h.id DESC LIMIT $2::integer",
            p, "history");
    for (int i = 0; r.ok() && i < r.rows(); ++i) {
        CHistoryData& h = out.emplace_back();
        r.Field(i, 0, h.UserName);
        SetField(h.OperTime, r.Text(i, 1));
        r.Field(i, 2, h.Operation);
    }
    return out;
}

// ---- notices -------------------------------------------------------------------------

int CPgServerDb::NoticeCount() {
    Lease lease(*this);
    Result r = Run("SELECT count(*) FROM notices", Params(), "notices");
    return r.ok() && r.rows() > 0 ? static_cast<int>(r.Int(0, 0)) : 0;
}

std::vector<CMsgData> CPgServerDb::NoticeRange(int offset, int limit) {
    Lease lease(*this);
    std::vector<CMsgData> out;
    Params p;
    p.Int(limit).Int(offset);
    Result r = Run("SELECT body FROM notices ORDER BY id LIMIT $1::integer OFFSET $2::integer", p,
                   "notices");
    for (int i = 0; r.ok() && i < r.rows(); ++i) {
        CMsgData& m = out.emplace_back();
        std::string body = r.Bytes(i, 0);
        std::memcpy(&m, body.data(), std::min(body.size(), sizeof(m)));
    }
    return out;
}

bool CPgServerDb::AddNotice(const CMsgData& notice) {
    Lease lease(*this);
    Params p;
    p.Bytes(std::string_view(reinterpret_cast<const char*>(&notice), sizeof(notice)));
    return Run("INSERT INTO notices(body) VALUES($1::bytea)", p, "notice").ok();
}

// ---- member status and statistics ---------------------------------------------------

bool CPgServerDb::GetMember(std::int64_t userId, MemberInfo* info) {
    Lease lease(*this);
    Params p;
    p.Int(userId);
    Result r = Run("SELECT fee_type, expiry, balance FROM members WHERE user_id = $1::bigint", p,
                   "member");
    if (!r.ok() || r.rows() == 0) return false;
    info->feeType = r.Bytes(0, 0);
    info->expiry = r.Text(0, 1);
    info->balance = static_cast<std::uint32_t>(r.Int(0, 2));
    return true;
}

bool CPgServerDb::SetMember(std::int64_t userId, const MemberInfo& info) {
    Lease lease(*this);
    Params p;
    p.Int(userId).Bytes(info.feeType).Text(info.expiry).Int(info.balance);
    return Run("INSERT INTO members(user_id, fee_type, expiry, balance)"
               " VALUES($1::bigint, $2::bytea, $3::text, $4::bigint) ON CONFLICT (user_id)"
               " DO UPDATE SET fee_type = excluded.fee_type, expiry = excluded.expiry,"
               " balance = excluded.balance",
               p, "member")
        .ok();
}

bool CPgServerDb::Statistics(std::int64_t userId, CStatisticsData* stats) {
    Lease lease(*this);
    stats->Clear();
    Params p;
    p.Int(userId);
    Result r =
        Run("SELECT (SELECT count(*) FROM contacts WHERE user_id = $1::bigint), contacts_time,"
            " (SELECT count(*) FROM sms WHERE user_id = $1::bigint), sms_time,"
            " (SELECT count(*) FROM accounts WHERE user_id = $1::bigint), accounts_time"
            " FROM users WHERE id = $1::bigint",
            p, "statistics");
    if (!r.ok() || r.rows() == 0) return false;
    CStatItem* items[] = {&stats->Contacts, &stats->Sms, &stats->Accounts};
    for (int i = 0; i < 3; ++i) {
        items[i]->Count = static_cast<std::uint32_t>(r.Int(0, i * 2));
        SetField(items[i]->LastTime, r.Text(0, i * 2 + 1));
    }
    return true;
}

void CPgServerDb::TouchKind(std::int64_t userId, DataKind kind, std::string_view timeText) {
    Lease lease(*this);
    const char* sql = kind == DataKind::Contacts
                          ? "UPDATE users SET contacts_time = $1::text WHERE id = $2::bigint"
                      : kind == DataKind::Sms
                          ? "UPDATE users SET sms_time = $1::text WHERE id = $2::bigint"
                          : "UPDATE users SET accounts_time = $1::text WHERE id = $2::bigint";
    Params p;
    p.Text(timeText).Int(userId);
    Run(sql, p, "touch");
}

}  // namespace kavo
