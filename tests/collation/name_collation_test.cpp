#include "collation/name_collation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace kavo {
namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return NameSortKey(a) < NameSortKey(b);
    });
    return names;
}

std::vector<std::string> Shuffled(std::vector<std::string> names, unsigned seed) {
    std::shuffle(names.begin(), names.end(), std::mt19937(seed));
    return names;
}

std::size_t Position(const std::vector<std::string>& names, const std::string& name) {
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

// Thirty-one common surnames in the order of a Chinese dictionary.
const std::vector<std::string> kSurnames = {
    "阿", "安", "白", "鲍", "蔡", "曹", "陈", "邓", "丁", "方", "高", "郭", "韩", "何", "黄", "江",
    "金", "李", "林", "刘", "马", "孙", "唐", "王", "吴", "谢", "杨", "张", "赵", "周", "朱"};

TEST(NameCollation, CommonSurnamesSortInDictionaryOrder) {
    for (unsigned seed : {1u, 2u, 3u}) EXPECT_EQ(Sorted(Shuffled(kSurnames, seed)), kSurnames);
    // Whole names go by their first character, then by the next.
    EXPECT_EQ(Sorted({"张伟", "张三", "李娜", "王芳", "张", "李"}),
              (std::vector<std::string>{"李", "李娜", "王芳", "张", "张三", "张伟"}));
}

TEST(NameCollation, LatinNamesStandAmongTheChineseOfTheirLetter) {
    const std::vector<std::string> sorted = Sorted(Shuffled(
        {"白", "安", "Alice", "bob", "Bob", "陈", "Zoe", "张", "周", "Émile", "007", "Иван", "阿"},
        4));
    // Digits and signs first, then A to Z, other scripts last.
    EXPECT_EQ(sorted.front(), "007");
    EXPECT_EQ(sorted.back(), "Иван");
    EXPECT_LT(Position(sorted, "阿"), Position(sorted, "白"));
    EXPECT_LT(Position(sorted, "Alice"), Position(sorted, "白"));
    EXPECT_LT(Position(sorted, "安"), Position(sorted, "白"));
    EXPECT_LT(Position(sorted, "白"), Position(sorted, "Bob"));
    EXPECT_LT(Position(sorted, "Bob"), Position(sorted, "陈"));
    EXPECT_LT(Position(sorted, "陈"), Position(sorted, "Émile"));
    EXPECT_LT(Position(sorted, "Émile"), Position(sorted, "张"));
    EXPECT_LT(Position(sorted, "周"), Position(sorted, "Zoe"));
    // Letter case decides only between names that are otherwise alike.
    EXPECT_EQ(Position(sorted, "bob") + 1, Position(sorted, "Bob"));
}

TEST(NameCollation, KeysAreTheSameOnEveryThreadAndForBrokenText) {
    const std::string names[] = {"张伟", "Alice", "", "\xff\xfe", std::string(300, 'x')};
    std::vector<std::string> here, there;
    for (const std::string& n : names) here.push_back(NameSortKey(n));
    std::thread([&] {
        for (const std::string& n : names) there.push_back(NameSortKey(n));
    }).join();
    EXPECT_EQ(here, there);
    // The empty name comes first; a long name keeps the whole of its key.
    EXPECT_LT(here[2], here[0]);
    EXPECT_LT(NameSortKey(std::string(299, 'x')), here[4]);
}

}  // namespace
}  // namespace kavo
