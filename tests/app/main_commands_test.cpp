// The command layer of the main window: menus, tray, hiding, exit and the server commands,
// with the real main window, the real store and the real kavo-server.
#include "app/main_commands.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <fstream>

#include "app/main_dlg.h"
#include "app/tray_icon.h"
#include "app/zp_menu.h"
#include "codecs/gbk_text.h"
#include "dialogs/about_dlg.h"
#include "dialogs/group_edit_dlg.h"
#include "dialogs/login_dlg.h"
#include "dialogs/message_box.h"
#include "dialogs/statistics_dlg.h"
#include "dialogs/waitting_dlg.h"
#include "import/csv_import.h"
#include "main_window_fixture.h"
#include "session_fixture.h"
#include "skin/skin_button.h"
#include "skin/skin_dialog.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"

using namespace kavo;

namespace {

// A contact of a name and a first mobile number (UTF-8).
CRelData Person(const char* name, const char* mobile) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, name);
    SetField(rel.MobilePhone1, mobile);
    return rel;
}

QStringList Captions(const CZPCommandMenu& menu) {
    QStringList captions;
    for (QAction* action : menu.actions()) captions << action->text();
    return captions;
}

TEST(CommandMenusTest, ToolbarAndNotifyMenusCarryTheirIdentifiersAndCaptions) {
    CZPMenu store(23), operations(24), view(25), personal(27), none(26);
    EXPECT_EQ(store.Ids(), (QList<int>{32773, 32774, 32805, 32825, 32827, 32828, 32829}));
    EXPECT_EQ(Captions(store),
              (QStringList{"上传通讯录", "下载通讯录", "导入windows通讯薄", "导入Outlook通讯薄",
                           "导入CSV逗号分割文件", "导出CSV文件", "导出vCard文件"}));
    EXPECT_EQ(operations.Ids(), (QList<int>{32788, 32789, 32791, 32792, 32793, 32795}));
    EXPECT_EQ(Captions(operations),
              (QStringList{"新增", "保存", "打印", "删除", "登录/注册", "分组管理"}));
    EXPECT_EQ(view.Ids(), (QList<int>{32786, 32787}));
    EXPECT_EQ(Captions(view), (QStringList{"数据统计", "历史操作"}));
    EXPECT_EQ(personal.Ids(), (QList<int>{32796, 32802}));
    EXPECT_EQ(Captions(personal), (QStringList{"个人资料", "关于产品"}));
    EXPECT_TRUE(none.Ids().isEmpty());

    CZPNotifyMenu notify;
    EXPECT_EQ(notify.Ids(),
              (QList<int>{32819, 32816, 32820, 32821, 32822, 32823, 32824, 32809, 32810}));
    EXPECT_EQ(Captions(notify), (QStringList{"储存通讯录", "还原通讯录", "个人资料", "立即充值",
                                             "关于", "注册", "登陆", "主窗口", "退出"}));
    int chosen = 0;
    QObject::connect(&notify, &CZPCommandMenu::commandChosen, [&](int id) { chosen = id; });
    notify.Action(32821)->trigger();
    EXPECT_EQ(chosen, 32821);
}

class MainCommandsTest : public test::MainWindowTest {
protected:
    MainCommandsTest() : MainWindowTest("cmduser") {}
};

TEST_F(MainCommandsTest, HidingAsksToUploadOnlyWhenOnlineAndChanged) {
    EXPECT_TRUE(commands->Tray()->IsAdded());
    EXPECT_FALSE(commands->Tray()->Balloon());
    EXPECT_EQ(commands->Tray()->Tip(), msg::kTrayRunning);

    // Online, unchanged: hidden without a question, the icon now with its balloon.
    AppState().ContactsChanged = false;
    main->OnSkinButton(CZPMainDlg::kCodeClose);
    EXPECT_FALSE(main->isVisible());
    EXPECT_FALSE(Asked(msg::kAskUploadChanged));
    EXPECT_TRUE(commands->Tray()->Balloon());
    EXPECT_EQ(commands->Tray()->BalloonTitle(), msg::kCaption);

    // The icon's left click brings it back; hiding twice leaves one icon.
    emit commands->Tray()->Icon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(main->isVisible());
    main->OnSkinButton(CZPMainDlg::kCodeMinimise);
    main->OnSkinButton(CZPMainDlg::kCodeMinimise);
    EXPECT_TRUE(commands->Tray()->IsAdded());
    commands->ShowMainWindow(true);

    // Offline and changed: no question either.
    AppState().ContactsChanged = true;
    AppState().LoginMode = 1;
    main->OnSkinButton(CZPMainDlg::kCodeClose);
    EXPECT_FALSE(Asked(msg::kAskUploadChanged));
    commands->ShowMainWindow(true);

    // Online and changed: asked; Yes stores and clears the mark.
    AppState().LoginMode = 2;
    MergeContacts({Person("王小明", "13912345678")});
    CZPMessageScript::QueueAnswers({kIdYes});
    main->OnSkinButton(CZPMainDlg::kCodeClose);
    EXPECT_TRUE(Asked(msg::kAskUploadChanged));
    EXPECT_TRUE(Asked(msg::kStoreDone));
    EXPECT_FALSE(AppState().ContactsChanged);
    EXPECT_FALSE(main->isVisible());
    std::uint32_t onServer = 0;
    ASSERT_TRUE(client().ContactCount(onServer));
    EXPECT_EQ(onServer, 1u);
}

