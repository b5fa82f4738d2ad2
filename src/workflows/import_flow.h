// The three imports as the main window and kavoctl run them: read into the process-wide
// ContactList (emptied first), merge it into the address book after a successful read,
// and end with the import's own message.
#pragma once

#include <functional>
#include <string>

#include "import/csv_import.h"
#include "import/import_messages.h"

namespace kavo {

struct CImportOutcome {
    bool ok = false;
    bool cancelled = false;  // no file chosen: nothing else happens, no message
    int merged = 0;          // records stored by the merge; short of all read: ok is false
    int read = 0;            // records read from the file
    ImportError error = ImportError::kNone;
    std::string message;  // UTF-8, for the message box; empty when cancelled
};

// The choices of kavoctl's import-csv: an encoding instead of the detected one, columns
// mapped by hand ("COLUMN=FIELD,..."), and a dry run that reads and builds the contacts
// into ContactList but stores nothing.
struct CCsvImportOptions {
    std::string encoding;
    std::string map;
    bool dryRun = false;
    // Sees the plan once the choices are made, before the contacts are built.
    std::function<void(const CCsvImportPlan&)> inspect;
};

// Shown a file that is not the product's own kind; may change the plan's encoding and
// mapping. False cancels the import: nothing is stored and no message follows.
using CsvPreview = std::function<bool(CCsvImportPlan& plan)>;

// The CSV import; `choose` gives the file (an empty text: cancelled). The message says
// how many contacts were stored, or why none could be.
CImportOutcome ImportCsv(const FileChooser& choose, const CsvPreview& preview = {},
                         const CCsvImportOptions& options = {});

// The message of a CSV import that ended with `error` (kNone: success) after storing
// `stored` contacts.
std::string CsvImportMessage(ImportError error, int stored);
// The system address book through libpelbook.so from the program's library folder.
CImportOutcome ImportAddressBook();
// The Outlook contacts export; `choose` gives the file when the application is created.
CImportOutcome ImportOutlook(const FileChooser& choose);

}  // namespace kavo
