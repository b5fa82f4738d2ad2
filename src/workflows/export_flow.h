// The exports as the main window and kavoctl run them: the contacts of one group or of
// all groups, written by the CSV or vCard writer, and the message that says how it went.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

enum class EExportFormat {
    kCsv,         // GBK, the import's own labels
    kCsvUtf8Bom,  // the same in UTF-8 behind a byte order mark, for spreadsheets
    kVCard,       // vCard 3.0
};

struct CExportOutcome {
    bool ok = false;
    int count = 0;        // contacts written
    std::string message;  // UTF-8
};

// Writes the contacts of `groupGbk` (empty: all contacts) to `path`, all or nothing.
CExportOutcome ExportContacts(const std::string& path, std::string_view groupGbk,
                              EExportFormat format);

}  // namespace kavo
