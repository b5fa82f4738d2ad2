#include "app/contact_printer.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"

namespace {

// The text of a PDF page as pdftotext lays it out; empty when it cannot be read.
QString PdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
    return QString::fromUtf8(p.readAllStandardOutput());
}

int PdfImageCount(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path});
    if (!p.waitForFinished(30000) || p.exitCode() != 0) return -1;
    // Two header lines, then one line per image.
    return int(QString::fromUtf8(p.readAllStandardOutput())
                   .trimmed()
                   .split(QLatin1Char('\n'))
                   .size()) -
           2;
}

class ContactPrinterTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
    }
    void TearDown() override { CZPMessageScript::Reset(); }
    // Forgets what was shown; unanswered boxes still close as if cancelled.
    static void Rescript() {
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
    }

    QString PrintToPdf(const kavo::CRelData& record, QPrinter::PrinterMode mode) {
        const QString path = dir_.filePath(QStringLiteral("sheet.pdf"));
        QFile::remove(path);
        QPrinter printer(mode);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        EXPECT_TRUE(CZPContactPrinter::Print(record, printer));
        EXPECT_EQ(printer.docName(), QStringLiteral("test"));
        return path;
    }

    QTemporaryDir dir_;
};

kavo::CRelData SampleContact() {
    kavo::CRelData r;
    kavo::SetFieldUtf8(r.RelName, "张三");
    kavo::SetFieldUtf8(r.CorpPosition, "经理");
    kavo::SetFieldUtf8(r.MobilePhone1, "13800000001");
    kavo::SetFieldUtf8(r.QQ, "123456");
    kavo::SetFieldUtf8(r.E_mail, "zhang@example.com");
    kavo::SetFieldUtf8(r.Account5, "6222000000000005");
    kavo::SetFieldUtf8(r.RelRemark, "第一行\r\n第二行");
    return r;
}

TEST_F(ContactPrinterTest, EveryLabelAndValueIsPrintedAndARemarkStaysOneLine) {
    const QString text = PdfText(PrintToPdf(SampleContact(), QPrinter::HighResolution));
    ASSERT_FALSE(text.isEmpty()) << "pdftotext could not read the sheet";
    for (const char* label :
         {"姓名",      "职位",      "生日",      "身份证",    "工作地址",  "邮政编码",  "家庭地址",
          "昵称",      "手机号码1", "Kesh号",    "手机号码2", "MSN",       "手机号码3", "QQ",
          "家庭电话",  "ICQ",       "办公电话1", "电子邮件",  "办公电话2", "公司主页",  "办公电话3",
          "分组",      "传真",      "客户ID",    "周年记念",  "银行账号1", "银行账号2", "银行账号3",
          "银行账号4", "银行账号5", "铃声",      "备注"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(label))) << label;
    }
    for (const char* value :
         {"张三", "经理", "13800000001", "123456", "zhang@example.com", "6222000000000005"}) {
        EXPECT_TRUE(text.contains(QString::fromUtf8(value))) << value;
    }
    // Label and value of a row share a line; the remark is one line.
    const QStringList lines = text.split(QLatin1Char('\n'));
    auto lineWith = [&lines](const QString& s) {
        for (const QString& l : lines)
            if (l.contains(s)) return l;
        return QString();
    };
    EXPECT_TRUE(lineWith(QStringLiteral("姓名")).contains(QStringLiteral("张三")));
    EXPECT_TRUE(lineWith(QStringLiteral("姓名")).contains(QStringLiteral("经理")));
    EXPECT_TRUE(lineWith(QStringLiteral("备注")).contains(QStringLiteral("第一行 第二行")));
    EXPECT_TRUE(lineWith(QStringLiteral("银行账号5")).contains(QStringLiteral("6222000000000005")));
}

TEST_F(ContactPrinterTest, PositionsAreDeviceUnitsSoALowResolutionPageHoldsFewerRows) {
    // At 96 units per inch row 20 (y = 1560) lies below an A4 page of about 1100 units.
    const QString text = PdfText(PrintToPdf(SampleContact(), QPrinter::ScreenResolution));
    EXPECT_TRUE(text.contains(QStringLiteral("张三")));
    EXPECT_FALSE(text.contains(QStringLiteral("备注")));
}

