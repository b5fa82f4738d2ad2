#include "workflows/import_flow.h"

#include "import/address_book_import.h"
#include "import/csv_import.h"
#include "import/outlook_import.h"
#include "store/app_state.h"
#include "store/program_dir.h"
#include "workflows/address_book_sync.h"

namespace kavo {
namespace {

// Merges what the reader put into ContactList when it succeeded, and words the outcome.
template <typename Read>
CImportOutcome RunImport(ImportSource source, Read read) {
    CImportOutcome outcome;
    std::vector<CRelData>& contacts = AppState().ContactList;
    contacts.clear();
    outcome.ok = read(contacts, &outcome.error);
    // Cancelling the CSV file dialog ends the command quietly; a cancelled Outlook export
    // choice fails the application object and is reported like any other failure.
    if (source == ImportSource::kCsv && outcome.error == ImportError::kCancelled) {
        outcome.cancelled = true;
        return outcome;
    }
    if (outcome.ok && !contacts.empty()) {
        const CMergeOutcome merge = MergeContactsChecked(contacts);
        outcome.merged = merge.stored;
        // An import that read more than it could store is no completed import.
        if (!merge.Complete()) {
            outcome.ok = false;
            outcome.message = MergeShortfallMessage(merge);
            return outcome;
        }
    }
    outcome.message = ImportResultMessage(source, outcome.ok);
    return outcome;
}

}  // namespace

CImportOutcome ImportCsv(const FileChooser& choose) {
    return RunImport(ImportSource::kCsv, [&](std::vector<CRelData>& out, ImportError* error) {
        std::string path = choose ? choose() : std::string();
        if (path.empty()) {
            *error = ImportError::kCancelled;
            return false;
        }
        return ReadCsvContacts(path, out, error);
    });
}

CImportOutcome ImportAddressBook() {
    return RunImport(ImportSource::kAddressBook,
                     [](std::vector<CRelData>& out, ImportError* error) {
                         return ReadAddressBookContacts(GetProgramDir(), out, error);
                     });
}

CImportOutcome ImportOutlook(const FileChooser& choose) {
    return RunImport(ImportSource::kOutlook, [&](std::vector<CRelData>& out, ImportError* error) {
        return ReadOutlookContacts(choose, out, error);
    });
}

}  // namespace kavo
