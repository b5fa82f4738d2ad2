// What an import tells its caller, and the texts the window shows for it. The readers
// only fill a contact list and say how it went; the caller empties and replaces the
// program's contact list, merges it into the address book when it is not empty, and shows
// the message.
#pragma once

#include <functional>
#include <string>

namespace kavo {

// Why a reader failed. Every failure shows the one failure message of its import; the
// code tells the command line and the tests the reason.
enum class ImportError {
    kNone = 0,
    kFileMissing,         // no file at the path
    kReadFailed,          // the file could not be opened or read
    kEmptyFile,           // no first line
    kNoColumns,           // the first line names no column
    kTooFewColumns,       // the first line names a single column
    kEmptyLine,           // a data line without any value
    kLibraryMissing,      // libpelbook.so could not be loaded
    kExportMissing,       // the library lacks one of its exports
    kAddressBookRefused,  // the library found no address book to open
    kCancelled,           // no file was chosen
    kOutlookUnavailable,  // the Outlook application object could not be created
    kNoNamespace,
    kNoFolder,
    kNoItems,
    kUnknownEncoding,  // the chosen encoding is none the converter knows
    kNoNameColumn,     // no column of the header gives a contact's name
    kNoContacts,       // the file held no contact
};

// Menu commands of the main window.
inline constexpr char kCmdImportCsv[] = "导入CSV逗号分割文件";
inline constexpr char kCmdImportAddressBook[] = "导入windows通讯薄";
inline constexpr char kCmdImportOutlook[] = "导入Outlook通讯薄";

// Messages (UTF-8; the message box shows them with the error icon on failure and the
// success icon otherwise).
inline constexpr char kMsgCsvOpenFailed[] = "打开CSV文件失败!";
inline constexpr char kMsgCsvImportDone[] = "导入CSV文件完成!";
inline constexpr char kMsgCsvImportCount[] = "共导入%d个联系人";  // after kMsgCsvImportDone
inline constexpr char kMsgCsvNoNameColumn[] = "未找到姓名列";
inline constexpr char kMsgCsvNoContacts[] = "文件中没有联系人";
inline constexpr char kMsgCsvUnknownEncoding[] = "不支持的文件编码";
// The exports.
inline constexpr char kCmdExportCsv[] = "导出CSV文件";
inline constexpr char kCmdExportVCard[] = "导出vCard文件";
inline constexpr char kMsgCsvExportDone[] = "导出CSV文件完成!";
inline constexpr char kMsgCsvExportFailed[] = "导出CSV文件失败!";
inline constexpr char kMsgVCardExportDone[] = "导出vCard文件完成!";
inline constexpr char kMsgVCardExportFailed[] = "导出vCard文件失败!";
inline constexpr char kMsgExportCount[] = "共导出%d个联系人";  // after the completion text
inline constexpr char kMsgExportWhichGroup[] =
    "只导出当前分组“%1”的联系人吗？\n选“否”导出全部联系人。";
inline constexpr char kCsvSaveFilterGbk[] = "CSV 文件 (GBK) (*.csv)";
inline constexpr char kCsvSaveFilterUtf8[] = "CSV 文件 (UTF-8, 电子表格) (*.csv)";
inline constexpr char kVCardSaveFilter[] = "vCard 文件 (*.vcf)";

// The preview of a file that is not the program's own kind.
inline constexpr char kMsgCsvPreviewTitle[] = "导入CSV文件";
inline constexpr char kMsgCsvPreviewHint[] =
    "这个文件不是本程序的格式。请检查文件编码和每一列要填入的字段，然后按“确定”导入。";
inline constexpr char kMsgCsvPreviewEncoding[] = "文件编码：";
inline constexpr char kMsgCsvPreviewField[] = "字段";
inline constexpr char kMsgCsvPreviewRows[] = "共%1行，显示前%2行";
inline constexpr char kMsgCsvPreviewBadEncoding[] = "无法按这种编码读取这个文件!";
inline constexpr char kMsgAddressBookOpenFailed[] = "打开系统通讯簿失败!";
inline constexpr char kMsgAddressBookImportDone[] = "导入系统通讯簿完成!";

// The CSV file dialog's filter, as the product writes it, and the same choice in the form
// a Qt file dialog takes (upper and lower case spellings, since Linux file names keep case).
inline constexpr char kCsvFileFilter[] = "Csv Files (*.Csv)|*.Csv||All files (*.*)|*.*||";
inline constexpr char kCsvFileFilterQt[] = "Csv Files (*.Csv *.csv *.CSV);;All files (*)";

// The file dialog step of an import: returns the chosen path, or an empty text when the
// user cancelled.
using FileChooser = std::function<std::string()>;

enum class ImportSource { kCsv, kAddressBook, kOutlook };

// The message an import ends with: the CSV import has its own pair, the address book and
// Outlook share theirs.
inline const char* ImportResultMessage(ImportSource source, bool ok) {
    if (source == ImportSource::kCsv) return ok ? kMsgCsvImportDone : kMsgCsvOpenFailed;
    return ok ? kMsgAddressBookImportDone : kMsgAddressBookOpenFailed;
}

}  // namespace kavo
