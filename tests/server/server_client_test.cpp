// The real client library against the real kavo-server on loopback.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/kavo_tcp_client.h"
#include "raw_kavo_client.h"
#include "server_backend.h"
#include "server_runner.h"

namespace kavo {
namespace {

using test::ServerRunner;

class ServerClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start(test::Backend({"--seed-demo"}))) << server.error();
    }

    void Point(CKavoTcpClient& client) {
        client.SetServerHost(0, server.host());
        client.SetServerHost(1, "");
        client.SetServerHost(2, "");
        client.SetPorts(server.loginPort(), server.servicePort());
    }

    bool RegisterUser(const std::string& name, const std::string& password) {
        CKavoTcpClient c;
        Point(c);
        return c.ConnectLoginServer() && c.Register(name, password, "13000000000");
    }

    bool LoginAs(CKavoTcpClient& c, const std::string& name, const std::string& password) {
        Point(c);
        return c.ConnectLoginServer() && c.Login(name, password);
    }

    static CRelData Contact(int i) {
        CRelData c;
        SetFieldUtf8(c.RelName, "联系人" + std::to_string(i));
        SetField(c.MobilePhone1, "139" + std::to_string(10000000 + i));
        SetFieldUtf8(c.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i) + "号");
        SetFieldUtf8(c.RelRemark, std::string(i % 7, 'x') + "备注：朋友的朋友");
        SetField(c.Picture, "C:/photos/p" + std::to_string(i) + ".jpg");
        SetFieldUtf8(c.GroupName, i % 2 ? "同事" : "朋友");
        return c;
    }

    static bool Upload(CKavoTcpClient& c, std::deque<CRelData> list, int mode) {
        while (!list.empty())
            if (!c.UploadContacts(list, mode)) return false;
        return true;
    }

    static bool Restore(CKavoTcpClient& c, std::vector<CRelData>& out) {
        int remaining = static_cast<int>(c.ContactCount());
        while (remaining > 0) {
            std::size_t before = out.size();
            if (!c.DownloadContacts(remaining, out) || out.size() == before) return false;
            remaining -= static_cast<int>(out.size() - before);
        }
        return true;
    }

    static std::string Gbk(const char* utf8) { return Utf8ToGbk(utf8); }

    ServerRunner server;
};

TEST_F(ServerClientTest, RegisterLoginAndTwoThousandChineseContactsRoundTrip) {
    ASSERT_TRUE(RegisterUser(Gbk("小明"), "pässword"));
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, Gbk("小明"), "pässword")) << c.LastError();
    EXPECT_EQ(c.Port(), server.servicePort());

    std::deque<CRelData> list;
    for (int i = 0; i < 2000; ++i) list.push_back(Contact(i));
    ASSERT_TRUE(Upload(c, list, 1)) << c.LastError();
    EXPECT_EQ(c.ContactCount(), 2000u);

    std::vector<CRelData> back;
    ASSERT_TRUE(Restore(c, back));
    ASSERT_EQ(back.size(), 2000u);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(std::memcmp(&back[i], &list[i], sizeof(CRelData)), 0) << "contact " << i;
    }

    // Storing again replaces the address book; a restore started by a new count begins
    // at the first contact again.
    std::deque<CRelData> fewer(list.begin(), list.begin() + 10);
    ASSERT_TRUE(Upload(c, fewer, 1));
    back.clear();
    ASSERT_TRUE(Restore(c, back));
    ASSERT_EQ(back.size(), 10u);
    EXPECT_EQ(FieldUtf8(back[9].RelName), "联系人9");
}

TEST_F(ServerClientTest, MergeUploadReplacesByNameAndMobileAndKeepsTheRest) {
    ASSERT_TRUE(RegisterUser("merger", "pw"));
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "merger", "pw"));
    ASSERT_TRUE(Upload(c, {Contact(1), Contact(2), Contact(3)}, 1));

    CRelData changed = Contact(2);
    SetFieldUtf8(changed.RelRemark, "改过了");
    CRelData samePersonOtherPhone = Contact(3);
    SetField(samePersonOtherPhone.MobilePhone1, "");
    ASSERT_TRUE(Upload(c, {changed, samePersonOtherPhone}, 0));

    std::vector<CRelData> back;
    ASSERT_TRUE(Restore(c, back));
    ASSERT_EQ(back.size(), 4u);
    int remarksChanged = 0;
    for (const CRelData& r : back)
        if (FieldUtf8(r.RelRemark) == "改过了") ++remarksChanged;
    EXPECT_EQ(remarksChanged, 1);
}

