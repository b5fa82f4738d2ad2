#include "store/ado_record.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "codecs/gbk_text.h"
#include "store/connection.h"
#include "store/private_file.h"
#include "store/store_health.h"

namespace kavo {
namespace store_detail {
namespace {

std::string g_dataSource;
std::shared_ptr<Connection> g_conn;
thread_local int t_lastError = 0;
// Long enough for another copy's save or batch commit to finish, short enough that a
// program holding the file for good is reported while the user still waits for an answer.
std::atomic<int> g_busyTimeoutMs{5000};

// Statements kept for reuse beyond this are finalized instead: the store runs a few dozen
// distinct statements, so the pool only grows past it with ad-hoc statement texts.
constexpr std::size_t kMaxIdleStatements = 96;

// Commits since the last checkpoint are what a power cut may take back (NORMAL syncs at
// checkpoints only): they are kept to about 4 MiB of pages.
constexpr int kCheckpointBytes = 4 << 20;

bool ExecIgnoringResult(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string TextColumns(std::string_view first, std::span<const FieldSpec> fields) {
    std::string cols(first);
    cols += " TEXT COLLATE NOCASE";
    for (const FieldSpec& f : fields) {
        cols += ", ";
        cols += f.name;
        cols += " TEXT COLLATE NOCASE";
    }
    return cols;
}

// Tables that a new or older file lacks are created; tables that exist are left alone, so
// an older users table keeps waiting for the LoginState migration of start-up. Text
// compares without letter case, as the program has always compared names.
bool CreateSchema(sqlite3* db) {
    const std::string statements[] = {
        "CREATE TABLE IF NOT EXISTS KAVO_USER(UserName TEXT COLLATE NOCASE, "
        "UserPwd TEXT COLLATE NOCASE, UserEmail TEXT COLLATE NOCASE, LastTime DATETIME, "
        "LoginState int)",
        "CREATE TABLE IF NOT EXISTS KAVO_RELATION(" + TextColumns("UserName", kRelFields) + ")",
        "CREATE TABLE IF NOT EXISTS KAVO_RELATION_GROUP(ID INTEGER PRIMARY KEY AUTOINCREMENT, "
        "UserName TEXT COLLATE NOCASE, GroupName TEXT COLLATE NOCASE)",
        "CREATE INDEX IF NOT EXISTS KAVO_RELATION_GROUP_USER ON KAVO_RELATION_GROUP(UserName, "
        "ID)",
    };
    for (const std::string& sql : statements)
        if (!ExecIgnoringResult(db, sql)) return false;
    // The keys are enforced where the file allows it; an older file holding duplicates
    // still gets an index for the lookups.
    if (!ExecIgnoringResult(
            db, "CREATE UNIQUE INDEX IF NOT EXISTS KAVO_USER_KEY ON KAVO_USER(UserName)"))
        ExecIgnoringResult(db, "CREATE INDEX IF NOT EXISTS KAVO_USER_NAME ON KAVO_USER(UserName)");
    if (!ExecIgnoringResult(db,
                            "CREATE UNIQUE INDEX IF NOT EXISTS KAVO_RELATION_KEY ON "
                            "KAVO_RELATION(UserName, RelName, MobilePhone1)"))
        ExecIgnoringResult(db,
                           "CREATE INDEX IF NOT EXISTS KAVO_RELATION_LOOKUP ON "
                           "KAVO_RELATION(UserName, RelName, MobilePhone1)");
    return true;
}

// A checkpoint every `bytes` of changed pages, whatever size the file's pages have.
void CheckpointEvery(sqlite3* db, int bytes) {
    sqlite3_stmt* stmt = nullptr;
    int pageBytes = 0;
    if (sqlite3_prepare_v2(db, "PRAGMA page_size", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        pageBytes = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    if (pageBytes > 0) sqlite3_wal_autocheckpoint(db, std::max(1, bytes / pageBytes));
}

// Whether the identity index is the unique one, rather than the plain lookup index that a
// file holding duplicate identities gets.
bool HasUniqueContactKey(sqlite3* db) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "select 1 from pragma_index_list('KAVO_RELATION') "
                           "where name='KAVO_RELATION_KEY' and \"unique\"",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const bool unique = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return unique;
}

}  // namespace

Connection::~Connection() {
    for (auto& [sql, stmt] : idle) sqlite3_finalize(stmt);
    // Statements of records that still hold a result keep the database alive until they go.
    sqlite3_close_v2(db);
}

sqlite3_stmt* Connection::Acquire(std::string_view sql) {
    // Separators at the end are not part of the statement's own text, under which it is
    // filed when it comes back.
    while (!sql.empty() && std::string_view(" \t\r\n;").find(sql.back()) != std::string_view::npos)
        sql.remove_suffix(1);
    auto it = idle.find(sql);
    if (it != idle.end()) {
        sqlite3_stmt* stmt = it->second;
        idle.erase(it);
        return stmt;
    }
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK || !stmt) {
        t_lastError = rc != SQLITE_OK ? rc : SQLITE_MISUSE;
        sqlite3_finalize(stmt);
        return nullptr;
    }
    // One statement per call: nothing may ride along behind it.
    if (tail && tail < sql.data() + sql.size()) {
        sqlite3_finalize(stmt);
        t_lastError = SQLITE_MISUSE;
        return nullptr;
    }
    return stmt;
}

void Connection::GiveBack(sqlite3_stmt* stmt) {
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    const char* text = sqlite3_sql(stmt);
    if (!text) {
        sqlite3_finalize(stmt);
        return;
    }
    if (idle.size() >= kMaxIdleStatements) {
        // Some idle statement makes room, so that the statements in use now stay cached.
        sqlite3_finalize(idle.begin()->second);
        idle.erase(idle.begin());
    }
    idle.emplace(std::string_view(text), stmt);
}

std::shared_ptr<Connection> Connect() {
    if (!g_conn) OpenConnection(g_dataSource);
    return g_conn;
}

bool Exec(Connection& conn, const char* sql) {
    int rc = sqlite3_exec(conn.db, sql, nullptr, nullptr, nullptr);
    t_lastError = rc;
    return rc == SQLITE_OK;
}

void SetLastError(int rc) { t_lastError = rc; }

}  // namespace store_detail

using store_detail::g_conn;
using store_detail::g_dataSource;
using store_detail::t_lastError;

std::recursive_mutex& StoreMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

int StoreLastError() { return t_lastError; }

void SetStoreBusyTimeout(int milliseconds) {
    std::lock_guard lock(StoreMutex());
    store_detail::g_busyTimeoutMs = milliseconds;
    if (g_conn) sqlite3_busy_timeout(g_conn->db, milliseconds);
}

int StoreBusyTimeout() { return store_detail::g_busyTimeoutMs.load(); }

void SetConnectionInfo(std::string_view /*user*/, std::string_view /*password*/,
                       std::string_view dataSource) {
    std::lock_guard lock(StoreMutex());
    if (dataSource != g_dataSource) g_conn.reset();
    g_dataSource.assign(dataSource);
}

std::string GetDataSource() {
    std::lock_guard lock(StoreMutex());
    return g_dataSource;
}

bool OpenConnection(std::string_view dataSource) {
    std::lock_guard lock(StoreMutex());
    g_conn.reset();
    if (dataSource.empty()) {
        t_lastError = SQLITE_CANTOPEN;
        return false;
    }
    auto conn = std::make_shared<store_detail::Connection>();
    std::string path(dataSource);
    // It holds passwords and messages: made private before SQLite creates it with its own
    // mode, and closed to other users when an older copy left it open to them.
    if (MakePrivateFile(path) == PrivateFile::kTightened) NoteTightenedDatabase(path);
    int rc =
        sqlite3_open_v2(path.c_str(), &conn->db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        t_lastError = rc;
        return false;  // the destructor closes the half-open handle
    }
    // The store lock serialises every use of the connection, so SQLite's own is left out.
    sqlite3_busy_timeout(conn->db, store_detail::g_busyTimeoutMs.load());
    sqlite3_extended_result_codes(conn->db, 0);
    // A new file gets 16 KiB pages: a contact row takes some 400 bytes, and a merge of
    // thousands writes every page twice (to the log, then to the file), a system call and
    // a log frame per page. A file that has pages keeps their size.
    // WAL keeps the file consistent when the program dies in the middle of a write, and a
    // commit that returned survives the program's death. NORMAL syncs at checkpoints only:
    // a power cut may take back the last commits, never leave a half-written file, and a
    // single save does not wait for the disk.
    if (!store_detail::Exec(*conn, "PRAGMA page_size=16384") ||
        !store_detail::Exec(*conn, "PRAGMA journal_mode=WAL") ||
        !store_detail::Exec(*conn, "PRAGMA synchronous=NORMAL") ||
        // Map the file rather than copy its pages in one read at a time. The page cache
        // stays small: a whole address book is read in file order, and a large import
        // should not keep tens of megabytes of pages it has written.
        !store_detail::Exec(*conn, "PRAGMA mmap_size=268435456") ||
        !store_detail::Exec(*conn, "PRAGMA cache_size=-8192") ||
        !store_detail::CreateSchema(conn->db)) {
        t_lastError = sqlite3_errcode(conn->db);
        return false;
    }
    conn->contactKeyIsUnique = store_detail::HasUniqueContactKey(conn->db);
    store_detail::CheckpointEvery(conn->db, store_detail::kCheckpointBytes);
    g_conn = std::move(conn);
    t_lastError = 0;
    return true;
}

void CloseConnection() {
    std::lock_guard lock(StoreMutex());
    g_conn.reset();
}

bool IsConnectionOpen() {
    std::lock_guard lock(StoreMutex());
    return g_conn != nullptr;
}

CSqlValue CSqlValue::Utf8(std::string_view utf8) {
    CSqlValue v;
    v.view_ = utf8;
    return v;
}

CSqlValue CSqlValue::Gbk(std::string_view gbk) {
    CSqlValue v;
    if (IsAscii(gbk)) {
        v.view_ = gbk;
    } else {
        v.text_ = GbkToUtf8(gbk);
        v.owned_ = true;
    }
    return v;
}

CAdoRecord::~CAdoRecord() { Release(); }

void CAdoRecord::Release() {
    std::shared_ptr<store_detail::Connection> conn;
    {
        std::lock_guard lock(StoreMutex());
        if (stmt_ && conn_) conn_->GiveBack(stmt_);
        stmt_ = nullptr;
        conn = std::move(conn_);
    }
    // The last owner of a closed connection closes it here, outside the lock.
    conn.reset();
    hasResult_ = false;
    eof_ = true;
    pos_ = 0;
    changes_ = 0;
    names_.clear();
    mappedFields_ = nullptr;
    fieldColumns_.clear();
}

bool CAdoRecord::Execute(std::string_view sql, long /*options*/) {
    return Execute(sql, std::span<const CSqlValue>());
}

bool CAdoRecord::Execute(std::string_view sql, std::span<const CSqlValue> params) {
    return Run(sql, params.size(), [params](sqlite3_stmt* stmt, std::size_t i, auto lifetime) {
        const CSqlValue& p = params[i];
        const int at = static_cast<int>(i) + 1;
        if (!p.IsText()) return sqlite3_bind_int64(stmt, at, p.Int());
        std::string_view t = p.Text();
        // A NULL pointer would bind SQL NULL; an empty text must stay an empty text.
        return sqlite3_bind_text(stmt, at, t.data() ? t.data() : "", static_cast<int>(t.size()),
                                 lifetime);
    });
}

bool CAdoRecord::Execute(std::string_view sql, std::span<const std::string_view> texts) {
    return Run(sql, texts.size(), [texts](sqlite3_stmt* stmt, std::size_t i, auto lifetime) {
        std::string_view t = texts[i];
        return sqlite3_bind_text(stmt, static_cast<int>(i) + 1, t.data() ? t.data() : "",
                                 static_cast<int>(t.size()), lifetime);
    });
}

template <typename Bind>
bool CAdoRecord::Run(std::string_view sql, std::size_t count, const Bind& bind) {
    Release();
    std::lock_guard lock(StoreMutex());
    conn_ = store_detail::Connect();
    if (!conn_) return false;
    stmt_ = conn_->Acquire(sql);
    if (!stmt_) {
        conn_.reset();
        return false;
    }
    const bool returnsRows = sqlite3_column_count(stmt_) > 0;
    if (sqlite3_bind_parameter_count(stmt_) != static_cast<int>(count)) {
        t_lastError = SQLITE_RANGE;
        Release();
        return false;
    }
    // A statement without rows is done when Execute returns, so its texts may stay where
    // they are; a result set may read its parameters again on every MoveNext.
    auto lifetime = returnsRows ? SQLITE_TRANSIENT : SQLITE_STATIC;
    for (std::size_t i = 0; i < count; ++i) {
        const int rc = bind(stmt_, i, lifetime);
        if (rc != SQLITE_OK) {
            t_lastError = rc;
            Release();
            return false;
        }
    }
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        hasResult_ = true;
        eof_ = false;
        pos_ = 0;
        t_lastError = 0;
        return true;
    }
    if (rc != SQLITE_DONE) {
        t_lastError = sqlite3_reset(stmt_);
        if (t_lastError == SQLITE_OK) t_lastError = rc;
        Release();
        return false;
    }
    changes_ = returnsRows ? 0 : sqlite3_changes(conn_->db);
    conn_->GiveBack(stmt_);
    stmt_ = nullptr;
    hasResult_ = true;
    eof_ = true;
    t_lastError = 0;
    return true;
}

bool CAdoRecord::MoveNext() {
    if (!stmt_ || eof_) return false;
    std::lock_guard lock(StoreMutex());
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
        ++pos_;
        return true;
    }
    eof_ = true;
    if (conn_) conn_->GiveBack(stmt_);
    stmt_ = nullptr;
    if (rc != SQLITE_DONE) {
        t_lastError = rc;
        return false;
    }
    return true;
}

