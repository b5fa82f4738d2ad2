#include "workflows/address_book_sync.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"
#include "net/result_codes.h"
#include "net/wire.h"
#include "store/app_state.h"
#include "store/batch_scope.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo {
namespace {

// The progress window keeps its last count visible for a moment before it closes.
void SettleBeforeOutcome() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

bool FitsOneBatch(const CRelData& rel) {
    return wire::kUploadBatchHeader + wire::PackedContactSize(rel) < wire::kUploadBatchLimit;
}

std::string FormatCounts(const char* format, int first, int second) {
    char buf[512];
    std::snprintf(buf, sizeof buf, format, first, second);
    return buf;
}

std::mutex g_lastMergeMutex;
CMergeOutcome g_lastMerge;

// The address book of the current user as it may go to the server, or why it may not.
bool LoadForUpload(std::vector<CRelData>& contacts, std::string& refusal) {
    std::string detail;
    if (LocalStoreDamaged() || !CheckDatabase(&detail)) {
        if (!LocalStoreDamaged()) SetLocalStoreDamage(true, detail);
        refusal = msg::kStoreRefusedDamaged;
        return false;
    }
    StoreFault fault = StoreFault::kNone;
    if (!LoadAllContactsChecked(contacts, fault)) {
        refusal = msg::FillIn(msg::kStoreRefusedUnreadable, StoreFaultText(fault));
        return false;
    }
    return true;
}

}  // namespace

bool CAddressBookStore::Run(const std::atomic<bool>& cancelled, const SyncProgress& progress) {
    failure_.clear();
    std::string refusal;
    std::vector<CRelData> loaded;
    if (!LoadForUpload(loaded, refusal)) {
        failure_ = refusal;
        SettleBeforeOutcome();
        return false;
    }
    std::deque<CRelData> upload(loaded.begin(), loaded.end());
    const int total = static_cast<int>(upload.size());
    bool ok = true;
    while (!upload.empty()) {
        if (cancelled) {
            ok = false;
            break;
        }
        // The server replaces its address book when the last batch arrives: once a batch is
        // on its way, its answer is what the user is told, so a cancel waits for it.
        client_.HoldAborts(true);
        const bool sent = client_.UploadContacts(upload, 1);
        client_.HoldAborts(false);
        if (!sent) {
            // A contact too large for any packet would stop the upload for good: say which.
            if (!upload.empty() && !FitsOneBatch(upload.front()))
                failure_ = "联系人\"" + FieldUtf8(upload.front().RelName) +
                           "\"的资料太长，无法上传，请删减后再试!";
            else
                failure_ = ResultMessage(client_.LastError());
            ok = false;
            break;
        }
        if (progress) progress(total - static_cast<int>(upload.size()));
    }
    SettleBeforeOutcome();
    return ok;
}

bool CAddressBookRestore::Run(const SyncProgress& progress) {
    failure_.clear();
    // The download goes into the address book batch by batch as it arrives; the list the
    // windows show is read from there afterwards.
    AppState().ContactList.clear();
    CContactMerger merger;
    std::uint32_t count = 0;
    if (!client_.ContactCount(count)) {
        failure_ = ResultMessage(client_.LastError());
        merge_ = merger.Finish();
        return false;
    }
    std::int64_t remaining = count;
    int received = 0;
    bool ok = true;
    // A packet brings a few dozen contacts: they are gathered into batches of the merge's
    // size, so that each commit carries a full batch.
    std::vector<CRelData> pending;
    pending.reserve(kMergeBatch);
    std::vector<CRelData> batch;
    while (remaining > 0) {
        batch.clear();
        if (!client_.DownloadContacts(static_cast<int>(remaining), batch) || batch.empty()) {
            failure_ = ResultMessage(client_.LastError());
            ok = false;
            break;
        }
        pending.insert(pending.end(), batch.begin(), batch.end());
        if (pending.size() >= kMergeBatch) {
            merger.Add(pending);
            pending.clear();
        }
        received += static_cast<int>(batch.size());
        remaining -= static_cast<std::int64_t>(batch.size());
        if (progress) progress(received);
    }
    merger.Add(pending);
    merge_ = merger.Finish();
    SettleBeforeOutcome();
    return ok;
}

void CContactMerger::NoteFault(StoreFault fault) {
    if (out_.fault == StoreFault::kNone || IsFatalStoreFault(fault)) out_.fault = fault;
}

bool CContactMerger::Add(std::span<const CRelData> contacts) {
    out_.total += static_cast<int>(contacts.size());
    for (std::size_t at = 0; !ended_ && at < contacts.size(); at += kMergeBatch)
        AddBatch(contacts.subspan(at, std::min(kMergeBatch, contacts.size() - at)));
    return !ended_;
}

