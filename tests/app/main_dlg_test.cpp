// The main window driven as a user would, with the scripted message box, a real store in a
// temporary program directory and, where the server takes part, the real kavo-server.
#include "app/main_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "codecs/gbk_text.h"
#include "dialogs/account_add_dlg.h"
#include "dialogs/account_dlg.h"
#include "dialogs/add_users_dlg.h"
#include "dialogs/base_info_dlg.h"
#include "dialogs/field_limits.h"
#include "dialogs/message_box.h"
#include "dialogs/message_dlg.h"
#include "dialogs/name_card_dlg.h"
#include "refusing_proxy.h"
#include "session_fixture.h"
#include "skin/notice_line.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/login_flow.h"
#include "workflows/messages.h"
#include "workflows/session.h"

using namespace kavo;

namespace {

CRelData Contact(const char* name, const char* mobile1, const char* group = "") {
    CRelData rel;
    SetFieldUtf8(rel.RelName, name);
    SetField(rel.MobilePhone1, mobile1);
    SetFieldUtf8(rel.GroupName, group);
    return rel;
}

QStringList Column0(const CZPMainDlg& dlg) {
    QStringList names;
    for (const CListRow& row : dlg.Rows()) names << QString::fromStdString(row.name);
    return names;
}

QLineEdit* Field(CZPMainDlg& dlg, const char* column) {
    return dlg.NameCard()->BasePage()->LineEdit(QString::fromLatin1(column));
}

// Characters typed one by one as the keyboard delivers them (also those without a key).
void KeyIn(QWidget* widget, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
    }
}

// What the user does in a field: the text replaced by typing, which marks the editor.
void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    KeyIn(edit, text);
}

}  // namespace

class MainDlgTest : public kavo::test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
        AppState().SetCurrentUser("tester", "pw");
        AppState().LoginMode = 1;
        // Nothing here may reach a server unless a test points the client at one.
        for (int i = 0; i < 3; ++i) ServerClient().SetServerHost(i, "");
    }
    void TearDown() override {
        ServerClient().Close();
        ServerClient().SetServerHost(0, "127.0.0.1");
        CZPMessageScript::Reset();
        SessionTest::TearDown();
    }
    static void Store(const CRelData& rel) { ASSERT_TRUE(CDataAccess().SaveContact(rel)); }
    std::unique_ptr<CZPMainDlg> OpenWindow() {
        auto dlg = std::make_unique<CZPMainDlg>();
        dlg->Open();
        return dlg;
    }
    int RowOf(const CZPMainDlg& dlg, const QString& name) { return Column0(dlg).indexOf(name); }
};

TEST_F(MainDlgTest, OpensWithItsSizeColumnsPlaceholderAndLines) {
    Store(Contact("张三", "13900000001"));
    auto dlg = OpenWindow();
    EXPECT_EQ(dlg->size(), QSize(800, 620));
    EXPECT_EQ(dlg->CurrentView(), CZPMainDlg::kViewContacts);
    EXPECT_EQ(dlg->SearchBox()->text(), QStringLiteral("---请输入搜索内容---"));
    EXPECT_EQ(dlg->ListView()->columnWidth(0), 95);
    EXPECT_GE(dlg->ListView()->columnWidth(1), 105);
    EXPECT_TRUE(dlg->ListView()->isColumnHidden(2));
    EXPECT_EQ(dlg->UserLabelText(), QStringLiteral("用户名：tester"));
    EXPECT_TRUE(dlg->StatusText().startsWith(QStringLiteral("Tavrin-手机管家PC1.0版本")));
    EXPECT_TRUE(dlg->StatusText().contains(QStringLiteral("0000-00-00 00:00:00")));
    EXPECT_EQ(dlg->TabLabels(), QStringList{QStringLiteral("全部")});
    // Offline, the notice line says so.
    EXPECT_EQ(dlg->NoticeLine()->Text(), QStringLiteral("您当前处于离线登录状态!"));
    EXPECT_EQ(dlg->SelectedRow(), 0);
    EXPECT_EQ(Field(*dlg, "RelName")->text(), QStringLiteral("张三"));
}

