#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codecs/gbk_text.h"
#include "net/field_codec.h"
#include "net/result_codes.h"
#include "net/wire.h"

namespace kavo::wire {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pack(CRelData& c) {
    Bytes out(4096);
    out.resize(PackContact(c, out.data(), out.size()));
    return out;
}

TEST(FieldCodec, EmptyContactIsThirtyThreeZeroCountsAndComesBackEmpty) {
    CRelData c;
    Bytes b = Pack(c);
    ASSERT_EQ(b.size(), 66u);
    for (std::uint8_t x : b) EXPECT_EQ(x, 0);

    CRelData back;
    std::memset(static_cast<void*>(&back), 0x55, sizeof(back));
    EXPECT_EQ(UnpackContact(b.data(), b.size(), back), 66u);
    EXPECT_EQ(std::memcmp(&back, &c, sizeof(c)), 0);
}

TEST(FieldCodec, RoundTripKeepsEveryFieldAndReportsItsSize) {
    CRelData c;
    int i = 0;
    for (const FieldSpec& f : kRelFields)
        SetField(FieldPtr(&c, f), f.width,
                 std::string(f.width - 1, static_cast<char>('a' + i++ % 26)));
    std::size_t expected = 0;
    for (const FieldSpec& f : kRelFields) expected += 2 + f.width - 1;
    EXPECT_EQ(PackedContactSize(c), expected);
    Bytes b = Pack(c);
    ASSERT_EQ(b.size(), expected);
    CRelData back;
    EXPECT_EQ(UnpackContact(b.data(), b.size(), back), expected);
    EXPECT_EQ(std::memcmp(&back, &c, sizeof(c)), 0);
    // One byte short anywhere is refused, never read past.
    EXPECT_EQ(UnpackContact(b.data(), b.size() - 1, back), 0u);
    EXPECT_EQ(PackContact(c, b.data(), expected - 1), 0u);
}

TEST(FieldCodec, OverlongFieldIsClippedAndTheNextFieldStartsAfterIt) {
    Bytes in;
    auto put = [&](std::string_view s) {
        in.push_back(static_cast<std::uint8_t>(s.size()));
        in.push_back(static_cast<std::uint8_t>(s.size() >> 8));
        in.insert(in.end(), s.begin(), s.end());
    };
    put(std::string(60, 'N'));
    put("Boss");
    for (int i = 2; i < 33; ++i) put("");
    CRelData c;
    EXPECT_EQ(UnpackContact(in.data(), in.size(), c), in.size());
    EXPECT_EQ(FieldText(c.RelName), std::string(49, 'N'));
    EXPECT_EQ(FieldText(c.CorpPosition), "Boss");
}

TEST(FieldCodec, CountsRunningPastTheEndAreRefused) {
    CAccountData a;
    SetField(a.AccountName, "name");
    SetField(a.Remark, "remark");
    Bytes b(1024);
    b.resize(PackAccount(a, b.data(), b.size()));
    for (std::size_t cut = 0; cut < b.size(); ++cut) {
        CAccountData back;
        EXPECT_EQ(UnpackAccount(b.data(), cut, back), 0u) << cut;
    }
    Bytes lie = {0xFF, 0xFF, 'x'};
    CHistoryData h;
    EXPECT_EQ(UnpackHistory(lie.data(), lie.size(), h), 0u);
}

TEST(FieldCodec, PictureBackslashesBecomeSlashesButGbkTrailBytesStay) {
    CRelData c;
    // "\x81\x5C" is one double-byte character whose trail byte is the backslash byte.
    SetField(c.Picture, std::string("C:\\pics\\\x81\x5C.bmp"));
    Bytes b = Pack(c);
    EXPECT_EQ(FieldText(c.Picture), std::string("C:/pics/\x81\x5C.bmp"));
    CRelData back;
    ASSERT_GT(UnpackContact(b.data(), b.size(), back), 0u);
    EXPECT_EQ(FieldText(back.Picture), std::string("C:/pics/\x81\x5C.bmp"));
}

TEST(FieldCodec, SmsIdArrivesModuloTwoToTheTwentyFour) {
    for (std::uint32_t id : {5u, 0x00FFFFFFu, (1u << 24) + 5u, 256u}) {
        CSmsData s;
        s.SmsID = id;
        SetField(s.SmsText, "hello");
        Bytes b(512);
        b.resize(PackSms(s, b.data(), b.size()));
        EXPECT_EQ(b.size(), PackedSmsSize(s));
        CSmsData back;
        ASSERT_EQ(UnpackSms(b.data(), b.size(), back), b.size());
        EXPECT_EQ(back.SmsID, id & 0xFFFFFFu);
        EXPECT_EQ(FieldText(back.SmsText), "hello");
    }
}

TEST(Wire, CommandTableHasTheTwentyTwoRequests) {
    ASSERT_EQ(Commands().size(), 22u);
    EXPECT_EQ(ReplyCommand(Cmd::ContactDownloadBatch), 0x80000035u);
    EXPECT_EQ(ReplyCommand(Cmd::ServerStatistics), 0x80000080u);
    EXPECT_EQ(InfoOf(Cmd::Register).requestLength, 144u);
    EXPECT_FALSE(InfoOf(Cmd::Login).hasToken);
    EXPECT_EQ(InfoOf(Cmd::Login).replyMinimum, 67u);
    EXPECT_TRUE(InfoOf(Cmd::ChangePassword).hasToken);
    EXPECT_EQ(FindCommand(0x03), nullptr);
}

TEST(Wire, WriterAndReaderStayInsideTheirBuffers) {
    std::uint8_t buf[60];
    CPacketWriter w(buf, sizeof(buf));
    std::uint8_t token[32];
    std::memset(token, 7, sizeof(token));
    w.BeginRequest(Cmd::NoticeCount, 9, token);
    EXPECT_EQ(w.size(), 44u);
    EXPECT_TRUE(w.PutFixedText("abc", 10));
    EXPECT_FALSE(w.PutFixedText("abcdefghijk", 10));  // longer than its field: refused
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.Finish(), 0u);

