#include <ctime>

#include "store_fixture.h"

namespace kavo::test {
namespace {

class UserTableTest : public StoreTest {};

TEST_F(UserTableTest, SavingAgainUpdatesTheOneRowOfThatName) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("bob", "first", "bob@example.com", 0));
    ASSERT_TRUE(da.SaveUser("BOB", "second", "bob@example.org", 2));
    EXPECT_EQ(RawCount("KAVO_USER"), 1);
    EXPECT_EQ(da.GetUserPassword("bob"), "second");
    EXPECT_EQ(RawQuery("select UserEmail from KAVO_USER"), "bob@example.org");
    EXPECT_EQ(RawQuery("select LoginState from KAVO_USER"), "2");
    EXPECT_TRUE(da.IsUserLoggedIn("bob"));
    // The password never lies in the file as it was typed.
    EXPECT_EQ(RawQuery("select count(*) from KAVO_USER where UserPwd like '%second%'"), "0");
}

TEST_F(UserTableTest, EmptyPasswordIsTheNullWordInAnyLetterCase) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("empty", "", "", 0));
    EXPECT_EQ(RawQuery("select UserPwd from KAVO_USER where UserName='empty'"), "(null)");
    EXPECT_EQ(da.GetUserPassword("empty"), "");
    RawExec(
        "insert into KAVO_USER(UserName,UserPwd,LastTime,LoginState) values"
        "('upper','(NULL)','2026-01-01 10:00:00',0),('mixed','(NuLl)','2026-01-02 10:00:00',0)");
    EXPECT_EQ(da.GetUserPassword("upper"), "");
    EXPECT_EQ(da.GetUserPassword("mixed"), "");
    EXPECT_EQ(da.GetUserPassword("nobody"), "");
    // A text that does not decipher gives no password rather than garbage.
    RawExec("insert into KAVO_USER(UserName,UserPwd,LoginState) values('bad','not*base64!',0)");
    EXPECT_EQ(da.GetUserPassword("bad"), "");
}

TEST_F(UserTableTest, PasswordsUpToTwentyBytesRoundTrip) {
    CDataAccess da;
    for (std::string pwd :
         {"a", "12345678", "123456789", "abcdefghij0123456789", "p'w\"d or 1=1"}) {
        ASSERT_TRUE(da.SaveUser("u", pwd, "", 0));
        EXPECT_EQ(da.GetUserPassword("u"), pwd);
    }
    // A longer password is cut to the 20 bytes the record holds.
    ASSERT_TRUE(da.SaveUser("u", "abcdefghij0123456789XYZ", "", 0));
    EXPECT_EQ(da.GetUserPassword("u"), "abcdefghij0123456789");
    // Chinese passwords are GBK in the record and survive the table.
    ASSERT_TRUE(da.SaveUser("u", Gbk("密码一二三四五"), "", 0));
    EXPECT_EQ(da.GetUserPassword("u"), Gbk("密码一二三四五"));
}

TEST_F(UserTableTest, UpdateAndLoginStateNeedAnExistingRow) {
    CDataAccess da;
    EXPECT_FALSE(da.UpdateUser("ghost", "pw", 0));
    EXPECT_FALSE(da.UserExists("ghost"));
    EXPECT_FALSE(da.IsUserLoggedIn("ghost"));
    EXPECT_EQ(RawCount("KAVO_USER"), 0);

    ASSERT_TRUE(da.SaveUser("carol", "old", "carol@example.com", 0));
    EXPECT_TRUE(da.UserExists("Carol"));
    EXPECT_TRUE(da.UpdateUser("carol", "new", 0));
    EXPECT_EQ(da.GetUserPassword("carol"), "new");
    EXPECT_TRUE(da.SetLoginState("carol", 2));
    EXPECT_TRUE(da.IsUserLoggedIn("carol"));
    EXPECT_TRUE(da.SetLoginState("carol", 0));
    EXPECT_FALSE(da.IsUserLoggedIn("carol"));
}

TEST_F(UserTableTest, SavingWithoutEmailKeepsTheStoredOne) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("dave", "pw", "dave@example.com", 2));
    // The end of a run saves the user with no e-mail, and a password change updates it.
    ASSERT_TRUE(da.SaveUser("dave", "pw", "", 0));
    ASSERT_TRUE(da.UpdateUser("dave", "pw2", 0));
    EXPECT_EQ(RawQuery("select UserEmail from KAVO_USER"), "dave@example.com");
}

TEST_F(UserTableTest, UserListIsNewestFirstWithoutLoggedInUsers) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("seed", "", "", 0));  // creates the tables
    RawExec("delete from KAVO_USER");
    RawExec(
        "insert into KAVO_USER(UserName,UserPwd,UserEmail,LastTime,LoginState) values"
        "('old','(null)','o@x','2025-03-01 08:00:00',0),"
        "('busy','(null)','b@x','2026-06-01 08:00:00',2),"
        "('new','(null)','n@x','2026-05-01 08:00:00',0),"
        "('legacy','(null)','l@x','2024-01-01 08:00:00',NULL)");
    ASSERT_TRUE(da.SaveUser("old", "oldpw", "o@x", 0));  // now the newest
    std::vector<CUserData> users;
    da.LoadUserList(users);
    ASSERT_EQ(users.size(), 3u);
    EXPECT_EQ(FieldText(users[0].UserName), "old");
    EXPECT_EQ(FieldText(users[0].UserPwd), "oldpw");
    EXPECT_EQ(FieldText(users[1].UserName), "new");
    EXPECT_EQ(FieldText(users[1].UserPwd), "");
    EXPECT_EQ(FieldText(users[1].UserEmail), "n@x");
    EXPECT_EQ(FieldText(users[2].UserName), "legacy");
    EXPECT_EQ(users[2].LoginState, 0);

    std::tm tm{};
    tm.tm_year = 126;
    tm.tm_mon = 4;
    tm.tm_mday = 1;
    tm.tm_hour = 8;
    tm.tm_isdst = -1;
    EXPECT_EQ(users[1].LastTime, static_cast<std::int64_t>(std::mktime(&tm)));
    EXPECT_GT(users[0].LastTime, users[1].LastTime);
}

TEST_F(UserTableTest, HostileNamesAreDataNeverStatement) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveUser("victim", "pw", "", 2));
    const std::string hostile = "x' or '1'='1";
    EXPECT_FALSE(da.UserExists(hostile));
    EXPECT_FALSE(da.IsUserLoggedIn(hostile));
    ASSERT_TRUE(da.SetLoginState(hostile, 0));
    EXPECT_TRUE(da.IsUserLoggedIn("victim"));
    ASSERT_TRUE(da.SaveUser("O'Neil", "p'q", "o'neil@example.com", 0));
    EXPECT_TRUE(da.UserExists("O'Neil"));
    EXPECT_EQ(da.GetUserPassword("O'Neil"), "p'q");
    EXPECT_EQ(RawCount("KAVO_USER"), 2);
}

}  // namespace
}  // namespace kavo::test
