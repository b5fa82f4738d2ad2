#include <cstring>
#include <filesystem>

#include "store/batch_scope.h"
#include "store_fixture.h"

namespace kavo::test {
namespace {

class ContactTableTest : public StoreTest {};

TEST_F(ContactTableTest, SavingTheSameIdentityTwiceKeepsOneRowWithTheSecondVersion) {
    CDataAccess da;
    CRelData first = Contact("张三", "13800000001");
    SetFieldUtf8(first.QQ, "111");
    CRelData second = Contact("张三", "13800000001");
    SetFieldUtf8(second.QQ, "222");
    ASSERT_TRUE(da.SaveContact(first));
    ASSERT_TRUE(da.SaveContact(second));
    EXPECT_EQ(RawCount("KAVO_RELATION"), 1);
    CRelData back;
    ASSERT_TRUE(da.LoadContact(Gbk("张三"), "13800000001", back));
    EXPECT_EQ(FieldText(back.QQ), "222");
    EXPECT_EQ(RawQuery("select UserName from KAVO_RELATION"), "alice");
}

// A file whose rows allowed the unique identity key and an older one holding duplicate
// identities, which only has a plain lookup index: saving finds the same row in both.
TEST_F(ContactTableTest, SavingFindsTheIdentityWithoutLetterCaseWithOrWithoutTheUniqueKey) {
    for (bool duplicates : {false, true}) {
        SCOPED_TRACE(duplicates ? "older file with duplicates" : "file with the unique key");
        CloseConnection();
        std::filesystem::remove(DbPath());
        if (duplicates) {
            ASSERT_TRUE(OpenConnection(DbPath()));
            CloseConnection();
            RawExec("drop index KAVO_RELATION_KEY");
            RawExec(
                "insert into KAVO_RELATION(UserName,RelName,MobilePhone1,NickName) values"
                "('alice','Twin','555','a'),('alice','Twin','555','b')");
        }
        CDataAccess da;
        CRelData mary = Contact("Mary", "13900000000ab");
        SetFieldUtf8(mary.NickName, "first");
        ASSERT_TRUE(da.SaveContact(mary));
        CRelData again = Contact("MARY", "13900000000AB");
        SetFieldUtf8(again.NickName, "second");
        ASSERT_TRUE(da.SaveContact(again));
        EXPECT_EQ(RawCount("KAVO_RELATION where RelName='Mary'"), 1);
        // The name keeps its first spelling; every other field takes the second version.
        EXPECT_EQ(RawQuery("select RelName||'/'||MobilePhone1||'/'||NickName from "
                           "KAVO_RELATION where RelName='mary'"),
                  "Mary/13900000000AB/second");
        // Another user's contact of the same identity is a row of its own.
        AppState().SetCurrentUser("bob", "pw");
        ASSERT_TRUE(CDataAccess().SaveContact(Contact("mary", "13900000000ab")));
        AppState().SetCurrentUser("alice", "secret");
        EXPECT_EQ(RawCount("KAVO_RELATION where RelName='Mary'"), 2);
        if (duplicates) {
            EXPECT_EQ(RawQuery("select count(*) from pragma_index_list('KAVO_RELATION') "
                               "where \"unique\""),
                      "0");
            CRelData twin = Contact("Twin", "555");
            SetFieldUtf8(twin.NickName, "both");
            ASSERT_TRUE(da.SaveContact(twin));
            EXPECT_EQ(RawCount("KAVO_RELATION where RelName='Twin' and NickName='both'"), 2);
        }
    }
}

TEST_F(ContactTableTest, EmptyFirstMobileMatchesEmptyOrNullOnly) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveContact(Contact("Li", "13900000000")));
    CRelData noNumber = Contact("Li", "");
    SetFieldUtf8(noNumber.NickName, "empty");
    ASSERT_TRUE(da.SaveContact(noNumber));
    EXPECT_EQ(RawCount("KAVO_RELATION"), 2);

    CRelData back;
    ASSERT_TRUE(da.LoadContact("Li", "", back));
    EXPECT_EQ(FieldText(back.NickName), "empty");
    EXPECT_TRUE(da.ContactExists("Li", ""));
    EXPECT_TRUE(da.ContactExists("Li", "13900000000"));
    EXPECT_FALSE(da.ContactExists("Li", "13900000001"));

