// libpelbook.so: the user's vCard address book behind the address-book interface.
//
// An open address book lives in a table inside the library; the caller's 12-byte context
// holds a check word, the table slot and the slot's generation, so a context that was
// closed, copied from elsewhere or never opened is refused instead of followed. Entry
// identifiers carry the entry's index and the same generation.
#include "pelbook/pelbook.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "codecs/gbk_text.h"
#include "pelbook/vcard_reader.h"

namespace {

constexpr std::uint32_t kContextMagic = 0x4B424C50;  // "PLBK"

struct Book {
    std::uint32_t generation = 0;
    kavo::CVCardBook entries;
};

struct Registry {
    std::mutex mutex;
    std::vector<std::unique_ptr<Book>> slots;
    std::uint32_t nextGeneration = 1;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

struct ContextWords {
    std::uint32_t magic, slot, generation;
};
static_assert(sizeof(ContextWords) == sizeof(PelbookContext));

struct EntryWords {
    std::uint32_t index, generation;
};
static_assert(sizeof(EntryWords) == sizeof(PelbookEntryId));

// The open book a context names; the registry's mutex must be held.
Book* FindBook(Registry& r, const PelbookContext* context, std::uint32_t* slot = nullptr) {
    if (!context) return nullptr;
    ContextWords w;
    std::memcpy(&w, context->bytes, sizeof w);
    if (w.magic != kContextMagic || w.slot >= r.slots.size()) return nullptr;
    Book* book = r.slots[w.slot].get();
    if (!book || book->generation != w.generation) return nullptr;
    if (slot) *slot = w.slot;
    return book;
}

// The index of the entry an identifier names in `book`, or false for one of another book,
// a wiped one or none.
bool FindEntry(const Book* book, const PelbookEntryId* entry, std::size_t& index) {
    if (!book || !entry) return false;
    EntryWords w;
    std::memcpy(&w, entry->bytes, sizeof w);
    if (w.generation != book->generation || w.index >= book->entries.Size()) return false;
    index = w.index;
    return true;
}

}  // namespace

extern "C" {

PELBOOK_API int PelbookOpen(PelbookContext* context) {
    if (!context) return 0;
    std::memset(context->bytes, 0, sizeof context->bytes);
    auto book = std::make_unique<Book>();
    if (!kavo::LoadAddressBook(kavo::AddressBookDir(), book->entries)) return 0;

    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    book->generation = r.nextGeneration++;
    if (r.nextGeneration == 0) r.nextGeneration = 1;
    std::size_t slot = 0;
    while (slot < r.slots.size() && r.slots[slot]) ++slot;
    if (slot == r.slots.size()) r.slots.emplace_back();
    ContextWords w{kContextMagic, static_cast<std::uint32_t>(slot), book->generation};
    r.slots[slot] = std::move(book);
    std::memcpy(context->bytes, &w, sizeof w);
    return 1;
}

PELBOOK_API int PelbookGetNumEntries(PelbookContext* context) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Book* book = FindBook(r, context);
    if (!book) return 0;
    std::size_t n = book->entries.Size();
    return n > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(n);
}

PELBOOK_API int PelbookGetEntries(PelbookContext* context, PelbookEntryId* entries, int capacity) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Book* book = FindBook(r, context);
    if (!book || !entries || capacity <= 0) return 0;
    std::size_t n = book->entries.Size();
    if (n > static_cast<std::size_t>(capacity)) n = static_cast<std::size_t>(capacity);
    for (std::size_t i = 0; i < n; ++i) {
        EntryWords w{static_cast<std::uint32_t>(i), book->generation};
        std::memcpy(entries[i].bytes, &w, sizeof w);
    }
    return static_cast<int>(n);
}

PELBOOK_API int PelbookGetProp_String(PelbookContext* context, const PelbookEntryId* entry,
                                      uint32_t tag, char* buffer, int size, int flags) {
    if (!buffer || size <= 0) return 0;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const Book* book = FindBook(r, context);
    std::size_t index = 0;
    std::string_view text;
    if (flags != 0 || !FindEntry(book, entry, index) ||
        !book->entries.StringProperty(index, tag, text)) {
        buffer[0] = '\0';
        return 0;
    }
    kavo::SetField(buffer, static_cast<std::size_t>(size), kavo::Utf8ToGbk(text));
    return 1;
}

PELBOOK_API int PelbookGetProp_SysTime(PelbookContext* context, const PelbookEntryId* entry,
                                       uint32_t tag, uint64_t* fileTime) {
    if (!fileTime) return 0;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const Book* book = FindBook(r, context);
    std::size_t index = 0;
    int year = 0, month = 0, day = 0;
    if (tag != PELBOOK_PR_BIRTHDAY || !FindEntry(book, entry, index) ||
        !book->entries.Birthday(index, year, month, day)) {
        return 0;
    }
    std::uint64_t t = kavo::DateToFileTime(year, month, day);
    if (t == 0) return 0;
    *fileTime = t;
    return 1;
}

PELBOOK_API int PelbookGetProp_Long(PelbookContext* context, const PelbookEntryId* entry,
                                    uint32_t tag, int32_t* value) {
    if (!value) return 0;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::size_t index = 0;
    if (!FindEntry(FindBook(r, context), entry, index) || tag != PELBOOK_PR_OBJECT_TYPE) return 0;
    *value = 6;  // every entry is a person (MAPI_MAILUSER)
    return 1;
}

PELBOOK_API int PelbookGetProp_Bool(PelbookContext* context, const PelbookEntryId* entry,
                                    uint32_t tag, int32_t* value) {
    (void)context, (void)entry, (void)tag, (void)value;
    return 0;  // a vCard carries no yes/no property the address book hands out
}

PELBOOK_API int PelbookGetProp_Short(PelbookContext* context, const PelbookEntryId* entry,
                                     uint32_t tag, int16_t* value) {
    if (!value) return 0;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const Book* book = FindBook(r, context);
    std::size_t index = 0;
    if (!FindEntry(book, entry, index) || tag != PELBOOK_PR_GENDER) return 0;
    *value = static_cast<int16_t>(book->entries.Gender(index));
    return 1;
}

PELBOOK_API int PelbookFreeEntries(PelbookContext* context, PelbookEntryId* entries, int count) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Book* book = FindBook(r, context);
    if (!book || !entries || count <= 0) return 0;
    // Identifiers own nothing; wiping them keeps a stale one from naming a later entry.
    std::memset(entries, 0, sizeof(PelbookEntryId) * static_cast<std::size_t>(count));
    return 1;
}

PELBOOK_API int PelbookClose(PelbookContext* context) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    std::uint32_t slot = 0;
    if (!FindBook(r, context, &slot)) return 0;
    r.slots[slot].reset();
    std::memset(context->bytes, 0, sizeof context->bytes);
    return 1;
}

}  // extern "C"
