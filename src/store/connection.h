// Internals of the shared connection, for the store's own files only.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kavo::store_detail {

// Statement texts run to a kilobyte and more: their hash reads the ends and the length
// only, and the lookup compares the texts whole.
struct StatementTextHash {
    std::size_t operator()(std::string_view text) const {
        constexpr std::size_t kEnd = 48;
        if (text.size() <= 2 * kEnd) return std::hash<std::string_view>{}(text);
        std::hash<std::string_view> hash;
        return hash(text.substr(0, kEnd)) ^ (hash(text.substr(text.size() - kEnd)) * 31) ^
               text.size();
    }
};

// One open database. Prepared statements are kept for reuse: a record takes one out of
// `idle` for as long as it holds a result and gives it back reset. An idle statement is
// filed under its own text (sqlite3_sql), which lives as long as the statement, so taking
// one out and putting it back copies no SQL. Every member is guarded by StoreMutex().
struct Connection {
    sqlite3* db = nullptr;
    std::unordered_multimap<std::string_view, sqlite3_stmt*, StatementTextHash> idle;
    int batchDepth = 0;
    // Whether the contacts table's identity (user, name, first mobile) is a unique key,
    // as it is in every file whose rows allowed the key to be made.
    bool contactKeyIsUnique = false;

    ~Connection();
    sqlite3_stmt* Acquire(std::string_view sql);
    void GiveBack(sqlite3_stmt* stmt);
};

// The shared connection, opened on demand from the data source; null when it cannot be
// opened. The caller holds StoreMutex().
std::shared_ptr<Connection> Connect();

// Runs one statement without a result, for the transaction commands. Caller holds the lock.
bool Exec(Connection& conn, const char* sql);
// Puts back the result code that StoreLastError() reports, after cleaning-up statements
// overwrote the one that mattered.
void SetLastError(int rc);

}  // namespace kavo::store_detail
