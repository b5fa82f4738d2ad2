#include "workflows/export_flow.h"

#include <cstdio>
#include <vector>

#include "import/csv_export.h"
#include "import/import_messages.h"
#include "import/vcard_export.h"
#include "store/ado_record.h"
#include "store/data_access.h"
#include "store/store_health.h"
#include "workflows/address_book_sync.h"

namespace kavo {

CExportOutcome ExportContacts(const std::string& path, std::string_view groupGbk,
                              EExportFormat format) {
    CExportOutcome outcome;
    std::vector<CRelData> contacts;
    const bool vcard = format == EExportFormat::kVCard;
    // A list cut short by a damaged page must not be written as if it were the whole book.
    StoreFault fault = StoreFault::kNone;
    if (groupGbk.empty()) {
        LoadAllContactsChecked(contacts, fault);
    } else {
        CDataAccess().LoadContacts(contacts, groupGbk);
        if (StoreLastError() != 0) fault = LastStoreFault();
    }
    if (fault != StoreFault::kNone) {
        outcome.message = std::string(vcard ? kMsgVCardExportFailed : kMsgCsvExportFailed) +
                          StoreFaultText(fault);
        return outcome;
    }
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