TEST_F(MainDlgTest, RenameToAnExistingKeyIsRefusedAndTheOldContactStays) {
    Store(Contact("张三", "139"));
    Store(Contact("李四", "138"));
    auto dlg = OpenWindow();
    const int row = RowOf(*dlg, QStringLiteral("张三"));
    dlg->SelectRowByUser(row);
    Type(Field(*dlg, "RelName"), QStringLiteral("李四"));
    Type(Field(*dlg, "MobilePhone1"), QStringLiteral("138"));
    ASSERT_TRUE(dlg->NameCard()->IsModified());
    dlg->Save();
    ASSERT_TRUE(CZPMessageScript::LastShown());
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("该联系人姓名已存在!"));
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconError);
    EXPECT_TRUE(CDataAccess().ContactExists(Utf8ToGbk("张三"), "139"));
    EXPECT_EQ(Column0(*dlg), (QStringList{QStringLiteral("李四"), QStringLiteral("张三")}));
    // The refusal keeps the input and the mark.
    EXPECT_TRUE(dlg->NameCard()->IsModified());

    // A new number makes it a new key: the contact moves there and its row follows.
    Type(Field(*dlg, "MobilePhone1"), QStringLiteral("137"));
    dlg->Save();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("联系人保存成功!"));
    EXPECT_FALSE(CDataAccess().ContactExists(Utf8ToGbk("张三"), "139"));
    EXPECT_TRUE(CDataAccess().ContactExists(Utf8ToGbk("李四"), "137"));
    EXPECT_EQ(dlg->Rows()[static_cast<std::size_t>(row)].mobile1, "137");
    EXPECT_FALSE(dlg->NameCard()->IsModified());
    EXPECT_TRUE(AppState().ContactsChanged);
}

TEST_F(MainDlgTest, AnImportedContactWithoutMobileIsListedAndShownButNotSavedEmpty) {
    CRelData imported = Contact("导入", "");
    SetField(imported.HomePhone, "010-12345678");
    Store(imported);
    auto dlg = OpenWindow();
    ASSERT_EQ(dlg->Rows().size(), 1u);
    EXPECT_EQ(dlg->Rows()[0].phone, "010-12345678");
    EXPECT_EQ(Field(*dlg, "RelName")->text(), QStringLiteral("导入"));
    EXPECT_EQ(Field(*dlg, "HomePhone")->text(), QStringLiteral("010-12345678"));

    Type(Field(*dlg, "NickName"), QStringLiteral("nick"));
    dlg->Save();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("请输入手机号码1！"));
}

TEST_F(MainDlgTest, LeavingAnEditedContactOffersToSaveIt) {
    Store(Contact("A", "1"));
    Store(Contact("B", "2"));
    auto dlg = OpenWindow();
    Type(Field(*dlg, "NickName"), QStringLiteral("changed"));
    CZPMessageScript::QueueAnswers({kIdNo});
    dlg->SelectRowByUser(1);
    EXPECT_EQ(CZPMessageScript::Shown().at(0).text, QStringLiteral("联系人信息已改变,是否保存?"));
    EXPECT_EQ(dlg->SelectedRow(), 1);
    EXPECT_FALSE(dlg->NameCard()->IsModified());
    CRelData a;
    ASSERT_TRUE(CDataAccess().LoadContact("A", "1", a));
    EXPECT_EQ(FieldText(a.NickName), "");

    Type(Field(*dlg, "NickName"), QStringLiteral("kept"));
    CZPMessageScript::QueueAnswers({kIdYes, kIdOk});
    dlg->SelectRowByUser(0);
    CRelData b;
    ASSERT_TRUE(CDataAccess().LoadContact("B", "2", b));
    EXPECT_EQ(FieldText(b.NickName), "kept");
    EXPECT_EQ(Field(*dlg, "RelName")->text(), QStringLiteral("A"));
}