TEST_F(MainCommandsTest, WithoutANotificationAreaMinimiseMinimisesAndCloseAsksToQuit) {
    CTrayIcon::SetAvailableForTests(false);
    main->OnSkinButton(CZPMainDlg::kCodeMinimise);
    EXPECT_TRUE(main->isVisible());
    EXPECT_TRUE(main->isMinimized());
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    commands->OnCommand(menu_id::kNotifyMainWindow);
    EXPECT_FALSE(main->isMinimized());

    // The close box is the way out, after the exit question; No keeps the window.
    CZPMessageScript::QueueAnswers({kIdNo});
    main->OnSkinButton(CZPMainDlg::kCodeClose);
    EXPECT_TRUE(Asked(msg::kAskQuit));
    EXPECT_TRUE(main->isVisible());
    CZPMessageScript::QueueAnswers({kIdYes});
    EXPECT_FALSE(main->close());
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(main->result(), kIdCancel);
}

// The run of the main window, as the program runs it: hiding to the notification area and
// bringing the window back leave it running; only the exit command ends it.
TEST_F(MainCommandsTest, TheRunOutlivesHidingAndEndsWithTheExitCommand) {
    main->hide();
    QStringList steps;
    QTimer::singleShot(0, main.get(), [&] {
        steps << QStringLiteral("running");
        main->OnSkinButton(CZPMainDlg::kCodeClose);
        steps << (main->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
        QTimer::singleShot(50, main.get(), [&] {
            steps << (main->IsRunning() ? QStringLiteral("still running")
                                        : QStringLiteral("ended"));
            emit commands->Tray()->Icon()->activated(QSystemTrayIcon::Trigger);
            steps << (main->isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden"));
            CZPMessageScript::QueueAnswers({kIdYes});
            commands->Tray()->Menu()->Action(menu_id::kNotifyQuit)->trigger();
        });
    });
    EXPECT_EQ(main->Run(), kIdCancel);
    EXPECT_FALSE(main->IsRunning());
    EXPECT_EQ(steps, (QStringList{"running", "hidden", "still running", "shown"}));
    EXPECT_TRUE(Asked(msg::kAskQuit));
    EXPECT_FALSE(commands->Tray()->IsAdded());
}

TEST_F(MainCommandsTest, TrayCommandsWaitWhileAModalWindowRuns) {
    // A progress window of a store or a restore has the user's input.
    CZPSkinDialog progress(main.get());
    progress.setWindowModality(Qt::ApplicationModal);
    progress.show();
    ASSERT_EQ(QApplication::activeModalWidget(), &progress);
    bool opened = false;
    commands->SetDialogRunner([&](QDialog&) { return opened = true, int(kIdCancel); });
    main->hide();
    commands->Tray()->Menu()->Action(menu_id::kNotifyRestore)->trigger();
    commands->Tray()->Menu()->Action(menu_id::kNotifyAbout)->trigger();
    EXPECT_FALSE(opened);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    // The main window may still be brought back.
    commands->Tray()->Menu()->Action(menu_id::kNotifyMainWindow)->trigger();
    EXPECT_TRUE(main->isVisible());
    progress.hide();
    commands->Tray()->Menu()->Action(menu_id::kNotifyAbout)->trigger();
    EXPECT_TRUE(opened);
}

TEST_F(MainCommandsTest, TheDesktopsCloseHidesLikeTheCloseBox) {
    // Alt+F4 or the task bar's close must not end the program behind the user's back.
    EXPECT_FALSE(main->close());
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(commands->Tray()->IsAdded());
    EXPECT_TRUE(commands->Tray()->Balloon());
}

TEST_F(MainCommandsTest, ExitAsksFirstAndNoBringsTheWindowBack) {
    main->hide();
    CZPMessageScript::QueueAnswers({kIdNo});
    commands->OnCommand(menu_id::kNotifyQuit);
    EXPECT_TRUE(Asked(msg::kAskQuit));
    EXPECT_TRUE(main->isVisible());

    AppState().ContactsChanged = true;
    CZPMessageScript::QueueAnswers({kIdYes, kIdNo});  // quit: yes; upload: no
    commands->OnCommand(menu_id::kNotifyQuit);
    EXPECT_TRUE(Asked(msg::kAskUploadChanged));
    EXPECT_FALSE(main->isVisible());
    EXPECT_EQ(main->result(), kIdCancel);
}

TEST_F(MainCommandsTest, ToolbarOpensItsMenuAndTheMenuRunsTheCommand) {
    commands->OnCode(CZPMenu::kView);
    EXPECT_TRUE(commands->Menu(CZPMenu::kView)->isVisible());
    commands->Menu(CZPMenu::kView)->hide();

    QStringList opened;
    commands->SetDialogRunner([&](QDialog& dlg) {
        opened << dlg.metaObject()->className();
        if (auto* stats = qobject_cast<CZPFetchDlg*>(&dlg)) {
            dlg.show();
            while (stats->IsBusy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return int(kIdCancel);
    });
    commands->Menu(CZPMenu::kView)->Action(menu_id::kStatistics)->trigger();
    commands->Menu(CZPMenu::kPersonal)->Action(menu_id::kAboutProduct)->trigger();
    main->OnSkinButton(26);
    EXPECT_EQ(opened, (QStringList{"CZPStatisticsDlg", "CZPAbout", "CZPGroupEditDlg"}));

    QUrl page;
    commands->SetUrlOpener([&](const QUrl& url) { return page = url, true; });
    commands->Tray()->Menu()->Action(menu_id::kNotifyRecharge)->trigger();
    EXPECT_EQ(page.toString().toStdString(), msg::kRechargeUrl);
}

TEST_F(MainCommandsTest, ServerCommandsSayWhenTheNetworkIsGone) {
    server().Stop();
    client().Abort();
    client().Close();
    AppState().LoginMode = 1;
    commands->SetDialogRunner([](QDialog&) -> int {
        ADD_FAILURE() << "no window may open without the server";
        return kIdCancel;
    });
    for (int id : {menu_id::kUpload, menu_id::kDownload, menu_id::kStatistics, menu_id::kHistory}) {
        CZPMessageScript::Reset();
        CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
        commands->OnCommand(id);
        ASSERT_TRUE(CZPMessageScript::LastShown()) << id;
        EXPECT_EQ(CZPMessageScript::LastShown()->text, msg::kNoNetwork) << id;
    }
    // Personal information ends silently.
    CZPMessageScript::Reset();
    commands->OnCommand(menu_id::kPersonalInfo);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
}

TEST_F(MainCommandsTest, RestoreMergesIntoTheMainWindowAndLoginAgainKeepsTheUser) {
    std::vector<CRelData> contacts;
    for (int i = 0; i < 30; ++i) {
        CRelData rel;
        SetFieldUtf8(rel.RelName, "同学" + std::to_string(i));
        SetField(rel.MobilePhone1, "1380000" + std::to_string(1000 + i));
        contacts.push_back(rel);
    }
    MergeContacts(contacts);
    commands->Store();
    std::vector<CRelData> stored;
    CDataAccess local;
    local.LoadContacts(stored);
    for (const CRelData& rel : stored)
        local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1));
    main->ShowView(CZPMainDlg::kViewContacts);
    EXPECT_TRUE(main->Rows().empty());

    commands->OnCommand(menu_id::kNotifyRestore);
    EXPECT_TRUE(Asked(msg::kRestoreDone));
    EXPECT_EQ(main->Rows().size(), 30u);

    // "登录/注册" closed without logging in: the user stays, the contacts view is reloaded.
    commands->SetDialogRunner([](QDialog& dlg) {
        EXPECT_NE(qobject_cast<CZPLoginDlg*>(&dlg), nullptr);
        return int(kIdCancel);
    });
    commands->OnCommand(menu_id::kLoginRegister);
    EXPECT_EQ(AppState().LoginMode.load(), 2);
    EXPECT_EQ(main->CurrentView(), CZPMainDlg::kViewContacts);
    EXPECT_EQ(main->Rows().size(), 30u);
}

TEST_F(MainCommandsTest, ExportsWriteTheGroupOnShowOrAllAndOtherFilesArePreviewed) {
    std::vector<CRelData> contacts;
    for (int i = 0; i < 5; ++i) {
        CRelData rel;
        SetFieldUtf8(rel.RelName, "导出" + std::to_string(i));
        SetField(rel.MobilePhone1, "1390000" + std::to_string(1000 + i));
        SetFieldUtf8(rel.GroupName, i < 2 ? "同事" : "");
        contacts.push_back(rel);
    }
    ASSERT_EQ(MergeContacts(contacts), 5);
    main->Refresh(true);
    main->OnSkinButton(CZPMainDlg::kCodeTab0 + 1);  // the group "同事"
    ASSERT_EQ(main->ViewState().SelectedGroup(), 1);

    test::TempDir out;
    QStringList filters;
    bool spreadsheet = true;
    commands->SetSaveFileChooser([&](const QString& offered, QString* chosen) {
        filters << offered;
        if (spreadsheet) *chosen = offered.split(QStringLiteral(";;")).last();
        return QString::fromStdString(out.path() + "/contacts");
    });
    // Yes: the group on show only, as UTF-8 for a spreadsheet; the suffix is added.
    CZPMessageScript::QueueAnswers({kIdYes, kIdOk});
    commands->Menu(CZPMenu::kStoreRestore)->Action(menu_id::kExportCsv)->trigger();
    EXPECT_TRUE(Asked("导出CSV文件完成! 共导出2个联系人"));
    std::vector<CRelData> back;
    ASSERT_TRUE(ReadCsvContacts(out.path() + "/contacts.csv", back));
    EXPECT_EQ(back.size(), 2u);

    // No: all contacts, as vCard.
    CZPMessageScript::QueueAnswers({kIdNo, kIdOk});
    commands->OnCommand(menu_id::kExportVCard);
    EXPECT_TRUE(Asked("导出vCard文件完成! 共导出5个联系人"));
    ASSERT_EQ(filters.size(), 2);
    EXPECT_TRUE(filters[1].contains(QStringLiteral("*.vcf")));
    // Cancel: nothing is written and nothing more is said.
    const int shown = CZPMessageScript::Shown().size();
    CZPMessageScript::QueueAnswers({kIdCancel});
    commands->OnCommand(menu_id::kExportCsv);
    EXPECT_EQ(CZPMessageScript::Shown().size(), shown + 1);
    EXPECT_EQ(filters.size(), 2);

    // A web mail export is shown in the preview before it is imported.
    const std::string web = out.path() + "/web.csv";
    std::ofstream(web, std::ios::binary) << "Full Name,Mobile Phone\r\nAnn Lee,555\r\n";
    commands->SetFileChooser([&](const QString&) { return QString::fromStdString(web); });
    QStringList opened;
    commands->SetDialogRunner([&](QDialog& dlg) {
        opened << dlg.metaObject()->className();
        return int(QDialog::Accepted);
    });
    commands->OnCommand(menu_id::kImportCsv);
    EXPECT_EQ(opened, QStringList{"CZPCsvPreviewDlg"});
    EXPECT_TRUE(Asked("导入CSV文件完成! 共导入1个联系人"));
}

// An import runs the same merge as a restore, and the status line follows the store.
TEST_F(MainCommandsTest, ImportShowsTheMergedContactsAndTheStatusLineFollowsTheStore) {
    const std::string csv = programDir() + "/friends.csv";
    {
        std::FILE* f = std::fopen(csv.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string text =
            Utf8ToGbk("姓名,移动电话(公)\r\n甲一,13500000001\r\n乙二,13500000002\r\n");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    MergeContacts({Person("丙三", "13900000003")});
    main->ShowView(CZPMainDlg::kViewContacts);
    main->SelectRowByUser(0);
    main->ShowView(CZPMainDlg::kViewSms);
    EXPECT_NE(main->StatusText().indexOf(QStringLiteral("联系人数量0")), -1);

    commands->SetFileChooser([&](const QString&) { return QString::fromStdString(csv); });
    commands->OnCommand(menu_id::kImportCsv);
    EXPECT_EQ(main->CurrentView(), CZPMainDlg::kViewContacts);
    EXPECT_EQ(main->Rows().size(), 3u);
    // The name selected before the import is selected again.
    ASSERT_GE(main->SelectedRow(), 0);
    EXPECT_EQ(main->Rows()[std::size_t(main->SelectedRow())].name, "丙三");

    CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
    commands->OnCommand(menu_id::kUpload);
    EXPECT_TRUE(Asked(msg::kStoreDone));
    EXPECT_NE(main->StatusText().indexOf(QStringLiteral("联系人数量3")), -1)
        << main->StatusText().toStdString();
}

TEST_F(MainCommandsTest, TheStatusLineFollowsTheStatisticsWindow) {
    MergeContacts({Person("己六", "13900000006")});
    commands->Store();
    // The line still shows an older figure, as after a store by another copy.
    AppState().ServerStats.Clear();
    main->RepaintStatusLine();
    ASSERT_NE(main->StatusText().indexOf(QStringLiteral("联系人数量0")), -1);

    commands->SetDialogRunner([](QDialog& dlg) {
        if (auto* fetch = qobject_cast<CZPFetchDlg*>(&dlg)) {
            dlg.show();
            while (fetch->IsBusy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return int(kIdCancel);
    });
    commands->OnCommand(menu_id::kStatistics);
    EXPECT_NE(main->StatusText().indexOf(QStringLiteral("联系人数量1")), -1)
        << main->StatusText().toStdString();
}

TEST_F(MainCommandsTest, LoggingInAgainForgetsEveryViewsSelectedRow) {
    MergeContacts({Person("丁四", "13900000004"), Person("戊五", "13900000005")});
    main->ShowView(CZPMainDlg::kViewContacts);
    main->SelectRowByUser(1);
    ASSERT_EQ(main->SelectedRow(), 1);
    main->ShowView(CZPMainDlg::kViewAccounts);

    commands->SetDialogRunner([](QDialog&) { return int(kIdCancel); });
    commands->OnCommand(menu_id::kNotifyLogin);
    EXPECT_EQ(main->CurrentView(), CZPMainDlg::kViewContacts);
    EXPECT_EQ(main->SelectedRow(), 0);  // the first row, as when the window opened
    EXPECT_EQ(main->ViewState().SlotOf(CZPMainDlg::kViewAccounts).row, -1);
    EXPECT_EQ(main->ViewState().SlotOf(CZPMainDlg::kViewSms).row, -1);
}

}  // namespace

namespace {

// The open menus over the main window, for docs/screenshots (KAVO_SCREENSHOT_DIR only).
TEST_F(MainCommandsTest, WritesTheMenuPictures) {
    const char* dir = std::getenv("KAVO_SCREENSHOT_DIR");
    if (!dir || !*dir) GTEST_SKIP() << "KAVO_SCREENSHOT_DIR not set";
    const QDir out(QString::fromLocal8Bit(dir));
    main->resize(CZPMainDlg::kWidth, CZPMainDlg::kHeight);
    const char* names[] = {"menu_store_restore", "menu_operations", "menu_view", "menu_personal"};
    int n = 0;
    for (int code :
         {CZPMenu::kStoreRestore, CZPMenu::kOperations, CZPMenu::kView, CZPMenu::kPersonal}) {
        QPixmap shot = main->grab();
        CZPMenu* menu = commands->Menu(code);
        menu->adjustSize();
        QPoint at(10, 70);
        for (CZPSkinButton* button : main->findChildren<CZPSkinButton*>())
            if (button->Code() == code) at = button->mapTo(main.get(), button->rect().bottomLeft());
        QPainter painter(&shot);
        painter.drawPixmap(at, menu->grab());
        painter.end();
        EXPECT_TRUE(shot.save(out.filePath(QString::fromUtf8(names[n++]) + ".png"), "PNG"));
    }
    CZPNotifyMenu* notify = commands->Tray()->Menu();
    notify->adjustSize();
    EXPECT_TRUE(notify->grab().save(out.filePath(QStringLiteral("menu_notify.png")), "PNG"));
}

}  // namespace