long CAdoRecord::GetRecordCount() {
    if (!hasResult_ || eof_ || !stmt_) return 0;
    std::lock_guard lock(StoreMutex());
    // Count from the start, then walk back to the row that was current.
    sqlite3_reset(stmt_);
    long count = 0;
    while (sqlite3_step(stmt_) == SQLITE_ROW) ++count;
    sqlite3_reset(stmt_);
    for (long i = 0; i <= pos_; ++i) {
        if (sqlite3_step(stmt_) != SQLITE_ROW) {
            // The rows changed under us: the result ends here.
            eof_ = true;
            conn_->GiveBack(stmt_);
            stmt_ = nullptr;
            return 0;
        }
    }
    return count;
}

int CAdoRecord::ColumnCount() const {
    std::lock_guard lock(StoreMutex());
    return stmt_ ? sqlite3_column_count(stmt_) : 0;
}

int CAdoRecord::ColumnIndex(std::string_view name) const {
    std::lock_guard lock(StoreMutex());
    return ColumnIndexLocked(name);
}

int CAdoRecord::ColumnIndexLocked(std::string_view name) const {
    if (!stmt_) return -1;
    int n = sqlite3_column_count(stmt_);
    if (names_.empty()) {
        names_.reserve(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const char* c = sqlite3_column_name(stmt_, i);
            names_.emplace_back(c ? c : "");
        }
    }
    for (int i = 0; i < n; ++i)
        if (EqualsNoCase(names_[static_cast<std::size_t>(i)], name)) return i;
    return -1;
}

