#include "import/outlook_import.h"

#include <cstdio>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

void SetFail(ImportError* error, ImportError reason) {
    if (error) *error = reason;
}

}  // namespace

bool ReadOutlookContacts(COutlookApplication& app, std::vector<CRelData>& out, ImportError* error) {
    COutlookNamespace* ns = app.GetNamespace("MAPI");
    if (!ns) {
        SetFail(error, ImportError::kNoNamespace);
        return false;
    }
    COutlookFolder* folder = ns->GetDefaultFolder(kOlFolderContacts);
    if (!folder) {
        SetFail(error, ImportError::kNoFolder);
        return false;
    }
    COutlookItems* items = folder->Items();
    if (!items) {
        SetFail(error, ImportError::kNoItems);
        return false;
    }
    out.clear();
    // From the last item to the first: of two items with one key, the one nearer the
    // folder's start is merged last and wins.
    for (const COutlookItem* item = items->GetLast(); item; item = items->GetPrevious()) {
        // A distribution list among the contacts is passed over rather than ending the
        // walk, which would silently drop every contact before it.
        const COutlookContactItem* contact = item->AsContactItem();
        if (!contact) continue;
        CRelData rec;
        // SetField cuts each text to its column without splitting a double-byte character.
        SetField(rec.RelName, Utf8ToGbk(contact->FullName()));
        SetField(rec.MobilePhone1, Utf8ToGbk(contact->MobileTelephoneNumber()));
        SetField(rec.E_mail, Utf8ToGbk(contact->Email1Address()));
        SetField(rec.HomeAddr, Utf8ToGbk(contact->HomeAddress()));
        SetField(rec.KeshNum, Utf8ToGbk(contact->CompanyName()));
        COutlookDate anniversary = contact->Anniversary();
        // Outlook's empty date (4501-01-01) is no anniversary; storing it would show a
        // date the user never entered.
        if (!anniversary.IsNone()) {
            char text[32];
            std::snprintf(text, sizeof text, "%04d-%02d-%02d", anniversary.year, anniversary.month,
                          anniversary.day);
            SetField(rec.Anniversary, text);
        }
        out.push_back(rec);
    }
    SetFail(error, ImportError::kNone);
    return true;
}

bool ReadOutlookContacts(const FileChooser& chooseExport, std::vector<CRelData>& out,
                         ImportError* error) {
    out.clear();
    ImportError why = ImportError::kNone;
    std::unique_ptr<COutlookApplication> app = COutlookApplication::Create(chooseExport, &why);
    if (!app) {
        SetFail(error, why == ImportError::kNone ? ImportError::kOutlookUnavailable : why);
        return false;
    }
    return ReadOutlookContacts(*app, out, error);
}

}  // namespace kavo
