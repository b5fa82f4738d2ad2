// The request handler and its database in one process, with a clock the tests move:
// lockouts that run out, sessions that expire, uploads that break off, and random bytes.

#include "server/request_handler.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <random>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "codecs/md5_checksum.h"
#include "net/field_codec.h"
#include "net/wire.h"
#include "raw_kavo_client.h"
#include "server/pg_server_db.h"
#include "server/server_db.h"
#include "server_backend.h"
#include "server_runner.h"

namespace kavo {
namespace {

using test::AppendFixed;
using test::AppendU32;
using wire::Cmd;

struct Reply {
    std::vector<std::uint8_t> bytes;
    std::uint32_t command() const { return wire::GetU32(bytes.data() + 4); }
    std::uint32_t result() const { return wire::GetU32(bytes.data() + 12); }
    std::uint32_t U32(std::size_t at) const {
        return at + 4 <= bytes.size() ? wire::GetU32(bytes.data() + at) : 0xDEADBEEF;
    }
};

class HandlerTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef KAVO_SERVER_TEST_PG
        ASSERT_TRUE(db.Open(test::Backend({}).back())) << db.LastError();
#else
        ASSERT_TRUE(db.Open(dir.File("server.db"))) << db.LastError();
#endif
        handler.SetClock([this] { return now; });
    }

    Reply Send(ServerRole role, ConnectionState& st, Cmd cmd, const std::vector<std::uint8_t>& body,
               const std::string& token = "") {
        std::vector<std::uint8_t> p(12);
        wire::PutU32(p.data() + 4, wire::Code(cmd));
        wire::PutU32(p.data() + 8, seq++);
        if (wire::InfoOf(cmd).hasToken) {
            std::string t = token;
            t.resize(32, '\0');
            p.insert(p.end(), t.begin(), t.end());
        }
        p.insert(p.end(), body.begin(), body.end());
        wire::PutU32(p.data(), static_cast<std::uint32_t>(p.size()));
        return Raw(role, st, p);
    }

    Reply Raw(ServerRole role, ConnectionState& st, const std::vector<std::uint8_t>& p) {
        std::vector<std::uint8_t> out(wire::kMaxPacket);
        RequestOutcome outcome;
        std::size_t n =
            handler.Handle(role, p.data(), p.size(), st, "127.0.0.1", out.data(), &outcome);
        out.resize(n);
        return Reply{out};
    }

    std::uint32_t Register(const std::string& name, const std::string& pw) {
        std::vector<std::uint8_t> body;
        AppendFixed(body, name, 50);
        AppendFixed(body, CMD5Checksum::GetMD5(pw.data(), pw.size()), 32);
        AppendFixed(body, "", 50);
        ConnectionState st;
        return Send(ServerRole::Login, st, Cmd::Register, body).result();
    }

    // Returns the result; the token lands in *token on success.
    std::uint32_t Login(const std::string& name, const std::string& pw,
                        std::string* token = nullptr) {
        std::vector<std::uint8_t> body;
        AppendFixed(body, name, 50);
        AppendFixed(body, test::LoginDigest("123456", pw), 32);
        AppendFixed(body, "123456", 6);
        AppendU32(body, 1);
        ConnectionState st;
        Reply r = Send(ServerRole::Login, st, Cmd::Login, body);
        if (r.result() == 0 && token) {
            EXPECT_GE(r.bytes.size(), 67u);
            token->assign(reinterpret_cast<const char*>(r.bytes.data() + 16), 32);
            EXPECT_STREQ(reinterpret_cast<const char*>(r.bytes.data() + 48), "127.0.0.1");
        }
        return r.result();
    }

    static std::vector<std::uint8_t> Begin(std::uint32_t count, int mode) {
        std::vector<std::uint8_t> b;
        AppendU32(b, mode == 0 ? count : 0);
        AppendU32(b, mode == 1 ? count : 0);
        return b;
    }

    static std::vector<std::uint8_t> Batch(int first, int count, int mode) {
        std::vector<std::uint8_t> b;
        AppendU32(b, static_cast<std::uint32_t>(count));
        b.push_back(static_cast<std::uint8_t>(mode));
        for (int i = first; i < first + count; ++i) {
            CRelData c;
            SetField(c.RelName, "c" + std::to_string(i));
            std::uint8_t packed[256];
            std::size_t n = wire::PackContact(c, packed, sizeof(packed));
            b.insert(b.end(), packed, packed + n);
        }
        return b;
    }