TEST_F(ServerClientTest, DemoUserSeesItsSmsAccountsNoticesHistoryAndStatus) {
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "demo", "demo123")) << c.LastError();
    EXPECT_EQ(c.LoginNotices().size(), 3u);

    std::vector<CSmsData> sms;
    ASSERT_TRUE(c.DownloadSms(sms));
    ASSERT_EQ(sms.size(), 5u);
    EXPECT_EQ(FieldUtf8(sms[0].ContactName), "张三");
    EXPECT_EQ(FieldUtf8(sms[2].PhoneNumber), "10086");

    ASSERT_TRUE(c.DeleteSms({sms[0].SmsID, sms[3].SmsID}));
    std::vector<CSmsData> left;
    ASSERT_TRUE(c.DownloadSms(left));
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[0].SmsID, sms[1].SmsID);
    EXPECT_EQ(left[2].SmsID, sms[4].SmsID);

    std::vector<CAccountData> accounts;
    ASSERT_TRUE(c.DownloadAccounts(accounts));
    ASSERT_EQ(accounts.size(), 3u);
    EXPECT_EQ(FieldUtf8(accounts[0].GameName), "梦幻西游");

    CAccountData a;
    SetFieldUtf8(a.AccountName, "新号");
    SetFieldUtf8(a.GameName, "天龙八部");
    SetField(a.AccountID, "newbie");
    ASSERT_TRUE(c.ModifyAccount(a, true));
    SetField(a.AccountPwd, "changed");
    ASSERT_TRUE(c.ModifyAccount(a, false));
    ASSERT_TRUE(c.DeleteAccount(Gbk("小号")));
    accounts.clear();
    ASSERT_TRUE(c.DownloadAccounts(accounts));
    ASSERT_EQ(accounts.size(), 3u);
    EXPECT_EQ(FieldUtf8(accounts[2].AccountName), "新号");
    EXPECT_EQ(FieldText(accounts[2].AccountPwd), "changed");

    // Unknown names: nothing to modify or delete.
    CAccountData ghost;
    SetField(ghost.AccountName, "ghost");
    EXPECT_FALSE(c.ModifyAccount(ghost, false));
    EXPECT_EQ(c.LastError(), 120);
    EXPECT_FALSE(c.DeleteAccount("ghost"));
    EXPECT_EQ(c.LastError(), 120);

    std::vector<CHistoryData> history;
    ASSERT_TRUE(c.DownloadHistory(history));
    ASSERT_GE(history.size(), 6u);
    // Newest first: the account deletion, the modification, the addition, the SMS deletion.
    EXPECT_EQ(FieldUtf8(history[0].Operation), "删除游戏账号：小号");
    EXPECT_EQ(FieldUtf8(history[3].Operation), "删除短信2条");
    EXPECT_EQ(FieldText(history[0].UserName), "demo");

    CMemberStatus status;
    ASSERT_TRUE(c.MemberStatus(status));
    EXPECT_EQ(GbkToUtf8(status.FeeType), "标准会员");
    EXPECT_EQ(status.Balance, 100u);
    EXPECT_EQ(status.ExpiryTime.size(), 19u);

    CStatisticsData stats;
    ASSERT_TRUE(c.ServerStatistics(stats));
    EXPECT_EQ(stats.Contacts.Count, 3u);
    EXPECT_EQ(stats.Sms.Count, 3u);
    EXPECT_EQ(stats.Accounts.Count, 3u);
    EXPECT_EQ(FieldText(stats.Accounts.LastTime).size(), 19u);

    ASSERT_TRUE(c.DeleteContacts({Gbk("张三"), Gbk("没有这个人")}));
    ASSERT_TRUE(c.ServerStatistics(stats));
    EXPECT_EQ(stats.Contacts.Count, 2u);
}

