#include "app/contact_printer.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QString>

#include "codecs/gbk_text.h"
#include "dialogs/file_dialog.h"
#include "dialogs/message_box.h"

namespace {

constexpr const char* kAskPrint = "是否打印当前联系人?";
constexpr const char* kAskPdf = "没有找到默认打印机，是否将联系人保存为PDF文件?";
constexpr const char* kPdfSaved = "联系人已保存为PDF文件!";
constexpr const char* kPdfFailed = "保存PDF文件失败，请检查文件夹是否可写!";

std::optional<bool>& HasPrinterOverride() {
    static std::optional<bool> value;
    return value;
}

std::function<QString(const QString&)>& PdfChooser() {
    static std::function<QString(const QString&)> choose;
    return choose;
}

using FieldOf = std::string_view (*)(const kavo::CRelData&);

// A row of the sheet; a side without a label stays empty.
struct SRow {
    const char* leftLabel;
    FieldOf left;
    const char* rightLabel;
    FieldOf right;
};

#define KAVO_FIELD(name) [](const kavo::CRelData& r) { return kavo::FieldText(r.name); }

const SRow kSheetRows[CZPContactPrinter::kRows] = {
    {"姓名", KAVO_FIELD(RelName), "职位", KAVO_FIELD(CorpPosition)},
    {"生日", KAVO_FIELD(Birthday), "身份证", KAVO_FIELD(IDCard)},
    {nullptr, nullptr, "工作地址", KAVO_FIELD(CompanyAddr)},
    {"邮政编码", KAVO_FIELD(ZipCode), "家庭地址", KAVO_FIELD(HomeAddr)},
    {"昵称", KAVO_FIELD(NickName), "手机号码1", KAVO_FIELD(MobilePhone1)},
    {"Kesh号", KAVO_FIELD(KeshNum), "手机号码2", KAVO_FIELD(MobilePhone2)},
    {"MSN", KAVO_FIELD(MSN), "手机号码3", KAVO_FIELD(MobilePhone3)},
    {"QQ", KAVO_FIELD(QQ), "家庭电话", KAVO_FIELD(HomePhone)},
    {"ICQ", KAVO_FIELD(ICQ), "办公电话1", KAVO_FIELD(OfficePhone1)},
    {"电子邮件", KAVO_FIELD(E_mail), "办公电话2", KAVO_FIELD(OfficePhone2)},
    {"公司主页", KAVO_FIELD(CompanyWeb), "办公电话3", KAVO_FIELD(OfficePhone3)},
    {"分组", KAVO_FIELD(GroupName), "传真", KAVO_FIELD(OfficeFax)},
    {"客户ID", KAVO_FIELD(ClientID), "周年记念", KAVO_FIELD(Anniversary)},
    {"银行账号1", KAVO_FIELD(Account1), nullptr, nullptr},
    {"银行账号2", KAVO_FIELD(Account2), nullptr, nullptr},
    {"银行账号3", KAVO_FIELD(Account3), nullptr, nullptr},
    {"银行账号4", KAVO_FIELD(Account4), nullptr, nullptr},
    {"银行账号5", KAVO_FIELD(Account5), nullptr, nullptr},
    {"铃声", KAVO_FIELD(Ring), nullptr, nullptr},
    {"备注", KAVO_FIELD(RelRemark), nullptr, nullptr},
};

#undef KAVO_FIELD

// A value is one line: the line breaks of a multi-line remark become blanks.
QString OneLine(std::string_view gbk) {
    QString text = QString::fromStdString(kavo::GbkToUtf8(gbk));
    text.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}

// Text starts at its point: the point is the top-left corner of the line, not its baseline.
void DrawAt(QPainter& painter, int x, int y, const QString& text) {
    if (text.isEmpty()) return;
    const QFontMetrics metrics(painter.font(), painter.device());
    painter.drawText(QPoint(x, y + metrics.ascent()), text);
}

}  // namespace