TEST_F(MainDlgTest, GatherSearchIgnoresLetterCaseAndMovesTheMatchesToTheTop) {
    for (const char* name : {"Bob", "alice", "Carl", "ALICE Two", "Dora"})
        Store(Contact(name, "1"));
    auto dlg = OpenWindow();
    dlg->SearchBox()->setText(QStringLiteral("Alice"));
    dlg->SearchCommand(true);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("搜索完毕，请在左边列表查看!"));
    EXPECT_EQ(CZPMessageScript::LastShown()->icon, kMsgIconNotice);
    const QStringList names = Column0(*dlg);
    ASSERT_EQ(names.size(), 5);
    EXPECT_EQ(QSet<QString>({names[0], names[1]}),
              QSet<QString>({QStringLiteral("alice"), QStringLiteral("ALICE Two")}));
    EXPECT_EQ(names.mid(2), (QStringList{"Bob", "Carl", "Dora"}));
    EXPECT_EQ(dlg->SelectedRow(), 0);
    EXPECT_EQ(Field(*dlg, "RelName")->text(), names[0]);

    dlg->SearchBox()->setText(QStringLiteral("zed"));
    dlg->SearchCommand(true);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("未找到符合条件的记录!"));
}

TEST_F(MainDlgTest, ContactsAreListedByPinyinAndFoundByIt) {
    for (const char* name : {"张伟", "Zw Corp", "王芳", "李娜"}) Store(Contact(name, "1"));
    auto dlg = OpenWindow();
    EXPECT_EQ(Column0(*dlg), (QStringList{"李娜", "王芳", "张伟", "Zw Corp"}));
    dlg->SearchBox()->setText(QStringLiteral("zhang wei"));
    dlg->SearchCommand(true);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("搜索完毕，请在左边列表查看!"));
    EXPECT_EQ(Column0(*dlg), (QStringList{"张伟", "李娜", "王芳", "Zw Corp"}));
    // The name that holds the text comes before the one its pinyin spells.
    dlg->SearchBox()->setText(QStringLiteral("ZW"));
    dlg->SearchCommand(true);
    EXPECT_EQ(Column0(*dlg), (QStringList{"Zw Corp", "张伟", "李娜", "王芳"}));
    EXPECT_EQ(Field(*dlg, "RelName")->text(), QStringLiteral("Zw Corp"));
}

TEST_F(MainDlgTest, TheSearchBoxPlaceholderIsNeverSearchedFor) {
    Store(Contact("x", "1"));
    auto dlg = OpenWindow();
    dlg->SearchCommand(true);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("请输入搜索内容"));
    CZPMessageScript::Reset();
    CZPMessageScript::SetHeadless(true);

    // Enter after the box got the focus: the placeholder was cleared, nothing is searched.
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QApplication::sendEvent(dlg->SearchBox(), &in);
    EXPECT_EQ(dlg->SearchBox()->text(), QString());
    QTest::keyClick(dlg->SearchBox(), Qt::Key_Return);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
    EXPECT_TRUE(dlg->isVisible() || !dlg->result());  // Enter never closes the window

    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(dlg->SearchBox(), &out);
    EXPECT_EQ(dlg->SearchBox()->text(), QStringLiteral("---请输入搜索内容---"));
}

TEST_F(MainDlgTest, FiveGroupsScrollTabByTabThenStripThenStop) {
    auto& groups = AppState().GroupNames;
    for (const char* g : {"家人", "同事", "同学", "客户"}) {
        ASSERT_TRUE(CDataAccess().AddGroup(Utf8ToGbk(g)));
        groups.push_back(Utf8ToGbk(g));
    }
    Store(Contact("客户甲", "1", "客户"));
    Store(Contact("家人甲", "2", "家人"));
    auto dlg = OpenWindow();
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"全部", "家人", "同事"}));
    EXPECT_EQ(dlg->Rows().size(), 2u);

    dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    EXPECT_EQ(dlg->ViewState().Slot().tab, 1);
    EXPECT_EQ(Column0(*dlg), QStringList{QStringLiteral("家人甲")});
    dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    EXPECT_EQ(dlg->ViewState().Slot().tab, 2);
    EXPECT_TRUE(dlg->Rows().empty());
    dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"家人", "同事", "同学"}));
    dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"同事", "同学", "客户"}));
    EXPECT_EQ(Column0(*dlg), QStringList{QStringLiteral("客户甲")});
    dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"同事", "同学", "客户"}));
    EXPECT_EQ(dlg->ViewState().SelectedGroup(), 4);

    dlg->OnSkinButton(CZPMainDlg::kCodeTab0);
    EXPECT_EQ(dlg->ViewState().SelectedGroup(), 2);
    dlg->OnSkinButton(CZPMainDlg::kCodeGroupPrevious);
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"家人", "同事", "同学"}));
}

