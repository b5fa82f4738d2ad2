// What the windows tell about a store or restore that meets a damaged or busy database,
// or that would shrink the server's address book: the real main window, store and server.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <QApplication>
#include <filesystem>

#include "app/main_commands.h"
#include "app/main_dlg.h"
#include "app/tray_icon.h"
#include "app/zp_skin_lib_app.h"
#include "dialogs/message_box.h"
#include "main_window_fixture.h"
#include "session_fixture.h"
#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"
#include "store_faults.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"

using namespace kavo;

namespace {

std::vector<CRelData> Classmates(int count) {
    std::vector<CRelData> contacts;
    for (int i = 0; i < count; ++i) {
        CRelData& rel = contacts.emplace_back();
        SetFieldUtf8(rel.RelName, "同学" + std::to_string(i));
        SetField(rel.MobilePhone1, "1380000" + std::to_string(1000 + i));
    }
    return contacts;
}

// Only the start-up of the local store, as the program runs it before the login.
class CStoreStart : public CZpSkinLibApp {
public:
    using CZpSkinLibApp::CZpSkinLibApp;
    using CZpSkinLibApp::StartStore;
};

class StoreOutcomesTest : public test::MainWindowTest {
protected:
    StoreOutcomesTest() : MainWindowTest("guarded") {}
    void TearDown() override {
        main.reset();
        SetStoreBusyTimeout(5000);
        SetLocalStoreDamage(false);
        MainWindowTest::TearDown();
    }
    // Forgets what was shown; from now on every message is answered with OK.
    static void ResetMessages() {
        CZPMessageScript::Reset();
        CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
    }
    // Answers `answer` to the question `text`, OK to everything else.
    static void Answer(const char* text, int answer) {
        const QString question = QString::fromUtf8(text);
        CZPMessageScript::SetResponder([question, answer](const SShownMessage& m) {
            return m.text == question ? answer : kIdOk;
        });
    }
    static std::optional<SShownMessage> Shown(const QString& start) {
        for (const SShownMessage& m : CZPMessageScript::Shown())
            if (m.text.startsWith(start)) return m;
        return std::nullopt;
    }
    int ServerCount() {
        std::uint32_t count = 0;
        EXPECT_TRUE(client().ContactCount(count));
        return static_cast<int>(count);
    }
};

TEST_F(StoreOutcomesTest, AStoreThatWouldShrinkTheServersBookAsksFirst) {
    ASSERT_TRUE(MergeContactsChecked(Classmates(30)).Complete());
    commands->Store();
    ASSERT_EQ(ServerCount(), 30);
    CDataAccess local;
    for (const CRelData& rel : Classmates(25))
        ASSERT_TRUE(local.DeleteContact(FieldText(rel.RelName), FieldText(rel.MobilePhone1)));

    const char* question = "是否用本地的5个联系人替换服务器上的30个联系人?";
    ResetMessages();
    Answer(question, kIdNo);
    commands->Store();
    ASSERT_TRUE(Shown(QString::fromUtf8(question)));
    EXPECT_EQ(Shown(QString::fromUtf8(question))->icon, kMsgIconQuestion);
    EXPECT_FALSE(Shown(QString::fromUtf8(msg::kStoreDone)));
    EXPECT_EQ(ServerCount(), 30);

    ResetMessages();
    Answer(question, kIdYes);
    commands->Store();
    EXPECT_TRUE(Shown(QString::fromUtf8(msg::kStoreDone)));
    EXPECT_EQ(ServerCount(), 5);
}

TEST_F(StoreOutcomesTest, ARestoreIntoABusyDatabaseSaysHowManyWereStored) {
    ASSERT_TRUE(MergeContactsChecked(Classmates(30)).Complete());
    commands->Store();
    SetStoreBusyTimeout(200);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(GetDatabasePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    ResetMessages();
    commands->Restore();
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_FALSE(Shown(QString::fromUtf8(msg::kRestoreDone)));
    const auto shown = Shown(QStringLiteral("只保存了0个联系人(共30个)"));
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->icon, kMsgIconError);
    EXPECT_TRUE(shown->text.contains(QString::fromUtf8(msg::kFaultBusy)));
}

TEST_F(StoreOutcomesTest, ADamagedDatabaseIsNeverUploadedAndCanBeSetAsideAtStart) {
    ASSERT_TRUE(MergeContactsChecked(Classmates(300)).Complete());
    commands->Store();
    ASSERT_EQ(ServerCount(), 300);
    main.reset();
    CloseConnection();
    ASSERT_TRUE(test::DamageMiddlePage(GetDatabasePath()));

    // Start-up finds the damage; declining the offer keeps the file, and no store goes up.
    CStoreStart program(*qApp);
    ResetMessages();
    CZPMessageScript::SetResponder([](const SShownMessage& m) {
        return m.icon == kMsgIconQuestion ? int(kIdNo) : int(kIdOk);
    });
    program.StartStore();
    ASSERT_TRUE(LocalStoreDamaged());
    ASSERT_TRUE(Shown(QStringLiteral("本地数据库已损坏(")));
    EXPECT_TRUE(Shown(QStringLiteral("本地数据库已损坏("))
                    ->text.contains(QString::fromUtf8(msg::kAskRestoreDamaged)));
    main = std::make_unique<CZPMainDlg>();
    commands = new CZPMainCommands(main.get(), client());
    ResetMessages();
    commands->Store();
    const auto refused = Shown(QString::fromUtf8(msg::kStoreRefusedDamaged));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->icon, kMsgIconError);
    EXPECT_EQ(ServerCount(), 300);
    main.reset();

    // Accepting sets the file aside and starts an empty, sound one.
    ResetMessages();
    CZPMessageScript::SetResponder([](const SShownMessage& m) {
        return m.icon == kMsgIconQuestion ? int(kIdYes) : int(kIdOk);
    });
    program.StartStore();
    EXPECT_FALSE(LocalStoreDamaged());
    EXPECT_TRUE(CheckDatabase());
    std::vector<CRelData> left;
    CDataAccess().LoadContacts(left);
    EXPECT_TRUE(left.empty());
    const auto notice = Shown(QStringLiteral("损坏的数据库已另存为："));
    ASSERT_TRUE(notice);
    const std::string aside =
        notice->text.mid(QStringLiteral("损坏的数据库已另存为：").size()).toStdString();
    EXPECT_TRUE(std::filesystem::exists(aside)) << aside;
}

}  // namespace