    // A small staging budget and two kept versions, so the tests reach both limits.
    static ServerConfig TestConfig() {
        ServerConfig config;
        config.maxStagedBytes = 64 * 1024;
        config.keepVersions = 2;
        return config;
    }

    // Contacts c<first> ... as the download sends them, in order.
    std::vector<std::string> Book(ConnectionState& st, const std::string& token) {
        std::vector<std::string> names;
        Send(ServerRole::Service, st, Cmd::ContactCount, {}, token);
        for (;;) {
            Reply r = Send(ServerRole::Service, st, Cmd::ContactDownloadBatch, {}, token);
            if (r.result() == 0) break;
            wire::CPacketReader reader(r.bytes.data(), r.bytes.size());
            reader.Seek(16);
            for (std::uint32_t k = 0; k < r.result(); ++k) {
                CRelData c;
                EXPECT_TRUE(reader.ReadContact(c));
                names.emplace_back(FieldText(c.RelName));
            }
        }
        return names;
    }

    test::TempDir dir;
#ifdef KAVO_SERVER_TEST_PG
    CPgServerDb db;
#else
    CServerDb db;
#endif
    CRequestHandler handler{db, TestConfig()};
    std::int64_t now = 1'800'000'000;
    std::uint32_t seq = 0;
};

TEST_F(HandlerTest, TenWrongPasswordsLockForTwelveHoursThenTheCountStartsAgain) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Login("u", "bad"), 25u);
    EXPECT_EQ(Login("u", "bad"), 24u);
    now += 12 * 3600 - 1;
    EXPECT_EQ(Login("u", "pw"), 24u);
    now += 2;
    EXPECT_EQ(Login("u", "bad"), 25u);  // one wrong in a new row
    EXPECT_EQ(Login("u", "pw"), 0u);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(Login("u", "bad"), 25u);
    EXPECT_EQ(Login("u", "pw"), 0u);  // nine, then a right one: no lock
}

TEST_F(HandlerTest, RegisterRefusesTakenEmptyAndOverlongNamesAndBadDigests) {
    EXPECT_EQ(Register("same", "a"), 0u);
    EXPECT_EQ(Register("same", "b"), 2u);
    EXPECT_EQ(Register("", "b"), 123u);
    EXPECT_EQ(Register(std::string(50, 'n'), "b"), 123u);
    EXPECT_EQ(Register(std::string(49, 'n'), "b"), 0u);
    std::vector<std::uint8_t> body;
    AppendFixed(body, "digest", 50);
    AppendFixed(body, "not hex at all, not hex at all!!", 32);
    AppendFixed(body, "", 50);
    ConnectionState st;
    EXPECT_EQ(Send(ServerRole::Login, st, Cmd::Register, body).result(), 123u);
    EXPECT_EQ(Login("nobody", "x"), 23u);
}

TEST_F(HandlerTest, SessionsExpireWhenIdleAndLoginCloseOnTheLoginServerKeepsThem) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    std::string token;
    ASSERT_EQ(Login("u", "pw", &token), 0u);
    ConnectionState login, service;
    EXPECT_EQ(Send(ServerRole::Login, login, Cmd::LoginClose, {}, token).result(), 0u);
    EXPECT_EQ(Send(ServerRole::Service, service, Cmd::ContactCount, {}, token).result(), 0u);
    now += 23 * 3600;
    EXPECT_EQ(Send(ServerRole::Service, service, Cmd::ContactCount, {}, token).result(), 0u);
    now += 24 * 3600 + 1;
    EXPECT_EQ(Send(ServerRole::Service, service, Cmd::ContactCount, {}, token).result(), 122u);
}

