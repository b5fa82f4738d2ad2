// Personal information, statistics and history against the real kavo-server.
#include "workflows/personal_info_flow.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/program_dir.h"
#include "store/store_health.h"
#include "workflows/login_flow.h"
#include "workflows/messages.h"
#include "workflows/server_views_flow.h"
#include "workflows/session.h"

using namespace kavo;

namespace {

class PersonalInfoFlowTest : public test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        StartServer();
        ASSERT_TRUE(LogIn("demo", "demo123"));
    }
};

TEST(PasswordCharsTest, RefusesExactlyTheNineteenSigns) {
    const std::u32string refused = U"`'&!~$%^*()+;\"|,<>?";
    ASSERT_EQ(refused.size(), 19u);
    for (char32_t c : refused) EXPECT_TRUE(IsRefusedPasswordChar(c)) << static_cast<int>(c);
    for (char32_t c : std::u32string(U"aZ09@#-_=.:/[]{} 密"))
        EXPECT_FALSE(IsRefusedPasswordChar(c));
    EXPECT_EQ(StripRefusedPasswordChars("a'b?c密码!"), "abc密码");
}

TEST_F(PersonalInfoFlowTest, MemberStatusGivesThreeTexts) {
    CMemberTexts texts;
    ASSERT_TRUE(FetchMemberTexts(client(), texts));
    EXPECT_FALSE(texts.feeType.empty());
    EXPECT_FALSE(texts.balance.empty());
    EXPECT_NE(texts.balance.find_first_of("0123456789"), std::string::npos);
}

TEST_F(PersonalInfoFlowTest, ChangeChecksLocallyThenChangesEverywhere) {
    EXPECT_EQ(ChangeCurrentPassword(client(), "demo123", "new1", "new2"),
              PasswordChange::kConfirmDiffers);
    EXPECT_EQ(ChangeCurrentPassword(client(), "wrong", "new1", "new1"), PasswordChange::kOldWrong);
    EXPECT_EQ(
        ChangeCurrentPassword(client(), "demo123", std::string(21, 'x'), std::string(21, 'x')),
        PasswordChange::kTooLong);
    EXPECT_STREQ(PasswordChangeMessage(PasswordChange::kOldWrong), msg::kPasswordChangeFailed);

    ASSERT_EQ(ChangeCurrentPassword(client(), "demo123", "新密码9", "新密码9"),
              PasswordChange::kOk);
    EXPECT_STREQ(PasswordChangeMessage(PasswordChange::kOk), msg::kPasswordChanged);
    EXPECT_EQ(FieldUtf8(AppState().CurrentUser.UserPwd), "新密码9");
    EXPECT_EQ(GbkToUtf8(CDataAccess().GetUserPassword("demo")), "新密码9");

    // The server knows it, and an offline login with it is offered when the server is gone.
    EndSession();
    ASSERT_TRUE(LogIn("demo", Utf8ToGbk("新密码9")));
    server().Stop();
    CLoginForm form{"demo", Utf8ToGbk("新密码9"), {}};
    EXPECT_TRUE(DescribeLoginFailure(26, form, false).offlineOffered);
    CLoginForm old{"demo", "demo123", {}};
    EXPECT_FALSE(DescribeLoginFailure(26, old, false).offlineOffered);
}

TEST_F(PersonalInfoFlowTest, APasswordTheLocalStoreCouldNotKeepIsReportedAsOnlyHalfChanged) {
    SetStoreBusyTimeout(200);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(GetDatabasePath().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    const PasswordChange result = ChangeCurrentPassword(client(), "demo123", "new1", "new1");
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    SetStoreBusyTimeout(5000);
    EXPECT_EQ(result, PasswordChange::kNotStoredLocally);
    EXPECT_STREQ(PasswordChangeMessage(result), msg::kPasswordChangedNotStored);
    // The server took it; this PC's offline login still knows the old one.
    EXPECT_EQ(CDataAccess().GetUserPassword("demo"), "demo123");
}

TEST_F(PersonalInfoFlowTest, StatisticsAndHistoryFillTheirOwnRecordsOnly) {
    AppState().HistoryEntries.clear();
    ASSERT_TRUE(FetchServerStats(client()));
    EXPECT_TRUE(AppState().HistoryEntries.empty());
    const CStatisticsTexts stats = StatisticsTexts();
    EXPECT_NE(stats.counts[0], "0");  // the demo user has contacts on the server

    EXPECT_EQ(HistoryGreeting(), msg::kWelcomeShort);
    ASSERT_TRUE(FetchHistory(client()));
    ASSERT_FALSE(AppState().HistoryEntries.empty());
    const auto rows = HistoryRows();
    ASSERT_EQ(rows.size(), AppState().HistoryEntries.size());
    EXPECT_EQ(rows[0].number, "1");
    EXPECT_EQ(HistoryGreeting(), rows[0].user + " 欢迎您!您最后更新的日期:" + rows[0].time);

    // A failed fetch leaves the history empty.
    server().Stop();
    client().Abort();
    EXPECT_FALSE(FetchHistory(client()));
    EXPECT_TRUE(AppState().HistoryEntries.empty());
}

}  // namespace
