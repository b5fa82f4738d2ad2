#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "codecs/md5_checksum.h"
#include "fake_server.h"
#include "net/field_codec.h"
#include "net/kavo_tcp_client.h"

namespace kavo {
namespace {

using test::Action;
using test::Answer;
using test::Bytes;
using test::Cat;
using test::CFakeServer;
using test::MakeReply;
using test::Request;
using test::Send;
using test::TextBytes;
using test::U32Bytes;

std::string Md5(std::string_view s) { return CMD5Checksum::GetMD5(s.data(), s.size()); }

Bytes Fixed(std::string_view s, std::size_t width) {
    Bytes b(width, 0);
    std::memcpy(b.data(), s.data(), s.size());
    return b;
}

Bytes TokenBytes() {
    Bytes t(32);
    for (int i = 0; i < 32; ++i) t[i] = static_cast<std::uint8_t>(0xA0 + i);
    return t;
}

// Login reply body: the token, then the service address as NUL-terminated text.
Bytes LoginBody(std::string_view address) {
    Bytes b = Cat({TokenBytes(), TextBytes(address)});
    b.resize(std::max<std::size_t>(b.size() + 1, 51), 0);
    return b;
}

class ClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        client.SetServerHost(0, "127.0.0.1");
        client.SetPorts(login.Port(), service.Port());
        CNetTimeouts t;
        t.ioMs = 3000;
        t.drainMs = 3000;
        t.livenessMs = 200;
        t.connectMs = 3000;
        client.SetTimeouts(t);
        client.SetClock([] { return std::string("123456"); });
    }

    // A successful login that leaves the client on the service server, no notices waiting.
    void LogIn() {
        login.Then(Answer(0, LoginBody("127.0.0.1"))).Then(Answer(0));
        service.Then(Answer(0, U32Bytes(0)));
        ASSERT_TRUE(client.ConnectLoginServer());
        ASSERT_TRUE(client.Login("alice", "secret"));
        ASSERT_TRUE(service.WaitRequests(1));
    }

    // The requests the service server received after the login's notice count.
    std::vector<Request> ServiceRequestsAfterLogin() {
        auto all = service.Requests();
        return std::vector<Request>(all.begin() + 1, all.end());
    }

    CFakeServer login;
    CFakeServer service;
    CKavoTcpClient client;
};

TEST_F(ClientTest, LoginSendsExactBytesThenMovesToTheServiceServer) {
    LogIn();
    auto reqs = login.Requests();
    ASSERT_EQ(reqs.size(), 2u);
    Bytes expected =
        Cat({U32Bytes(104), U32Bytes(0x04), U32Bytes(0), Fixed("alice", 50),
             TextBytes(Md5("123456" + Md5("secret"))), TextBytes("123456"), U32Bytes(1)});
    EXPECT_EQ(reqs[0].bytes, expected);
    // LoginClose carries the new token.
    EXPECT_EQ(reqs[1].bytes, Cat({U32Bytes(44), U32Bytes(0x02), U32Bytes(1), TokenBytes()}));

    auto svc = service.Requests();
    ASSERT_EQ(svc.size(), 1u);
    EXPECT_EQ(svc[0].bytes, Cat({U32Bytes(44), U32Bytes(0x20), U32Bytes(2), TokenBytes()}));
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.Port(), service.Port());
    EXPECT_EQ(client.LastError(), 0);
    EXPECT_EQ(client.Sequence(), 3u);
}

TEST_F(ClientTest, LoginReplyNamingNoAddressFallsBackToTheLoginHost) {
    login.Then(Answer(0, LoginBody("0.0.0.0"))).Then(Answer(0));
    service.Then(Answer(0, U32Bytes(0)));
    ASSERT_TRUE(client.ConnectLoginServer());
    ASSERT_TRUE(client.Login("alice", "secret"));
    EXPECT_EQ(client.Host(), "127.0.0.1");
    EXPECT_EQ(client.Port(), service.Port());
}

