#include "store_fixture.h"

namespace kavo::test {
namespace {

CAccountData Account(std::string_view name, std::string_view id, std::string_view pwd = "pw") {
    CAccountData a;
    SetField(a.AccountName, name);
    SetField(a.AccountID, id);
    SetField(a.AccountPwd, pwd);
    return a;
}

class MemoryListsTest : public StoreTest {};

TEST_F(MemoryListsTest, AccountNamesAreUniqueWithoutLetterCase) {
    CDataAccess da;
    ASSERT_TRUE(da.AddAccount(Account("Main", "id1")));
    EXPECT_FALSE(da.AddAccount(Account("MAIN", "id2")));
    ASSERT_EQ(AppState().AccountList.size(), 1u);
    EXPECT_TRUE(da.AccountNameExists("main"));
    CAccountData found;
    ASSERT_TRUE(da.FindAccount("mAiN", found));
    EXPECT_EQ(FieldText(found.AccountID), "id1");
    EXPECT_FALSE(da.FindAccount("other", found));
    EXPECT_FALSE(da.DeleteAccount("other"));
    EXPECT_TRUE(da.DeleteAccount("MAIN"));
    EXPECT_TRUE(AppState().AccountList.empty());
}

TEST_F(MemoryListsTest, ChineseNamesDifferingInASecondByteAreDifferentNames) {
    // Two characters of one lead byte whose second bytes are "A" and "a".
    const std::string upper = "\x81\x41", lower = "\x81\x61";
    ASSERT_EQ(GbkToUtf8(upper).find('?'), std::string::npos);
    ASSERT_EQ(GbkToUtf8(lower).find('?'), std::string::npos);
    CDataAccess da;
    ASSERT_TRUE(da.AddAccount(Account(upper, "1")));
    EXPECT_TRUE(da.AddAccount(Account(lower, "2")));
    EXPECT_TRUE(da.AddAccount(Account("x" + upper, "3")));
    EXPECT_FALSE(da.AddAccount(Account("X" + upper, "4")));
    EXPECT_EQ(CDataAccess::FindGroup({"", upper}, lower), -1);
    EXPECT_EQ(CDataAccess::FindGroup({"", "Ab" + upper}, "aB" + upper), 1);
}

TEST_F(MemoryListsTest, PutAccountReplacesByIdOrAppends) {
    CDataAccess da;
    ASSERT_TRUE(da.AddAccount(Account("A", "id1")));
    ASSERT_TRUE(da.AddAccount(Account("B", "id2")));
    ASSERT_TRUE(da.PutAccount(Account("Renamed", "ID1", "new")));
    ASSERT_EQ(AppState().AccountList.size(), 2u);
    EXPECT_EQ(FieldText(AppState().AccountList[0].AccountName), "Renamed");
    EXPECT_EQ(FieldText(AppState().AccountList[0].AccountPwd), "new");
    ASSERT_TRUE(da.PutAccount(Account("C", "id3")));
    ASSERT_EQ(AppState().AccountList.size(), 3u);
    EXPECT_EQ(FieldText(AppState().AccountList[2].AccountName), "C");
}

TEST_F(MemoryListsTest, SmsAreFoundByTheirIdText) {
    CDataAccess da;
    for (std::uint32_t id : {0u, 7u, 4000000000u}) {
        CSmsData s;
        s.SmsID = id;
        SetField(s.PhoneNumber, std::to_string(id));
        AppState().SmsList.push_back(s);
    }
    CSmsData found;
    ASSERT_TRUE(da.FindSms("7", found));
    EXPECT_EQ(FieldText(found.PhoneNumber), "7");
    ASSERT_TRUE(da.FindSms("4000000000", found));
    EXPECT_EQ(found.SmsID, 4000000000u);
    // Text that is not a number looks for id 0.
    ASSERT_TRUE(da.FindSms("abc", found));
    EXPECT_EQ(found.SmsID, 0u);
    ASSERT_TRUE(da.FindSms("99999999999999999999", found));
    EXPECT_EQ(found.SmsID, 0u);
    EXPECT_FALSE(da.DeleteSms(8));
    EXPECT_EQ(AppState().SmsList.size(), 3u);
    EXPECT_TRUE(da.DeleteSms(7));
    EXPECT_FALSE(da.FindSms("7", found));
}

TEST_F(MemoryListsTest, NoticesCycleAndTheWelcomeStandsInForNone) {
    CDataAccess da;
    const std::string welcome = Gbk("欢迎使用Tavrin-手机管家软件");
    EXPECT_EQ(da.NextNoticeText(), welcome);
    EXPECT_EQ(da.NextNoticeText(), welcome);
    for (const char* text : {"one", "two", "three"}) {
        CMsgData m;
        SetField(m.MsgText, text);
        std::memset(m.Reserved, 'r', sizeof m.Reserved);
        AppState().NoticeList.push_back(m);
    }
    std::vector<std::string> seen;
    for (int i = 0; i < 7; ++i) seen.push_back(da.NextNoticeText());
    EXPECT_EQ(seen,
              (std::vector<std::string>{"one", "two", "three", "one", "two", "three", "one"}));
    // A refilled list goes on where the old one left off.
    AppState().NoticeList.pop_back();
    EXPECT_EQ(da.NextNoticeText(), "two");  // position 7 of two notices
}

TEST_F(MemoryListsTest, ResetAndLoginClearTheRightLists) {
    CAppState& s = AppState();
    s.SetCurrentUser(std::string(60, 'n'), "abcdefghij0123456789XYZ");
    EXPECT_EQ(s.CurrentUserName().size(), 49u);
    EXPECT_EQ(FieldText(s.CurrentUser.UserPwd), "abcdefghij0123456789");
    s.GroupNames.push_back("g");
    s.SmsList.emplace_back();
    s.NoticeList.emplace_back();
    s.ContactList.emplace_back();
    s.ClearLoginLists();
    EXPECT_EQ(s.GroupNames, std::vector<std::string>{""});
    EXPECT_TRUE(s.SmsList.empty());
    EXPECT_EQ(s.NoticeList.size(), 1u);
    EXPECT_EQ(s.ContactList.size(), 1u);
    s.LoginMode = 2;
    s.Reset();
    EXPECT_EQ(s.LoginMode, 0);
    EXPECT_TRUE(s.NoticeList.empty());
    EXPECT_EQ(s.CurrentUserName(), "");
}

}  // namespace
}  // namespace kavo::test
