#include "workflows/export_flow.h"

#include <cstdio>
#include <vector>

#include "import/csv_export.h"
#include "import/import_messages.h"
#include "import/vcard_export.h"
#include "store/data_access.h"

namespace kavo {

CExportOutcome ExportContacts(const std::string& path, std::string_view groupGbk,
                              EExportFormat format) {
    CExportOutcome outcome;
    std::vector<CRelData> contacts;
    CDataAccess().LoadContacts(contacts, groupGbk);
    const bool vcard = format == EExportFormat::kVCard;
    outcome.ok = vcard ? WriteVCardContacts(path, contacts)
                       : WriteCsvContacts(path, contacts, format == EExportFormat::kCsvUtf8Bom);
    if (!outcome.ok) {
        outcome.message = vcard ? kMsgVCardExportFailed : kMsgCsvExportFailed;
        return outcome;
    }
    outcome.count = static_cast<int>(contacts.size());
    char count[64];
    std::snprintf(count, sizeof count, kMsgExportCount, outcome.count);
    outcome.message = std::string(vcard ? kMsgVCardExportDone : kMsgCsvExportDone) + " " + count;
    return outcome;
}

}  // namespace kavo
