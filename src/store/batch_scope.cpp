#include "store/batch_scope.h"

#include <string>

#include "store/ado_record.h"
#include "store/connection.h"

namespace kavo {
namespace {

std::string Savepoint(const char* verb, int depth) {
    return std::string(verb) + " kavo_sp" + std::to_string(depth);
}

// Opens one level of transaction; returns its depth (1 = outermost), 0 on failure.
int Begin() {
    auto conn = store_detail::Connect();
    if (!conn) return 0;
    int depth = conn->batchDepth + 1;
    // The outermost level takes the write lock at once, so that another process writing
    // at the same time makes us wait at the start rather than fail at the commit.
    bool ok = depth == 1 ? store_detail::Exec(*conn, "BEGIN IMMEDIATE")
                         : store_detail::Exec(*conn, Savepoint("SAVEPOINT", depth).c_str());
    if (!ok) return 0;
    conn->batchDepth = depth;
    return depth;
}

bool End(int depth, bool keep) {
    auto conn = store_detail::Connect();
    if (!conn || conn->batchDepth != depth) return false;  // closed meanwhile
    conn->batchDepth = depth - 1;
    if (depth == 1) {
        if (keep && store_detail::Exec(*conn, "COMMIT")) return true;
        // The reason the commit failed is what the caller needs, not the rollback's.
        const int why = StoreLastError();
        store_detail::Exec(*conn, "ROLLBACK");
        store_detail::SetLastError(keep ? why : StoreLastError());
        return false;
    }
    if (!keep) store_detail::Exec(*conn, Savepoint("ROLLBACK TO", depth).c_str());
    return store_detail::Exec(*conn, Savepoint("RELEASE", depth).c_str()) && keep;
}

}  // namespace

CBatchScope::CBatchScope() {
    StoreMutex().lock();
    depth_ = Begin();
    active_ = depth_ > 0;
}

CBatchScope::~CBatchScope() {
    if (active_) End(depth_, true);
    StoreMutex().unlock();
}

bool CBatchScope::Commit() {
    if (!active_ || depth_ != 1) return false;
    bool ok = End(depth_, true);
    const int why = StoreLastError();
    depth_ = Begin();
    active_ = depth_ > 0;
    if (!ok) store_detail::SetLastError(why);
    return ok;
}

bool CBatchScope::Finish() {
    if (!active_ || depth_ != 1) return false;
    active_ = false;
    return End(depth_, true);
}

CAtomicScope::CAtomicScope() {
    StoreMutex().lock();
    depth_ = Begin();
    active_ = depth_ > 0;
}

CAtomicScope::~CAtomicScope() {
    if (active_) End(depth_, done_);
    StoreMutex().unlock();
}

}  // namespace kavo
