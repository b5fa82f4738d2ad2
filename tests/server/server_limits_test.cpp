// Connection limits of the real kavo-server: thousands of silent sockets, a handshake
// time, a cap per address and a total cap, while a real client is served beside them.
// Every socket stays on 127.0.0.0/8; the floods come from their own loopback addresses.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"
#include "net/kavo_tcp_client.h"
#include "net/result_codes.h"
#include "raw_kavo_client.h"
#include "server_backend.h"
#include "server_runner.h"

namespace kavo {
namespace {

using Clock = std::chrono::steady_clock;

// A blocking TCP connection from the loopback address `from` to 127.0.0.1:port; -1 on failure.
int ConnectFrom(const char* from, int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    // The port is chosen at connect time, per destination: binding first would take one of
    // the address's ports for good, and thousands of them make every later bind slow.
    int one = 1;
    setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof(one));
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof(server)) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the peer has hung up on fd within `seconds` (a read returns 0 or an error).
bool ClosedWithin(int fd, double seconds) {
    auto deadline = Clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left)) > 0) {
            char byte;
            ssize_t r = recv(fd, &byte, 1, MSG_DONTWAIT);
            if (r == 0 || (r < 0 && errno != EAGAIN && errno != EINTR)) return true;
        }
    }
}

// True when fd is still open at the server's end: nothing to read and no hang-up.
bool StillOpen(int fd) {
    char byte;
    ssize_t r = recv(fd, &byte, 1, MSG_DONTWAIT);
    return r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
}

// Closed with a reset, so thousands of them leave no TIME_WAIT behind to slow the next run.
void Abort(int fd) {
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof(hard));
    close(fd);
}

struct Sockets {
    std::vector<int> fds;
    ~Sockets() {
        for (int fd : fds)
            if (fd >= 0) Abort(fd);
    }
};

// Raises this process's descriptor limit to at least `want`; false when the hard limit
// does not allow it.
bool RaiseFileLimit(rlim_t want) {
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) != 0) return false;
    if (files.rlim_cur >= want) return true;
    if (files.rlim_max != RLIM_INFINITY && files.rlim_max < want) return false;
    files.rlim_cur = want;
    return setrlimit(RLIMIT_NOFILE, &files) == 0;
}

CRelData Contact(int i) {
    CRelData c;
    SetFieldUtf8(c.RelName, "联系人" + std::to_string(i));
    SetField(c.MobilePhone1, "139" + std::to_string(10000000 + i));
    SetFieldUtf8(c.CompanyAddr, "北京市海淀区中关村大街" + std::to_string(i) + "号");
    SetFieldUtf8(c.RelRemark, "备注" + std::to_string(i));
    return c;
}

class ServerLimitsTest : public ::testing::Test {
protected:
    void Point(CKavoTcpClient& c) {
        c.SetServerHost(0, server.host());
        c.SetServerHost(1, "");
        c.SetServerHost(2, "");
        c.SetPorts(server.loginPort(), server.servicePort());
    }

    // Runs one client call and keeps the longest time any call took.
    template <typename F>
    bool Timed(F&& call) {
        auto start = Clock::now();
        bool ok = call();
        slowest = std::max(slowest, Clock::now() - start);
        ++calls;
        return ok;
    }

    test::ServerRunner server;
    Clock::duration slowest{};
    int calls = 0;
};

