// A small Outlook object model: the application, its "MAPI" name space, the default
// Contacts folder (folder type 10) and its items, walked with GetFirst/GetLast/GetNext/
// GetPrevious like Outlook's own. Behind it stands a contacts export that Outlook writes
// (comma-separated, English or Chinese column titles), chosen when the application object
// is created. Texts are UTF-8, as Outlook hands out Unicode.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_messages.h"

namespace kavo {

inline constexpr int kOlFolderContacts = 10;
inline constexpr int kOlContact = 40;           // item class of a contact
inline constexpr int kOlDistributionList = 69;  // item class of a distribution list

// A date as Outlook reports it. Outlook reports an empty date as 1 January 4501.
struct COutlookDate {
    int year = 4501;
    int month = 1;
    int day = 1;
    bool IsNone() const { return year == 4501 && month == 1 && day == 1; }
};

struct COutlookItemData {
    int itemClass = kOlContact;
    std::string fullName;
    std::string mobileTelephoneNumber;
    std::string email1Address;
    std::string homeAddress;
    std::string companyName;
    COutlookDate anniversary;
};

class COutlookContactItem;

class COutlookItem {
public:
    explicit COutlookItem(COutlookItemData data) : data_(std::move(data)) {}
    virtual ~COutlookItem() = default;

    int Class() const { return data_.itemClass; }
    // The item as a contact item, or nullptr when it is something else.
    const COutlookContactItem* AsContactItem() const;

protected:
    COutlookItemData data_;
};

class COutlookContactItem : public COutlookItem {
public:
    using COutlookItem::COutlookItem;

    const std::string& FullName() const { return data_.fullName; }
    const std::string& MobileTelephoneNumber() const { return data_.mobileTelephoneNumber; }
    const std::string& Email1Address() const { return data_.email1Address; }
    const std::string& HomeAddress() const { return data_.homeAddress; }
    const std::string& CompanyName() const { return data_.companyName; }
    COutlookDate Anniversary() const { return data_.anniversary; }
};

class COutlookItems {
public:
    explicit COutlookItems(std::vector<COutlookItemData> items);

    int Count() const { return static_cast<int>(items_.size()); }
    // Each moves the items' cursor and returns the item there, or nullptr past either end.
    const COutlookItem* GetFirst();
    const COutlookItem* GetLast();
    const COutlookItem* GetNext();
    const COutlookItem* GetPrevious();

private:
    const COutlookItem* At(long index);

    std::vector<COutlookContactItem> items_;
    long cursor_ = -1;
};

class COutlookFolder {
public:
    explicit COutlookFolder(std::vector<COutlookItemData> items) : items_(std::move(items)) {}
    COutlookItems* Items() { return &items_; }

private:
    COutlookItems items_;
};

class COutlookNamespace {
public:
    explicit COutlookNamespace(std::vector<COutlookItemData> contacts)
        : contacts_(std::move(contacts)) {}
    // The Contacts folder for type 10; no other default folder is kept.
    COutlookFolder* GetDefaultFolder(int folderType);

private:
    COutlookFolder contacts_;
};

class COutlookApplication {
public:
    // Asks `chooseExport` for the contacts export and reads it. nullptr, with the reason,
    // when the choice was cancelled (an empty path) or the file is no contacts export.
    static std::unique_ptr<COutlookApplication> Create(const FileChooser& chooseExport,
                                                       ImportError* error = nullptr);
    // An application over items already at hand.
    static std::unique_ptr<COutlookApplication> FromItems(std::vector<COutlookItemData> items);

    // The name space of type "MAPI" (any case); nullptr for any other type.
    COutlookNamespace* GetNamespace(std::string_view type);

private:
    explicit COutlookApplication(std::vector<COutlookItemData> items)
        : namespace_(std::move(items)) {}
    COutlookNamespace namespace_;
};

// Reads an Outlook contacts export: one item per record, in file order. False when the
// bytes hold no header with at least one known contact column.
bool ParseOutlookExport(std::string_view bytes, std::vector<COutlookItemData>& items);

}  // namespace kavo
