#include "store_fixture.h"

namespace kavo::test {
namespace {

class GroupTableTest : public StoreTest {};

TEST_F(GroupTableTest, AUserWithoutGroupsHasOnlyTheAllEntry) {
    CDataAccess da;
    std::vector<std::string> groups{"stale", "entries"};
    EXPECT_EQ(da.LoadGroups(groups), 1);
    EXPECT_EQ(groups, std::vector<std::string>{""});
    ASSERT_TRUE(da.AddGroup("g"));
    EXPECT_EQ(da.LoadGroups(groups, true), 1);
    EXPECT_EQ(groups, std::vector<std::string>{""});
}

TEST_F(GroupTableTest, AddGroupSkipsBlankAndAllButKeepsSpacesAroundAName) {
    CDataAccess da;
    EXPECT_TRUE(da.AddGroup(""));
    EXPECT_TRUE(da.AddGroup(Gbk("全部")));
    EXPECT_TRUE(da.AddGroup(" \t\r\n"));
    OpenConnection(DbPath());
    EXPECT_EQ(RawCount("KAVO_RELATION_GROUP"), 0);

    ASSERT_TRUE(da.AddGroup(Gbk("同事")));
    ASSERT_TRUE(da.AddGroup("  Family "));
    ASSERT_TRUE(da.AddGroup("O'Neil's"));
    std::vector<std::string> groups;
    ASSERT_EQ(da.LoadGroups(groups), 4);
    EXPECT_EQ(groups, (std::vector<std::string>{"", Gbk("同事"), "  Family ", "O'Neil's"}));

    EXPECT_EQ(CDataAccess::FindGroup(groups, Gbk("全部")), 0);
    EXPECT_EQ(CDataAccess::FindGroup(groups, ""), 0);
    EXPECT_EQ(CDataAccess::FindGroup(groups, "   "), 0);
    EXPECT_EQ(CDataAccess::FindGroup(groups, "o'neil'S"), 3);
    EXPECT_EQ(CDataAccess::FindGroup(groups, "Family"), -1);
    EXPECT_EQ(CDataAccess::FindGroup(groups, "missing"), -1);
}

TEST_F(GroupTableTest, RenameTouchesTheUsersGroupAndContactsOnly) {
    CDataAccess alice;
    CDataAccess bob(Gbk("bob"));
    ASSERT_TRUE(alice.AddGroup("Old"));
    ASSERT_TRUE(bob.AddGroup("Old"));
    ASSERT_TRUE(alice.SaveContact(Contact("a1", "1", "Old")));
    ASSERT_TRUE(alice.SaveContact(Contact("a2", "2", "Other")));
    ASSERT_TRUE(bob.SaveContact(Contact("b1", "1", "Old")));

    ASSERT_TRUE(alice.RenameGroup("Old", Gbk("新组")));
    std::vector<std::string> groups;
    alice.LoadGroups(groups);
    EXPECT_EQ(groups, (std::vector<std::string>{"", Gbk("新组")}));
    bob.LoadGroups(groups);
    EXPECT_EQ(groups, (std::vector<std::string>{"", "Old"}));
    EXPECT_EQ(RawQuery("select GroupName from KAVO_RELATION where RelName='a1'"), "新组");
    EXPECT_EQ(RawQuery("select GroupName from KAVO_RELATION where RelName='a2'"), "Other");
    EXPECT_EQ(RawQuery("select GroupName from KAVO_RELATION where RelName='b1'"), "Old");
}

TEST_F(GroupTableTest, ARenameThatFailsHalfwayChangesNeitherTable) {
    CDataAccess da;
    ASSERT_TRUE(da.AddGroup("Old"));
    ASSERT_TRUE(da.SaveContact(Contact("c", "1", "Old")));
    CloseConnection();
    RawExec(
        "create trigger refuse before update on KAVO_RELATION begin "
        "select raise(abort, 'refused'); end");
    EXPECT_FALSE(da.RenameGroup("Old", "New"));
    EXPECT_EQ(RawQuery("select GroupName from KAVO_RELATION_GROUP"), "Old");
    EXPECT_EQ(RawQuery("select GroupName from KAVO_RELATION"), "Old");
    // The store goes on working after the refusal.
    EXPECT_TRUE(da.AddGroup("Next"));
    EXPECT_EQ(RawCount("KAVO_RELATION_GROUP"), 2);
}

TEST_F(GroupTableTest, DeleteGroupTakesItsContactsOnlyWhenAsked) {
    CDataAccess da;
    CDataAccess bob(Gbk("bob"));
    ASSERT_TRUE(da.AddGroup("Keep"));
    ASSERT_TRUE(da.AddGroup("Drop"));
    ASSERT_TRUE(da.SaveContact(Contact("k", "1", "Keep")));
    ASSERT_TRUE(da.SaveContact(Contact("d", "1", "Drop")));
    ASSERT_TRUE(bob.SaveContact(Contact("bd", "1", "Drop")));

    ASSERT_TRUE(da.DeleteGroup("Keep", false));
    EXPECT_TRUE(da.ContactExists("k", "1"));
    ASSERT_TRUE(da.DeleteGroup("Drop", true));
    EXPECT_FALSE(da.ContactExists("d", "1"));
    EXPECT_TRUE(bob.ContactExists("bd", "1"));
    EXPECT_EQ(RawCount("KAVO_RELATION_GROUP"), 0);
}

}  // namespace
}  // namespace kavo::test