TEST_F(MainDlgTest, LocalDeleteOfflineOffersDeleteAndCancelOnly) {
    for (const char* name : {"A", "B", "C", "D"}) Store(Contact(name, "1"));
    auto dlg = OpenWindow();
    dlg->SelectRows({1, 2});
    CZPMessageScript::QueueAnswers({kIdCancel});
    dlg->Delete();
    EXPECT_EQ(CZPMessageScript::LastShown()->buttons, kMsgDeleteCancel);
    EXPECT_EQ(dlg->Rows().size(), 4u);

    dlg->SelectRows({1, 2});
    CZPMessageScript::QueueAnswers({kIdYes});
    dlg->Delete();
    EXPECT_EQ(Column0(*dlg), (QStringList{"A", "D"}));
    EXPECT_EQ(dlg->SelectedRow(), 1);  // the position of the last deleted row
    EXPECT_FALSE(CDataAccess().ContactExists("B", "1"));
    EXPECT_TRUE(CDataAccess().ContactExists("D", "1"));
}

TEST_F(MainDlgTest, PermanentDeleteKeepsTheContactTheServerRefused) {
    StartServer();
    kavo::test::CRefusingProxy proxy;
    ASSERT_TRUE(proxy.Start(server().loginPort(), server().servicePort(), Utf8ToGbk("乙"), 118));
    auto& client = ServerClient();
    client.SetServerHost(0, "127.0.0.1");
    client.SetPorts(proxy.LoginPort(), proxy.ServicePort());
    CLoginForm form{"demo", "demo123", {}};
    std::atomic<bool> cancelled{false};
    ASSERT_TRUE(RunLoginWorker(client, form, false, cancelled));
    ApplyLoginSuccess(form, false);
    ASSERT_EQ(AppState().LoginMode, 2);

    CZPMessageScript::SetResponder([](const SShownMessage&) { return int(kIdYes); });
    for (const char* name : {"甲", "乙", "丙"}) Store(Contact(name, "1"));
    auto dlg = OpenWindow();
    CZPMessageScript::Reset();
    CZPMessageScript::SetHeadless(true);
    const int total = static_cast<int>(dlg->Rows().size());
    std::vector<int> rows;
    for (const char* name : {"甲", "乙", "丙"})
        rows.push_back(RowOf(*dlg, QString::fromUtf8(name)));
    dlg->SelectRows(rows);
    CZPMessageScript::QueueAnswers({kIdNo, kIdOk});  // permanent, then the refusal
    dlg->Delete();

    ASSERT_GE(CZPMessageScript::Shown().size(), 2);
    EXPECT_EQ(CZPMessageScript::Shown().at(0).buttons, kMsgDeleteChoice);
    EXPECT_EQ(CZPMessageScript::Shown().at(1).icon, kMsgIconError);
    EXPECT_EQ(proxy.Refusals(), 1);
    EXPECT_EQ(static_cast<int>(dlg->Rows().size()), total - 2);
    EXPECT_GE(RowOf(*dlg, QStringLiteral("乙")), 0);
    EXPECT_LT(RowOf(*dlg, QStringLiteral("甲")), 0);
    EXPECT_TRUE(CDataAccess().ContactExists(Utf8ToGbk("乙"), "1"));
    EXPECT_FALSE(CDataAccess().ContactExists(Utf8ToGbk("丙"), "1"));
    client.Close();
    proxy.Stop();
}

