#include "codecs/gbk_text.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kavo;

namespace {
// "张三" in GBK.
const std::string kZhangSan = "\xD5\xC5\xC8\xFD";
}  // namespace

TEST(GbkText, RoundTripsChineseThroughUtf8) {
    std::string utf8 = GbkToUtf8(kZhangSan);
    EXPECT_EQ(utf8, "张三");
    EXPECT_EQ(Utf8ToGbk(utf8), kZhangSan);
    EXPECT_EQ(GbkToUtf8("O'Neil"), "O'Neil");
}

TEST(GbkText, WhatGbkLacksBecomesQuestionMark) {
    EXPECT_EQ(Utf8ToGbk("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToGbk("a\xFF"
                        "b"),
              "a?b");
    // A lone lead byte at the end of GBK text is not a character.
    EXPECT_EQ(GbkToUtf8("ab\xD5"), "ab?");
}

TEST(GbkText, FieldKeepsAtMostWidthMinusOneBytesWithoutSplittingACharacter) {
    char field[6];
    std::memset(field, 'x', sizeof field);
    // "ab张三" is 6 bytes; the field holds 5, and the cut would split "三".
    SetField(field, "ab" + kZhangSan);
    EXPECT_EQ(FieldText(field), "ab\xD5\xC5");
    EXPECT_EQ(field[4], 0);
    EXPECT_EQ(field[5], 0);

    SetField(field, "abcdefgh");
    EXPECT_EQ(FieldText(field), "abcde");

    char name[50];
    std::string full49(49, 'a');
    SetField(name, full49 + "b");
    EXPECT_EQ(FieldText(name), full49);
}

TEST(GbkText, FieldTextStopsAtFirstNulOrTheWidth) {
    const char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FieldText(full), "abcd");
    const char shortOne[4] = {'a', 0, 'c', 0};
    EXPECT_EQ(FieldText(shortOne), "a");
}

TEST(GbkText, Utf8FieldsConvertAtTheEdge) {
    char field[10];
    SetFieldUtf8(field, "张三李四王五");  // 12 GBK bytes, 9 fit: four characters
    EXPECT_EQ(FieldUtf8(field), "张三李四");
}

TEST(GbkText, TrimAndCaseInsensitiveCompare) {
    EXPECT_EQ(TrimSpace(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimSpace("   "), "");
    EXPECT_TRUE(EqualsNoCase("(NULL)", "(null)"));
    EXPECT_FALSE(EqualsNoCase("abc", "abd"));
    EXPECT_FALSE(EqualsNoCase(kZhangSan, "\xD5\xC5\xC8\xDD"));
    // "\xB0\x41" and "\xB0\x61" are two different characters whose trail bytes happen to
    // be the letters A and a.
    EXPECT_FALSE(EqualsNoCase("\xB0\x41", "\xB0\x61"));
    EXPECT_TRUE(EqualsNoCase("x\xB0\x41Y", "X\xB0\x41y"));
}

TEST(GbkText, TellsUtf8FromGbkAndFlattensMultiLineValues) {
    EXPECT_TRUE(IsValidUtf8("张三 abc"));
    EXPECT_FALSE(IsValidUtf8(kZhangSan));     // GBK bytes are not UTF-8
    EXPECT_FALSE(IsValidUtf8("ab\xE5\xBC"));  // a sequence cut off at the end
    EXPECT_EQ(SingleLine("  first\r\nsecond\n "), "first second");
    EXPECT_EQ(JoinNonEmpty({"a", "", "b", ""}, ", "), "a, b");
    EXPECT_EQ(JoinNonEmpty({"", ""}, ", "), "");
}
