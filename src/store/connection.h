// Internals of the shared connection, for the store's own files only.
#pragma once

#include <sqlite3.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kavo::store_detail {

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// One open database. Prepared statements are kept for reuse: a record takes one out of
// `idle` for as long as it holds a result and gives it back reset. Every member is guarded
// by StoreMutex().
struct Connection {
    sqlite3* db = nullptr;
    std::unordered_multimap<std::string, sqlite3_stmt*, StringHash, std::equal_to<>> idle;
    int batchDepth = 0;

    ~Connection();
    sqlite3_stmt* Acquire(std::string_view sql);
    void GiveBack(std::string sql, sqlite3_stmt* stmt);
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