void CAdoRecord::ReadFields(std::span<const FieldSpec> fields, void* record) {
    std::lock_guard lock(StoreMutex());
    if (mappedFields_ != fields.data() || fieldColumns_.size() != fields.size()) {
        fieldColumns_.clear();
        for (const FieldSpec& f : fields) fieldColumns_.push_back(ColumnIndexLocked(f.name));
        mappedFields_ = fields.data();
    }
    for (std::size_t i = 0; i < fields.size(); ++i)
        ReadFieldLocked(fieldColumns_[i], FieldPtr(record, fields[i]), fields[i].width);
}

namespace {

bool IsDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return !s.empty();
}

// "YYYY-MM-DD HH:MM:SS" or "YYYY-MM-DD", the forms the store writes date-times in.
bool LooksLikeDateTime(std::string_view s) {
    if (s.size() != 10 && s.size() != 19) return false;
    if (!IsDigits(s.substr(0, 4)) || s[4] != '-' || !IsDigits(s.substr(5, 2)) || s[7] != '-' ||
        !IsDigits(s.substr(8, 2)))
        return false;
    if (s.size() == 10) return true;
    return s[10] == ' ' && IsDigits(s.substr(11, 2)) && s[13] == ':' && IsDigits(s.substr(14, 2)) &&
           s[16] == ':' && IsDigits(s.substr(17, 2));
}