    // A row written by an older program with MobilePhone1 NULL is the same identity.
    RawExec(
        "insert into KAVO_RELATION(UserName,RelName,MobilePhone1,NickName) "
        "values('alice','Wang',NULL,'null')");
    ASSERT_TRUE(da.LoadContact("Wang", "", back));
    EXPECT_EQ(FieldText(back.MobilePhone1), "");
    EXPECT_EQ(FieldText(back.NickName), "null");
    CRelData wang = Contact("Wang", "");
    SetFieldUtf8(wang.NickName, "updated");
    ASSERT_TRUE(da.UpdateContact(wang));
    EXPECT_EQ(RawCount("KAVO_RELATION where RelName='Wang'"), 1);
    EXPECT_EQ(RawQuery("select NickName from KAVO_RELATION where RelName='Wang'"), "updated");
    ASSERT_TRUE(da.DeleteContact("Wang", ""));
    EXPECT_EQ(RawCount("KAVO_RELATION where RelName='Wang'"), 0);
    // Deleting the no-number "Li" leaves the numbered one.
    ASSERT_TRUE(da.DeleteContact("Li", ""));
    EXPECT_TRUE(da.ContactExists("Li", "13900000000"));
}

TEST_F(ContactTableTest, InsertRefusesAnExistingContactAndUpdateAMissingOne) {
    CDataAccess da;
    CRelData rel = Contact("Zhao", "1");
    SetFieldUtf8(rel.QQ, "keep");
    ASSERT_TRUE(da.InsertContact(rel));
    CRelData again = Contact("Zhao", "1");
    SetFieldUtf8(again.QQ, "changed");
    EXPECT_FALSE(da.InsertContact(again));
    EXPECT_EQ(RawQuery("select QQ from KAVO_RELATION"), "keep");

    EXPECT_FALSE(da.UpdateContact(Contact("Qian", "2")));
    EXPECT_FALSE(da.UpdateContact(Contact("Zhao", "")));
    EXPECT_EQ(RawCount("KAVO_RELATION"), 1);
}

TEST_F(ContactTableTest, ContactsOfAnotherUserAreNeverSeenOrTouched) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveContact(Contact("Sun", "3")));
    CDataAccess other(Gbk("bob"));
    EXPECT_FALSE(other.ContactExists("Sun", "3"));
    ASSERT_TRUE(other.SaveContact(Contact("Sun", "3")));
    EXPECT_EQ(RawCount("KAVO_RELATION"), 2);
    ASSERT_TRUE(other.DeleteContact("Sun", "3"));
    EXPECT_TRUE(da.ContactExists("Sun", "3"));
    std::vector<CRelData> list;
    EXPECT_EQ(other.LoadContacts(list), 0);
}

TEST_F(ContactTableTest, LoadContactsOrdersByNameThenNumberAndFiltersByGroup) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveContact(Contact("b", "2", "Friends")));
    ASSERT_TRUE(da.SaveContact(Contact("A", "9", "Work")));
    ASSERT_TRUE(da.SaveContact(Contact("b", "1", "friends")));
    ASSERT_TRUE(da.SaveContact(Contact("a", "5")));
    CDataAccess(Gbk("bob")).SaveContact(Contact("aa", "0", "Friends"));

    std::vector<CRelData> all;
    ASSERT_EQ(da.LoadContacts(all), 4);
    std::vector<std::string> order;
    for (const CRelData& r : all)
        order.push_back(std::string(FieldText(r.RelName)) + "/" +
                        std::string(FieldText(r.MobilePhone1)));
    EXPECT_EQ(order, (std::vector<std::string>{"a/5", "A/9", "b/1", "b/2"}));

    std::vector<CRelData> viaAll;
    EXPECT_EQ(da.LoadContacts(viaAll, Gbk("全部")), 4);
    ASSERT_EQ(viaAll.size(), all.size());
    EXPECT_EQ(std::memcmp(viaAll.data(), all.data(), all.size() * sizeof(CRelData)), 0);

    std::vector<CRelData> friends;
    EXPECT_EQ(da.LoadContacts(friends, "Friends"), 2);

    // Appends, and counts the whole list.
    EXPECT_EQ(da.LoadContacts(friends, "Work"), 3);

    std::vector<CRelData> none(1);
    std::strcpy(none[0].RelName, "untouched");
    EXPECT_EQ(da.LoadContacts(none, "Nobody"), 0);
    ASSERT_EQ(none.size(), 1u);
    EXPECT_STREQ(none[0].RelName, "untouched");
}