TEST_F(ServerLimitsTest, FiveThousandIdleConnectionsFromOneAddressStarveNoClient) {
    constexpr int kIdle = 5000;
    if (!RaiseFileLimit(kIdle + 256)) GTEST_SKIP() << "the file limit does not allow the flood";
    // The handshake time is longer than the test, so every silent socket stays open.
    ASSERT_TRUE(server.Start(test::Backend(
        {"--quiet", "--max-per-address", std::to_string(kIdle), "--handshake-timeout", "120"})))
        << server.error();

    Sockets idle;
    for (int i = 0; i < kIdle; ++i) {
        int fd = ConnectFrom("127.0.0.2", i % 2 ? server.servicePort() : server.loginPort());
        ASSERT_GE(fd, 0) << "connection " << i;
        idle.fds.push_back(fd);
    }
    {
        CKavoTcpClient reg;
        Point(reg);
        ASSERT_TRUE(Timed([&] { return reg.ConnectLoginServer(); }));
        ASSERT_TRUE(Timed([&] { return reg.Register("flooded", "pw", ""); })) << reg.LastError();
    }
    CKavoTcpClient c;
    Point(c);
    ASSERT_TRUE(Timed([&] { return c.ConnectLoginServer(); }));
    ASSERT_TRUE(Timed([&] { return c.Login("flooded", "pw"); })) << c.LastError();

    std::deque<CRelData> list;
    for (int i = 0; i < 500; ++i) list.push_back(Contact(i));
    const std::vector<CRelData> stored(list.begin(), list.end());
    while (!list.empty()) ASSERT_TRUE(Timed([&] { return c.UploadContacts(list, 1); }));

    int remaining = 0;
    ASSERT_TRUE(Timed([&] { return (remaining = static_cast<int>(c.ContactCount())) == 500; }));
    std::vector<CRelData> back;
    while (remaining > 0) {
        std::size_t before = back.size();
        ASSERT_TRUE(Timed([&] { return c.DownloadContacts(remaining, back); }));
        ASSERT_GT(back.size(), before);
        remaining -= static_cast<int>(back.size() - before);
    }
    ASSERT_EQ(back.size(), stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i)
        ASSERT_EQ(std::memcmp(&back[i], &stored[i], sizeof(CRelData)), 0) << "contact " << i;

    auto slowestMs = std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count();
    RecordProperty("slowest_call_ms", static_cast<int>(slowestMs));
    EXPECT_LT(slowestMs, 1000) << "over " << calls << " calls";

    // The flood was held all along, not shed to make room, and the address has used up
    // its share: one more from it is hung up on at once.
    int open = 0;
    for (int fd : idle.fds) open += StillOpen(fd) ? 1 : 0;
    EXPECT_EQ(open, kIdle);
    int extra = ConnectFrom("127.0.0.2", server.loginPort());
    ASSERT_GE(extra, 0);
    EXPECT_TRUE(ClosedWithin(extra, 10));
    close(extra);
}

TEST_F(ServerLimitsTest, SilentSocketsGoAfterTheHandshakeTimeAndCapsRefuseTheNewest) {
    ASSERT_TRUE(
        server.Start(test::Backend({"--seed-demo", "--handshake-timeout", "1", "--idle-timeout",
                                    "30", "--max-per-address", "3", "--max-connections", "6"})))
        << server.error();

    // A client that has sent a request is no longer held to the handshake time.
    test::CRawKavoClient demo;
    ASSERT_EQ(test::LoginToService(demo, server.host(), server.loginPort(), server.servicePort(),
                                   "demo", "demo123"),
              0u);
    test::RawReply r;
    ASSERT_TRUE(demo.Call(wire::Cmd::SmsCount, {}, &r));

    // Three silent sockets from one address are taken, the fourth is refused at once.
    Sockets silent;
    for (int i = 0; i < 3; ++i) silent.fds.push_back(ConnectFrom("127.0.0.3", server.loginPort()));
    for (int fd : silent.fds) ASSERT_GE(fd, 0);
    int fourth = ConnectFrom("127.0.0.3", server.loginPort());
    ASSERT_GE(fourth, 0);
    EXPECT_TRUE(ClosedWithin(fourth, 0.9));
    close(fourth);

    // Total cap 6: demo's service connection, three silent ones, then two from elsewhere;
    // the seventh is refused and demo, already working, is still served.
    Sockets others;
    others.fds.push_back(ConnectFrom("127.0.0.4", server.servicePort()));
    // A trickle: part of a header and no more.
    std::uint8_t partial[5] = {0x2C, 0, 0, 0, 0x34};
    ASSERT_EQ(send(others.fds[0], partial, sizeof(partial), MSG_NOSIGNAL), 5);
    others.fds.push_back(ConnectFrom("127.0.0.5", server.servicePort()));
    int seventh = ConnectFrom("127.0.0.6", server.servicePort());
    ASSERT_GE(seventh, 0);
    EXPECT_TRUE(ClosedWithin(seventh, 0.9));
    close(seventh);
    ASSERT_TRUE(demo.Call(wire::Cmd::SmsCount, {}, &r));
    EXPECT_EQ(r.U32(16), 5u);

    // Within a few sweeps of the handshake time every silent or trickling socket is gone;
    // the working one stays, and the address may connect again.
    for (int fd : silent.fds) EXPECT_TRUE(ClosedWithin(fd, 5));
    for (int fd : others.fds) EXPECT_TRUE(ClosedWithin(fd, 5));
    ASSERT_TRUE(demo.Call(wire::Cmd::SmsCount, {}, &r));
    EXPECT_EQ(r.U32(16), 5u);
    int again = ConnectFrom("127.0.0.3", server.loginPort());
    ASSERT_GE(again, 0);
    EXPECT_FALSE(ClosedWithin(again, 0.5));
    close(again);

    std::string log = server.ReadLog();
    EXPECT_NE(log.find("refused: too many connections from this address"), std::string::npos);
    EXPECT_NE(log.find("refused: too many connections\n"), std::string::npos);
    EXPECT_NE(log.find("closed: no request within the handshake time"), std::string::npos);
}

