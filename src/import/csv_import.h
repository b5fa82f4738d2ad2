// Contacts from a CSV file: a first line of column titles, then one contact per line.
//
// The product's own files are GBK with its own Chinese column labels and are read by its
// own line rules. Files of other programs are read as they are written: their encoding
// is detected (csv_encoding.h), their column titles looked up in the table of other
// programs' titles (csv_columns.h), and their lines split as comma-separated values
// usually are (quotes around a value, a doubled quote inside one, line breaks inside a
// quoted value). Either way the text is GBK by the time it is split, and labels and
// values are compared and copied as GBK bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "import/csv_columns.h"
#include "import/import_messages.h"
#include "store/records.h"

namespace kavo {

inline constexpr std::size_t kCsvMaxLineChars = 10000;
inline constexpr std::size_t kCsvRemarkMaxBytes = 511;

// The labels of a header line: ',' ends a label, double quotes are dropped wherever they
// stand, a trailing ',' adds no empty label.
std::vector<std::string> SplitCsvHeaderLine(std::string_view line);

// The values of a data line, at most `maxValues` of them. A line that starts with a double
// quote is read in quoted mode: each value stands between a pair of quotes, a ',' inside
// the pair belongs to the value, and a third quote in one value ends the line there,
// dropping that value.
std::vector<std::string> SplitCsvDataLine(std::string_view line, std::size_t maxValues);

// Comma-separated records as other programs write them: a value may stand in double
// quotes, hold commas and line breaks there, and write a quote as two. Lines end with
// CR LF, LF or CR; blank lines are no records. `separator` is ',' or, in a spreadsheet's
// "Unicode text", a tab.
std::vector<std::vector<std::string>> SplitCsvRecords(std::string_view text, char separator = ',');

// A file split into its header and rows, before contacts are built from it.
struct CCsvDocument {
    std::string encoding;  // as detected or chosen
    // GBK with none but the product's own labels and unknown titles: the product's own
    // line rules apply. Otherwise the file is read as other programs write it.
    bool ownRules = true;
    std::vector<std::string> header;             // GBK titles
    std::vector<std::vector<std::string>> rows;  // GBK values, at most one per column
    // All the rows of the file. A file read a chunk at a time (CCsvImportPlan) keeps only
    // its first kCsvSampleRows rows in `rows`, for a look at it.
    std::size_t rowCount = 0;

    std::size_t RowCount() const { return rowCount; }
};

inline constexpr std::size_t kCsvSampleRows = 100;
// The bytes read from a file at a time.
inline constexpr std::size_t kCsvChunkBytes = 256 * 1024;

// SplitCsvDataLine into `values`, whose strings keep their room from line to line.
void SplitCsvDataLine(std::string_view line, std::size_t maxValues,
                      std::vector<std::string>& values);

// Splits the bytes, in `encoding` or (when empty) the detected one, every row into the
// document. False, with the reason, for an unknown encoding, a file without a first line,
// a header of fewer than two columns, and (under the product's own rules) a line without
// any value.
bool ParseCsvDocument(std::string_view bytes, const std::string& encoding, CCsvDocument& doc,
                      ImportError* error = nullptr);

// True when the file is the product's own kind: GBK, and every column carries one of its
// labels. Any other file deserves a look before it is imported.
bool IsOwnCsvFormat(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping);

// Builds one contact per row with `mapping` (one entry per header column) into `out`
// (emptied first). False with kNoNameColumn when no column gives a name, kNoContacts
// when no row gave a contact.
bool BuildCsvContacts(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping,
                      std::vector<CRelData>& out, ImportError* error = nullptr);

// The same, handing the contacts to `sink` a part of at most `batch` at a time as they are
// built, so that nobody holds them all. The failures are those above; kNoNameColumn comes
// before any part.
using CsvContactSink = std::function<void(std::span<const CRelData>)>;
bool BuildCsvContacts(const CCsvDocument& doc, const std::vector<CCsvColumn>& mapping,
                      std::size_t batch, const CsvContactSink& sink, ImportError* error = nullptr);

// One file on its way in: where its bytes are, the encoding and the mapping chosen so
// far. The file is read a chunk at a time, once to look at it (the header, the first rows,
// the count, the checks of ParseCsvDocument) and once more as the contacts are built, so
// that it is never held whole. The preview and kavoctl's options change the choices;
// Build makes the contacts.
class CCsvImportPlan {
public:
    // The bytes read at a time (kCsvChunkBytes unless set before Load).
    void SetChunkBytes(std::size_t bytes) { chunkBytes_ = bytes > 0 ? bytes : 1; }
    // Reads the file through and splits it in the encoding detected from its first part.
    bool Load(const std::string& path);
    // The same for bytes in memory, the encoding detected from all of them.
    bool LoadBytes(std::string bytes);
    // Splits the file again in another encoding; the mapping starts over from the
    // default. False (the plan unchanged) when the encoding is unknown or the file does
    // not split in it.
    bool SetEncoding(const std::string& encoding);
    void SetTarget(std::size_t column, ECsvTarget target);
    // kavoctl's "COLUMN=FIELD,..."; false with the reason (UTF-8).
    bool ApplyChoices(std::string_view choices, std::string& reason);

    // The file is not the product's own kind and deserves a look before it is imported.
    bool WantsPreview() const { return loaded_ && !IsOwnCsvFormat(doc_, mapping_); }
    bool Build(std::vector<CRelData>& out, ImportError* error = nullptr) const;
    // The contacts handed to `sink` a part of at most `batch` at a time as they are
    // built. The failures are those of BuildCsvContacts, and kReadFailed when the file
    // can no longer be read.
    bool Build(std::size_t batch, const CsvContactSink& sink, ImportError* error = nullptr) const;

    bool Loaded() const { return loaded_; }
    ImportError Error() const { return error_; }
    // The header and the first kCsvSampleRows rows.
    const CCsvDocument& Document() const { return doc_; }
    const std::vector<CCsvColumn>& Mapping() const { return mapping_; }

private:
    bool Scan(const std::string& encoding, CCsvDocument& doc, ImportError& error) const;

    std::string path_;   // the file, or
    std::string bytes_;  // its bytes when they were given
    bool fromFile_ = false;
    std::size_t chunkBytes_ = kCsvChunkBytes;
    CCsvDocument doc_;
    std::vector<CCsvColumn> mapping_;
    ImportError error_ = ImportError::kNone;
    bool loaded_ = false;
};

// Parse, the default mapping, build: the whole import of a file's bytes.
bool ReadCsvContactsFromText(std::string_view content, std::vector<CRelData>& out,
                             ImportError* error = nullptr);

// The same for the file at `path`.
bool ReadCsvContacts(const std::string& path, std::vector<CRelData>& out,
                     ImportError* error = nullptr);

}  // namespace kavo
