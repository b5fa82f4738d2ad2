// Hostile and broken clients against the real kavo-server: every one gets a refusal or
// a closed connection, and the clients beside it are served all the while.

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"
#include "raw_kavo_client.h"
#include "server_backend.h"
#include "server_runner.h"

namespace kavo {
namespace {

using test::AppendFixed;
using test::AppendU16String;
using test::AppendU32;
using test::CRawKavoClient;
using test::RawReply;
using wire::Cmd;

class ServerRobustnessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.Start(
            test::Backend({"--seed-demo", "--idle-timeout", "2", "--packet-timeout", "1"})))
            << server.error();
        ASSERT_EQ(Login(demo), 0u);
    }

    std::uint32_t Login(CRawKavoClient& c) {
        return test::LoginToService(c, server.host(), server.loginPort(), server.servicePort(),
                                    "demo", "demo123");
    }

    // A well-behaved request on the demo session still gets its answer.
    void ExpectServed() {
        RawReply r;
        ASSERT_TRUE(demo.Call(Cmd::SmsCount, {}, &r));
        EXPECT_EQ(r.result(), 0u);
        EXPECT_EQ(r.U32(16), 5u);
    }

    // A packet with a correct header around `body`, carrying the demo token.
    std::vector<std::uint8_t> Packet(std::uint32_t command, const std::vector<std::uint8_t>& body,
                                     bool token = true) {
        std::vector<std::uint8_t> p(12);
        wire::PutU32(p.data() + 4, command);
        if (token) p.insert(p.end(), demo.token().begin(), demo.token().end());
        p.insert(p.end(), body.begin(), body.end());
        wire::PutU32(p.data(), static_cast<std::uint32_t>(p.size()));
        return p;
    }

    std::uint32_t Exchange(CRawKavoClient& c, const std::vector<std::uint8_t>& packet,
                           std::uint32_t* command = nullptr) {
        RawReply r;
        if (!c.SendBytes(packet.data(), packet.size()) || !c.ReadReply(&r)) return 0xFFFFFFFFu;
        if (command) *command = r.header.command;
        return r.result();
    }

    test::ServerRunner server;
    CRawKavoClient demo;
};

TEST_F(ServerRobustnessTest, LyingLengthsAndGarbageCloseTheConnection) {
    const std::uint32_t lengths[] = {0, 11, 8193, 0xFFFFFFFFu};
    for (std::uint32_t length : lengths) {
        CRawKavoClient c;
        ASSERT_TRUE(c.Connect(server.host(), server.servicePort()));
        std::uint8_t header[12] = {};
        wire::PutU32(header, length);
        wire::PutU32(header + 4, 0x34);
        ASSERT_TRUE(c.SendBytes(header, sizeof(header)));
        EXPECT_TRUE(c.WaitClosed(5)) << length;
    }

    CRawKavoClient garbage;
    ASSERT_TRUE(garbage.Connect(server.host(), server.servicePort()));
    std::vector<std::uint8_t> noise(1 << 20);
    std::mt19937 rng(7);
    for (auto& b : noise) b = static_cast<std::uint8_t>(rng());
    garbage.SendBytes(noise.data(), noise.size());  // may fail half way: the server hung up
    EXPECT_TRUE(garbage.WaitClosed(5));
    ExpectServed();
}

TEST_F(ServerRobustnessTest, SilentAndTruncatingClientsTimeOutWithoutHoldingOthers) {
    CRawKavoClient silent, truncated;
    ASSERT_TRUE(silent.Connect(server.host(), server.loginPort()));
    ASSERT_TRUE(truncated.Connect(server.host(), server.servicePort()));
    std::vector<std::uint8_t> p = Packet(0x34, {});
    wire::PutU32(p.data(), 400);  // announces more than it sends
    ASSERT_TRUE(truncated.SendBytes(p.data(), p.size()));
    ExpectServed();
    EXPECT_TRUE(truncated.WaitClosed(5));
    EXPECT_TRUE(silent.WaitClosed(5));
    CRawKavoClient fresh;
    ASSERT_EQ(Login(fresh), 0u);
}

