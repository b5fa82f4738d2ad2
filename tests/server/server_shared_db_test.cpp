// Two kavo-server processes on one PostgreSQL database, as behind one address on several
// machines: a client may log in through one and be served by the other, and what either
// writes the other sees.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <atomic>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/kavo_tcp_client.h"
#include "server_backend.h"
#include "server_runner.h"

namespace kavo {
namespace {

CRelData Contact(int i) {
    CRelData c;
    SetFieldUtf8(c.RelName, "联系人" + std::to_string(i));
    SetField(c.MobilePhone1, "139" + std::to_string(10000000 + i));
    return c;
}

class SharedDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.Start(test::Backend({"--seed-demo"}))) << a.error();
        ASSERT_TRUE(b.Start(test::Backend({}))) << b.error();
    }

    // Logs in through `login`'s login server, then is served by `service`.
    static bool LoginAcross(CKavoTcpClient& c, const test::ServerRunner& login,
                            const test::ServerRunner& service, const std::string& name,
                            const std::string& password) {
        c.SetServerHost(0, login.host());
        c.SetServerHost(1, "");
        c.SetServerHost(2, "");
        c.SetPorts(login.loginPort(), service.servicePort());
        return c.ConnectLoginServer() && c.Login(name, password);
    }

    static bool RegisterAt(const test::ServerRunner& s, const std::string& name, int* code) {
        CKavoTcpClient c;
        c.SetServerHost(0, s.host());
        c.SetServerHost(1, "");
        c.SetServerHost(2, "");
        c.SetPorts(s.loginPort(), s.servicePort());
        bool ok = c.ConnectLoginServer() && c.Register(name, "pw", "");
        *code = c.LastError();
        return ok;
    }

    test::ServerRunner a, b;
};

TEST_F(SharedDatabaseTest, ALoginOnOneServerIsServedByTheOther) {
    int code = 0;
    ASSERT_TRUE(RegisterAt(a, "roamer", &code)) << code;
    EXPECT_FALSE(RegisterAt(b, "ROAMER", &code));  // taken, in any case, on either server
    EXPECT_EQ(code, 2);

    CKavoTcpClient c;
    ASSERT_TRUE(LoginAcross(c, a, b, "roamer", "pw")) << c.LastError();
    std::deque<CRelData> list;
    for (int i = 0; i < 300; ++i) list.push_back(Contact(i));
    while (!list.empty()) ASSERT_TRUE(c.UploadContacts(list, 1)) << c.LastError();

    // Back the other way: stored through b, restored through a.
    CKavoTcpClient d;
    ASSERT_TRUE(LoginAcross(d, b, a, "roamer", "pw")) << d.LastError();
    int remaining = static_cast<int>(d.ContactCount());
    ASSERT_EQ(remaining, 300);
    std::vector<CRelData> back;
    while (remaining > 0) {
        std::size_t before = back.size();
        ASSERT_TRUE(d.DownloadContacts(remaining, back));
        ASSERT_GT(back.size(), before);
        remaining -= static_cast<int>(back.size() - before);
    }
    EXPECT_EQ(FieldUtf8(back[299].RelName), "联系人299");

    // Ten wrong passwords, half through each server, lock the user on both.
    for (int i = 0; i < 10; ++i) {
        CKavoTcpClient wrong;
        EXPECT_FALSE(LoginAcross(wrong, i % 2 ? a : b, a, "roamer", "bad"));
    }
    CKavoTcpClient locked;
    EXPECT_FALSE(LoginAcross(locked, b, b, "roamer", "pw"));
    EXPECT_EQ(locked.LastError(), 24);
}

TEST_F(SharedDatabaseTest, RegistrationsRacingOnBothServersLeaveOneUserPerName) {
    std::atomic<int> created{0}, taken{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                int code = 0;
                std::string name = (t % 2 ? "Racer" : "racer") + std::to_string(i);
                if (RegisterAt(t % 2 ? a : b, name, &code)) {
                    ++created;
                } else if (code == 2) {
                    ++taken;
                }
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(created.load(), 10);
    EXPECT_EQ(taken.load(), 70);
}

TEST(SharedDatabaseSchemaTest, ServersStartingTogetherMakeTheTablesOnceAndANewerSchemaIsRefused) {
    std::vector<std::string> args = test::Backend({});
    const std::string conninfo = args.back();
    test::ServerRunner a, b;
    bool startedA = false, startedB = false;
    std::thread ta([&] { startedA = a.Start(args); });
    std::thread tb([&] { startedB = b.Start(args); });
    ta.join();
    tb.join();
    ASSERT_TRUE(startedA) << a.error();
    ASSERT_TRUE(startedB) << b.error();
    EXPECT_EQ(a.Stop(), 0);
    EXPECT_EQ(b.Stop(), 0);

    PGconn* conn = PQconnectdb(conninfo.c_str());
    ASSERT_EQ(PQstatus(conn), CONNECTION_OK) << PQerrorMessage(conn);
    PGresult* r = PQexec(conn, "SELECT count(*), max(version) FROM kavo_schema");
    ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK);
    EXPECT_STREQ(PQgetvalue(r, 0, 0), "1");
    EXPECT_STREQ(PQgetvalue(r, 0, 1), "1");
    PQclear(r);
    r = PQexec(conn, "UPDATE kavo_schema SET version = 99");
    EXPECT_EQ(PQresultStatus(r), PGRES_COMMAND_OK);
    PQclear(r);
    PQfinish(conn);
    EXPECT_FALSE(a.Start(args));
    EXPECT_NE(a.error().find("set up by a newer kavo-server (schema 99)"), std::string::npos)
        << a.error();
}

}  // namespace
}  // namespace kavo