TEST_F(ServerLimitsTest, StagedUploadsAreBoundedServerWideAndTheClientIsToldToWait) {
    ASSERT_TRUE(server.Start(test::Backend({"--seed-demo", "--max-staged-mb", "1"})))
        << server.error();
    test::CRawKavoClient hog;
    ASSERT_EQ(test::LoginToService(hog, server.host(), server.loginPort(), server.servicePort(),
                                   "demo", "demo123"),
              0u);
    // Contacts of about 800 bytes each, one per batch, announced as 10000.
    CRelData big;
    SetField(big.RelRemark, std::string(sizeof(big.RelRemark) - 1, 'r'));
    SetField(big.CompanyAddr, std::string(600, 'a'));
    auto begin = [&](std::uint32_t count) {
        std::vector<std::uint8_t> body;
        test::AppendU32(body, 0);
        test::AppendU32(body, count);
        test::RawReply r;
        return hog.Call(wire::Cmd::ContactUploadBegin, body, &r) ? r.result() : 0xFFFFFFFFu;
    };
    auto batch = [&](int i) {
        SetField(big.RelName, "big" + std::to_string(i));
        std::vector<std::uint8_t> body;
        test::AppendU32(body, 1);
        body.push_back(1);
        std::uint8_t packed[4096];
        std::size_t n = wire::PackContact(big, packed, sizeof(packed));
        body.insert(body.end(), packed, packed + n);
        test::RawReply r;
        return hog.Call(wire::Cmd::ContactUploadBatch, body, &r) ? r.result() : 0xFFFFFFFFu;
    };

    // One connection alone runs into the server-wide megabyte.
    ASSERT_EQ(begin(10000), 0u);
    int staged = 0;
    std::uint32_t rc = 0;
    while (staged < 2000 && (rc = batch(staged)) == 0) ++staged;
    EXPECT_EQ(rc, 116u);
    // About a megabyte: the packed contacts and a little bookkeeping for each.
    std::uint8_t packed[4096];
    const long size = static_cast<long>(wire::PackContact(big, packed, sizeof(packed)));
    EXPECT_LE(staged * size, 1L << 20);
    EXPECT_GT(staged * (size + 256), 1L << 20);

    // Holding most of it, the hog leaves too little for a real store beside it.
    ASSERT_EQ(begin(10000), 0u);
    for (int i = 0; i < staged * 85 / 100; ++i) ASSERT_EQ(batch(i), 0u);
    CKavoTcpClient c;
    Point(c);
    ASSERT_TRUE(c.ConnectLoginServer() && c.Login("demo", "demo123"));
    auto store = [&] {
        std::deque<CRelData> list;
        for (int i = 0; i < 1000; ++i) list.push_back(Contact(i));
        while (!list.empty())
            if (!c.UploadContacts(list, 1)) return false;
        return true;
    };
    EXPECT_FALSE(store());
    EXPECT_EQ(c.LastError(), 116);
    EXPECT_EQ(ResultMessage(c.LastError()), "(74)服务器发送数据暂缓，请稍后再试!");

    // Once the hog's connection is gone its share is free again.
    hog.Close();
    bool stored = false;
    for (int attempt = 0; attempt < 50 && !stored; ++attempt) {
        stored = store();
        if (!stored) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(stored) << c.LastError();
    EXPECT_EQ(c.ContactCount(), 1000u);
}

}  // namespace
}  // namespace kavo
