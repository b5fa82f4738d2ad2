// The local database: one shared SQLite connection for the whole process and the
// one-result wrapper that every store operation runs its statements through.
//
// CAdoRecord speaks the database's own text, UTF-8. Everything above it (CDataAccess, the
// records) speaks GBK; the conversion happens where values are bound and columns read.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/records.h"

struct sqlite3_stmt;

namespace kavo {

namespace store_detail {
struct Connection;
}

// The type of a column value. SQLite yields Null, I4, I8, R8, Text, Date and Blob; the
// others exist so that every value of the original type table can be represented.
enum class VarType { Empty, Null, I1, UI1, I2, I4, I8, R4, R8, Currency, Date, Text, Bool, Blob };

// One column value of the current row. Text (and the full "YYYY-MM-DD HH:MM:SS" text of a
// Date) is a view into the result and stays valid until the record moves or runs another
// statement.
struct CVariant {
    VarType type = VarType::Empty;
    std::int64_t intVal = 0;
    double dblVal = 0;
    std::string_view textVal;
};

// One value bound to a "?" of a statement: an integer, or a text that can never end a
// quoted literal or change the statement, whatever it holds.
class CSqlValue {
public:
    CSqlValue(std::int64_t value) : isText_(false), int_(value) {}
    CSqlValue(int value) : isText_(false), int_(value) {}

    // UTF-8 text, viewed: it must outlive the Execute it is given to.
    static CSqlValue Utf8(std::string_view utf8);
    // GBK text, converted to UTF-8 (ASCII is viewed as it is, so it too must outlive Execute).
    static CSqlValue Gbk(std::string_view gbk);

    bool IsText() const { return isText_; }
    std::int64_t Int() const { return int_; }
    std::string_view Text() const { return owned_ ? std::string_view(text_) : view_; }

private:
    CSqlValue() = default;
    bool isText_ = true;
    bool owned_ = false;
    std::int64_t int_ = 0;
    std::string text_;
    std::string_view view_;
};

class CAdoRecord {
public:
    CAdoRecord() = default;
    virtual ~CAdoRecord();
    CAdoRecord(const CAdoRecord&) = delete;
    CAdoRecord& operator=(const CAdoRecord&) = delete;

    // Runs one statement on the shared connection, opening it when there is none. True
    // when the statement ran (returning rows or not); the first row, if any, is current.
    // `options` is the command kind; 1, plain command text, is the only one there is.
    bool Execute(std::string_view sql, long options = 1);
    bool Execute(std::string_view sql, std::span<const CSqlValue> params);
    bool Execute(std::string_view sql, std::initializer_list<CSqlValue> params) {
        return Execute(sql, std::span<const CSqlValue>(params.begin(), params.size()));
    }
    // The same with UTF-8 texts only, viewed as CSqlValue::Utf8 views them.
    bool Execute(std::string_view sql, std::span<const std::string_view> texts);

    // 0 when there is no result or the current row is already past the last; otherwise
    // the number of rows of the result. SQLite does not know the count in advance, so this
    // walks the result once more: use !IsEOF() to test for rows.
    long GetRecordCount();
    bool IsEOF() const { return eof_; }
    bool MoveNext();

    // Rows changed by the last statement when it was not a row-returning one.
    int Changes() const { return changes_; }

    int ColumnCount() const;
    // Index of a column by name, without letter case; -1 when there is none.
    int ColumnIndex(std::string_view name) const;
    CVariant GetCollect(std::string_view column) const { return GetCollect(ColumnIndex(column)); }
    CVariant GetCollect(int index) const;

    // Copies a column into a GBK field of `width` bytes (cut as SetField cuts); a null
    // or missing column clears the field.
    void ReadField(int index, char* field, std::size_t width) const;
    // Fills every field of a record from the columns of the same names in the current row
    // (the names are looked up once per result). A column the result lacks clears its field.
    void ReadFields(std::span<const FieldSpec> fields, void* record);

    static std::string VariantToText(const CVariant& value);

private:
    // Runs `sql` with `count` values, `bind(stmt, i, lifetime)` binding the i-th.
    template <typename Bind>
    bool Run(std::string_view sql, std::size_t count, const Bind& bind);
    void Release();
    int ColumnIndexLocked(std::string_view name) const;
    void ReadFieldLocked(int index, char* field, std::size_t width) const;

    std::shared_ptr<store_detail::Connection> conn_;
    sqlite3_stmt* stmt_ = nullptr;
    bool hasResult_ = false;
    bool eof_ = true;
    long pos_ = 0;
    int changes_ = 0;
    mutable std::vector<std::string> names_;
    const FieldSpec* mappedFields_ = nullptr;
    std::vector<int> fieldColumns_;
};

// The shared connection settings. Only the data source matters; user and password are
// kept as given. Changing the data source closes an open connection.
void SetConnectionInfo(std::string_view user, std::string_view password,
                       std::string_view dataSource);
std::string GetDataSource();

// Opens the shared connection on a database file, creating the file and its tables when
// they are missing. True when open.
bool OpenConnection(std::string_view dataSource);
// Closes the shared connection; the next statement opens it again.
void CloseConnection();
bool IsConnectionOpen();

// SQLite's result code of the last statement that failed on this thread (0 after a
// statement that ran).
int StoreLastError();

// The lock held around every statement and every store operation. Recursive: an operation
// runs several statements under it.
std::recursive_mutex& StoreMutex();

}  // namespace kavo
