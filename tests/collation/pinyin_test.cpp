#include "collation/pinyin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavo {
namespace {

bool Has(const std::vector<std::string_view>& readings, std::string_view reading) {
    for (std::string_view r : readings)
        if (r == reading) return true;
    return false;
}

PinyinMatch Match(const char* text, const char* name) { return CPinyinQuery(text).Match(name); }

TEST(Pinyin, PolyphonicCharactersHaveEveryReadingTheCommonOneFirst) {
    const std::vector<std::string_view> shan = PinyinReadings(U'单');
    ASSERT_FALSE(shan.empty());
    EXPECT_EQ(shan.front(), "dan");
    EXPECT_TRUE(Has(shan, "shan"));
    EXPECT_TRUE(Has(PinyinReadings(U'曾'), "zeng"));
    EXPECT_TRUE(Has(PinyinReadings(U'曾'), "ceng"));
    EXPECT_TRUE(Has(PinyinReadings(U'解'), "jie"));
    EXPECT_TRUE(Has(PinyinReadings(U'解'), "xie"));
    EXPECT_TRUE(Has(PinyinReadings(U'仇'), "qiu"));
    EXPECT_TRUE(Has(PinyinReadings(U'仇'), "chou"));
    EXPECT_EQ(PinyinReadings(U'张'), std::vector<std::string_view>{"zhang"});
    EXPECT_EQ(PinyinReadings(U'吕'), std::vector<std::string_view>{"lv"});
    EXPECT_TRUE(PinyinReadings(U'A').empty());
    EXPECT_TRUE(PinyinReadings(U'☆').empty());
}

TEST(Pinyin, InitialsWholePinyinAndTheirBeginningsSpellAName) {
    for (const char* text :
         {"zw", "zhangwei", "zhang wei", "ZhangWei", "zhangw", "zhan", "zwei", "zhw", "z"})
        EXPECT_EQ(Match(text, "张伟"), PinyinMatch::kFromStart) << text;
    EXPECT_EQ(Match("wei", "张伟"), PinyinMatch::kInside);
    EXPECT_EQ(Match("w", "张伟"), PinyinMatch::kInside);
    for (const char* text : {"zx", "zhangweiz", "wz", "hangwei", "zhangwe i x"})
        EXPECT_EQ(Match(text, "张伟"), PinyinMatch::kNone) << text;
    EXPECT_EQ(Match("xi'an", "西安"), PinyinMatch::kFromStart);
    EXPECT_EQ(Match("xian", "西安"), PinyinMatch::kFromStart);
}

TEST(Pinyin, PolyphonicSurnamesAreFoundByEveryReading) {
    for (const char* text : {"dtf", "stf", "shantianfang", "dantianfang", "shan"})
        EXPECT_EQ(Match(text, "单田芳"), PinyinMatch::kFromStart) << text;
    for (const char* text : {"zgf", "cgf", "zengguofan", "cengguofan"})
        EXPECT_EQ(Match(text, "曾国藩"), PinyinMatch::kFromStart) << text;
    for (const char* text : {"xj", "jj", "xiejin", "jiejin"})
        EXPECT_EQ(Match(text, "解缙"), PinyinMatch::kFromStart) << text;
    for (const char* text : {"qy", "cy", "qiuying", "chouying"})
        EXPECT_EQ(Match(text, "仇英"), PinyinMatch::kFromStart) << text;
    // ü is typed as v or as u.
    EXPECT_EQ(Match("lvbu", "吕布"), PinyinMatch::kFromStart);
    EXPECT_EQ(Match("lubu", "吕布"), PinyinMatch::kFromStart);
}

TEST(Pinyin, LatinPartsAndSeparatorsOfMixedNames) {
    EXPECT_EQ(Match("tz", "Tony张"), PinyinMatch::kFromStart);
    EXPECT_EQ(Match("tonyzhang", "Tony 张"), PinyinMatch::kFromStart);
    EXPECT_EQ(Match("yhsms", "约翰·史密斯"), PinyinMatch::kFromStart);
    EXPECT_EQ(Match("ab", "Alice Bob"), PinyinMatch::kFromStart);
    // A character without a reading stops the spelling.
    EXPECT_EQ(Match("zw", "张☆伟"), PinyinMatch::kNone);
    EXPECT_EQ(Match("w", "张☆伟"), PinyinMatch::kInside);
    EXPECT_EQ(Match("z", "\xff张"), PinyinMatch::kInside);
}

TEST(Pinyin, OnlyLatinLettersArePinyin) {
    for (const char* text : {"", "   ", "'", "张", "z1", "138", "zhang-wei", "zhāng"})
        EXPECT_FALSE(CPinyinQuery(text).IsPinyin()) << text;
    EXPECT_EQ(Match("z1", "张伟"), PinyinMatch::kNone);
    EXPECT_TRUE(CPinyinQuery(" Zhang Wei ").IsPinyin());
    EXPECT_FALSE(CPinyinQuery(std::string(161, 'a')).IsPinyin());
    EXPECT_EQ(Match("zw", ""), PinyinMatch::kNone);
}

}  // namespace
}  // namespace kavo