TEST_F(ServerClientTest, RefusalsCarryTheirResultCodes) {
    ASSERT_TRUE(RegisterUser("taken", "right"));
    EXPECT_FALSE(RegisterUser("taken", "other"));
    {
        CKavoTcpClient c;
        Point(c);
        ASSERT_TRUE(c.ConnectLoginServer());
        EXPECT_FALSE(c.Register("taken", "x", ""));
        EXPECT_EQ(c.LastError(), 2);
    }
    CKavoTcpClient c;
    EXPECT_FALSE(LoginAs(c, "nobody", "x"));
    EXPECT_EQ(c.LastError(), 23);
    EXPECT_FALSE(LoginAs(c, "taken", "wrong"));
    EXPECT_EQ(c.LastError(), 25);
    ASSERT_TRUE(LoginAs(c, "taken", "right"));

    // A right login clears the count: nine more wrong ones still get 25, the tenth locks.
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(LoginAs(c, "taken", "wrong"));
        EXPECT_EQ(c.LastError(), 25) << i;
    }
    EXPECT_FALSE(LoginAs(c, "taken", "wrong"));
    EXPECT_EQ(c.LastError(), 24);
    EXPECT_FALSE(LoginAs(c, "taken", "right"));
    EXPECT_EQ(c.LastError(), 24);
    // Other users are not affected.
    CKavoTcpClient demo;
    EXPECT_TRUE(LoginAs(demo, "demo", "demo123"));

    CAccountData a;
    EXPECT_FALSE(demo.ModifyAccount(a, true));
    EXPECT_EQ(demo.LastError(), 129);
}

TEST_F(ServerClientTest, ChangePasswordChecksTheOldOneAndTakesEffect) {
    ASSERT_TRUE(RegisterUser("changer", "old"));
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "changer", "old"));
    EXPECT_FALSE(c.ChangePassword("changer", "not-old", "new"));
    EXPECT_EQ(c.LastError(), 124);
    EXPECT_FALSE(c.ChangePassword("demo", "demo123", "new"));
    EXPECT_EQ(c.LastError(), 125);
    ASSERT_TRUE(c.ChangePassword("changer", "old", "new")) << c.LastError();

    CKavoTcpClient again;
    EXPECT_FALSE(LoginAs(again, "changer", "old"));
    EXPECT_EQ(again.LastError(), 25);
    EXPECT_TRUE(LoginAs(again, "changer", "new"));
    std::vector<CHistoryData> history;
    ASSERT_TRUE(again.DownloadHistory(history));
    ASSERT_GE(history.size(), 3u);
    EXPECT_EQ(FieldUtf8(history[0].Operation), "登录");
    EXPECT_EQ(FieldUtf8(history[1].Operation), "修改密码");
}

TEST_F(ServerClientTest, TwoUsersSideBySideNeverSeeEachOthersData) {
    ASSERT_TRUE(RegisterUser("alice", "a"));
    ASSERT_TRUE(RegisterUser("bob", "b"));
    CKavoTcpClient alice, bob;
    ASSERT_TRUE(LoginAs(alice, "alice", "a"));
    ASSERT_TRUE(LoginAs(bob, "bob", "b"));

    std::deque<CRelData> aliceList, bobList;
    for (int i = 0; i < 300; ++i) aliceList.push_back(Contact(i));
    for (int i = 1000; i < 1050; ++i) bobList.push_back(Contact(i));
    // Interleaved batches on the two connections.
    while (!aliceList.empty() || !bobList.empty()) {
        if (!aliceList.empty()) {
            ASSERT_TRUE(alice.UploadContacts(aliceList, 1));
        }
        if (!bobList.empty()) {
            ASSERT_TRUE(bob.UploadContacts(bobList, 1));
        }
    }
    EXPECT_EQ(alice.ContactCount(), 300u);
    EXPECT_EQ(bob.ContactCount(), 50u);

    std::vector<CRelData> got;
    ASSERT_TRUE(Restore(bob, got));
    ASSERT_EQ(got.size(), 50u);
    EXPECT_EQ(FieldUtf8(got[0].RelName), "联系人1000");

    // Bob deleting Alice's contact names touches only his own address book.
    ASSERT_TRUE(bob.DeleteContacts({Gbk("联系人1")}));
    EXPECT_EQ(alice.ContactCount(), 300u);
    std::vector<CSmsData> sms;
    ASSERT_TRUE(alice.DownloadSms(sms));
    EXPECT_TRUE(sms.empty());
}

