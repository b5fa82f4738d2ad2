// Pictures of the windows for docs/screenshots, with the demo user's real data. Runs only
// when KAVO_SCREENSHOT_DIR names the folder to write to.
#include <gtest/gtest.h>

#include <QDir>
#include <QPixmap>
#include <QTreeWidgetItem>

#include "command_dialogs_support.h"
#include "dialogs/about_dlg.h"
#include "dialogs/csv_preview_dlg.h"
#include "dialogs/group_edit_dlg.h"
#include "dialogs/group_manage_dlg.h"
#include "dialogs/history_dlg.h"
#include "dialogs/personal_info_dlg.h"
#include "dialogs/statistics_dlg.h"
#include "dialogs/waitting_dlg.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "skin/skin_list_ctrl.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"

using namespace kavo;

namespace {

class CommandScreenshots : public test::CommandDialogTest {
protected:
    void SetUp() override {
        const char* dir = std::getenv("KAVO_SCREENSHOT_DIR");
        if (!dir || !*dir) GTEST_SKIP() << "KAVO_SCREENSHOT_DIR not set";
        out = QDir(QString::fromLocal8Bit(dir));
        ASSERT_TRUE(out.mkpath(QStringLiteral(".")));
        CommandDialogTest::SetUp();
        StartServer();
        ASSERT_TRUE(LogIn("demo", "demo123"));
    }
    void Save(QWidget& w, const char* name) {
        EXPECT_TRUE(w.grab().save(out.filePath(QString::fromUtf8(name) + ".png"), "PNG")) << name;
    }
    QDir out;
};

TEST_F(CommandScreenshots, WritesTheWindowPictures) {
    {
        CZPWaittingDlg progress(CZPWaittingDlg::kStore, client());
        progress.OnProgress(1234);
        Save(progress, "waitting_store");
    }
    MergeContacts({test::ChineseContact(1, "同事"), test::ChineseContact(2, "同事"),
                   test::ChineseContact(3, "家人"), test::ChineseContact(4, ""),
                   test::ChineseContact(5, "")});
    {
        CCsvImportPlan plan;
        ASSERT_TRUE(plan.LoadBytes(
            "First Name,Last Name,Organization Name,Phone 1 - Label,Phone 1 - Value,"
            "E-mail 1 - Value,Birthday,Notes\r\n"
            "明,李,星辰科技,Mobile,+86 138 0013 8000,liming@xingchen.example,1985-07-21,同学\r\n"
            "Anna,Schmidt,,Home,+49 30 1234567,anna@example.org,,\r\n"));
        CZPCsvPreviewDlg preview(plan);
        preview.show();
        Save(preview, "csv_preview");
    }
    {
        CZPGroupEditDlg groups;
        groups.Table()->setCurrentItem(groups.Table()->topLevelItem(1));
        groups.NameEdit()->setText(QStringLiteral("同事"));
        Save(groups, "group_edit");
    }
    {
        CZPGroupManageDlg manage(0);
        manage.RightGroup()->setCurrentIndex(
            CDataAccess::FindGroup(AppState().GroupNames, Utf8ToGbk("同事")));
        manage.LeftList()->topLevelItem(0)->setSelected(true);
        Save(manage, "group_manage");
    }
    {
        CZPPersonalInfoDlg info(client(), nullptr);
        info.show();
        ASSERT_TRUE(test::WaitUntil([&] { return !info.IsBusy(); }));
        info.OldPassword()->setText("demo123");
        Save(info, "personal_info");
    }
    {
        CZPStatisticsDlg stats(client(), nullptr);
        stats.show();
        ASSERT_TRUE(test::WaitUntil([&] { return !stats.IsBusy(); }));
        Save(stats, "statistics");
    }
    {
        CZPHistoryDlg history(client(), nullptr);
        history.show();
        ASSERT_TRUE(test::WaitUntil([&] { return !history.IsBusy(); }));
        Save(history, "history");
    }
    CZPAbout about;
    Save(about, "about");
}

}  // namespace
