#include "codecs/base64.h"

#include <gtest/gtest.h>

#include <string>

#include "codecs/des.h"

using kavo::CBase64;

namespace {

std::string Encoded(CBase64& b, const std::string& bytes) {
    b.Encode(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return std::string(b.GetEncoded(), b.GetEncodedLength());
}

std::string Decoded(CBase64& b, const std::string& text) {
    EXPECT_TRUE(b.Decode(text.data(), text.size())) << text;
    return std::string(reinterpret_cast<const char*>(b.GetDecoded()), b.GetDecodedLength());
}

const std::string kKey = "K4v0#key";

}  // namespace

TEST(Base64, EncodesTheRfc4648VectorsWithPadding) {
    CBase64 b;
    EXPECT_EQ(Encoded(b, ""), "");
    EXPECT_STREQ(b.GetEncoded(), "");
    EXPECT_EQ(Encoded(b, "f"), "Zg==");
    EXPECT_EQ(Encoded(b, "fo"), "Zm8=");
    EXPECT_EQ(Encoded(b, "foo"), "Zm9v");
    EXPECT_EQ(Encoded(b, "foobar"), "Zm9vYmFy");
    EXPECT_EQ(Encoded(b, std::string("\0\xFF\xFE", 3)), "AP/+");
    b.Encode("fooba");
    EXPECT_STREQ(b.GetEncoded(), "Zm9vYmE=");
    b.Encode(static_cast<const char*>(nullptr));
    EXPECT_EQ(b.GetEncodedLength(), 0u);
}

TEST(Base64, LongInputCrossesTheBufferPagesAndRoundTrips) {
    std::string bytes(10000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 31 + 7);
    CBase64 b;
    const std::string text = Encoded(b, bytes);
    EXPECT_EQ(text.size(), 4 * ((bytes.size() + 2) / 3));
    EXPECT_EQ(Decoded(b, text).substr(0, bytes.size()), bytes);
    // A short result after a long one leaves no trace of the long one.
    EXPECT_STREQ(b.GetEncoded(), text.c_str());
    b.Encode("f");
    EXPECT_STREQ(b.GetEncoded(), "Zg==");
}

TEST(Base64, DecodedLengthCountsPadsAndShortGroups) {
    CBase64 b;
    // A full group counts 3 bytes even when pads stand for two of them.
    EXPECT_EQ(Decoded(b, "Zg=="), std::string("f\0\0", 3));
    EXPECT_EQ(Decoded(b, "Zm8="), std::string("fo\0", 3));
    EXPECT_EQ(Decoded(b, "Zm9vYmFy"), "foobar");
    // A short last group counts as many bytes as it has characters.
    EXPECT_EQ(Decoded(b, "Zm9vZg"), std::string("foof\0", 5));
    // The high-bit twins of the alphabet and of "=" decode like the characters themselves.
    EXPECT_EQ(Decoded(b, "\xDAm9v\xE7\xBD\xBD\xBD"), std::string("foo\x80\0\0", 6));
    EXPECT_EQ(Decoded(b, ""), "");
    EXPECT_TRUE(b.Decode(nullptr));
    EXPECT_EQ(b.GetDecodedLength(), 0u);
}

TEST(Base64, WhiteSpaceAnywhereIsDropped) {
    CBase64 b;
    EXPECT_EQ(Decoded(b, " Zm9v\r\nYm\tFy \a\v\f"), "foobar");
    EXPECT_STREQ(b.GetEncoded(), "Zm9vYmFy");
    EXPECT_EQ(Decoded(b, "  \n "), "");
}

TEST(Base64, CharactersOutsideTheAlphabetAreRefusedWithoutOverrun) {
    CBase64 b;
    EXPECT_FALSE(b.Decode("Zm9v*mFy"));
    EXPECT_EQ(b.GetDecodedLength(), 0u);
    EXPECT_STREQ(reinterpret_cast<const char*>(b.GetDecoded()), "");
    // Every byte value at every position of a group, at page-sized lengths (run under the
    // address sanitizer, this catches any write past the buffers).
    for (std::size_t len : {1u, 2u, 3u, 4u, 5u, 4095u, 4096u, 4097u}) {
        for (int c = 0; c < 256; ++c) {
            std::string text(len, 'A');
            text[len - 1] = static_cast<char>(c);
            const bool ok = b.Decode(text.data(), text.size());
            EXPECT_LE(b.GetDecodedLength(), len);
            EXPECT_EQ(b.GetDecoded()[b.GetDecodedLength()], 0);
            if (!ok) {
                EXPECT_EQ(b.GetDecodedLength(), 0u);
            }
        }
    }
}

TEST(Base64, PasswordLengthsGiveTheStoredTextLengths) {
    CBase64 b;
    const std::string five = b.EncipherText(kKey, "abcde");
    EXPECT_EQ(five.size(), 12u);  // the 8 enciphered bytes
    const std::string twelve = b.EncipherText(kKey, "abcdefgh1234");
    EXPECT_EQ(twelve.size(), 16u);
    // Bytes from the ninth on are stored as they are.
    EXPECT_EQ(Decoded(b, twelve).substr(8, 4), "1234");
    EXPECT_EQ(b.DecipherText(kKey, five), "abcde");
    EXPECT_EQ(b.DecipherText(kKey, twelve), "abcdefgh1234");
    EXPECT_EQ(b.EncipherText(kKey, ""), "");
    EXPECT_EQ(b.DecipherText(kKey, ""), "");
    // A different key does not give the password back.
    EXPECT_NE(b.DecipherText("otherkey", twelve), "abcdefgh1234");
}

TEST(Base64, PasswordRoundTripsForEveryLengthAndGbkText) {
    CBase64 b;
    for (std::size_t n = 1; n <= 300; ++n) {
        std::string pw(n, '\0');
        for (std::size_t i = 0; i < n; ++i) pw[i] = static_cast<char>(0x21 + (i * 13) % 200);
        const std::string stored = b.EncipherText(kKey, pw);
        EXPECT_EQ(stored.size(), 4 * ((std::max<std::size_t>(n, 8) + 2) / 3));
        EXPECT_EQ(b.DecipherText(kKey, stored), pw) << n;
    }
    EXPECT_EQ(b.DecipherText(kKey, b.EncipherText(kKey, "\xD5\xC5\xC8\xFD")), "\xD5\xC5\xC8\xFD");
}

TEST(Base64, EncipheredBlockWithZeroBytesDeciphersBackUnchanged) {
    // Find passwords whose enciphered first block holds a zero byte, early and late in it.
    CBase64 b;
    int found = 0;
    for (int i = 0; i < 20000 && found < 20; ++i) {
        const std::string pw = "pw" + std::to_string(i) + "-tail";
        const std::string stored = b.EncipherText(kKey, pw);
        const std::string raw = Decoded(b, stored);
        if (raw.substr(0, 8).find('\0') == std::string::npos) continue;
        ++found;
        EXPECT_EQ(b.DecipherText(kKey, stored), pw);
    }
    EXPECT_EQ(found, 20);
}

TEST(Base64, StoredTextThatCannotBeOursGivesNoPassword) {
    CBase64 b;
    EXPECT_EQ(b.DecipherText(kKey, "not base64!"), "");
    EXPECT_EQ(b.DecipherText(kKey, "Zg=="), "");  // fewer than 8 bytes
}