TEST_F(ServerClientTest, StaleOrForeignTokensAreRefusedAndTouchNothing) {
    ASSERT_TRUE(RegisterUser("holder", "pw"));
    CKavoTcpClient owner;
    ASSERT_TRUE(LoginAs(owner, "holder", "pw"));
    ASSERT_TRUE(Upload(owner, {Contact(1), Contact(2)}, 1));

    test::CRawKavoClient raw;
    ASSERT_TRUE(raw.Connect(server.host(), server.servicePort()));
    raw.token().fill(0x5A);
    test::RawReply reply;
    std::vector<std::uint8_t> names;
    test::AppendU32(names, 1);
    test::AppendFixed(names, Gbk("联系人1"), 50);
    ASSERT_TRUE(raw.Call(wire::Cmd::ContactDelete, names, &reply));
    EXPECT_EQ(reply.result(), 122u);
    EXPECT_EQ(reply.header.command, 0x80000037u);
    ASSERT_TRUE(raw.Call(wire::Cmd::ContactCount, {}, &reply));
    EXPECT_EQ(reply.result(), 122u);
    EXPECT_EQ(owner.ContactCount(), 2u);

    // The same token ended with LoginClose on the service server is stale from then on.
    std::copy(owner.Token().begin(), owner.Token().end(), raw.token().begin());
    ASSERT_TRUE(raw.Call(wire::Cmd::ContactCount, {}, &reply));
    EXPECT_EQ(reply.result(), 0u);
    EXPECT_EQ(reply.U32(16), 2u);
    ASSERT_TRUE(raw.Call(wire::Cmd::LoginClose, {}, &reply));
    EXPECT_EQ(reply.result(), 0u);
    ASSERT_TRUE(raw.Call(wire::Cmd::ContactDelete, names, &reply));
    EXPECT_EQ(reply.result(), 122u);
    EXPECT_EQ(owner.ContactCount(), 0u);
    EXPECT_EQ(owner.LastError(), 122);
}

TEST_F(ServerClientTest, NamesMatchWithoutLetterCaseAndAnAccountCanBeRenamedInCaseOnly) {
    ASSERT_TRUE(RegisterUser("Carol", "pw"));
    {
        CKavoTcpClient c;
        Point(c);
        ASSERT_TRUE(c.ConnectLoginServer());
        EXPECT_FALSE(c.Register("CAROL", "x", ""));
        EXPECT_EQ(c.LastError(), 2);
    }
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "carol", "pw")) << c.LastError();

    CAccountData a;
    SetField(a.AccountName, "Main");
    SetField(a.AccountID, "id-1");
    ASSERT_TRUE(c.ModifyAccount(a, true));
    // The account manager sends a case-only rename as a modification of the same account.
    SetField(a.AccountName, "MAIN");
    SetField(a.AccountPwd, "secret");
    ASSERT_TRUE(c.ModifyAccount(a, false)) << c.LastError();
    // Adding it again in yet another case replaces it: never two of one name.
    SetField(a.AccountName, "main");
    SetField(a.AccountID, "id-2");
    ASSERT_TRUE(c.ModifyAccount(a, true));
    std::vector<CAccountData> accounts;
    ASSERT_TRUE(c.DownloadAccounts(accounts));
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(FieldText(accounts[0].AccountName), "main");
    EXPECT_EQ(FieldText(accounts[0].AccountID), "id-2");
    ASSERT_TRUE(c.DeleteAccount("mAIN"));
    EXPECT_FALSE(c.DeleteAccount("main"));
    EXPECT_EQ(c.LastError(), 120);

    // The name the user typed at login, in whatever case, is accepted by ChangePassword.
    ASSERT_TRUE(c.ChangePassword("carol", "pw", "new")) << c.LastError();
    CKavoTcpClient again;
    EXPECT_TRUE(LoginAs(again, "CaRoL", "new"));
}

