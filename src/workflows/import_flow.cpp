#include "workflows/import_flow.h"

#include <cstdio>

#include "import/address_book_import.h"
#include "import/csv_encoding.h"
#include "import/csv_import.h"
#include "import/outlook_import.h"
#include "store/app_state.h"
#include "store/program_dir.h"
#include "workflows/address_book_sync.h"

namespace kavo {
namespace {

// Ends the merge of what an import read: false, with the message that says how much was
// stored and why no more, when it stored less than it was given. An import that read more
// than it could store is no completed import.
bool FinishMerge(CContactMerger& merger, CImportOutcome& outcome) {
    const CMergeOutcome merge = merger.Finish();
    outcome.merged = merge.stored;
    if (merge.Complete()) return true;
    outcome.ok = false;
    outcome.message = MergeShortfallMessage(merge);
    return false;
}

// Merges what the reader hands on, a part at a time, and words the outcome. A reader hands
// contacts on only once its read can no longer fail, so a failed read merges nothing. A
// cancelled Outlook export choice fails the application object and is reported like any
// other failure.
template <typename Read>
CImportOutcome RunImport(ImportSource source, Read read) {
    CImportOutcome outcome;
    AppState().ContactList.clear();
    CContactMerger merger;
    auto take = [&](std::span<const CRelData> part) {
        outcome.read += static_cast<int>(part.size());
        merger.Add(part);
    };
    outcome.ok = read(take, &outcome.error);
    if (outcome.read > 0 && !FinishMerge(merger, outcome)) return outcome;
    outcome.message = ImportResultMessage(source, outcome.ok);
    return outcome;
}

}  // namespace

std::string CsvImportMessage(ImportError error, int stored) {
    switch (error) {
        case ImportError::kNone: {
            char count[64];
            std::snprintf(count, sizeof count, kMsgCsvImportCount, stored);
            return std::string(kMsgCsvImportDone) + " " + count;
        }
        case ImportError::kNoNameColumn:
            return kMsgCsvNoNameColumn;
        case ImportError::kNoContacts:
            return kMsgCsvNoContacts;
        case ImportError::kUnknownEncoding:
            return kMsgCsvUnknownEncoding;
        default:
            return kMsgCsvOpenFailed;
    }
}

CImportOutcome ImportCsv(const FileChooser& choose, const CsvPreview& preview,
                         const CCsvImportOptions& options) {
    CImportOutcome outcome;
    std::vector<CRelData>& contacts = AppState().ContactList;
    contacts.clear();
    std::string path = choose ? choose() : std::string();
    if (path.empty()) {
        outcome.error = ImportError::kCancelled;
        outcome.cancelled = true;
        return outcome;
    }
    auto fail = [&outcome](ImportError error, std::string message = {}) {
        outcome.error = error;
        outcome.message = message.empty() ? CsvImportMessage(error, 0) : std::move(message);
        return outcome;
    };
    CCsvImportPlan plan;
    if (!plan.Load(path)) return fail(plan.Error());
    if (!options.encoding.empty() && !plan.SetEncoding(options.encoding))
        return fail(IsKnownCsvEncoding(options.encoding) ? ImportError::kReadFailed
                                                         : ImportError::kUnknownEncoding);
    std::string reason;
    if (!options.map.empty() && !plan.ApplyChoices(options.map, reason))
        return fail(ImportError::kReadFailed, reason);
    if (options.inspect) options.inspect(plan);
    if (preview && plan.WantsPreview() && !preview(plan)) {
        outcome.error = ImportError::kCancelled;
        outcome.cancelled = true;
        return outcome;
    }
    // The contacts go into the address book a batch at a time as they are built; only a
    // dry run, which stores nothing, keeps them in ContactList to show them.
    CContactMerger merger;
    auto take = [&](std::span<const CRelData> part) {
        outcome.read += static_cast<int>(part.size());
        if (options.dryRun)
            contacts.insert(contacts.end(), part.begin(), part.end());
        else
            merger.Add(part);
    };
    if (!plan.Build(kMergeBatch, take, &outcome.error)) return fail(outcome.error);
    if (!options.dryRun && !FinishMerge(merger, outcome)) return outcome;
    outcome.ok = true;
    outcome.message =
        CsvImportMessage(ImportError::kNone, options.dryRun ? outcome.read : outcome.merged);
    return outcome;
}

CImportOutcome ImportAddressBook() {
    return RunImport(ImportSource::kAddressBook, [](const auto& take, ImportError* error) {
        return ReadAddressBookContacts(GetLibraryDir(), kMergeBatch, take, error);
    });
}

CImportOutcome ImportOutlook(const FileChooser& choose) {
    return RunImport(ImportSource::kOutlook, [&](const auto& take, ImportError* error) {
        std::vector<CRelData> contacts;
        if (!ReadOutlookContacts(choose, contacts, error)) return false;
        take(std::span<const CRelData>(contacts));
        return true;
    });
}

}  // namespace kavo