TEST_F(ClientTest, LoginDownloadsTheWaitingNotices) {
    CMsgData n1, n2;
    SetField(n1.MsgText, "first");
    SetField(n2.MsgText, "second");
    std::memset(n2.Reserved, 0x33, sizeof(n2.Reserved));
    Bytes two(300);
    std::memcpy(two.data(), &n1, 150);
    std::memcpy(two.data() + 150, &n2, 150);
    login.Then(Answer(0, LoginBody("127.0.0.1"))).Then(Answer(0));
    service.Then(Answer(0, U32Bytes(2))).Then(Answer(2, two));
    ASSERT_TRUE(client.ConnectLoginServer());
    ASSERT_TRUE(client.Login("alice", "secret"));
    ASSERT_EQ(client.LoginNotices().size(), 2u);
    EXPECT_EQ(std::memcmp(&client.LoginNotices()[1], &n2, 150), 0);
}

TEST_F(ClientTest, RefusedLoginClosesTheConnectionAndKeepsTheResult) {
    // A reply of 66 bytes is refused even with result 0.
    Bytes shortBody = LoginBody("127.0.0.1");
    shortBody.resize(50);
    login.Then(Answer(0, shortBody));
    ASSERT_TRUE(client.ConnectLoginServer());
    EXPECT_FALSE(client.Login("alice", "secret"));
    EXPECT_EQ(client.LastError(), 0);
    EXPECT_FALSE(client.IsConnected());

    login.Then(Answer(25));
    ASSERT_TRUE(client.ConnectLoginServer());
    EXPECT_FALSE(client.Login("alice", "wrong"));
    EXPECT_EQ(client.LastError(), 25);
    EXPECT_FALSE(client.IsConnected());
    // One packet each, and the counter never goes back.
    EXPECT_EQ(client.Sequence(), 2u);
    EXPECT_EQ(login.Requests()[1].sequence(), 1u);
}

// A loopback port that nobody listens on any more.
int ClosedPort() {
    auto* gone = new CFakeServer();
    int port = gone->Port();
    delete gone;
    return port;
}

TEST_F(ClientTest, UnreachableServiceServerFailsAfterTheTokenWasStored) {
    client.SetPorts(login.Port(), ClosedPort());
    login.Then(Answer(0, LoginBody("127.0.0.1"))).Then(Answer(0));
    ASSERT_TRUE(client.ConnectLoginServer());
    EXPECT_FALSE(client.Login("alice", "secret"));
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(Bytes(client.Token().begin(), client.Token().end()), TokenBytes());
}

TEST_F(ClientTest, CredentialsAreCheckedBeforeAnythingIsSent) {
    ASSERT_TRUE(client.ConnectLoginServer());
    EXPECT_FALSE(client.Login("", "secret"));
    EXPECT_FALSE(client.Login("alice", std::string(261, 'p')));
    EXPECT_FALSE(client.Login(std::string(51, 'u'), "secret"));
    EXPECT_EQ(client.LastError(), 123);
    EXPECT_FALSE(client.Register(std::string(51, 'u'), "secret", "a@b"));
    EXPECT_EQ(client.Sequence(), 0u);
    EXPECT_TRUE(login.Requests().empty());
}