TEST_F(ServerRobustnessTest, CountsPastThePacketAreRefusedWith123) {
    std::vector<std::uint8_t> body;

    AppendU32(body, 1000);  // ContactDelete: 1000 names announced, one sent
    AppendFixed(body, "x", 50);
    EXPECT_EQ(Exchange(demo, Packet(0x37, body)), 123u);

    body.clear();
    AppendU32(body, 0x40000001u);  // SmsDelete: a count whose byte size wraps around
    AppendU32(body, 1);
    EXPECT_EQ(Exchange(demo, Packet(0x45, body)), 123u);

    body.clear();
    AppendU32(body, 5);  // ContactUploadBegin, mode 0
    AppendU32(body, 0);
    EXPECT_EQ(Exchange(demo, Packet(0x32, body)), 0u);
    body.clear();
    AppendU32(body, 5);  // ContactUploadBatch: five announced, a field count past the end
    body.push_back(0);
    body.insert(body.end(), {0xFF, 0xFF, 'a', 'b'});
    EXPECT_EQ(Exchange(demo, Packet(0x33, body)), 123u);

    body.clear();
    AppendU16String(body, "ghost");  // AccountDelete with a u16 count past the end
    wire::PutU16(body.data(), 300);
    EXPECT_EQ(Exchange(demo, Packet(0x54, body)), 123u);

    body.clear();
    AppendU16String(body, std::string(60, 'n'));  // AccountAdd: over-long name
    for (int i = 0; i < 4; ++i) AppendU16String(body, "");
    EXPECT_EQ(Exchange(demo, Packet(0x53, body)), 129u);
    body.clear();
    AppendU16String(body, "ok");  // AccountAdd: the record stops after two fields
    AppendU16String(body, "game");
    EXPECT_EQ(Exchange(demo, Packet(0x53, body)), 123u);

    body.clear();
    AppendU32(body, 1);  // SmsBatch whose two counts disagree
    AppendU32(body, 2);
    EXPECT_EQ(Exchange(demo, Packet(0x41, body)), 123u);

    std::uint32_t command = 0;
    EXPECT_EQ(Exchange(demo, Packet(0x99, {}), &command), 123u);
    EXPECT_EQ(command, 0x80000099u);
    EXPECT_EQ(Exchange(demo, Packet(0x34, {1, 2, 3})), 123u);  // a fixed request, too long

    CRawKavoClient login;
    ASSERT_TRUE(login.Connect(server.host(), server.loginPort()));
    EXPECT_EQ(Exchange(login, Packet(0x34, {})), 126u);  // the login server has no contacts
    ExpectServed();

    // Nothing was stored by any of it.
    RawReply r;
    ASSERT_TRUE(demo.Call(Cmd::AccountCount, {}, &r));
    EXPECT_EQ(r.U32(16), 3u);
    ASSERT_TRUE(demo.Call(Cmd::ContactCount, {}, &r));
    EXPECT_EQ(r.U32(16), 3u);
}

TEST_F(ServerRobustnessTest, RepliesStayBelow8192WithTheLargestRecords) {
    // Contacts with every field full: a batch holds three at most.
    std::vector<CRelData> big(10);
    for (std::size_t i = 0; i < big.size(); ++i) {
        for (const FieldSpec& f : kRelFields)
            SetField(FieldPtr(&big[i], f), f.width, std::string(f.width - 1, 'a' + i));
    }
    RawReply r;
    for (std::size_t i = 0; i < big.size(); ++i) {
        std::vector<std::uint8_t> begin;
        AppendU32(begin, 0);
        AppendU32(begin, static_cast<std::uint32_t>(big.size() - i));
        ASSERT_TRUE(demo.Call(Cmd::ContactUploadBegin, begin, &r));
        ASSERT_EQ(r.result(), 0u);
        std::vector<std::uint8_t> batch;
        AppendU32(batch, 1);
        batch.push_back(1);
        std::uint8_t packed[4096];
        std::size_t n = wire::PackContact(big[i], packed, sizeof(packed));
        batch.insert(batch.end(), packed, packed + n);
        ASSERT_TRUE(demo.Call(Cmd::ContactUploadBatch, batch, &r));
        ASSERT_EQ(r.result(), 0u);
    }
    ASSERT_TRUE(demo.Call(Cmd::ContactCount, {}, &r));
    ASSERT_EQ(r.U32(16), 10u);
    std::size_t received = 0;
    while (received < 10) {
        ASSERT_TRUE(demo.Call(Cmd::ContactDownloadBatch, {}, &r));  // refuses >= 8192
        ASSERT_EQ(r.header.command, 0x80000035u);
        ASSERT_GE(r.result(), 1u);
        wire::CPacketReader reader(r.bytes.data(), r.bytes.size());
        reader.Seek(16);
        for (std::uint32_t k = 0; k < r.result(); ++k) {
            CRelData c;
            ASSERT_TRUE(reader.ReadContact(c));
            EXPECT_EQ(std::memcmp(&c, &big[received++], sizeof(c)), 0);
        }
        EXPECT_EQ(reader.remaining(), 0u);
    }
    ASSERT_TRUE(demo.Call(Cmd::ContactDownloadBatch, {}, &r));
    EXPECT_EQ(r.result(), 0u);

    // Many long history entries: the reply holds the newest that fit.
    for (int i = 0; i < 80; ++i) {
        ASSERT_TRUE(demo.Call(Cmd::ContactCount, {}, &r));
        ASSERT_TRUE(demo.Call(Cmd::ContactDownloadBatch, {}, &r));
        while (r.result() != 0) ASSERT_TRUE(demo.Call(Cmd::ContactDownloadBatch, {}, &r));
    }
    ASSERT_TRUE(demo.Call(Cmd::HistoryList, {}, &r));
    EXPECT_GT(r.U32(16), 40u);
    EXPECT_LT(r.bytes.size(), 8192u);
}

TEST_F(ServerRobustnessTest, ManyClientsAtOnce) {
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 40; ++t) {
        threads.emplace_back([&, t] {
            CRawKavoClient c;
            if (Login(c) != 0) {
                ++failures;
                return;
            }
            for (int i = 0; i < 20; ++i) {
                RawReply r;
                if (!c.Call(i % 2 ? Cmd::SmsCount : Cmd::AccountCount, {}, &r) || r.result() != 0 ||
                    r.U32(16) != (i % 2 ? 5u : 3u)) {
                    ++failures;
                }
            }
            (void)t;
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace kavo
