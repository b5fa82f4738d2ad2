// The look at a CSV file of another program before it is imported, through the real
// import over a real local store.
#include "dialogs/csv_preview_dlg.h"

#include <gtest/gtest.h>

#include <QTableWidget>
#include <fstream>

#include "command_dialogs_support.h"
#include "skin/skin_combo_box.h"
#include "store/data_access.h"
#include "workflows/import_flow.h"

using namespace kavo;

namespace {

class CsvPreviewTest : public test::CommandDialogTest {
protected:
    void SetUp() override {
        CommandDialogTest::SetUp();
        AppState().SetCurrentUser("previewer", "pw");
    }
    std::string WriteCsv(const std::string& name, const std::string& bytes) {
        const std::string path = programDir() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    // Runs the import of `path`; the preview window is built, handed to `use`, and ended
    // by the button `use` returns.
    CImportOutcome Import(const std::string& path,
                          const std::function<int(CZPCsvPreviewDlg&)>& use) {
        return ImportCsv([path] { return path; },
                         [this, use](CCsvImportPlan& plan) {
                             ++previews;
                             CZPCsvPreviewDlg dlg(plan);
                             dlg.OnSkinButton(use(dlg));
                             return dlg.result() == QDialog::Accepted;
                         });
    }
    static std::vector<CRelData> Stored() {
        std::vector<CRelData> out;
        CDataAccess().LoadContacts(out);
        return out;
    }
    static void Choose(CZPSkinComboBox* box, const char* utf8) {
        ASSERT_NE(box, nullptr);
        const int index = box->findText(QString::fromUtf8(utf8));
        ASSERT_GE(index, 0) << utf8;
        box->setCurrentIndex(index);
    }
    int previews = 0;
};

}  // namespace

TEST_F(CsvPreviewTest, ChangedFieldsAreWhatTheImportUses) {
    const std::string path = WriteCsv("web.csv",
                                      "Name,Phone,Notes\r\n"
                                      "吴十,13100000010,常联系\r\n"
                                      "郑一,13100000011,\r\n");
    CImportOutcome outcome = Import(path, [](CZPCsvPreviewDlg& dlg) {
        // What the file says and where each column goes by default.
        EXPECT_EQ(dlg.EncodingBox()->currentText(), QStringLiteral("UTF-8"));
        EXPECT_EQ(dlg.Table()->columnCount(), 3);
        EXPECT_EQ(dlg.Table()->rowCount(), 3);  // the field row and two rows of the file
        EXPECT_EQ(dlg.Table()->item(1, 0)->text(), QStringLiteral("吴十"));
        EXPECT_EQ(dlg.TargetBox(1)->currentText(), QStringLiteral("商务电话1"));
        EXPECT_EQ(dlg.TargetBox(2)->currentText(), QStringLiteral("附注"));
        Choose(dlg.TargetBox(1), "移动电话(公)");
        Choose(dlg.TargetBox(2), "忽略");
        return CZPCsvPreviewDlg::kCodeOk;
    });
    EXPECT_EQ(previews, 1);
    ASSERT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(outcome.message, "导入CSV文件完成! 共导入2个联系人");
    std::vector<CRelData> stored = Stored();
    ASSERT_EQ(stored.size(), 2u);
    for (const CRelData& r : stored) {
        EXPECT_EQ(FieldText(r.OfficePhone1), "");
        EXPECT_EQ(FieldText(r.RelRemark), "");
    }
    EXPECT_EQ(FieldUtf8(stored[0].MobilePhone1).substr(0, 4), "1310");
}

TEST_F(CsvPreviewTest, AChangedEncodingReadsTheFileAgain) {
    // A Big5 file passes for GBK until the user says otherwise.
    const std::string big5 =
        "\xA9\x6D\xA6\x57,\xA4\xE2\xBE\xF7\r\n"   // 姓名,手機
        "\xB3\xAF\xA4\x6A\xA4\xE5,98765432\r\n";  // 陳大文
    const std::string path = WriteCsv("big5.csv", big5);
    CImportOutcome outcome = Import(path, [](CZPCsvPreviewDlg& dlg) {
        EXPECT_EQ(dlg.EncodingBox()->currentText(), QStringLiteral("GBK"));
        EXPECT_NE(dlg.Table()->item(1, 0)->text(), QStringLiteral("陳大文"));
        // An encoding the file does not split in is refused and the choice goes back.
        Choose(dlg.EncodingBox(), "UTF-16BE");
        EXPECT_EQ(LastText(), QString::fromUtf8(kMsgCsvPreviewBadEncoding));
        EXPECT_EQ(dlg.EncodingBox()->currentText(), QStringLiteral("GBK"));

        Choose(dlg.EncodingBox(), "BIG5");
        EXPECT_EQ(dlg.Table()->item(1, 0)->text(), QStringLiteral("陳大文"));
        EXPECT_EQ(dlg.TargetBox(0)->currentText(), QStringLiteral("姓名"));
        return CZPCsvPreviewDlg::kCodeOk;
    });
    ASSERT_TRUE(outcome.ok) << outcome.message;
    std::vector<CRelData> stored = Stored();
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(FieldUtf8(stored[0].RelName), "陳大文");
}

TEST_F(CsvPreviewTest, CancelImportsNothingAndOwnFilesSkipThePreview) {
    const std::string web = WriteCsv("web.csv", "Full Name,Mobile Phone\r\nAnn Lee,555\r\n");
    for (int code : {CZPCsvPreviewDlg::kCodeCancel, CZPCsvPreviewDlg::kCodeClose}) {
        CImportOutcome outcome = Import(web, [code](CZPCsvPreviewDlg&) { return code; });
        EXPECT_TRUE(outcome.cancelled);
        EXPECT_FALSE(outcome.ok);
        EXPECT_TRUE(outcome.message.empty());
        EXPECT_TRUE(AppState().ContactList.empty());
        EXPECT_TRUE(Stored().empty());
    }
    EXPECT_EQ(previews, 2);

    // The program's own kind of file goes straight in.
    const std::string own = WriteCsv("own.csv", Utf8ToGbk("姓名,移动电话(公)\r\n王二,138\r\n"));
    CImportOutcome outcome = Import(own, [](CZPCsvPreviewDlg&) {
        ADD_FAILURE() << "no preview for the program's own files";
        return CZPCsvPreviewDlg::kCodeCancel;
    });
    EXPECT_TRUE(outcome.ok) << outcome.message;
    EXPECT_EQ(previews, 2);
    EXPECT_EQ(Stored().size(), 1u);
}