TEST_F(ContactTableTest, LoadContactsListsChineseNamesByPinyinWithLatinNamesAmongThem) {
    CDataAccess da;
    for (const char* name : {"张伟", "周", "Alice", "白", "安", "bob", "陈", "Zoe", "007"})
        ASSERT_TRUE(da.SaveContact(Contact(name, "139", "Friends")));
    ASSERT_TRUE(da.SaveContact(Contact("张伟", "138")));
    ASSERT_TRUE(da.SaveContact(Contact("张伟", "")));

    auto names = [](const std::vector<CRelData>& list, std::size_t from) {
        std::vector<std::string> out;
        for (std::size_t i = from; i < list.size(); ++i)
            out.push_back(GbkToUtf8(FieldText(list[i].RelName)) + "/" +
                          std::string(FieldText(list[i].MobilePhone1)));
        return out;
    };
    std::vector<CRelData> all;
    ASSERT_EQ(da.LoadContacts(all), 11);
    EXPECT_EQ(names(all, 0), (std::vector<std::string>{"007/139", "安/139", "Alice/139", "白/139",
                                                       "bob/139", "陈/139", "张伟/", "张伟/138",
                                                       "张伟/139", "周/139", "Zoe/139"}));

    // A group is in the same order; what the list held before stays in front.
    std::vector<CRelData> friends(1);
    SetFieldUtf8(friends[0].RelName, "Zed");
    ASSERT_EQ(da.LoadContacts(friends, "Friends"), 10);
    EXPECT_EQ(names(friends, 0),
              (std::vector<std::string>{"Zed/", "007/139", "安/139", "Alice/139", "白/139",
                                        "bob/139", "陈/139", "张伟/139", "周/139", "Zoe/139"}));
}

// A large address book is read in file order and put in place by name; a group, and an
// address book that is a small part of the table, go through the key index. Every way
// gives the list that reading in the statement's order and sorting afterwards gives.
TEST_F(ContactTableTest, LargeAndSmallAddressBooksLoadInTheSameOrder) {
    CDataAccess da;
    const char* names[] = {"张伟", "Alice", "白", "bob", "陈", "Zoe", "007", "安", "alice", "BOB"};
    {
        CBatchScope batch;
        for (int i = 0; i < 1500; ++i) {
            const int k = (i * 7919) % 1500;
            CRelData rel = Contact(std::string(names[k % 10]) + std::to_string(k % 37),
                                   k % 3 ? std::to_string(1000 + k) : std::string(), "G");
            SetField(rel.RelRemark, std::to_string(i));
            ASSERT_TRUE(da.SaveContact(rel));
        }
        CDataAccess(Gbk("bob")).SaveContact(Contact("张三", "1", "G"));
        CDataAccess(Gbk("bob")).SaveContact(Contact("Anna", "2"));
    }
    RawExec("update KAVO_RELATION set MobilePhone1=NULL where RelRemark='7'");

    auto expected = [](std::string_view owner) {
        std::vector<CRelData> list;
        CAdoRecord rs;
        EXPECT_TRUE(
            rs.Execute("select * from KAVO_RELATION where UserName=? order by relname,mobilephone1",
                       {CSqlValue::Utf8(owner)}));
        while (!rs.IsEOF()) {
            LoadRecord(rs, list.emplace_back());
            rs.MoveNext();
        }
        SortContactsByName(list);
        return list;
    };
    auto same = [](const std::vector<CRelData>& a, const std::vector<CRelData>& b) {
        return a.size() == b.size() &&
               std::memcmp(a.data(), b.data(), a.size() * sizeof(CRelData)) == 0;
    };
    const std::vector<CRelData> want = expected("alice");
    ASSERT_GT(want.size(), 1000u);
    std::vector<CRelData> all, group;
    ASSERT_EQ(da.LoadContacts(all), static_cast<int>(want.size()));
    EXPECT_TRUE(same(all, want));
    ASSERT_EQ(da.LoadContacts(group, "G"), static_cast<int>(want.size()));
    EXPECT_TRUE(same(group, want));

    std::vector<CRelData> bobs;
    ASSERT_EQ(CDataAccess(Gbk("bob")).LoadContacts(bobs), 2);
    EXPECT_TRUE(same(bobs, expected("bob")));
    EXPECT_EQ(GbkToUtf8(FieldText(bobs[1].RelName)), "张三");

    // Inside a batch the rows written so far are listed too.
    CBatchScope batch;
    ASSERT_TRUE(da.SaveContact(Contact("新人", "5")));
    std::vector<CRelData> more;
    EXPECT_EQ(da.LoadContacts(more), static_cast<int>(want.size()) + 1);
}

