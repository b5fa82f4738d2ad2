// Contacts to a CSV file that the CSV import reads back: GBK, a first line of the
// import's own Chinese column labels, then one contact per line in quoted mode.
//
// What the import cannot read, a file cannot carry: a double quote inside a value ends
// the import's line, and a line break ends the record, so the writer turns each double
// quote into an apostrophe and each line break into a blank. The import files the
// columns after the first eighteen into the remark as "label:value ", so the remark is
// written so that it comes back as it was whenever it has that form already (every remark
// a CSV import made has it); any other remark comes back as "备注:<remark> ".
#pragma once

#include <string>
#include <vector>

#include "store/records.h"

namespace kavo {

// The columns written, in order: the nineteen labels the import knows, as UTF-8.
const std::vector<std::string>& CsvExportLabels();

// The whole file's bytes, header line first, lines ended by CR LF: GBK, or (`utf8Bom`)
// UTF-8 behind a byte order mark, which spreadsheets open without asking.
std::string CsvExportText(const std::vector<CRelData>& contacts, bool utf8Bom = false);

// Writes the file through a temporary file beside it that replaces `path` only when it has
// been written completely; false (and `path` untouched) when that fails.
bool WriteCsvContacts(const std::string& path, const std::vector<CRelData>& contacts,
                      bool utf8Bom = false);

// Writes `bytes` to `path` as WriteCsvContacts does: all or nothing.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace kavo