    w.BeginRequest(Cmd::NoticeCount, 9, token);
    EXPECT_FALSE(w.PutZeros(17));  // 44 + 17 > 60
    EXPECT_FALSE(w.PutU8(1));      // and stays failed

    w.BeginReply(0x80000020, 3, 0);
    w.PutU32(42);
    ASSERT_EQ(w.Finish(), 20u);
    CPacketReader r(buf, 20);
    ReplyHeader h;
    ASSERT_TRUE(ParseReplyHeader(buf, 20, h));
    EXPECT_EQ(h.length, 20u);
    EXPECT_EQ(h.sequence, 3u);
    std::uint32_t v = 0;
    EXPECT_TRUE(r.Seek(16));
    EXPECT_TRUE(r.ReadU32(v));
    EXPECT_EQ(v, 42u);
    EXPECT_FALSE(r.ReadU8(*reinterpret_cast<std::uint8_t*>(&v)));
    std::string_view sv;
    CPacketReader r2(buf, 20);
    r2.Seek(18);  // bytes 18..19 read as a count of 0: an empty string
    EXPECT_TRUE(r2.ReadU16String(sv));
    EXPECT_TRUE(sv.empty());
}

TEST(ResultMessage, FormatsTheCodeInHexBeforeItsText) {
    EXPECT_EQ(ResultMessage(0), "(0)未定义的错误");
    EXPECT_EQ(ResultMessage(26), "(1A)无法连接远程服务器");
    EXPECT_EQ(ResultMessage(23), "(17)用户名不存在，请核对后重新登录!");
    EXPECT_EQ(ResultMessage(125), "(7D)用户名不存在，请核对后重新登录!");
    EXPECT_EQ(ResultMessage(116), "(74)服务器发送数据暂缓，请稍后再试!");
    EXPECT_EQ(ResultMessage(117), "(75)服务器发送数据暂缓，请稍后再试!");
    EXPECT_EQ(ResultMessage(119), "(77)暂时无法查询相关数据，请稍后再试!");
    EXPECT_EQ(ResultMessage(129), "(81)账号名称长度错误");
    EXPECT_EQ(ResultMessage(130), "(82)未定义的错误");
}

}  // namespace
}  // namespace kavo::wire
