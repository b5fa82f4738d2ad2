// Contacts from Outlook's Contacts folder, through the Outlook object model.
#pragma once

#include <vector>

#include "import/import_messages.h"
#include "import/outlook_model.h"
#include "store/records.h"

namespace kavo {

// Creates the application (which asks `chooseExport` for the contacts export), opens the
// "MAPI" name space, its default Contacts folder and the folder's items, and fills `out`
// with one contact per contact item, walking from the last item to the first. Items that
// are no contacts (distribution lists) are passed over. An empty folder is a success with
// an empty list.
bool ReadOutlookContacts(const FileChooser& chooseExport, std::vector<CRelData>& out,
                         ImportError* error = nullptr);

// The same walk over an application already created.
bool ReadOutlookContacts(COutlookApplication& app, std::vector<CRelData>& out,
                         ImportError* error = nullptr);

}  // namespace kavo
