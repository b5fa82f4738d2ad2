// Storing the address book on the server and restoring it from there, and the merge of
// restored or imported contacts into the local store.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "net/kavo_tcp_client.h"
#include "store/records.h"
#include "store/store_health.h"

namespace kavo {

// Progress of a store or restore: the contacts uploaded or received so far.
using SyncProgress = std::function<void(int)>;

// The worker of "储存通讯录": every contact of the current user goes up in batches, the
// count reported after each. False when cancelled or a batch failed; FailureMessage() then
// says why (empty for a cancel). Nothing goes up from a database that failed its check or
// from an address book that could not be read to the end. A batch once sent is waited for
// even when cancelled, since the last one completes the store on the server.
class CAddressBookStore {
public:
    explicit CAddressBookStore(CKavoTcpClient& client) : client_(client) {}
    bool Run(const std::atomic<bool>& cancelled, const SyncProgress& progress);
    const std::string& FailureMessage() const { return failure_; }

private:
    CKavoTcpClient& client_;
    std::string failure_;
};

// What a merge stored: `stored` of `total`, and why the rest was not (kNone when all was).
struct CMergeOutcome {
    int total = 0;
    int stored = 0;
    StoreFault fault = StoreFault::kNone;
    bool Complete() const { return stored == total; }
};

// The worker of "还原通讯录": the contacts stored on the server are merged into the local
// store batch by batch as they arrive (CContactMerger), so that a large address book is
// never held whole; what arrived stays merged also when a batch fails. ContactList is left
// empty, and the merge that follows a restore (the windows' reload) finds nothing more to
// store. MergeOutcome() (also LastMergeOutcome()) says how the merge went.
class CAddressBookRestore {
public:
    explicit CAddressBookRestore(CKavoTcpClient& client) : client_(client) {}
    bool Run(const SyncProgress& progress);
    const std::string& FailureMessage() const { return failure_; }
    const CMergeOutcome& MergeOutcome() const { return merge_; }

private:
    CKavoTcpClient& client_;
    std::string failure_;
    CMergeOutcome merge_;
};

// The merge of contacts that arrive in pieces (a file read a part at a time, a download
// batch by batch), so that no caller has to hold them all: each piece is stored in
// transactions of at most kMergeBatch contacts, under the rules of MergeContactsChecked
// below. Once a fault has ended the merge for good, later pieces count as not stored.
// A fault costs at most one batch, and a commit in write-ahead mode is cheap enough that
// a large merge does not notice the extra ones.
inline constexpr std::size_t kMergeBatch = 2000;

class CContactMerger {
public:
    // Stores a piece; false once the merge has ended (what is left of it is counted).
    bool Add(std::span<const CRelData> contacts);
    // Ends the merge: the outcome, also remembered for LastMergeOutcome().
    CMergeOutcome Finish();
    // The same, but a merge that was given nothing leaves the remembered outcome alone.
    CMergeOutcome FinishQuietly();
    const CMergeOutcome& Outcome() const { return out_; }

private:
    void AddBatch(std::span<const CRelData> batch);
    void NoteFault(StoreFault fault);

    CMergeOutcome out_;
    bool ended_ = false;
    bool groupsAdded_ = false;
};

// Stores every record of `contacts` in the local store of the current user, committing in
// batches: a group the record names that the user does not have yet is added first (a
// record whose group cannot be added is skipped). A batch whose commit fails counts as not
// stored; what earlier batches committed stays. A full disk, a read-only or busy or
// damaged file ends the merge at once.
CMergeOutcome MergeContactsChecked(const std::vector<CRelData>& contacts);
// The same, returning the number stored. Both remember their outcome for LastMergeOutcome(),
// unless they were given nothing.
int MergeContacts(const std::vector<CRelData>& contacts);
// The outcome of the last merge of this process, for the window that shows it after a
// handler ran the merge.
CMergeOutcome LastMergeOutcome();

// The reason of a fault in plain words, and the message of a merge that fell short
// ("只保存了N个联系人(共M个)，原因：…"); empty when the merge was complete. UTF-8.
const char* StoreFaultText(StoreFault fault);
std::string MergeShortfallMessage(const CMergeOutcome& outcome);

// The checks before a store, on the caller's thread after Reconnect: the local database
// must be sound and its address book readable to the end, and a store that would leave
// the server with far fewer contacts than it holds needs the user's word (an empty book is
// never sent, so it never asks).
enum class StoreReadiness {
    kReady,
    kDamaged,       // the database failed its check: never upload
    kUnreadable,    // the address book could not be read to the end: never upload
    kServerFailed,  // the server could not say how many contacts it holds
    kShrinks,       // ready, but the server's address book would shrink sharply
};
struct CStorePlan {
    StoreReadiness readiness = StoreReadiness::kReady;
    int local = 0;
    int server = 0;
    std::string message;  // UTF-8: the refusal, or the question for kShrinks
};
CStorePlan PrepareStore(CKavoTcpClient& client);
// The shrink rule: the local book holds fewer than half of the server's and at least 20
// fewer.
bool StoreWouldShrink(int local, int server);

}  // namespace kavo