bool CZPContactPrinter::Print(const kavo::CRelData& record, QPrinter& printer) {
    printer.setDocName(QStringLiteral("test"));
    QPainter painter;
    if (!painter.begin(&printer)) return false;

    const int width = printer.width();
    const int height = printer.height();
    const int columns[2] = {kMargin, width / 2};

    // The printer's default font, unless a line of it would not fit its row (a printer of
    // high resolution): then it is made as tall as half a row, so rows never overlap.
    QFont font = painter.font();
    if (QFontMetrics(font, &printer).height() > kRowStep * 3 / 4) font.setPixelSize(kRowStep / 2);
    painter.setFont(font);
    painter.setPen(Qt::black);

    for (int i = 0; i < kRows; ++i) {
        const SRow& row = kSheetRows[i];
        const int y = kMargin + kRowStep * i;
        const struct {
            const char* label;
            FieldOf field;
        } sides[2] = {{row.leftLabel, row.left}, {row.rightLabel, row.right}};
        for (int side = 0; side < 2; ++side) {
            if (!sides[side].label) continue;
            DrawAt(painter, columns[side], y, QString::fromUtf8(sides[side].label));
            DrawAt(painter, columns[side] + kValueOffset, y, OneLine(sides[side].field(record)));
        }
    }

    const QString picture = QString::fromStdString(kavo::FieldUtf8(record.Picture));
    QImage image;
    if (!picture.isEmpty() && image.load(picture)) {
        const QRect target(QPoint(kMargin, kPictureTop), QPoint(width - kMargin, height - kMargin));
        if (target.isValid()) painter.drawImage(target, image);
    }
    return painter.end();
}

bool CZPContactPrinter::SaveAsPdf(const kavo::CRelData& record, const QString& path) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    // QPrinter reports a file it could not open only through the painter.
    return Print(record, printer) && QFileInfo(path).size() > 0;
}

void CZPContactPrinter::SetHasPrinterForTests(std::optional<bool> hasPrinter) {
    HasPrinterOverride() = hasPrinter;
}

void CZPContactPrinter::SetPdfChooserForTests(
    std::function<QString(const QString& suggested)> choose) {
    PdfChooser() = std::move(choose);
}

bool CZPContactPrinter::PrintCurrentContact(QWidget* owner,
                                            const std::function<kavo::CRelData()>& gather) {
    if (ZPMessageBox(owner, QString::fromUtf8(kAskPrint), kMsgIconQuestion, kMsgYesNo) != kIdYes)
        return false;
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    const bool hasPrinter = HasPrinterOverride() ? *HasPrinterOverride() : !defaultPrinter.isNull();
    const kavo::CRelData record = gather ? gather() : kavo::CRelData();
    if (hasPrinter && !defaultPrinter.isNull()) {
        QPrinter printer(defaultPrinter, QPrinter::HighResolution);
        return Print(record, printer);
    }
    // Many desktops have no printer set up: saying nothing would leave the user guessing.
    if (ZPMessageBox(owner, QString::fromUtf8(kAskPdf), kMsgIconQuestion, kMsgYesNo) != kIdYes)
        return false;
    QString name = QString::fromStdString(kavo::GbkToUtf8(kavo::FieldText(record.RelName)));
    name.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
    if (name.trimmed().isEmpty()) name = QStringLiteral("contact");
    const QString suggested = QDir::home().filePath(name + QStringLiteral(".pdf"));
    QString path = PdfChooser() ? PdfChooser()(suggested)
                                : ChooseFileToSave(owner, QStringLiteral("PDF (*.pdf)"), suggested);
    if (path.isEmpty()) return false;  // cancelled
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) path += QStringLiteral(".pdf");
    const bool saved = SaveAsPdf(record, path);
    ZPMessageBox(owner, QString::fromUtf8(saved ? kPdfSaved : kPdfFailed),
                 saved ? kMsgIconSuccess : kMsgIconError, kMsgOk);
    return saved;
}
