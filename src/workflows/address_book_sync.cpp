#include "workflows/address_book_sync.h"

#include <chrono>
#include <deque>
#include <thread>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"
#include "net/result_codes.h"
#include "net/wire.h"
#include "store/app_state.h"
#include "store/batch_scope.h"
#include "store/data_access.h"

namespace kavo {
namespace {

// The progress window keeps its last count visible for a moment before it closes.
void SettleBeforeOutcome() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

bool FitsOneBatch(const CRelData& rel) {
    return wire::kUploadBatchHeader + wire::PackedContactSize(rel) < wire::kUploadBatchLimit;
}

}  // namespace

bool CAddressBookStore::Run(const std::atomic<bool>& cancelled, const SyncProgress& progress) {
    failure_.clear();
    std::vector<CRelData> loaded;
    CDataAccess().LoadContacts(loaded);
    std::deque<CRelData> upload(loaded.begin(), loaded.end());
    const int total = static_cast<int>(upload.size());
    bool ok = true;
    while (!upload.empty()) {
        if (cancelled) {
            ok = false;
            break;
        }
        if (!client_.UploadContacts(upload, 1)) {
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
    std::vector<CRelData>& contacts = AppState().ContactList;
    contacts.clear();
    std::uint32_t count = 0;
    if (!client_.ContactCount(count)) {
        failure_ = ResultMessage(client_.LastError());
        return false;
    }
    std::int64_t remaining = count;
    bool ok = true;
    std::vector<CRelData> batch;
    while (remaining > 0) {
        batch.clear();
        if (!client_.DownloadContacts(static_cast<int>(remaining), batch) || batch.empty()) {
            failure_ = ResultMessage(client_.LastError());
            ok = false;
            break;
        }
        contacts.insert(contacts.end(), batch.begin(), batch.end());
        remaining -= static_cast<std::int64_t>(batch.size());
        if (progress) progress(static_cast<int>(contacts.size()));
    }
    SettleBeforeOutcome();
    return ok;
}

int MergeContacts(const std::vector<CRelData>& contacts) {
    CAppState& state = AppState();
    CDataAccess store;
    CBatchScope batch;
    int stored = 0;
    for (const CRelData& rel : contacts) {
        std::string_view group = FieldText(rel.GroupName);
        if (CDataAccess::FindGroup(state.GroupNames, group) < 0) {
            if (!store.AddGroup(group)) continue;
            state.GroupNames.emplace_back(group);
        }
        if (store.SaveContact(rel)) ++stored;
    }
    return stored;
}

}  // namespace kavo