bool IsDateTimeDecl(const char* decl) {
    if (!decl) return false;
    std::string_view d(decl);
    for (std::size_t i = 0; i + 4 <= d.size(); ++i) {
        if (EqualsNoCase(d.substr(i, 4), "date") || EqualsNoCase(d.substr(i, 4), "time"))
            return true;
    }
    return false;
}

}  // namespace

CVariant CAdoRecord::GetCollect(int index) const {
    std::lock_guard lock(StoreMutex());
    CVariant v;
    if (!stmt_ || eof_ || index < 0 || index >= sqlite3_column_count(stmt_)) return v;
    switch (sqlite3_column_type(stmt_, index)) {
        case SQLITE_NULL:
            v.type = VarType::Null;
            break;
        case SQLITE_INTEGER:
            v.intVal = sqlite3_column_int64(stmt_, index);
            v.type = v.intVal >= INT32_MIN && v.intVal <= INT32_MAX ? VarType::I4 : VarType::I8;
            break;
        case SQLITE_FLOAT:
            v.dblVal = sqlite3_column_double(stmt_, index);
            v.type = VarType::R8;
            break;
        case SQLITE_TEXT: {
            const unsigned char* p = sqlite3_column_text(stmt_, index);
            int n = sqlite3_column_bytes(stmt_, index);
            v.textVal = std::string_view(reinterpret_cast<const char*>(p), p ? n : 0);
            v.type = IsDateTimeDecl(sqlite3_column_decltype(stmt_, index)) &&
                             LooksLikeDateTime(v.textVal)
                         ? VarType::Date
                         : VarType::Text;
            break;
        }
        default:
            v.type = VarType::Blob;
            break;
    }
    return v;
}

