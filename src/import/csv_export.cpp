#include "import/csv_export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

#include "codecs/gbk_text.h"

namespace kavo {
namespace {

struct Column {
    const char* label;  // UTF-8, exactly as the import looks for it
    std::size_t offset;
    std::size_t width;
};

#define KAVO_COLUMN(label, f) \
    Column { label, offsetof(CRelData, f), sizeof(CRelData::f) }
// The import's slot order, so that every label lands in its own slot whatever the
// header's length; the remark last.
constexpr Column kColumns[] = {
    KAVO_COLUMN("姓名", RelName),
    KAVO_COLUMN("组织", KeshNum),
    KAVO_COLUMN("头衔", CorpPosition),
    KAVO_COLUMN("移动电话(公)", MobilePhone1),
    KAVO_COLUMN("移动电话(私)", MobilePhone2),
    KAVO_COLUMN("住宅电话", HomePhone),
    KAVO_COLUMN("商务电话1", OfficePhone1),
    KAVO_COLUMN("商务电话2", OfficePhone2),
    KAVO_COLUMN("呢称", NickName),
    KAVO_COLUMN("生日", Birthday),
    KAVO_COLUMN("纪念日", Anniversary),
    KAVO_COLUMN("工作地址", CompanyAddr),
    KAVO_COLUMN("住宅地址", HomeAddr),
    KAVO_COLUMN("主页", CompanyWeb),
    KAVO_COLUMN("工作地邮编", ZipCode),
    KAVO_COLUMN("邮件一", E_mail),
    KAVO_COLUMN("商务传真", OfficeFax),
    KAVO_COLUMN("响铃文件路径", Ring),
    KAVO_COLUMN("备注", RelRemark),
};
#undef KAVO_COLUMN
constexpr std::size_t kRemarkColumn = std::size(kColumns) - 1;

// A double quote would end the import's line and a line feed the record. No trail byte
// of a GBK character is '"' or '\n', so bytes can be replaced one by one.
void AppendQuoted(std::string& line, std::string_view value) {
    line += '"';
    for (char c : value) line += c == '"' ? '\'' : c == '\n' ? ' ' : c;
    line += '"';
}

// The value that the import turns back into `remark`: it files the remark column as
// "备注:value ", so a remark of that form is written without its frame.
std::string_view RemarkValue(std::string_view remark) {
    static const std::string prefix = Utf8ToGbk("备注:");
    if (remark.size() > prefix.size() + 1 && remark.substr(0, prefix.size()) == prefix &&
        remark.back() == ' ')
        return remark.substr(prefix.size(), remark.size() - prefix.size() - 1);
    return remark;
}

}  // namespace

const std::vector<std::string>& CsvExportLabels() {
    static const std::vector<std::string> labels = [] {
        std::vector<std::string> out;
        for (const Column& c : kColumns) out.emplace_back(c.label);
        return out;
    }();
    return labels;
}

std::string CsvExportText(const std::vector<CRelData>& contacts, bool utf8Bom) {
    std::string text;
    for (std::size_t i = 0; i < std::size(kColumns); ++i) {
        if (i) text += ',';
        text += Utf8ToGbk(kColumns[i].label);
    }
    text += "\r\n";
    for (const CRelData& rel : contacts) {
        for (std::size_t i = 0; i < std::size(kColumns); ++i) {
            if (i) text += ',';
            const char* field = reinterpret_cast<const char*>(&rel) + kColumns[i].offset;
            std::string_view value = FieldText(field, kColumns[i].width);
            AppendQuoted(text, i == kRemarkColumn ? RemarkValue(value) : value);
        }
        text += "\r\n";
    }
    if (utf8Bom) return "\xEF\xBB\xBF" + GbkToUtf8(text);
    return text;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    if (path.empty()) return false;
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());  // 0600: contacts are nobody else's business
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

bool WriteCsvContacts(const std::string& path, const std::vector<CRelData>& contacts,
                      bool utf8Bom) {
    return WriteFileAtomically(path, CsvExportText(contacts, utf8Bom));
}

}  // namespace kavo