TEST_F(ClientTest, RegisterSendsExactBytesStoresTheTokenAndCloses) {
    login.Then(Answer(0, TokenBytes())).Then(Answer(0));
    ASSERT_TRUE(client.ConnectLoginServer());
    // A user name that fills its field exactly goes without a terminator.
    std::string name(50, 'r');
    ASSERT_TRUE(client.Register(name, "pw", "13800000000"));
    ASSERT_TRUE(login.WaitRequests(2));
    auto reqs = login.Requests();
    Bytes expected = Cat({U32Bytes(144), U32Bytes(0x01), U32Bytes(0), Fixed(name, 50),
                          TextBytes(Md5("pw")), Fixed("13800000000", 50)});
    EXPECT_EQ(reqs[0].bytes, expected);
    EXPECT_EQ(reqs[1].command(), 0x02u);
    EXPECT_EQ(reqs[1].Token(), TokenBytes());
    EXPECT_FALSE(client.IsConnected());

    login.Then(Answer(2));
    ASSERT_TRUE(client.ConnectLoginServer());
    EXPECT_FALSE(client.Register("taken", "pw", ""));
    EXPECT_EQ(client.LastError(), 2);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(ClientTest, ChangePasswordAndEveryLaterRequestCarryTokenAndSequence) {
    LogIn();
    service.Then(Answer(0));
    ASSERT_TRUE(client.ChangePassword("alice", "secret", "newpw"));
    service.Then(Answer(0, U32Bytes(7)));
    EXPECT_EQ(client.ContactCount(), 7u);
    service.Then(Answer(0));
    EXPECT_TRUE(client.DeleteContacts({"Bob", "Carol"}));
    service.Then(Answer(0));
    EXPECT_TRUE(client.DeleteSms({1, 0x01020304}));
    service.Then(Answer(0));
    EXPECT_TRUE(client.DeleteAccount("game"));
    CAccountData acc;
    SetField(acc.AccountName, "game");
    SetField(acc.AccountPwd, "pw");
    service.Then(Answer(0)).Then(Answer(0));
    EXPECT_TRUE(client.ModifyAccount(acc, true));
    EXPECT_TRUE(client.ModifyAccount(acc, false));

    auto reqs = ServiceRequestsAfterLogin();
    ASSERT_EQ(reqs.size(), 7u);
    EXPECT_EQ(reqs[0].bytes, Cat({U32Bytes(164), U32Bytes(0x05), U32Bytes(3), TokenBytes(),
                                  Fixed("alice", 50), TextBytes(Md5("123456" + Md5("secret"))),
                                  TextBytes("123456"), TextBytes(Md5("newpw"))}));
    for (std::size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i].sequence(), 3 + i);
        EXPECT_EQ(reqs[i].Token(), TokenBytes());
        EXPECT_EQ(reqs[i].length(), reqs[i].bytes.size());
    }
    EXPECT_EQ(reqs[2].bytes, Cat({U32Bytes(148), U32Bytes(0x37), U32Bytes(5), TokenBytes(),
                                  U32Bytes(2), Fixed("Bob", 50), Fixed("Carol", 50)}));
    EXPECT_EQ(reqs[3].bytes, Cat({U32Bytes(56), U32Bytes(0x45), U32Bytes(6), TokenBytes(),
                                  U32Bytes(2), U32Bytes(1), U32Bytes(0x01020304)}));
    EXPECT_EQ(reqs[4].bytes, Cat({U32Bytes(50), U32Bytes(0x54), U32Bytes(7), TokenBytes(),
                                  test::U16String("game")}));
    Bytes packed = Cat({test::U16String("game"), test::U16String(""), test::U16String(""),
                        test::U16String("pw"), test::U16String("")});
    EXPECT_EQ(reqs[5].command(), 0x53u);
    EXPECT_EQ(Bytes(reqs[5].bytes.begin() + 44, reqs[5].bytes.end()), packed);
    EXPECT_EQ(reqs[6].command(), 0x52u);
}

TEST_F(ClientTest, RepliesAreRefusedForLengthCommandSequenceAndResult) {
    LogIn();
    // Too short for a count.
    service.Then([](const Request& q) { return Action{{MakeReply(0x80000034, q.sequence(), 0)}}; });
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 0);
    // Another command.
    service.Then([](const Request& q) {
        return Action{{MakeReply(0x80000040, q.sequence(), 0, U32Bytes(3))}};
    });
    EXPECT_EQ(client.ContactCount(), 0u);
    // The sequence number of the request before.
    service.Then([](const Request& q) {
        return Action{{MakeReply(0x80000034, q.sequence() - 1, 9, U32Bytes(3))}};
    });
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 9);
    // A non-zero result.
    service.Then(Answer(127, U32Bytes(3)));
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 127);
    // A reply of exactly 12 bytes: read without a second receive, then refused.
    service.Then([](const Request& q) {
        Bytes b = MakeReply(0x80000034, q.sequence(), 5);
        b.resize(12);
        wire::PutU32(b.data(), 12);
        return Action{{b}};
    });
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 0);
    EXPECT_TRUE(client.IsConnected());
    // Lockstep kept: the next request works.
    service.Then(Answer(0, U32Bytes(4)));
    EXPECT_EQ(client.ContactCount(), 4u);
}

TEST_F(ClientTest, OversizedReplyIsDrainedAndRefusedButOneByteLessIsRead) {
    LogIn();
    service.Then([](const Request& q) {
        Bytes big = MakeReply(0x80000034, q.sequence(), 0, Bytes(0x2000 - 16, 1));
        return Action{{big}};
    });
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_TRUE(client.IsConnected());

    service.Then([](const Request& q) {
        Bytes body(0x1FFF - 16, 0);
        wire::PutU32(body.data(), 11);
        return Action{{MakeReply(0x80000034, q.sequence(), 0, body)}};
    });
    EXPECT_EQ(client.ContactCount(), 11u);
}

