#include "workflows/item_editing.h"

#include "codecs/gbk_text.h"
#include "net/result_codes.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"
#include "workflows/session.h"

namespace kavo {

std::string EditResultMessage(EditResult result, const CKavoTcpClient& client) {
    switch (result) {
        case EditResult::kEmptyContactName:
            return msg::kEnterContactName;
        case EditResult::kEmptyMobile1:
            return msg::kEnterMobile1;
        case EditResult::kContactExists:
            return msg::kContactExists;
        case EditResult::kDeleteOldFailed:
            return msg::kDeleteContactFailed;
        case EditResult::kStoreFailed:
            return msg::kStoreWriteFailed;
        case EditResult::kEmptyAccountName:
            return msg::kEnterAccountName;
        case EditResult::kServerRefused:
            return ResultMessage(client.LastError());
        case EditResult::kDone:
        case EditResult::kOffline:
            break;
    }
    return {};
}

EditResult SaveEditedContact(const CRelData& rel, const CListRow* selected) {
    std::string_view name = FieldText(rel.RelName);
    std::string_view mobile1 = FieldText(rel.MobilePhone1);
    if (name.empty()) return EditResult::kEmptyContactName;
    if (mobile1.empty()) return EditResult::kEmptyMobile1;

    CDataAccess store;
    if (selected && !selected->name.empty()) {
        std::string oldName = Utf8ToGbk(selected->name);
        std::string oldMobile1 = Utf8ToGbk(selected->mobile1);
        if (!EqualsNoCase(name, oldName) || !EqualsNoCase(mobile1, oldMobile1)) {
            if (store.ContactExists(name, mobile1)) return EditResult::kContactExists;
            if (!store.DeleteContact(oldName, oldMobile1)) return EditResult::kDeleteOldFailed;
        }
    }
    if (!store.SaveContact(rel)) return EditResult::kStoreFailed;
    AppState().ContactsChanged = true;
    return EditResult::kDone;
}

bool InsertNewContact(const CRelData& rel) {
    if (!CDataAccess().InsertContact(rel)) return false;
    AppState().ContactsChanged = true;
    return true;
}

EditResult SaveEditedAccount(const CAccountData& account, const CListRow* selected,
                             CKavoTcpClient& client, bool* isNew) {
    *isNew = selected == nullptr;
    if (!Reconnect(client)) return EditResult::kOffline;
    std::string_view name = FieldText(account.AccountName);
    if (name.empty()) return EditResult::kEmptyAccountName;

    CDataAccess lists;
    if (selected && !selected->name.empty()) {
        std::string oldName = Utf8ToGbk(selected->name);
        if (!EqualsNoCase(oldName, name)) {
            if (!client.DeleteAccount(oldName)) return EditResult::kServerRefused;
            lists.DeleteAccount(oldName);
            *isNew = true;
        }
    }
    if (!client.ModifyAccount(account, *isNew)) return EditResult::kServerRefused;
    lists.PutAccount(account);
    return EditResult::kDone;
}

EditResult AddNewAccount(const CAccountData& account, CKavoTcpClient& client, bool* listed) {
    *listed = false;
    if (!client.ModifyAccount(account, true)) return EditResult::kServerRefused;
    *listed = CDataAccess().AddAccount(account);
    return EditResult::kDone;
}

bool DeleteContactRow(const CListRow& row, bool permanent, CKavoTcpClient& client) {
    std::string name = Utf8ToGbk(row.name);
    if (permanent && !client.DeleteContacts({name})) return false;
    CDataAccess().DeleteContact(name, Utf8ToGbk(row.mobile1));
    return true;
}

bool DeleteSmsRow(std::uint32_t smsId, bool permanent, CKavoTcpClient& client) {
    if (permanent && !client.DeleteSms({smsId})) return false;
    CDataAccess().DeleteSms(smsId);
    return true;
}

bool DeleteAccountRow(const CListRow& row, bool permanent, CKavoTcpClient& client) {
    std::string name = Utf8ToGbk(row.name);
    if (permanent && !client.DeleteAccount(name)) return false;
    CDataAccess().DeleteAccount(name);
    return true;
}

}  // namespace kavo
