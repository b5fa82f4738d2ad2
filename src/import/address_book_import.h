// Contacts from the system address book, through libpelbook.so loaded at run time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "import/import_messages.h"
#include "store/records.h"

namespace kavo {

inline constexpr char kPelbookLibraryName[] = "libpelbook.so";

// Loads the library from `programDir` (with or without a trailing '/'; empty to skip),
// then by its plain name from the library search path; fills `out` with one contact per
// entry, in the library's order; and unloads the library again, whatever happened. An
// empty address book is a success with an empty list.
bool ReadAddressBookContacts(const std::string& programDir, std::vector<CRelData>& out,
                             ImportError* error = nullptr);

// The same, handing the contacts to `sink` a part of at most `batch` at a time, so that
// nobody holds them all. Every failure comes before the first part.
using AddressBookSink = std::function<void(std::span<const CRelData>)>;
bool ReadAddressBookContacts(const std::string& programDir, std::size_t batch,
                             const AddressBookSink& sink, ImportError* error = nullptr);

// The calendar date of a file time (100 ns units since 1601-01-01, UTC, no time-zone
// adjustment) as "YYYY-MM-DD".
std::string FileTimeToDateText(std::uint64_t fileTime);

}  // namespace kavo