TEST_F(HandlerTest, AnUploadIsAppliedOnlyWhenComplete) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    std::string token;
    ASSERT_EQ(Login("u", "pw", &token), 0u);
    ConnectionState st;
    auto call = [&](Cmd cmd, const std::vector<std::uint8_t>& body) {
        return Send(ServerRole::Service, st, cmd, body, token);
    };
    ASSERT_EQ(call(Cmd::ContactUploadBegin, Begin(3, 1)).result(), 0u);
    ASSERT_EQ(call(Cmd::ContactUploadBatch, Batch(0, 3, 1)).result(), 0u);
    EXPECT_EQ(call(Cmd::ContactCount, {}).U32(16), 3u);

    // Broken off after the first of two batches: the stored book stays as it was.
    ASSERT_EQ(call(Cmd::ContactUploadBegin, Begin(4, 1)).result(), 0u);
    ASSERT_EQ(call(Cmd::ContactUploadBatch, Batch(10, 2, 1)).result(), 0u);
    EXPECT_EQ(call(Cmd::ContactCount, {}).U32(16), 3u);
    // A Begin with another count starts over, dropping the two received.
    ASSERT_EQ(call(Cmd::ContactUploadBegin, Begin(1, 1)).result(), 0u);
    EXPECT_EQ(call(Cmd::ContactUploadBatch, Batch(20, 2, 1)).result(),
              123u);  // more than announced
    EXPECT_EQ(call(Cmd::ContactUploadBatch, Batch(20, 1, 1)).result(), 123u);  // upload abandoned
    ASSERT_EQ(call(Cmd::ContactUploadBegin, Begin(1, 1)).result(), 0u);
    EXPECT_EQ(call(Cmd::ContactUploadBatch, Batch(20, 1, 0)).result(), 123u);  // wrong mode
    ASSERT_EQ(call(Cmd::ContactUploadBegin, Begin(1, 1)).result(), 0u);
    ASSERT_EQ(call(Cmd::ContactUploadBatch, Batch(20, 1, 1)).result(), 0u);
    EXPECT_EQ(call(Cmd::ContactCount, {}).U32(16), 1u);

    // Downloads resume from the cursor; a count restarts it.
    Reply first = call(Cmd::ContactDownloadBatch, {});
    EXPECT_EQ(first.command(), 0x80000035u);
    EXPECT_EQ(first.result(), 1u);
    EXPECT_EQ(call(Cmd::ContactDownloadBatch, {}).result(), 0u);
    call(Cmd::ContactCount, {});
    EXPECT_EQ(call(Cmd::ContactDownloadBatch, {}).result(), 1u);

    // Too many for the service.
    EXPECT_EQ(call(Cmd::ContactUploadBegin, Begin(10001, 1)).result(), 127u);
    EXPECT_EQ(call(Cmd::ContactUploadBegin, {0, 0, 0, 1, 0, 0, 0, 1}).result(), 123u);
}

TEST_F(HandlerTest, UploadsUnderWayShareABoundedBudgetThatEveryEndGivesBack) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    std::string token;
    ASSERT_EQ(Login("u", "pw", &token), 0u);
    ConnectionState a, b;
    auto call = [&](ConnectionState& st, Cmd cmd, const std::vector<std::uint8_t>& body) {
        return Send(ServerRole::Service, st, cmd, body, token).result();
    };
    // 300 small contacts fit the 64 KB; a second upload of 300 beside them does not.
    ASSERT_EQ(call(a, Cmd::ContactUploadBegin, Begin(300, 1)), 0u);
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(call(a, Cmd::ContactUploadBatch, Batch(i * 30, 30, 1)), 0u);
    const std::int64_t heldByA = handler.StagedBytes();
    EXPECT_GT(heldByA, 270 * 100);
    ASSERT_EQ(call(b, Cmd::ContactUploadBegin, Begin(300, 1)), 0u);
    std::uint32_t refused = 0;
    for (int i = 0; i < 10 && refused == 0; ++i) {
        refused = call(b, Cmd::ContactUploadBatch, Batch(1000 + i * 30, 30, 1));
        EXPECT_LE(handler.StagedBytes(), 64 * 1024);
    }
    EXPECT_EQ(refused, 116u);  // the client shows "(74)服务器发送数据暂缓，请稍后再试!"
    EXPECT_EQ(handler.StagedBytes(), heldByA);  // b's upload was dropped, its bytes given back
    EXPECT_EQ(call(b, Cmd::ContactUploadBatch, Batch(2000, 30, 1)), 123u);

    // Applying a gives its bytes back; then b's upload goes through whole.
    ASSERT_EQ(call(a, Cmd::ContactUploadBatch, Batch(270, 30, 1)), 0u);
    EXPECT_EQ(handler.StagedBytes(), 0);
    ASSERT_EQ(call(b, Cmd::ContactUploadBegin, Begin(300, 1)), 0u);
    for (int i = 0; i < 10; ++i)
        ASSERT_EQ(call(b, Cmd::ContactUploadBatch, Batch(1000 + i * 30, 30, 1)), 0u);
    EXPECT_EQ(handler.StagedBytes(), 0);
    ConnectionState reader;
    EXPECT_EQ(Book(reader, token).size(), 300u);

    // A connection that goes, or a session that changes, mid-upload gives its bytes back.
    {
        ConnectionState gone;
        ASSERT_EQ(call(gone, Cmd::ContactUploadBegin, Begin(100, 1)), 0u);
        ASSERT_EQ(call(gone, Cmd::ContactUploadBatch, Batch(0, 30, 1)), 0u);
        EXPECT_GT(handler.StagedBytes(), 0);
    }
    EXPECT_EQ(handler.StagedBytes(), 0);
    ASSERT_EQ(call(a, Cmd::ContactUploadBegin, Begin(100, 1)), 0u);
    ASSERT_EQ(call(a, Cmd::ContactUploadBatch, Batch(0, 30, 1)), 0u);
    std::string other;
    ASSERT_EQ(Login("u", "pw", &other), 0u);
    EXPECT_EQ(Send(ServerRole::Service, a, Cmd::ContactCount, {}, other).result(), 0u);
    EXPECT_EQ(handler.StagedBytes(), 0);
}

