#include "codecs/md5_checksum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

using kavo::CMD5Checksum;

namespace {
std::string Md5(const std::string& s) { return CMD5Checksum::GetMD5(s.data(), s.size()); }
}  // namespace

TEST(Md5Checksum, AgreesWithTheRfc1321TestSuite) {
    EXPECT_EQ(Md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(Md5("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(Md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(Md5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(Md5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(Md5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(Md5("1234567890123456789012345678901234567890123456789012345678901234567890123456"
                  "7890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    EXPECT_EQ(CMD5Checksum::GetMD5(nullptr, 0), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(Md5Checksum, PiecewiseUpdatesEqualOneUpdateAcrossBlockAndPaddingBorders) {
    // Lengths around 55/56/64 bytes exercise both padding branches and buffered blocks.
    for (std::size_t len : {0u, 1u, 55u, 56u, 57u, 63u, 64u, 65u, 119u, 120u, 1000u}) {
        std::string msg(len, '\0');
        for (std::size_t i = 0; i < len; ++i) msg[i] = static_cast<char>(i * 7 + 3);
        for (std::size_t step : {1u, 3u, 17u, 64u}) {
            CMD5Checksum md5;
            for (std::size_t at = 0; at < len; at += step)
                md5.Update(msg.data() + at, std::min(step, len - at));
            EXPECT_EQ(md5.Final(), Md5(msg)) << "len " << len << " step " << step;
        }
    }
    // Final leaves the object ready for the next message.
    CMD5Checksum md5;
    md5.Update("xyz", 3);
    md5.Final();
    md5.Update("abc", 3);
    EXPECT_EQ(md5.Final(), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Md5Checksum, DigestsHighBytesAsTheyAreAndAlwaysGives32LowerHexDigits) {
    // "张三" in GBK; digest computed independently (md5sum of those four bytes).
    EXPECT_EQ(Md5("\xD5\xC5\xC8\xFD"), "894152fff4f97e8fb2b8f304c5c56ebb");
    for (int i = 0; i < 200; ++i) {
        const std::string d = Md5(std::string(i, char(0x80 + i % 100)));
        ASSERT_EQ(d.size(), 32u);
        EXPECT_EQ(d.find_first_not_of("0123456789abcdef"), std::string::npos) << d;
    }
}
