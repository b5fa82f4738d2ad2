// A batch of store operations that commits once: the merge of restored or imported
// contacts runs thousands of saves inside one, instead of one commit per save.
#pragma once

namespace kavo {

// Opens a transaction on the shared connection for its lifetime and commits it when it
// ends; scopes nest (an inner scope commits into the outer one). A crash before the commit
// leaves the file as it was at the last commit.
//
// The scope holds the store lock from construction to destruction, so statements of other
// threads wait until the batch has committed instead of landing inside it. Use a batch on
// one thread, keep it short, and never wait for another thread that may use the store while
// one is open.
class CBatchScope {
public:
    CBatchScope();
    ~CBatchScope();
    CBatchScope(const CBatchScope&) = delete;
    CBatchScope& operator=(const CBatchScope&) = delete;

    // Commits what the batch did so far and goes on in a new transaction (outermost scope
    // only; inside another scope it does nothing). True when committed.
    bool Commit();
    // Commits what the batch did and ends it here rather than in the destructor, so that the
    // caller learns whether it landed (StoreLastError() says why not). Outermost scope only;
    // false also when the batch was not open.
    bool Finish();
    // True when the transaction is open (false when the database could not be opened; the
    // operations then fail one by one as they would without a batch).
    bool IsActive() const { return active_; }

private:
    bool active_ = false;
    int depth_ = 0;
};

// Runs a group of statements all-or-nothing: Done() keeps them, otherwise the destructor
// takes them back. Used where two tables must change together.
class CAtomicScope {
public:
    CAtomicScope();
    ~CAtomicScope();
    CAtomicScope(const CAtomicScope&) = delete;
    CAtomicScope& operator=(const CAtomicScope&) = delete;
    void Done() { done_ = true; }

private:
    bool active_ = false;
    bool done_ = false;
    int depth_ = 0;
};

}  // namespace kavo