// One transaction: the records it saved are stored only if its commit lands.
void CContactMerger::AddBatch(std::span<const CRelData> batch) {
    CAppState& state = AppState();
    CDataAccess store;
    CBatchScope scope;
    if (!scope.IsActive()) {
        NoteFault(LastStoreFault());
        ended_ = true;
        return;
    }
    int pending = 0;
    for (const CRelData& rel : batch) {
        std::string_view group = FieldText(rel.GroupName);
        if (CDataAccess::FindGroup(state.GroupNames, group) < 0) {
            if (!store.AddGroup(group)) {
                NoteFault(LastStoreFault());
                if (IsFatalStoreFault(out_.fault)) break;
                continue;
            }
            state.GroupNames.emplace_back(group);
            groupsAdded_ = true;
        }
        if (!store.SaveContact(rel)) {
            NoteFault(LastStoreFault());
            if (IsFatalStoreFault(out_.fault)) break;
            continue;
        }
        ++pending;
    }
    if (scope.Finish()) {
        out_.stored += pending;
    } else {
        NoteFault(LastStoreFault());
        ended_ = true;
    }
    if (IsFatalStoreFault(out_.fault)) ended_ = true;
}

CMergeOutcome CContactMerger::Finish() {
    if (!out_.Complete() && out_.fault == StoreFault::kNone) out_.fault = StoreFault::kOther;
    // Groups added in a batch that was lost are not in the store: read back what is.
    if (!out_.Complete() && groupsAdded_) CDataAccess().LoadGroups(AppState().GroupNames);
    std::lock_guard lock(g_lastMergeMutex);
    g_lastMerge = out_;
    return out_;
}

CMergeOutcome CContactMerger::FinishQuietly() {
    if (out_.total > 0) return Finish();
    return out_;
}

CMergeOutcome MergeContactsChecked(const std::vector<CRelData>& contacts) {
    CContactMerger merger;
    merger.Add(contacts);
    // A restore merges its download as it arrives and leaves the list empty for the merge
    // that follows it, whose nothing must not hide how the restore's merge went.
    return merger.FinishQuietly();
}

int MergeContacts(const std::vector<CRelData>& contacts) {
    return MergeContactsChecked(contacts).stored;
}

CMergeOutcome LastMergeOutcome() {
    std::lock_guard lock(g_lastMergeMutex);
    return g_lastMerge;
}

const char* StoreFaultText(StoreFault fault) {
    switch (fault) {
        case StoreFault::kDiskFull:
            return msg::kFaultDiskFull;
        case StoreFault::kReadOnly:
            return msg::kFaultReadOnly;
        case StoreFault::kBusy:
            return msg::kFaultBusy;
        case StoreFault::kDamaged:
            return msg::kFaultDamaged;
        case StoreFault::kIoError:
            return msg::kFaultIoError;
        case StoreFault::kNone:
        case StoreFault::kOther:
            break;
    }
    return msg::kFaultOther;
}

std::string MergeShortfallMessage(const CMergeOutcome& outcome) {
    if (outcome.Complete()) return {};
    char buf[512];
    std::snprintf(buf, sizeof buf, msg::kStoredPartly, outcome.stored, outcome.total,
                  StoreFaultText(outcome.fault));
    return buf;
}

bool StoreWouldShrink(int local, int server) {
    return static_cast<std::int64_t>(local) * 2 < server && server - local >= 20;
}

CStorePlan PrepareStore(CKavoTcpClient& client) {
    CStorePlan plan;
    std::vector<CRelData> contacts;
    if (!LoadForUpload(contacts, plan.message)) {
        plan.readiness =
            LocalStoreDamaged() ? StoreReadiness::kDamaged : StoreReadiness::kUnreadable;
        return plan;
    }
    plan.local = static_cast<int>(contacts.size());
    std::uint32_t count = 0;
    if (!client.ContactCount(count)) {
        plan.readiness = StoreReadiness::kServerFailed;
        plan.message = ResultMessage(client.LastError());
        return plan;
    }
    plan.server = static_cast<int>(std::min<std::uint32_t>(count, INT32_MAX));
    // An empty address book goes up without a request and so replaces nothing.
    if (plan.local > 0 && StoreWouldShrink(plan.local, plan.server)) {
        plan.readiness = StoreReadiness::kShrinks;
        plan.message = FormatCounts(msg::kAskReplaceServerBook, plan.local, plan.server);
    }
    return plan;
}

}  // namespace kavo