TEST_F(HandlerTest, AStoreKeepsTheBookItReplacesAndAVersionCanBeReinstated) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    std::string token;
    ASSERT_EQ(Login("u", "pw", &token), 0u);
    ConnectionState st;
    auto store = [&](int first, int count) {
        ASSERT_EQ(
            Send(ServerRole::Service, st, Cmd::ContactUploadBegin, Begin(count, 1), token).result(),
            0u);
        ASSERT_EQ(
            Send(ServerRole::Service, st, Cmd::ContactUploadBatch, Batch(first, count, 1), token)
                .result(),
            0u);
    };
    store(0, 3);   // the first book replaces nothing
    store(10, 2);  // keeps version 1 (3 contacts)
    store(20, 1);  // version 2 (2)
    store(20, 1);  // the same book again: no version
    store(30, 4);  // version 3 (1); only the latest two are kept
    ServerUser user;
    ASSERT_TRUE(db.FindUser("u", &user));
    std::vector<BookVersion> versions = db.Versions(user.id);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[0].number, 2);
    EXPECT_EQ(versions[0].contacts, 2);
    EXPECT_EQ(versions[1].number, 3);
    EXPECT_EQ(versions[1].contacts, 1);
    EXPECT_EQ(versions[1].time, handler.TimeText());

    // A merge is not a replacement: no version.
    ASSERT_EQ(Send(ServerRole::Service, st, Cmd::ContactUploadBegin, Begin(1, 0), token).result(),
              0u);
    ASSERT_EQ(
        Send(ServerRole::Service, st, Cmd::ContactUploadBatch, Batch(40, 1, 0), token).result(),
        0u);
    EXPECT_EQ(db.Versions(user.id).size(), 2u);

    int savedAs = 0;
    EXPECT_EQ(db.ReinstateVersion(user.id, 1, 2, "t", &savedAs), -1);  // pruned
    EXPECT_EQ(db.ReinstateVersion(user.id, 2, 2, "t", &savedAs), 2);
    EXPECT_EQ(savedAs, 4);
    EXPECT_EQ(Book(st, token), (std::vector<std::string>{"c10", "c11"}));
    versions = db.Versions(user.id);
    ASSERT_EQ(versions.size(), 2u);
    EXPECT_EQ(versions[1].number, 4);
    EXPECT_EQ(versions[1].contacts, 5);  // c30..c33 and the merged c40
    EXPECT_EQ(db.ReinstateVersion(user.id, 4, 2, "t", &savedAs), 5);
    EXPECT_EQ(Book(st, token), (std::vector<std::string>{"c30", "c31", "c32", "c33", "c40"}));
}

TEST_F(HandlerTest, NamesMatchWithoutLetterCaseButDoubleByteCharactersStayDistinct) {
    EXPECT_EQ(Register("Bob", "pw"), 0u);
    EXPECT_EQ(Register("bOB", "other"), 2u);
    std::string token;
    EXPECT_EQ(Login("BOB", "pw", &token), 0u);
    // 0x81 0x41 and 0x81 0x61 are two different characters, not one in two cases.
    EXPECT_EQ(Register("\x81\x41", "pw"), 0u);
    EXPECT_EQ(Register("\x81\x61", "pw"), 0u);
    EXPECT_EQ(NameKey("AbC\x81\x41Z"), "abc\x81\x41z");
}