TEST_F(ContactTableTest, EveryFieldRoundTripsByteForByte) {
    CDataAccess da;
    CRelData rel;
    // 24 Chinese characters and one letter: 49 GBK bytes, the most RelName holds.
    std::string name = Gbk("赵钱孙李周吴郑王冯陈褚卫蒋沈韩杨朱秦尤许何吕施张") + "x";
    ASSERT_EQ(name.size(), 49u);
    SetField(rel.RelName, name);
    for (std::size_t i = 1; i < kRelFieldCount; ++i) {
        const FieldSpec& f = kRelFields[i];
        std::string text = Gbk("字段") + std::to_string(i) + "'\"%s;--" + Gbk("值");
        SetField(FieldPtr(&rel, f), f.width, text);
    }
    SetField(rel.RelRemark, Gbk("第一行\r\n第二行 O'Neil ' or '1'='1"));
    ASSERT_TRUE(da.SaveContact(rel));
    CRelData back;
    std::memset(static_cast<void*>(&back), 0x5A, sizeof back);
    ASSERT_TRUE(da.LoadContact(name, FieldText(rel.MobilePhone1), back));
    EXPECT_EQ(std::memcmp(&back, &rel, sizeof rel), 0);
    EXPECT_EQ(FieldText(back.RelName), name);
    // The file holds UTF-8.
    EXPECT_EQ(RawQuery("select substr(RelName,1,2) from KAVO_RELATION"), "赵钱");
}

TEST_F(ContactTableTest, QuotesInNamesNeitherBreakNorWidenAStatement) {
    CDataAccess da;
    ASSERT_TRUE(da.SaveContact(Contact("O'Neil", "1")));
    ASSERT_TRUE(da.SaveContact(Contact("Keep", "2")));
    const std::string hostile = "' or '1'='1";
    EXPECT_FALSE(da.ContactExists(hostile, hostile));
    EXPECT_FALSE(da.ContactExists(hostile, ""));
    ASSERT_TRUE(da.DeleteContact(hostile, ""));
    ASSERT_TRUE(da.DeleteContact(hostile, hostile));
    EXPECT_EQ(RawCount("KAVO_RELATION"), 2);
    EXPECT_TRUE(da.ContactExists("O'Neil", "1"));

    ASSERT_TRUE(da.SaveContact(Contact(hostile, hostile)));
    CRelData back;
    ASSERT_TRUE(da.LoadContact(hostile, hostile, back));
    EXPECT_EQ(FieldText(back.RelName), hostile);
    EXPECT_EQ(RawCount("KAVO_RELATION"), 3);

    // A hostile current user name owns only its own rows.
    AppState().SetCurrentUser(hostile, "");
    std::vector<CRelData> list;
    EXPECT_EQ(da.LoadContacts(list), 0);
}

TEST_F(ContactTableTest, ANameThatIsOneCharacterTooLongIsCutWithoutSplittingIt) {
    CDataAccess da;
    CRelData rel;
    SetField(rel.GroupName, Gbk("一二三四五"));  // 10 bytes: only four characters fit
    EXPECT_EQ(FieldText(rel.GroupName), Gbk("一二三四"));
    SetField(rel.RelName, "n");
    ASSERT_TRUE(da.SaveContact(rel));
    // A longer value written by someone else comes back cut to the field.
    RawExec("update KAVO_RELATION set GroupName='一二三四五六'");
    CRelData back;
    ASSERT_TRUE(da.LoadContact("n", "", back));
    EXPECT_EQ(FieldText(back.GroupName), Gbk("一二三四"));
}

TEST_F(ContactTableTest, BatchCommitsEverySaveOnceAndNests) {
    CDataAccess da;
    {
        CBatchScope batch;
        ASSERT_TRUE(batch.IsActive());
        for (int i = 0; i < 200; ++i)
            ASSERT_TRUE(da.SaveContact(Contact("n" + std::to_string(i), std::to_string(i))));
        {
            CBatchScope inner;
            ASSERT_TRUE(inner.IsActive());
            ASSERT_TRUE(da.SaveContact(Contact("inner", "1")));
        }
        // Nothing is visible to another connection before the outer commit.
        EXPECT_EQ(RawCount("KAVO_RELATION"), 0);
        EXPECT_TRUE(batch.Commit());
        EXPECT_EQ(RawCount("KAVO_RELATION"), 201);
        ASSERT_TRUE(da.SaveContact(Contact("after", "1")));
    }
    EXPECT_EQ(RawCount("KAVO_RELATION"), 202);
}

}  // namespace
}  // namespace kavo::test
