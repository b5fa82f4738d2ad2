// The three imports as the main window and kavoctl run them: read into the process-wide
// ContactList (emptied first), merge it into the address book after a successful read,
// and end with the import's own message.
#pragma once

#include <string>

#include "import/import_messages.h"

namespace kavo {

struct CImportOutcome {
    bool ok = false;
    bool cancelled = false;  // no file chosen: nothing else happens, no message
    int merged = 0;          // records stored by the merge; short of all read: ok is false
    ImportError error = ImportError::kNone;
    std::string message;  // UTF-8, for the message box; empty when cancelled
};

// The CSV import; `choose` gives the file (an empty text: cancelled).
CImportOutcome ImportCsv(const FileChooser& choose);
// The system address book through libpelbook.so from the program directory.
CImportOutcome ImportAddressBook();
// The Outlook contacts export; `choose` gives the file when the application is created.
CImportOutcome ImportOutlook(const FileChooser& choose);

}  // namespace kavo