TEST_F(MainDlgTest, BirthdaysTheSelectorsCannotShowSurviveASave) {
    CRelData rel = Contact("生日", "1");
    SetField(rel.Birthday, "19391231");
    Store(rel);
    CRelData dashed = Contact("导入生日", "2");
    SetField(dashed.Birthday, "1980-03-05");
    Store(dashed);
    auto dlg = OpenWindow();
    CZPBaseInfoDlg* base = dlg->NameCard()->BasePage();

    dlg->SelectRowByUser(RowOf(*dlg, QStringLiteral("生日")));
    EXPECT_EQ(base->YearBox()->currentIndex(), 0);
    EXPECT_EQ(base->MonthBox()->currentText(), QStringLiteral("12"));
    EXPECT_EQ(base->DayBox()->currentText(), QStringLiteral("31"));
    Type(Field(*dlg, "NickName"), QStringLiteral("n"));
    dlg->Save();
    CRelData out;
    ASSERT_TRUE(CDataAccess().LoadContact(Utf8ToGbk("生日"), "1", out));
    EXPECT_EQ(FieldText(out.Birthday), "19391231");

    // 1985, March, no day: stored as six digits, shown as nothing, and kept.
    base->YearBox()->setCurrentIndex(1985 - 1939);
    base->MonthBox()->setCurrentIndex(3);
    base->DayBox()->setCurrentIndex(0);
    EXPECT_TRUE(dlg->NameCard()->IsModified());
    dlg->Save();
    ASSERT_TRUE(CDataAccess().LoadContact(Utf8ToGbk("生日"), "1", out));
    EXPECT_EQ(FieldText(out.Birthday), "198503");
    dlg->SelectRowByUser(RowOf(*dlg, QStringLiteral("导入生日")));
    dlg->SelectRowByUser(RowOf(*dlg, QStringLiteral("生日")));
    EXPECT_EQ(base->YearBox()->currentIndex(), 0);
    EXPECT_EQ(base->MonthBox()->currentIndex(), 0);
    Type(Field(*dlg, "NickName"), QStringLiteral("m"));
    dlg->Save();
    ASSERT_TRUE(CDataAccess().LoadContact(Utf8ToGbk("生日"), "1", out));
    EXPECT_EQ(FieldText(out.Birthday), "198503");

    dlg->SelectRowByUser(RowOf(*dlg, QStringLiteral("导入生日")));
    EXPECT_FALSE(base->BirthdayHint()->isHidden());
    Type(Field(*dlg, "NickName"), QStringLiteral("x"));
    dlg->Save();
    ASSERT_TRUE(CDataAccess().LoadContact(Utf8ToGbk("导入生日"), "2", out));
    EXPECT_EQ(FieldText(out.Birthday), "1980-03-05");
}

TEST_F(MainDlgTest, NewContactWindowChecksExistenceBeforeTheEmptyFields) {
    Store(Contact("李四", "138"));
    CZPAddUsersDlg dlg(0);
    EXPECT_EQ(dlg.size(), QSize(800, 600));
    CZPNameCardDlg* card = dlg.NameCard();
    EXPECT_TRUE(card->IsModal());
    card->BasePage()->LineEdit(QStringLiteral("RelName"))->setText(QStringLiteral(" 李四 "));
    card->SaveCommand();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("该联系人姓名已存在!"));
    EXPECT_EQ(card->BasePage()->LineEdit(QStringLiteral("RelName"))->text(),
              QStringLiteral("李四"));
    EXPECT_EQ(dlg.result(), 0);

    card->BasePage()->LineEdit(QStringLiteral("RelName"))->setText(QStringLiteral("王五"));
    card->SaveCommand();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("请输入手机号码1！"));
    card->BasePage()->LineEdit(QStringLiteral("MobilePhone1"))->setText(QStringLiteral("137"));
    card->SaveCommand();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    CRelData rel;
    ASSERT_TRUE(dlg.Record(rel));
    EXPECT_EQ(FieldUtf8(rel.RelName), "王五");
}

TEST_F(MainDlgTest, NewContactCancelAsksOnlyWhenSomethingWasTyped) {
    CZPAddUsersDlg untouched(0);
    untouched.OnSkinButton(CZPAddUsersDlg::kCodeClose);
    EXPECT_EQ(untouched.result(), QDialog::Rejected);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());

    CZPAddUsersDlg typed(0);
    QTest::keyClicks(typed.NameCard()->BasePage()->LineEdit(QStringLiteral("RelName")), "n");
    CZPMessageScript::QueueAnswers({kIdNo});
    typed.OnSkinButton(CZPAddUsersDlg::kCodeClose);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("联系人信息已修改，是否保存?"));
    EXPECT_EQ(typed.result(), QDialog::Rejected);
}