TEST_F(ContactPrinterTest, ThePictureIsPrintedWhenItLoadsAndLeftOutOtherwise) {
    kavo::CRelData record = SampleContact();
    const QString picture = dir_.filePath(QStringLiteral("照片.png"));
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(picture));
    kavo::SetFieldUtf8(record.Picture, picture.toStdString());
    EXPECT_EQ(PdfImageCount(PrintToPdf(record, QPrinter::HighResolution)), 1);

    kavo::SetFieldUtf8(record.Picture, dir_.filePath(QStringLiteral("missing.png")).toStdString());
    const QString path = PrintToPdf(record, QPrinter::HighResolution);
    EXPECT_EQ(PdfImageCount(path), 0);
    EXPECT_TRUE(PdfText(path).contains(QStringLiteral("张三")));
}

TEST_F(ContactPrinterTest, TheCommandAsksFirstAndWithoutAPrinterOffersAPdfFile) {
    int gathered = 0;
    auto gather = [&gathered] {
        ++gathered;
        return SampleContact();
    };
    CZPMessageScript::SetNextAnswer(kIdNo);
    EXPECT_FALSE(CZPContactPrinter::PrintCurrentContact(nullptr, gather));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 1);
    EXPECT_EQ(CZPMessageScript::Shown()[0].text, QStringLiteral("是否打印当前联系人?"));
    EXPECT_EQ(CZPMessageScript::Shown()[0].icon, kMsgIconQuestion);
    EXPECT_EQ(CZPMessageScript::Shown()[0].buttons, kMsgYesNo);
    EXPECT_EQ(gathered, 0);

    CZPContactPrinter::SetHasPrinterForTests(false);
    QStringList suggestions;
    QString chosen;
    CZPContactPrinter::SetPdfChooserForTests([&](const QString& suggested) {
        suggestions << suggested;
        return chosen;
    });
    const QString offer = QStringLiteral("没有找到默认打印机，是否将联系人保存为PDF文件?");

    // No to the offer, and a cancelled file dialog: nothing is written or said afterwards.
    Rescript();
    CZPMessageScript::QueueAnswers({kIdYes, kIdNo});
    EXPECT_FALSE(CZPContactPrinter::PrintCurrentContact(nullptr, gather));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 2);
    EXPECT_EQ(CZPMessageScript::Shown()[1].text, offer);
    EXPECT_TRUE(suggestions.isEmpty());
    Rescript();
    CZPMessageScript::QueueAnswers({kIdYes, kIdYes});
    EXPECT_FALSE(CZPContactPrinter::PrintCurrentContact(nullptr, gather));
    EXPECT_EQ(CZPMessageScript::Shown().size(), 2);
    ASSERT_EQ(suggestions.size(), 1);
    EXPECT_TRUE(suggestions[0].endsWith(QStringLiteral("/张三.pdf")))
        << suggestions[0].toStdString();

    // Yes and a file: the sheet is saved there (".pdf" added) and the user is told.
    chosen = dir_.filePath(QStringLiteral("card"));
    Rescript();
    CZPMessageScript::QueueAnswers({kIdYes, kIdYes});
    EXPECT_TRUE(CZPContactPrinter::PrintCurrentContact(nullptr, gather));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 3);
    EXPECT_EQ(CZPMessageScript::Shown()[2].icon, kMsgIconSuccess);
    const QString pdf = chosen + QStringLiteral(".pdf");
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("张三")));

    // A folder that cannot be written: the failure is said, not hidden.
    chosen = dir_.filePath(QStringLiteral("missing/folder/card.pdf"));
    Rescript();
    CZPMessageScript::QueueAnswers({kIdYes, kIdYes});
    EXPECT_FALSE(CZPContactPrinter::PrintCurrentContact(nullptr, gather));
    ASSERT_EQ(CZPMessageScript::Shown().size(), 3);
    EXPECT_EQ(CZPMessageScript::Shown()[2].icon, kMsgIconError);

    CZPContactPrinter::SetHasPrinterForTests(std::nullopt);
    CZPContactPrinter::SetPdfChooserForTests({});
}

}  // namespace
