// Reads vCard files (2.1 with quoted-printable, 3.0, 4.0) into the address-book entries
// that libpelbook.so hands out. Text is kept as UTF-8 here; the library turns it into GBK
// when a caller asks for a property.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavo {

struct CVCardEntry {
    std::string displayName;
    std::string givenName;
    std::string surname;
    std::string nickname;
    std::string title;
    std::string company;
    std::string department;
    std::string email;
    std::string officeLocation;  // the work address on one line
    std::string postalCode;      // of the work address
    std::string mobilePhone;
    std::string workPhone;
    std::string workFax;
    std::string homePhone;
    std::string workHomePage;
    std::string personalHomePage;
    std::string note;   // may span lines
    int birthYear = 0;  // 0 when the card has no full birthday
    int birthMonth = 0;
    int birthDay = 0;
    int gender = 0;  // 0 unspecified, 1 female, 2 male

    // Empties every text and date, keeping the room the texts have.
    void Clear();

    // The text of a PT_STRING8 property tag, or nullptr when the tag is not one of ours
    // or the entry lacks it.
    const std::string* StringProperty(std::uint32_t tag) const;
};

// The entries of an address book packed one after another: per entry only the texts it
// has, each behind its length, in large blocks of bytes, and a small record naming where
// they start. An entry costs its text and some twenty bytes instead of a CVCardEntry.
class CVCardBook {
public:
    void Add(const CVCardEntry& e);
    std::size_t Size() const { return records_.size(); }
    // The text of a PT_STRING8 property tag of entry `index` (UTF-8), or false when the tag
    // is not one of ours or the entry lacks it.
    bool StringProperty(std::size_t index, std::uint32_t tag, std::string_view& text) const;
    // False when the entry has no full birthday.
    bool Birthday(std::size_t index, int& year, int& month, int& day) const;
    int Gender(std::size_t index) const { return records_[index].gender; }

private:
    struct Record {
        const char* texts;  // the entry's texts, each behind its length, in a block
        std::uint16_t birthYear;
        std::uint8_t birthMonth, birthDay, gender;
    };
    char* Reserve(std::size_t bytes);

    std::vector<Record> records_;
    std::vector<std::unique_ptr<char[]>> blocks_;
    char* free_ = nullptr;  // the unused end of the last block
    std::size_t freeBytes_ = 0;
};

// Every card of one vCard file, in file order. Never fails: what cannot be read is left
// out.
std::vector<CVCardEntry> ParseVCards(std::string_view bytes);
// The same, each card handed to `onCard` as it is read.
void ParseVCards(std::string_view bytes, const std::function<void(CVCardEntry&&)>& onCard);

// The per-user address-book folder: $KAVO_ADDRESSBOOK_DIR when set, otherwise
// $XDG_DATA_HOME/kavo/addressbook, otherwise ~/.local/share/kavo/addressbook.
// Empty when none can be named.
std::string AddressBookDir();

// Every entry of every *.vcf file (any case of the extension) in `dir`, files in name
// order. False when the folder does not exist or a file in it cannot be read.
bool LoadAddressBook(const std::string& dir, CVCardBook& out);

// Midnight UTC of a calendar date as a file time (100 ns units since 1601-01-01); 0 for a
// date outside 1601-01-01 .. 9999-12-31 or not in the calendar.
std::uint64_t DateToFileTime(int year, int month, int day);

}  // namespace kavo
