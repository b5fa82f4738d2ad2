// Save, New and Delete of the main window's items, against a real store and kavo-server.
#include "workflows/item_editing.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"

using namespace kavo;
using kavo::test::SessionTest;

namespace {

CRelData Contact(const char* name, const char* mobile1) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, name);
    SetField(rel.MobilePhone1, mobile1);
    return rel;
}

CAccountData Account(const char* name, const char* id) {
    CAccountData a;
    SetFieldUtf8(a.AccountName, name);
    SetField(a.AccountID, id);
    SetFieldUtf8(a.GameName, "游戏");
    return a;
}

}  // namespace

class ItemEditingTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        AppState().SetCurrentUser("editor", "pw");
    }
};

TEST_F(ItemEditingTest, ContactChecksComeInOrderAndNeedBothKeyFields) {
    EXPECT_EQ(SaveEditedContact(Contact("", ""), nullptr), EditResult::kEmptyContactName);
    EXPECT_EQ(SaveEditedContact(Contact("张三", ""), nullptr), EditResult::kEmptyMobile1);
    EXPECT_FALSE(AppState().ContactsChanged);
    EXPECT_EQ(SaveEditedContact(Contact("张三", "139"), nullptr), EditResult::kDone);
    EXPECT_TRUE(AppState().ContactsChanged);
    EXPECT_EQ(EditResultMessage(EditResult::kEmptyMobile1, client()), msg::kEnterMobile1);
}

TEST_F(ItemEditingTest, RenameToAnotherContactsKeyIsRefusedAndTheOldOneStays) {
    ASSERT_TRUE(InsertNewContact(Contact("张三", "139")));
    ASSERT_TRUE(InsertNewContact(Contact("李四", "138")));
    EXPECT_FALSE(InsertNewContact(Contact("李四", "138")));

    CListRow selected = ContactRow(Contact("张三", "139"));
    EXPECT_EQ(SaveEditedContact(Contact("李四", "138"), &selected), EditResult::kContactExists);
    EXPECT_TRUE(CDataAccess().ContactExists(Utf8ToGbk("张三"), "139"));

    // A real rename moves the contact to its new key.
    EXPECT_EQ(SaveEditedContact(Contact("王五", "137"), &selected), EditResult::kDone);
    EXPECT_FALSE(CDataAccess().ContactExists(Utf8ToGbk("张三"), "139"));
    EXPECT_TRUE(CDataAccess().ContactExists(Utf8ToGbk("王五"), "137"));

    // Only the letter case changed: the same contact, saved in place.
    ASSERT_TRUE(InsertNewContact(Contact("anna", "1")));
    CListRow anna = ContactRow(Contact("anna", "1"));
    EXPECT_EQ(SaveEditedContact(Contact("ANNA", "1"), &anna), EditResult::kDone);
    std::vector<CRelData> all;
    EXPECT_EQ(CDataAccess().LoadContacts(all), 3);
}

TEST_F(ItemEditingTest, ImportedContactWithoutMobileIsDeletedByItsRow) {
    ASSERT_TRUE(CDataAccess().SaveContact(Contact("无号码", "")));
    CListRow row = ContactRow(Contact("无号码", ""));
    EXPECT_TRUE(DeleteContactRow(row, false, client()));
    EXPECT_FALSE(CDataAccess().ContactExists(Utf8ToGbk("无号码"), ""));
}

TEST_F(ItemEditingTest, AccountsChangeOnTheServerBeforeTheList) {
    StartServer(false);
    ASSERT_TRUE(Register("gamer", "pw"));
    ASSERT_TRUE(LogIn("gamer", "pw"));

    bool listed = false;
    ASSERT_EQ(AddNewAccount(Account("主号", "id-1"), client(), &listed), EditResult::kDone);
    EXPECT_TRUE(listed);
    ASSERT_EQ(AppState().AccountList.size(), 1u);

    // Renaming deletes the old name on the server and adds the record anew.
    CListRow selected = AccountRow(Account("主号", "id-1"));
    bool isNew = false;
    ASSERT_EQ(SaveEditedAccount(Account("小号", "id-1"), &selected, client(), &isNew),
              EditResult::kDone);
    EXPECT_TRUE(isNew);
    ASSERT_EQ(AppState().AccountList.size(), 1u);
    EXPECT_EQ(FieldUtf8(AppState().AccountList[0].AccountName), "小号");

    std::vector<CAccountData> onServer;
    ASSERT_TRUE(client().DownloadAccounts(onServer));
    ASSERT_EQ(onServer.size(), 1u);
    EXPECT_EQ(FieldUtf8(onServer[0].AccountName), "小号");

    // An empty name is refused before anything is sent.
    EXPECT_EQ(SaveEditedAccount(Account("", "id-2"), nullptr, client(), &isNew),
              EditResult::kEmptyAccountName);

    // A permanent delete the server refuses keeps the row.
    CListRow ghost = AccountRow(Account("不存在", "x"));
    EXPECT_FALSE(DeleteAccountRow(ghost, true, client()));
    CListRow real = AccountRow(Account("小号", "id-1"));
    EXPECT_TRUE(DeleteAccountRow(real, true, client()));
    EXPECT_TRUE(AppState().AccountList.empty());
}

TEST_F(ItemEditingTest, AccountSaveWhileTheServerIsGoneEndsQuietly) {
    AppState().LoginMode = 1;
    bool isNew = false;
    EXPECT_EQ(SaveEditedAccount(Account("号", "1"), nullptr, client(), &isNew),
              EditResult::kOffline);
    EXPECT_EQ(EditResultMessage(EditResult::kOffline, client()), "");
}