TEST_F(MainDlgTest, FieldsTakeTheirGbkByteLimitAndDigitsWhereAsked) {
    CZPNameCardDlg card;
    QLineEdit* name = card.BasePage()->LineEdit(QStringLiteral("RelName"));
    QTest::keyClicks(name, QString(50, QLatin1Char('a')));
    EXPECT_EQ(name->text().size(), 49);
    name->clear();
    KeyIn(name, QString(25, QChar(0x5F20)));  // 张: two bytes each
    EXPECT_EQ(name->text().size(), 24);
    QLineEdit* qq = card.BasePage()->LineEdit(QStringLiteral("QQ"));
    QTest::keyClicks(qq, QStringLiteral("12a3"));
    EXPECT_EQ(qq->text(), QStringLiteral("123"));
    EXPECT_TRUE(card.IsModified());

    CZPAccountDlg account;
    QTest::keyClicks(account.NameEdit(), QString(50, QLatin1Char('b')));
    EXPECT_EQ(account.NameEdit()->text().size(), 49);
    EXPECT_TRUE(account.IsModified());
}

TEST_F(MainDlgTest, NewAccountWindowRefusesANameListedInAnyCase) {
    CAccountData listed;
    SetField(listed.AccountName, "Hero");
    AppState().AccountList.push_back(listed);
    CZPAccountAddDlg dlg;
    EXPECT_EQ(dlg.size(), QSize(549, 532));
    QTest::keyClicks(dlg.Panel()->NameEdit(), "HERO");
    dlg.Panel()->SaveCommand();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("该账号名称已存在!"));
    EXPECT_EQ(dlg.result(), 0);
    EXPECT_EQ(dlg.Panel()->NameEdit()->text(), QStringLiteral("HERO"));

    CZPMessageScript::QueueAnswers({kIdNo});
    dlg.OnSkinButton(CZPAccountAddDlg::kCodeClose);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("账号信息已修改，是否保存？"));
    EXPECT_EQ(dlg.result(), QDialog::Rejected);

    // Enter in the remark adds a line; it saves nothing.
    CZPAccountAddDlg other;
    QTest::keyClicks(other.Panel()->NameEdit(), "New");
    QTest::keyClick(other.Panel()->RemarkEdit(), Qt::Key_Return);
    QTest::keyClicks(other.Panel()->RemarkEdit(), "x");
    EXPECT_EQ(other.Panel()->RemarkEdit()->toPlainText(), QStringLiteral("\nx"));
    EXPECT_EQ(other.result(), 0);
}

TEST_F(MainDlgTest, SmsAndAccountViewsShowTheProcessWideLists) {
    CSmsData sms;
    sms.SmsID = 42;
    SetFieldUtf8(sms.ContactName, "  小明  ");
    SetField(sms.PhoneNumber, "13900000009");
    SetField(sms.SmsTime, "2026-01-02 03:04:05");
    SetFieldUtf8(sms.SmsText, "你好");
    AppState().SmsList.push_back(sms);
    CAccountData account;
    SetField(account.AccountName, "hero");
    SetField(account.AccountID, "id-1");
    AppState().AccountList.push_back(account);

    auto dlg = OpenWindow();
    dlg->OnSkinButton(CZPMainDlg::kCodeViewSms);
    EXPECT_EQ(dlg->CurrentView(), CZPMainDlg::kViewSms);
    EXPECT_EQ(Column0(*dlg), QStringList{QStringLiteral("小明")});
    EXPECT_EQ(dlg->SmsPanel()->TextEdit()->toPlainText(), QStringLiteral("你好"));
    EXPECT_EQ(dlg->TabLabels(), QStringList{QStringLiteral("全部")});
    dlg->New();
    EXPECT_EQ(CZPMessageScript::LastShown()->text,
              QStringLiteral("请使用Tavrin－手机管家手机版本上传短信!"));
    dlg->SelectRows({0});
    CZPMessageScript::QueueAnswers({kIdYes});
    dlg->Delete();
    EXPECT_TRUE(AppState().SmsList.empty());
    EXPECT_TRUE(dlg->SmsPanel()->TextEdit()->toPlainText().isEmpty());

    dlg->OnSkinButton(CZPMainDlg::kCodeViewAccounts);
    EXPECT_EQ(Column0(*dlg), QStringList{"hero"});
    EXPECT_EQ(dlg->AccountPanel()->IdEdit()->text(), QStringLiteral("id-1"));
    // Leaving an edited account offers to save it.
    QTest::keyClicks(dlg->AccountPanel()->GameEdit(), "g");
    CZPMessageScript::QueueAnswers({kIdNo});
    dlg->OnSkinButton(CZPMainDlg::kCodeViewContacts);
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("账号信息已改变,是否保存?"));
    EXPECT_FALSE(dlg->AccountPanel()->IsModified());
}