#ifndef KAVO_SERVER_TEST_PG
// The SQLite file only: a PostgreSQL database is made by the current schema.
TEST(ServerDbMigration, AnOlderFileGetsNameKeysAndKeepsItsCaseVariants) {
    test::TempDir dir;
    std::string path = dir.File("old.db");
    {
        // The tables as the first schema made them, with names that differ only in case.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(path.c_str(), &raw), SQLITE_OK);
        const char* old = R"sql(
CREATE TABLE users(id INTEGER PRIMARY KEY, name BLOB NOT NULL UNIQUE, digest TEXT NOT NULL,
  contact BLOB NOT NULL DEFAULT x'', created INTEGER NOT NULL,
  fail_count INTEGER NOT NULL DEFAULT 0, locked_until INTEGER NOT NULL DEFAULT 0,
  contacts_time TEXT NOT NULL DEFAULT '', sms_time TEXT NOT NULL DEFAULT '',
  accounts_time TEXT NOT NULL DEFAULT '');
CREATE TABLE accounts(id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL REFERENCES users(id),
  name BLOB NOT NULL, game BLOB NOT NULL, account_id BLOB NOT NULL, pwd BLOB NOT NULL,
  remark BLOB NOT NULL, UNIQUE(user_id, name));
INSERT INTO users(name, digest, created) VALUES(x'416e6e', 'd1', 0), (x'616e6e', 'd2', 0);
INSERT INTO accounts(user_id, name, game, account_id, pwd, remark)
  VALUES(1, x'78', x'', x'', x'', x''), (1, x'58', x'', x'', x'', x'');
)sql";
        ASSERT_EQ(sqlite3_exec(raw, old, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
    }
    CServerDb db;
    ASSERT_TRUE(db.Open(path)) << db.LastError();
    ServerUser user;
    ASSERT_TRUE(db.FindUser("ann", &user));  // the exact spelling first
    EXPECT_EQ(user.digest, "d2");
    ASSERT_TRUE(db.FindUser("ANN", &user));  // else the oldest
    EXPECT_EQ(user.digest, "d1");
    std::int64_t id = 0;
    EXPECT_EQ(db.RegisterUser("aNN", "d3", "", 0, &id), 0);
    EXPECT_EQ(db.DeleteAccount(1, "X"), 1);
    auto accounts = db.AccountsAfter(1, 0, 10);
    ASSERT_EQ(accounts.size(), 1u);
    EXPECT_EQ(FieldText(accounts[0].second.AccountName), "x");
    db.Close();
    // Opened again, nothing is migrated twice.
    ASSERT_TRUE(db.Open(path)) << db.LastError();
    EXPECT_EQ(db.UserCount(), 2);
}

#endif

TEST_F(HandlerTest, SmsIdsAvoidZeroBytesAndStayBelowTwoToThe24) {
    std::uint32_t seen = 0;
    for (std::uint32_t n : {0u, 1u, 254u, 255u, 65024u, 65025u, 255u * 255u * 255u - 1u}) {
        std::uint32_t id = SmsIdForIndex(n);
        EXPECT_LT(id, 1u << 24);
        EXPECT_NE(id & 0xFF, 0u);
        EXPECT_NE(id & 0xFF00, 0u);
        EXPECT_NE(id & 0xFF0000, 0u);
        EXPECT_NE(id, seen);
        seen = id;
        std::uint32_t back = 0;
        ASSERT_TRUE(SmsIndexForId(id, &back));
        EXPECT_EQ(back, n);
    }
    std::uint32_t ignored;
    EXPECT_FALSE(SmsIndexForId(0x000101, &ignored));
}

TEST_F(HandlerTest, RandomPacketsNeverBreakTheHandler) {
    ASSERT_EQ(Register("u", "pw"), 0u);
    std::string token;
    ASSERT_EQ(Login("u", "pw", &token), 0u);
    std::mt19937 rng(2024);
    ConnectionState st;
    const auto commands = wire::Commands();
    for (int i = 0; i < 20000; ++i) {
        const wire::CommandInfo& info = commands[rng() % commands.size()];
        std::size_t size = 12 + rng() % (i % 10 == 0 ? 8180 : 200);
        std::vector<std::uint8_t> p(size);
        for (auto& b : p) b = static_cast<std::uint8_t>(rng() % (i % 3 ? 4 : 256));
        wire::PutU32(p.data(), static_cast<std::uint32_t>(size));
        wire::PutU32(p.data() + 4, wire::Code(info.command));
        if (size >= 44 && rng() % 4) std::memcpy(p.data() + 12, token.data(), 32);
        ServerRole role = rng() % 4 ? ServerRole::Service : ServerRole::Login;
        Reply r = Raw(role, st, p);
        ASSERT_GE(r.bytes.size(), 16u);
        ASSERT_LT(r.bytes.size(), 8192u);
        EXPECT_EQ(wire::GetU32(r.bytes.data()), r.bytes.size());
        EXPECT_EQ(r.command(), info.replyCommand);
    }
}

}  // namespace
}  // namespace kavo