void CAdoRecord::ReadField(int index, char* field, std::size_t width) const {
    std::lock_guard lock(StoreMutex());
    ReadFieldLocked(index, field, width);
}

void CAdoRecord::ReadFieldLocked(int index, char* field, std::size_t width) const {
    if (!stmt_ || eof_ || index < 0 || index >= sqlite3_column_count(stmt_)) {
        std::memset(field, 0, width);
        return;
    }
    int type = sqlite3_column_type(stmt_, index);
    if (type != SQLITE_TEXT) {
        SetField(field, width, Utf8ToGbk(VariantToText(GetCollect(index))));
        return;
    }
    const unsigned char* p = sqlite3_column_text(stmt_, index);
    std::string_view text(reinterpret_cast<const char*>(p),
                          p ? sqlite3_column_bytes(stmt_, index) : 0);
    if (text.empty()) {
        std::memset(field, 0, width);
    } else if (IsAscii(text)) {
        SetField(field, width, text);
    } else {
        // Every row of a large address book passes here: one buffer per thread, no
        // allocation per field.
        thread_local std::string gbk;
        Utf8ToGbk(text, gbk);
        SetField(field, width, gbk);
    }
}

std::string CAdoRecord::VariantToText(const CVariant& value) {
    char buf[64];
    switch (value.type) {
        case VarType::I2:
            std::snprintf(buf, sizeof buf, "%hd", static_cast<short>(value.intVal));
            return buf;
        case VarType::I4:
            std::snprintf(buf, sizeof buf, "%d", static_cast<int>(value.intVal));
            return buf;
        case VarType::I8:
            // Wider than any column the program writes; shown in full rather than lost.
            std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(value.intVal));
            return buf;
        case VarType::R4:
        case VarType::R8:
            std::snprintf(buf, sizeof buf, "%.3f", value.dblVal);
            return buf;
        case VarType::Currency:
            std::snprintf(buf, sizeof buf, "%.2f", value.dblVal);
            return buf;
        case VarType::Date: {
            // Two-digit year: "2026-12-07 02:57:21" reads as "26-12-07 02:57:21".
            std::string text(value.textVal.size() >= 4 ? value.textVal.substr(2) : value.textVal);
            if (text.size() == 8) text += " 00:00:00";
            return text;
        }
        case VarType::Text:
            return std::string(value.textVal);
        case VarType::Bool:
            return value.intVal ? "TRUE" : "FALSE";
        case VarType::I1:
            return "VT_I1";
        case VarType::UI1:
            std::snprintf(buf, sizeof buf, "0x%02hX",
                          static_cast<unsigned short>(value.intVal & 0xFF));
            return buf;
        default:
            return {};
    }
}

}  // namespace kavo