TEST_F(MainDlgTest, WindowTimerDropsADeadConnectionToOfflineAndPollsOnlyWhenDue) {
    std::uint64_t now = 1000;
    auto dlg = OpenWindow();
    dlg->SetClock([&now] { return now; });
    AppState().LoginMode = 2;  // online in name, but the connection is gone
    dlg->OnWindowTimer();
    EXPECT_EQ(AppState().LoginMode, 1);
    EXPECT_EQ(dlg->NoticeLine()->Text(), QStringLiteral("您当前处于离线登录状态!"));

    now += 300001;
    dlg->OnWindowTimer();
    dlg->ResetNoticePollBase();
    EXPECT_EQ(AppState().LoginMode, 1);
}

TEST_F(MainDlgTest, MergeStoresNewGroupsAndShowsTheContacts) {
    Store(Contact("旧", "1"));
    auto dlg = OpenWindow();
    AppState().ContactList = {Contact("新甲", "2", "朋友"), Contact("新乙", "3", "全部")};
    dlg->MergeContacts();
    EXPECT_EQ(AppState().GroupNames.back(), Utf8ToGbk("朋友"));
    EXPECT_EQ(dlg->Rows().size(), 3u);
    EXPECT_EQ(Field(*dlg, "RelName")->text(), QStringLiteral("旧"));  // the selection mark's name
    EXPECT_EQ(dlg->TabLabels(), (QStringList{"全部", "朋友"}));
}

TEST_F(MainDlgTest, DoubleClickInTheTopStripTogglesMaximised) {
    auto dlg = OpenWindow();
    dlg->show();
    EXPECT_EQ(dlg->LayoutState(), QStringLiteral("Init"));
    QTest::mouseDClick(dlg.get(), Qt::LeftButton, {}, QPoint(300, 40));
    EXPECT_EQ(dlg->LayoutState(), QStringLiteral("Max"));
    QTest::mouseDClick(dlg.get(), Qt::LeftButton, {}, QPoint(300, 40));
    EXPECT_EQ(dlg->LayoutState(), QStringLiteral("Restore"));
    dlg->hide();
}

TEST_F(MainDlgTest, NewContactGoesIntoTheSelectedTabsGroupAndTheList) {
    for (const char* g : {"家人", "同事", "同学", "客户"}) {
        ASSERT_TRUE(CDataAccess().AddGroup(Utf8ToGbk(g)));
        AppState().GroupNames.push_back(Utf8ToGbk(g));
    }
    auto dlg = OpenWindow();
    for (int i = 0; i < 3; ++i) dlg->OnSkinButton(CZPMainDlg::kCodeGroupNext);
    ASSERT_EQ(dlg->ViewState().SelectedGroup(), 3);  // "同学", on the scrolled strip's tab 2
    int preselected = -1;
    QTimer::singleShot(0, [&preselected] {
        auto* add = qobject_cast<CZPAddUsersDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(add, nullptr);
        CZPBaseInfoDlg* base = add->NameCard()->BasePage();
        preselected = base->GroupIndex();
        base->LineEdit(QStringLiteral("RelName"))->setText(QStringLiteral("新同学"));
        base->LineEdit(QStringLiteral("MobilePhone1"))->setText(QStringLiteral("13500000000"));
        add->NameCard()->SaveCommand();
    });
    dlg->New();
    EXPECT_EQ(preselected, 3);
    EXPECT_EQ(Column0(*dlg).last(), QStringLiteral("新同学"));
    EXPECT_EQ(dlg->SelectedRow(), static_cast<int>(dlg->Rows().size()) - 1);
    CRelData stored;
    ASSERT_TRUE(CDataAccess().LoadContact(Utf8ToGbk("新同学"), "13500000000", stored));
    EXPECT_EQ(FieldUtf8(stored.GroupName), "同学");
    EXPECT_TRUE(AppState().ContactsChanged);
}