TEST_F(ClientTest, ReplyInSixPiecesFailsWithTheConnectionStillOpen) {
    LogIn();
    service.Then([](const Request& q) {
        Bytes r = MakeReply(0x80000034, q.sequence(), 0, U32Bytes(1));
        Action a;
        for (int i = 0; i < 6; ++i)
            a.pieces.push_back(Bytes(r.begin() + 2 * i, r.begin() + 2 * i + 2));
        a.pieces.push_back(Bytes(r.begin() + 12, r.end()));
        a.gapMs = 150;
        return a;
    });
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(ClientTest, PeerThatClosesMakesTheReceiveFailAndClosesTheConnection) {
    LogIn();
    service.Then(test::CloseNow());
    std::vector<CSmsData> sms;
    EXPECT_FALSE(client.DownloadSms(sms));
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_FALSE(client.IsConnected());
    bool alive = true;
    ASSERT_TRUE(client.TryIsConnected(&alive));
    EXPECT_FALSE(alive);
    // Sending on the closed client fails without reaching anyone; the counter keeps its value.
    std::uint32_t seq = client.Sequence();
    EXPECT_EQ(client.ContactCount(), 0u);
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_EQ(client.Sequence(), seq);
    // A new connection continues the count.
    ASSERT_TRUE(client.Connect("127.0.0.1", service.Port()));
    service.Then(Answer(0, U32Bytes(2)));
    EXPECT_EQ(client.ContactCount(), 2u);
    EXPECT_EQ(service.Requests().back().sequence(), seq);
}

Bytes SmsBatch(std::initializer_list<std::uint32_t> ids) {
    Bytes out;
    for (std::uint32_t id : ids) {
        CSmsData s;
        s.SmsID = id;
        SetField(s.ContactName, "Bob");
        SetField(s.SmsText, "hi " + std::to_string(id));
        Bytes b(512);
        b.resize(wire::PackSms(s, b.data(), b.size()));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(ClientTest, SmsDownloadAsksFromTheNumberReceivedAndEndsAtTheTotal) {
    LogIn();
    service.Then(Answer(0, U32Bytes(5)))
        .Then(Answer(3, SmsBatch({1, 2, 3})))
        .Then(Answer(3, SmsBatch({4, 5, 6})));
    std::vector<CSmsData> sms;
    ASSERT_TRUE(client.DownloadSms(sms));
    ASSERT_EQ(sms.size(), 6u);
    EXPECT_EQ(sms[5].SmsID, 6u);
    EXPECT_EQ(FieldText(sms[3].SmsText), "hi 4");
    auto reqs = ServiceRequestsAfterLogin();
    ASSERT_EQ(reqs.size(), 3u);
    EXPECT_EQ(reqs[1].length(), 52u);
    EXPECT_EQ(reqs[1].U32(44), 0u);
    EXPECT_EQ(reqs[2].U32(44), 3u);
    EXPECT_EQ(reqs[2].U32(48), 3u);

    // A batch without records fails and keeps what came before; the error stays as it was.
    service.Then(Answer(0, U32Bytes(4))).Then(Answer(2, SmsBatch({7, 8}))).Then(Answer(0));
    sms.clear();
    EXPECT_FALSE(client.DownloadSms(sms));
    EXPECT_EQ(sms.size(), 2u);
    EXPECT_EQ(client.LastError(), 0);

    // A failed count sets the error to the count reply's result.
    service.Then(Answer(118, U32Bytes(4)));
    EXPECT_FALSE(client.DownloadSms(sms));
    EXPECT_EQ(client.LastError(), 118);
}

TEST_F(ClientTest, NoticeBatchesMustNotExceedWhatIsStillExpected) {
    LogIn();
    Bytes one(150, 'n'), two(300, 'm'), four(600, 'x');
    service.Then(Answer(0, U32Bytes(3))).Then(Answer(4, four));
    std::vector<CMsgData> notices;
    EXPECT_FALSE(client.DownloadNotices(notices));
    EXPECT_TRUE(notices.empty());

    service.Then(Answer(0, U32Bytes(3))).Then(Answer(2, two)).Then(Answer(1, one));
    EXPECT_TRUE(client.DownloadNotices(notices));
    ASSERT_EQ(notices.size(), 3u);
    EXPECT_EQ(notices[2].MsgText[0], 'n');

    // A batch that announces more records than its length holds is refused.
    notices.clear();
    service.Then(Answer(0, U32Bytes(2))).Then(Answer(2, one));
    EXPECT_FALSE(client.DownloadNotices(notices));
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(client.LastError(), 123);
}

Bytes AccountBatch(int n) {
    Bytes out;
    for (int i = 0; i < n; ++i) {
        CAccountData a;
        SetField(a.AccountName, "acc" + std::to_string(i));
        Bytes b(1024);
        b.resize(wire::PackAccount(a, b.data(), b.size()));
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

TEST_F(ClientTest, AccountDownloadEndsWhenTheExpectedCountIsReachedOrPassed) {
    LogIn();
    service.Then(Answer(0, U32Bytes(3)))
        .Then(Answer(2, AccountBatch(2)))
        .Then(Answer(2, AccountBatch(2)));
    std::vector<CAccountData> acc;
    ASSERT_TRUE(client.DownloadAccounts(acc));
    EXPECT_EQ(acc.size(), 4u);
    EXPECT_EQ(FieldText(acc[3].AccountName), "acc1");

    service.Then(Answer(0, U32Bytes(3))).Then(Answer(0));
    acc.clear();
    EXPECT_FALSE(client.DownloadAccounts(acc));

    service.Then(Answer(0, U32Bytes(0)));
    EXPECT_TRUE(client.DownloadAccounts(acc));
    EXPECT_TRUE(acc.empty());
}

TEST_F(ClientTest, RepliesWhoseStringCountsLieAreRefusedWithNothingAppended) {
    LogIn();
    Bytes lie = AccountBatch(2);
    lie.resize(lie.size() - 3);
    service.Then(Answer(0, U32Bytes(2))).Then(Answer(2, lie));
    std::vector<CAccountData> acc;
    EXPECT_FALSE(client.DownloadAccounts(acc));
    EXPECT_TRUE(acc.empty());
    EXPECT_EQ(client.LastError(), 123);

    // The counts claim more bytes than the reply holds, though the buffer has old bytes there.
    Bytes contact = {0xFF, 0x00};
    service.Then(Answer(1, contact));
    std::vector<CRelData> contacts;
    EXPECT_FALSE(client.DownloadContacts(5, contacts));
    EXPECT_TRUE(contacts.empty());

    // History announcing more records than it holds.
    service.Then(Answer(0, Cat({U32Bytes(1000), test::U16String("alice")})));
    std::vector<CHistoryData> history;
    EXPECT_FALSE(client.DownloadHistory(history));
    EXPECT_TRUE(history.empty());

    // Member status whose fee text runs past the reply.
    Bytes status =
        Cat({U32Bytes(0), Fixed("2030-01-01", 20), U32Bytes(100), U32Bytes(10), TextBytes("VIP")});
    service.Then(Answer(0, status));
    CMemberStatus ms;
    EXPECT_FALSE(client.MemberStatus(ms));
    EXPECT_TRUE(client.IsConnected());
}

TEST_F(ClientTest, HistoryIsUnpackedWhateverTheResultField) {
    LogIn();
    Bytes body = U32Bytes(2);
    for (const char* op : {"store", "restore"}) {
        body = Cat(
            {body, test::U16String("alice"), test::U16String("2026-01-01"), test::U16String(op)});
    }
    service.Then(Answer(77, body));
    std::vector<CHistoryData> history;
    ASSERT_TRUE(client.DownloadHistory(history));
    ASSERT_EQ(history.size(), 2u);
    EXPECT_EQ(FieldText(history[1].Operation), "restore");

    // A refused history reply keeps the last error code.
    client.SetLastError(42);
    service.Then([](const Request& q) {
        return Action{{MakeReply(0x80000061, q.sequence(), 3, U32Bytes(0))}};
    });
    EXPECT_FALSE(client.DownloadHistory(history));
    EXPECT_EQ(client.LastError(), 42);
}

TEST_F(ClientTest, MemberStatusAndStatisticsAreReadFromTheirOffsets) {
    LogIn();
    service.Then(Answer(0, Cat({U32Bytes(9), Fixed("2030-01-01", 20), U32Bytes(1500), U32Bytes(3),
                                TextBytes("VIP")})));
    CMemberStatus ms;
    ASSERT_TRUE(client.MemberStatus(ms));
    EXPECT_EQ(ms.ExpiryTime, "2030-01-01");
    EXPECT_EQ(ms.Balance, 1500u);
    EXPECT_EQ(ms.FeeType, "VIP");

    Bytes stats = Cat({U32Bytes(12), Fixed("t1", 20), U32Bytes(34), Fixed("t2", 20), U32Bytes(56),
                       Fixed("t3", 20)});
    service.Then(Answer(0, stats));
    CStatisticsData s;
    ASSERT_TRUE(client.ServerStatistics(s));
    EXPECT_EQ(s.Contacts.Count, 12u);
    EXPECT_EQ(s.Accounts.Count, 56u);
    EXPECT_EQ(FieldText(s.Sms.LastTime), "t2");

    service.Then(Answer(0, Bytes(stats.begin(), stats.end() - 1)));  // 87 bytes
    EXPECT_FALSE(client.ServerStatistics(s));
    EXPECT_EQ(s.Sms.Count, 34u);
}

// A contact whose packed form is exactly `size` bytes: its name, then filler text in the
// other fields from the last one backwards.
CRelData ContactOfPackedSize(std::size_t size, int i) {
    CRelData c;
    std::string name = std::to_string(i);
    name.insert(name.begin(), 'c');
    SetField(c.RelName, name);
    std::size_t text = size - 66 - name.size();
    for (std::size_t f = kRelFieldCount - 1; f > 0 && text > 0; --f) {
        std::size_t n = std::min(text, kRelFields[f].width - 1);
        SetField(FieldPtr(&c, kRelFields[f]), kRelFields[f].width, std::string(n, 'x'));
        text -= n;
    }
    return c;
}

TEST_F(ClientTest, ContactUploadGoesInBatchesBelowTheRecordSize) {
    LogIn();
    std::deque<CRelData> list;
    for (int i = 0; i < 10; ++i) {
        list.push_back(ContactOfPackedSize(i == 3 ? 992 : 1000, i));
        if (i == 3) SetField(list.back().Picture, "C:\\a.bmp");
        ASSERT_EQ(wire::PackedContactSize(list.back()), 1000u);
    }
    int calls = 0;
    while (!list.empty()) {
        service.Then(Answer(0)).Then(Answer(0));
        ASSERT_TRUE(client.UploadContacts(list, 1));
        ASSERT_LE(++calls, 5);
    }
    EXPECT_EQ(calls, 5);
    auto reqs = ServiceRequestsAfterLogin();
    ASSERT_EQ(reqs.size(), 10u);
    for (int b = 0; b < 5; ++b) {
        const Request& begin = reqs[2 * b];
        const Request& batch = reqs[2 * b + 1];
        EXPECT_EQ(begin.command(), 0x32u);
        EXPECT_EQ(begin.length(), 52u);
        EXPECT_EQ(begin.U32(44), 0u);
        EXPECT_EQ(begin.U32(48), 10u - 2 * b);
        EXPECT_EQ(batch.command(), 0x33u);
        EXPECT_EQ(batch.length(), 2049u);
        EXPECT_EQ(batch.U32(44), 2u);
        EXPECT_EQ(batch.bytes[48], 1);
    }
    // The packed contacts come back as they were sent, Picture with a slash.
    CRelData back;
    const Bytes& second = reqs[3].bytes;
    std::size_t n = wire::UnpackContact(second.data() + 49, second.size() - 49, back);
    ASSERT_EQ(n, 1000u);
    EXPECT_EQ(FieldText(back.RelName), "c2");
    ASSERT_GT(wire::UnpackContact(second.data() + 49 + n, second.size() - 49 - n, back), 0u);
    EXPECT_EQ(FieldText(back.Picture), "C:/a.bmp");
}

TEST_F(ClientTest, ContactTooBigForAnyBatchFailsWithoutSending) {
    LogIn();
    std::deque<CRelData> list;
    CRelData big;
    for (const FieldSpec& f : kRelFields)
        SetField(FieldPtr(&big, f), f.width, std::string(f.width - 1, 'x'));
    list.push_back(big);
    std::uint32_t seq = client.Sequence();
    EXPECT_FALSE(client.UploadContacts(list, 0));
    EXPECT_EQ(client.LastError(), 123);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(client.Sequence(), seq);

    // Mode 0 puts the count in the first field.
    list.clear();
    list.push_back(ContactOfPackedSize(100, 1));
    service.Then(Answer(0)).Then(Answer(0));
    ASSERT_TRUE(client.UploadContacts(list, 0));
    auto reqs = ServiceRequestsAfterLogin();
    EXPECT_EQ(reqs[0].U32(44), 1u);
    EXPECT_EQ(reqs[0].U32(48), 0u);
    EXPECT_EQ(reqs[1].length(), 149u);
}

TEST_F(ClientTest, ContactDownloadTakesOneBatchAndReportsAMissingReplyThroughTheHook) {
    LogIn();
    std::vector<CRelData> out;
    EXPECT_TRUE(client.DownloadContacts(0, out));
    EXPECT_EQ(service.Requests().size(), 1u);

    CRelData c = ContactOfPackedSize(300, 1);
    Bytes packed(512);
    packed.resize(wire::PackContact(c, packed.data(), packed.size()));
    service.Then(Answer(2, Cat({packed, packed})));
    ASSERT_TRUE(client.DownloadContacts(3, out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::memcmp(&out[1], &c, sizeof(c)), 0);
    EXPECT_EQ(service.Requests().back().command(), 0x38u);

    service.Then(Answer(0));
    EXPECT_TRUE(client.DownloadContacts(1, out));
    EXPECT_EQ(out.size(), 2u);

    // The reply must carry 0x80000035.
    service.Then([](const Request& q) { return Action{{MakeReply(0x80000038, q.sequence(), 0)}}; });
    EXPECT_FALSE(client.DownloadContacts(1, out));

    std::string shown;
    client.SetMessageHook([&](const std::string& text) { shown = text; });
    service.Then(test::CloseNow());
    EXPECT_FALSE(client.DownloadContacts(4, out));
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_EQ(shown.rfind("4-", 0), 0u) << shown;
    EXPECT_NE(shown.find("接收联系人内容应答失败"), std::string::npos);
}

TEST_F(ClientTest, AbortEndsABlockedRequestAndTheUiCheckDoesNotWait) {
    LogIn();
    CNetTimeouts t = client.Timeouts();
    t.ioMs = 60000;  // only Abort can end the wait below
    client.SetTimeouts(t);
    service.Then([](const Request&) {
        Action a;
        a.hold = true;
        return a;
    });
    std::atomic<bool> done{false};
    std::uint32_t count = 99;
    std::thread worker([&] {
        count = client.ContactCount();
        done = true;
    });
    ASSERT_TRUE(service.WaitRequests(2));
    bool alive = false;
    EXPECT_FALSE(client.TryIsConnected(&alive));  // busy: the worker holds the client
    client.Abort();
    worker.join();
    service.Release();
    EXPECT_TRUE(done);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(client.LastError(), 26);
    EXPECT_FALSE(client.IsConnected());

    // The abort was for that request only.
    ASSERT_TRUE(client.Connect("127.0.0.1", service.Port()));
    service.Then(Answer(0, U32Bytes(1)));
    EXPECT_EQ(client.ContactCount(), 1u);
}

TEST_F(ClientTest, ServerListIsSearchedFromSlotZeroSkippingEmptySlots) {
    EXPECT_EQ(CKavoTcpClient().ServerHost(0), "127.0.0.1");
    client.SetServerHost(0, "");
    client.SetServerHost(1, "127.0.0.1");
    client.SetServerHost(2, "");
    EXPECT_TRUE(client.ConnectServerList(login.Port()));
    EXPECT_EQ(client.Host(), "127.0.0.1");
    client.SetServerHost(1, "");
    EXPECT_FALSE(client.ConnectServerList(login.Port()));
    // A refused connect leaves the last error code alone.
    client.SetLastError(7);
    EXPECT_FALSE(client.Connect("127.0.0.1", ClosedPort()));
    EXPECT_EQ(client.LastError(), 7);
    EXPECT_TRUE(client.IsDead());
}

}  // namespace
}  // namespace kavo
