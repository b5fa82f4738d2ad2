// Contacts from a CSV file: a first line of Chinese column labels, then one contact per
// line. The file is GBK; one that starts with a UTF-8 byte order mark is read as UTF-8 and
// turned into GBK first. Labels and values are compared and copied as GBK bytes.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "import/import_messages.h"
#include "store/records.h"

namespace kavo {

inline constexpr std::size_t kCsvMaxLineChars = 10000;
inline constexpr int kCsvSlotCount = 60;
inline constexpr int kCsvKnownLabelCount = 19;  // slots 0..18; slot 18 is the remark
inline constexpr int kCsvRemarkSlot = 18;
inline constexpr std::size_t kCsvRemarkMaxBytes = 511;

// The labels of a header line: ',' ends a label, double quotes are dropped wherever they
// stand, a trailing ',' adds no empty label.
std::vector<std::string> SplitCsvHeaderLine(std::string_view line);

// The values of a data line, at most `maxValues` of them. A line that starts with a double
// quote is read in quoted mode: each value stands between a pair of quotes, a ',' inside
// the pair belongs to the value, and a third quote in one value ends the line there,
// dropping that value.
std::vector<std::string> SplitCsvDataLine(std::string_view line, std::size_t maxValues);

// Builds contacts line by line: first the header, then each data line.
class CCsvContactReader {
public:
    CCsvContactReader();

    // False (with the reason) when the header names fewer than two columns.
    bool SetHeader(std::string_view line, ImportError* error);
    // Appends the line's contact to `out` when it yields one; false on a line without any
    // value.
    bool AddLine(std::string_view line, std::vector<CRelData>& out, ImportError* error);

    const std::vector<std::string>& Header() const { return header_; }
    // The header column a slot holds, or -1.
    int SlotColumn(int slot) const { return slots_[static_cast<std::size_t>(slot)]; }

private:
    std::vector<std::string> header_;
    std::array<int, kCsvSlotCount> slots_;
};

// Reads a whole file's bytes into `out` (emptied first). On failure `out` keeps the
// contacts of the lines before the failing one; the caller merges nothing then.
bool ReadCsvContactsFromText(std::string_view content, std::vector<CRelData>& out,
                             ImportError* error = nullptr);

// Reads the file at `path` line by line, as ReadCsvContactsFromText does.
bool ReadCsvContacts(const std::string& path, std::vector<CRelData>& out,
                     ImportError* error = nullptr);

}  // namespace kavo