TEST_F(MainDlgTest, AccountsAreSavedAndRenamedOnTheServer) {
    StartServer();
    auto& client = ServerClient();
    client.SetServerHost(0, server().host());
    client.SetPorts(server().loginPort(), server().servicePort());
    CLoginForm form{"demo", "demo123", {}};
    std::atomic<bool> cancelled{false};
    ASSERT_TRUE(RunLoginWorker(client, form, false, cancelled));
    ApplyLoginSuccess(form, false);
    ASSERT_FALSE(AppState().AccountList.empty());

    CZPMessageScript::SetResponder([](const SShownMessage&) { return int(kIdNo); });
    auto dlg = OpenWindow();
    dlg->ShowView(CZPMainDlg::kViewAccounts);
    CZPMessageScript::Reset();
    CZPMessageScript::SetHeadless(true);
    const std::string oldName = dlg->Rows()[0].name;
    Type(dlg->AccountPanel()->NameEdit(), QStringLiteral("改名账号"));
    dlg->Save();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("账号保存成功!"));
    EXPECT_EQ(dlg->Rows()[0].name, "改名账号");
    EXPECT_FALSE(AccountNameExists(AppState().AccountList, Utf8ToGbk(oldName)));
    EXPECT_TRUE(AccountNameExists(AppState().AccountList, Utf8ToGbk("改名账号")));
    EXPECT_FALSE(dlg->AccountPanel()->IsModified());

    // What the server holds now, as the next login would download it.
    std::vector<CAccountData> onServer;
    ASSERT_TRUE(client.DownloadAccounts(onServer));
    bool renamed = false, old = false;
    for (const CAccountData& a : onServer) {
        renamed = renamed || FieldUtf8(a.AccountName) == "改名账号";
        old = old || FieldUtf8(a.AccountName) == oldName;
    }
    EXPECT_TRUE(renamed);
    EXPECT_FALSE(old);

    // An empty name is refused and nothing is sent.
    Type(dlg->AccountPanel()->NameEdit(), QString());
    dlg->AccountPanel()->NameEdit()->clear();
    dlg->AccountPanel()->SetModified(true);
    dlg->Save();
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("请输入账号名称!"));
    client.Close();
}

TEST_F(MainDlgTest, NoPollOrCheckWhileAnotherWindowIsModalOverTheMainWindow) {
    std::uint64_t now = 1000;
    auto dlg = OpenWindow();
    dlg->SetClock([&now] { return now; });
    AppState().LoginMode = 2;
    CZPSkinDialog progress(dlg.get());
    bool checked = false;
    QTimer::singleShot(0, [&] {
        dlg->OnWindowTimer();
        checked = true;
        progress.reject();
    });
    progress.exec();
    ASSERT_TRUE(checked);
    EXPECT_EQ(AppState().LoginMode, 2);  // the dead connection was left alone meanwhile
    dlg->OnWindowTimer();
    EXPECT_EQ(AppState().LoginMode, 1);
}

TEST_F(MainDlgTest, AnEmptyLocalBookOnlineOffersTheDownloadFromTheServer) {
    AppState().LoginMode = 2;
    AppState().ServerStats.Contacts.Count = 3;
    CZPMainDlg dlg;
    std::vector<int> commands;
    dlg.SetCommandHandler([&commands](int code) {
        commands.push_back(code);
        return true;
    });
    CZPMessageScript::QueueAnswers({kIdYes});
    dlg.Open();
    ASSERT_TRUE(CZPMessageScript::LastShown());
    EXPECT_EQ(CZPMessageScript::LastShown()->text, QStringLiteral("是否下载联系人信息?"));
    EXPECT_EQ(commands, std::vector<int>{CZPMainDlg::kCommandRestore});
    EXPECT_TRUE(dlg.Rows().empty());

    // With contacts stored nothing is asked.
    CZPMessageScript::Reset();
    Store(Contact("有", "1"));
    dlg.ShowView(CZPMainDlg::kViewContacts);
    EXPECT_TRUE(CZPMessageScript::Shown().isEmpty());
}
