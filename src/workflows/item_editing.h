// Save, New and Delete of the main window for its three kinds of items: contacts in the
// local store, game accounts and SMS on the server and in the process-wide lists.
// Each step returns what happened; the caller shows the message and updates its list.
#pragma once

#include <cstdint>
#include <string>

#include "net/kavo_tcp_client.h"
#include "store/records.h"
#include "workflows/list_rows.h"

namespace kavo {

enum class EditResult {
    kDone,
    kEmptyContactName,  // "请输入联系人姓名！"
    kEmptyMobile1,      // "请输入手机号码1！"
    kContactExists,     // "该联系人姓名已存在!"
    kDeleteOldFailed,   // "删除联系人失败，请重启软件再试!"
    kStoreFailed,       // the store refused the write
    kEmptyAccountName,  // "请输入账号名称!"
    kOffline,           // Reconnect failed: the command ends without a message
    kServerRefused,     // the message of the client's last error code
};

// The message of a result (UTF-8): empty for kDone and kOffline.
std::string EditResultMessage(EditResult result, const CKavoTcpClient& client);

// The contact editor's record saved over the selected row (nullptr when none is selected):
// both keys checked, a renamed contact moved to its new key, ContactsChanged set.
EditResult SaveEditedContact(const CRelData& rel, const CListRow* selected);

// A contact entered in the new-contact window; false when its key is taken.
bool InsertNewContact(const CRelData& rel);

// The account panel's record saved over the selected row: a renamed account is deleted on
// the server by its old name first and then added anew. `isNew` tells the caller whether
// to add a row.
EditResult SaveEditedAccount(const CAccountData& account, const CListRow* selected,
                             CKavoTcpClient& client, bool* isNew);

// A record from the new-account window: added on the server, then to the list. `listed`
// is false when the list already had that name (no row to add then).
EditResult AddNewAccount(const CAccountData& account, CKavoTcpClient& client, bool* listed);

// One row of a Delete: permanently (on the server first; false when the server refused and
// the row stays) or only locally.
bool DeleteContactRow(const CListRow& row, bool permanent, CKavoTcpClient& client);
bool DeleteSmsRow(std::uint32_t smsId, bool permanent, CKavoTcpClient& client);
bool DeleteAccountRow(const CListRow& row, bool permanent, CKavoTcpClient& client);

}  // namespace kavo
