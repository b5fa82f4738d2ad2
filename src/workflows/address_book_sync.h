// Storing the address book on the server and restoring it from there, and the merge of
// restored or imported contacts into the local store.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "net/kavo_tcp_client.h"
#include "store/records.h"

namespace kavo {

// Progress of a store or restore: the contacts uploaded or received so far.
using SyncProgress = std::function<void(int)>;

// The worker of "储存通讯录": every contact of the current user goes up in batches, the
// count reported after each. False when cancelled or a batch failed; FailureMessage() then
// says why (empty for a cancel).
class CAddressBookStore {
public:
    explicit CAddressBookStore(CKavoTcpClient& client) : client_(client) {}
    bool Run(const std::atomic<bool>& cancelled, const SyncProgress& progress);
    const std::string& FailureMessage() const { return failure_; }

private:
    CKavoTcpClient& client_;
    std::string failure_;
};

// The worker of "还原通讯录": the contacts stored on the server are collected into the
// process-wide ContactList, batch by batch; what arrived stays there also when a batch
// fails, for the merge that follows either way.
class CAddressBookRestore {
public:
    explicit CAddressBookRestore(CKavoTcpClient& client) : client_(client) {}
    bool Run(const SyncProgress& progress);
    const std::string& FailureMessage() const { return failure_; }

private:
    CKavoTcpClient& client_;
    std::string failure_;
};

// Stores every record of `contacts` in the local store of the current user, in one batch:
// a group the record names that the user does not have yet is added first (a record whose
// group cannot be added is skipped). Returns the number of records stored.
int MergeContacts(const std::vector<CRelData>& contacts);

}  // namespace kavo