TEST_F(ServerClientTest, KeptVersionsAreListedAndReinstatedFromTheCommandLine) {
    ASSERT_TRUE(RegisterUser("keeper", "pw"));
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "keeper", "pw"));
    ASSERT_TRUE(Upload(c, {Contact(1), Contact(2), Contact(3)}, 1));
    ASSERT_TRUE(Upload(c, {Contact(7)}, 1));

    // Run beside the serving process, on the same file.
    auto run = [&](const std::string& args, std::string* out) {
        std::string cmd = test::BinDir() + "/kavo-server";
        for (const std::string& a : test::Backend({"--db", server.dbPath()})) cmd += " '" + a + "'";
        cmd += " " + args + " 2>&1";
        FILE* p = popen(cmd.c_str(), "r");
        if (!p) return -1;
        char buf[512];
        out->clear();
        while (std::fgets(buf, sizeof(buf), p)) *out += buf;
        int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    ASSERT_EQ(run("--versions KEEPER", &out), 0) << out;
    EXPECT_NE(out.find("version  time"), std::string::npos) << out;
    EXPECT_NE(out.find("\n1        20"), std::string::npos) << out;
    EXPECT_NE(out.find(" 3\n"), std::string::npos) << out;

    ASSERT_EQ(run("--reinstate keeper 1", &out), 0) << out;
    EXPECT_EQ(out,
              "keeper: version 1 is the address book again (3 contacts); the book it replaced is "
              "kept as version 2\n");
    std::vector<CRelData> back;
    ASSERT_TRUE(Restore(c, back));
    ASSERT_EQ(back.size(), 3u);
    CRelData third = Contact(3);
    EXPECT_EQ(std::memcmp(&back[2], &third, sizeof(CRelData)), 0);
    std::vector<CHistoryData> history;
    ASSERT_TRUE(c.DownloadHistory(history));
    ASSERT_FALSE(history.empty());
    bool logged = false;
    for (const CHistoryData& h : history)
        logged = logged || FieldUtf8(h.Operation) == "恢复第1版通讯录，共3条";
    EXPECT_TRUE(logged);

    EXPECT_EQ(run("--reinstate keeper 9", &out), 1);
    EXPECT_NE(out.find("has no version 9"), std::string::npos) << out;
    EXPECT_EQ(run("--versions nobody", &out), 1);
    EXPECT_EQ(run("--reinstate keeper x", &out), 2);
}

TEST_F(ServerClientTest, CommittedDataSurvivesAStopAndAKill) {
    ASSERT_TRUE(RegisterUser("durable", "pw"));
    {
        CKavoTcpClient c;
        ASSERT_TRUE(LoginAs(c, "durable", "pw"));
        ASSERT_TRUE(Upload(c, {Contact(1), Contact(2), Contact(3)}, 1));
    }
    std::string db = server.dbPath();
    kill(server.pid(), SIGINT);
    EXPECT_EQ(server.Stop(), 0);
    EXPECT_NE(server.ReadLog().find("kavo-server: stopped"), std::string::npos);
    ASSERT_TRUE(server.Start(test::Backend({}), db)) << server.error();
    {
        CKavoTcpClient c;
        ASSERT_TRUE(LoginAs(c, "durable", "pw"));
        EXPECT_EQ(c.ContactCount(), 3u);
        ASSERT_TRUE(Upload(c, {Contact(4)}, 0));
    }
    server.Kill();
    ASSERT_TRUE(server.Start(test::Backend({}), db)) << server.error();
    CKavoTcpClient c;
    ASSERT_TRUE(LoginAs(c, "durable", "pw"));
    EXPECT_EQ(c.ContactCount(), 4u);
    EXPECT_NE(server.ReadLog().find("ContactCount result=0"), std::string::npos);
}

}  // namespace
}  // namespace kavo
