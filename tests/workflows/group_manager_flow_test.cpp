// The group manager's rules against a real local store.
#include "workflows/group_manager_flow.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"
#include "workflows/messages.h"

using namespace kavo;

namespace {

CRelData Contact(const std::string& name, const std::string& group) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, name);
    SetField(rel.MobilePhone1, "1390000" + std::to_string(name.size()));
    SetFieldUtf8(rel.GroupName, group);
    return rel;
}

std::string StoredGroup(const std::string& name) {
    std::vector<CRelData> all;
    CDataAccess().LoadContacts(all);
    for (const CRelData& rel : all)
        if (FieldUtf8(rel.RelName) == name) return FieldUtf8(rel.GroupName);
    return "<missing>";
}

class GroupManagerFlowTest : public test::SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        AppState().SetCurrentUser("grouper", "pw");
        // Two groups, 同事 with two contacts, 家人 with one, and one contact in no group.
        ASSERT_EQ(MergeContacts({Contact("张三", "同事"), Contact("李四", "同事"),
                                 Contact("王五", "家人"), Contact("赵六", "")}),
                  4);
        ASSERT_EQ(AppState().GroupNames.size(), 3u);
    }
    int Index(const std::string& utf8) {
        return CDataAccess::FindGroup(AppState().GroupNames, Utf8ToGbk(utf8));
    }
};

TEST_F(GroupManagerFlowTest, AddRefusesEmptyAllExistingAndTooLongNames) {
    EXPECT_EQ(AddGroupNamed(""), msg::kGroupAddEmpty);
    EXPECT_EQ(AddGroupNamed("全部"), msg::kGroupAddEmpty);
    EXPECT_EQ(AddGroupNamed("同事"), msg::kGroupExists);
    EXPECT_EQ(AddGroupNamed("五个汉字组"), msg::kGroupNameTooLong);
    EXPECT_EQ(AppState().GroupNames.size(), 3u);

    EXPECT_EQ(AddGroupNamed("朋友"), "");
    ASSERT_EQ(AppState().GroupNames.size(), 4u);
    EXPECT_EQ(GroupDisplayName(3), "朋友");
    EXPECT_EQ(GroupDisplayName(0), "全部");
    std::vector<std::string> stored;
    CDataAccess().LoadGroups(stored);
    EXPECT_EQ(stored, AppState().GroupNames);
}

TEST_F(GroupManagerFlowTest, RenameChecksThenRenamesGroupAndItsContacts) {
    const int colleagues = Index("同事");
    EXPECT_EQ(RenameGroupAt(colleagues, ""), msg::kGroupRenameEmpty);
    EXPECT_EQ(RenameGroupAt(colleagues, "同事"), msg::kGroupRenameEmpty);  // its own name
    EXPECT_EQ(RenameGroupAt(colleagues, "家人"), msg::kGroupRenameEmpty);
    EXPECT_EQ(RenameGroupAt(-1, "新名"), msg::kChooseGroup);
    EXPECT_EQ(RenameGroupAt(0, "新名"), msg::kGroupAllFixed);
    EXPECT_EQ(AppState().GroupNames[0], "");

    EXPECT_EQ(RenameGroupAt(colleagues, "老同事"), "");
    EXPECT_EQ(GroupDisplayName(colleagues), "老同事");
    EXPECT_EQ(StoredGroup("张三"), "老同事");
    EXPECT_EQ(StoredGroup("李四"), "老同事");
    EXPECT_EQ(StoredGroup("王五"), "家人");
}

TEST_F(GroupManagerFlowTest, DeleteWithAndWithoutContacts) {
    EXPECT_EQ(CheckDeleteGroupAt(0), msg::kGroupDeleteAll);
    EXPECT_EQ(CheckDeleteGroupAt(-1), msg::kChooseGroup);
    EXPECT_EQ(AddGroupNamed("空组"), "");
    EXPECT_EQ(GroupContactCount(Index("空组")), 0);
    EXPECT_EQ(GroupContactCount(Index("同事")), 2);

    // Leaving the contacts: they keep the deleted group's name.
    ASSERT_TRUE(DeleteGroupAt(Index("同事"), false));
    EXPECT_LT(Index("同事"), 0);
    EXPECT_EQ(StoredGroup("张三"), "同事");
    // With the contacts: they go too.
    ASSERT_TRUE(DeleteGroupAt(Index("家人"), true));
    EXPECT_EQ(StoredGroup("王五"), "<missing>");
    EXPECT_EQ(StoredGroup("赵六"), "");
    std::vector<std::string> stored;
    CDataAccess().LoadGroups(stored);
    EXPECT_EQ(stored, AppState().GroupNames);
}

TEST_F(GroupManagerFlowTest, MovesBetweenGroupsFollowTheListRules) {
    CGroupMover mover;
    const int colleagues = Index("同事"), family = Index("家人");
    ASSERT_EQ(mover.Members(0).size(), 4u);
    const std::vector<int> inColleagues = mover.Members(colleagues);
    ASSERT_EQ(inColleagues.size(), 2u);

    // From a group to another: added on the right, removed on the left, stored.
    auto moved = mover.Move(colleagues, family, {inColleagues[0]});
    EXPECT_EQ(moved.added, std::vector<int>{inColleagues[0]});
    EXPECT_EQ(moved.removed, std::vector<int>{inColleagues[0]});
    EXPECT_EQ(moved.stored, 1);
    EXPECT_EQ(mover.Members(family).size(), 2u);

    // From "全部" (left 0): it stays on the left; one already in the target is reported.
    int zhao = -1;
    for (int pos : mover.Members(0))
        if (FieldUtf8(mover.Contacts()[pos].RelName) == "赵六") zhao = pos;
    ASSERT_GE(zhao, 0);
    std::vector<int> both = {zhao, inColleagues[0]};
    moved = mover.Move(0, family, both);
    EXPECT_TRUE(moved.removed.empty());
    EXPECT_EQ(moved.duplicates, std::vector<int>{inColleagues[0]});
    EXPECT_EQ(moved.added.size(), 1u);

    // To the first group (right 0): the group is emptied, no row is added on the right.
    moved = mover.Move(family, 0, mover.Members(family));
    EXPECT_TRUE(moved.added.empty());
    EXPECT_EQ(moved.removed.size(), 3u);
    EXPECT_EQ(moved.stored, 3);
    EXPECT_TRUE(mover.Members(family).empty());
    EXPECT_EQ(StoredGroup("王五"), "");

    // Equal or missing indexes do nothing.
    EXPECT_EQ(mover.Move(colleagues, colleagues, {0}).stored, 0);
    EXPECT_EQ(mover.Move(-1, colleagues, {0}).stored, 0);
}

}  // namespace
