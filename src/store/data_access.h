// The store operations: users, contacts and contact groups in the local database, and the
// searches of the in-memory lists of game accounts, SMS and notices.
//
// Every text in and out is GBK, as the records hold it. Every operation reports only
// through its result (false, 0, an empty text or list) and shows nothing. Each one runs
// under the store lock, so a save's existence test and its write cannot be split by
// another thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "store/ado_record.h"
#include "store/records.h"

namespace kavo {

// The record-level operations that CDataAccess is built on; each takes the CAdoRecord to
// use. The contact ones name the owner of the rows.
void LoadRecord(CAdoRecord& rs, CRelData& rel);
bool SaveRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner);
bool InsertRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner);
bool UpdateRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner);
void LoadRecord(CAdoRecord& rs, CUserData& user);
bool SaveRecord(CAdoRecord& rs, const CUserData& user);
bool UpdateRecord(CAdoRecord& rs, const CUserData& user);

// Orders list[from, end) by name as Chinese users expect (pinyin, with Latin names under
// the same letters; see collation/name_collation.h), keeping the order of the contacts
// whose names sort alike. LoadContacts lists every address book in this order.
void SortContactsByName(std::vector<CRelData>& list, std::size_t from = 0);
// Orders list[from, end) by a key made once per contact (compared as bytes), keeping the
// order of the contacts whose keys are equal; the records are moved in place.
void SortContactsByKey(std::vector<CRelData>& list, std::size_t from,
                       const std::function<std::string(const CRelData&)>& key);

// Parses "YYYY-MM-DD HH:MM:SS" (or a two-digit year, 00-29 meaning 20xx) as local time.
bool ParseLocalDateTime(std::string_view text, std::int64_t& seconds);

class CDataAccess {
public:
    // Contact and group statements belong to the current user of the process state...
    CDataAccess() = default;
    // ...or to the given user (GBK), for callers that work on another user's rows.
    explicit CDataAccess(std::string_view owner) : owner_(owner), hasOwner_(true) {}

    // Runs one statement and ignores its outcome (the start-up migration).
    bool ExecuteStatement(std::string_view sql);

    // Users (KAVO_USER).
    void LoadUserList(std::vector<CUserData>& list);
    bool UserExists(std::string_view userName);
    std::string GetUserPassword(std::string_view userName);
    bool SaveUser(std::string_view userName, std::string_view password, std::string_view email,
                  int loginState);
    bool UpdateUser(std::string_view userName, std::string_view password, int loginState);
    bool SetLoginState(std::string_view userName, int loginState);
    bool IsUserLoggedIn(std::string_view userName);

    // Contacts (KAVO_RELATION). A contact is the pair (RelName, MobilePhone1) within the
    // owner; an empty MobilePhone1 matches an empty or absent one. LoadContacts appends in
    // the order of SortContactsByName, then by MobilePhone1.
    int LoadContacts(std::vector<CRelData>& list, std::string_view groupName = {});
    bool LoadContact(std::string_view relName, std::string_view mobilePhone1, CRelData& rel);
    bool ContactExists(std::string_view relName, std::string_view mobilePhone1);
    bool DeleteContact(std::string_view relName, std::string_view mobilePhone1);
    bool SaveContact(const CRelData& rel);
    bool InsertContact(const CRelData& rel);
    bool UpdateContact(const CRelData& rel);

    // Contact groups (KAVO_RELATION_GROUP).
    int LoadGroups(std::vector<std::string>& groups, bool skipReading = false);
    bool AddGroup(std::string_view groupName);
    bool RenameGroup(std::string_view oldName, std::string_view newName);
    bool DeleteGroup(std::string_view groupName, bool withContacts);
    static int FindGroup(const std::vector<std::string>& groups, std::string_view groupName);

    // The game account list (AppState().AccountList); names and ids compared without case.
    bool AccountNameExists(std::string_view accountName);
    bool FindAccount(std::string_view accountName, CAccountData& account);
    bool DeleteAccount(std::string_view accountName);
    bool PutAccount(const CAccountData& account);
    bool AddAccount(const CAccountData& account);

    // The SMS list (AppState().SmsList) and the notice line (AppState().NoticeList).
    bool FindSms(std::string_view smsIdText, CSmsData& sms);
    bool DeleteSms(std::uint32_t smsId);
    std::string NextNoticeText();

private:
    std::string_view Owner() const;

    std::string owner_;
    bool hasOwner_ = false;
};

// The same list operations on a given list, for callers that keep their own.
bool AccountNameExists(const std::vector<CAccountData>& list, std::string_view accountName);
bool FindAccount(const std::vector<CAccountData>& list, std::string_view accountName,
                 CAccountData& account);
bool DeleteAccount(std::vector<CAccountData>& list, std::string_view accountName);
bool PutAccount(std::vector<CAccountData>& list, const CAccountData& account);
bool AddAccount(std::vector<CAccountData>& list, const CAccountData& account);
bool FindSms(const std::vector<CSmsData>& list, std::string_view smsIdText, CSmsData& sms);
bool DeleteSms(std::vector<CSmsData>& list, std::uint32_t smsId);
std::string NextNoticeText(const std::vector<CMsgData>& notices, std::size_t& position);

// Start-up of the store: points the shared connection at GetDatabasePath() (creating the
// file when it is missing), adds the LoginState column to an older users table, and clears
// every LoginState when fewer than two copies of the program (`processNames`) run. True
// when the database is usable; a file that fails the integrity check is not, and is
// remembered as damaged (LocalStoreDamaged()).
bool StartLocalStore(const std::vector<std::string>& processNames);
bool StartLocalStore();

}  // namespace kavo
