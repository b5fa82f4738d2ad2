// The group list and contact grouping windows over a real local store.
#include <gtest/gtest.h>

#include <QTreeWidgetItem>

#include "command_dialogs_support.h"
#include "dialogs/group_edit_dlg.h"
#include "dialogs/group_manage_dlg.h"
#include "skin/skin_combo_box.h"
#include "skin/skin_edit.h"
#include "skin/skin_list_ctrl.h"
#include "store/data_access.h"
#include "workflows/address_book_sync.h"
#include "workflows/group_manager_flow.h"
#include "workflows/messages.h"

using namespace kavo;

namespace {

class GroupDialogsTest : public test::CommandDialogTest {
protected:
    void SetUp() override {
        CommandDialogTest::SetUp();
        AppState().SetCurrentUser("grouper", "pw");
        ASSERT_EQ(MergeContacts({test::ChineseContact(1, "同事"), test::ChineseContact(2, "同事"),
                                 test::ChineseContact(3, "")}),
                  3);
    }
    QStringList TableTexts(CZPGroupEditDlg& dlg) {
        QStringList texts;
        for (int i = 0; i < dlg.Table()->topLevelItemCount(); ++i)
            texts << dlg.Table()->topLevelItem(i)->text(0);
        return texts;
    }
    void Select(CZPGroupEditDlg& dlg, int row) {
        dlg.Table()->setCurrentItem(dlg.Table()->topLevelItem(row));
    }
    std::vector<bool> refreshes;
};

TEST_F(GroupDialogsTest, AddRenameAndRefusalsKeepTableAndGroupsInStep) {
    CZPGroupEditDlg dlg(nullptr, [this](bool labels) { refreshes.push_back(labels); });
    EXPECT_EQ(TableTexts(dlg), (QStringList{"全部", "同事"}));

    dlg.NameEdit()->setText(QStringLiteral("全部"));
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeAdd);
    EXPECT_EQ(LastText(), msg::kGroupAddEmpty);
    dlg.NameEdit()->setText(QStringLiteral("朋友"));
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeAdd);
    EXPECT_EQ(TableTexts(dlg), (QStringList{"全部", "同事", "朋友"}));
    EXPECT_TRUE(dlg.NameEdit()->text().isEmpty());
    EXPECT_EQ(refreshes, std::vector<bool>{true});

    // A click copies the row into the name field; renaming to the same name is refused.
    emit dlg.Table()->itemClicked(dlg.Table()->topLevelItem(1), 0);
    EXPECT_EQ(dlg.NameEdit()->text(), QStringLiteral("同事"));
    Select(dlg, 1);
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeRename);
    EXPECT_EQ(LastText(), msg::kGroupRenameEmpty);
    dlg.NameEdit()->setText(QStringLiteral("旧同事"));
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeRename);
    EXPECT_EQ(TableTexts(dlg), (QStringList{"全部", "旧同事", "朋友"}));
    std::vector<CRelData> members;
    EXPECT_EQ(CDataAccess().LoadContacts(members, Utf8ToGbk("旧同事")), 2);

    // The first row keeps its name.
    Select(dlg, 0);
    dlg.NameEdit()->setText(QStringLiteral("新名"));
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeRename);
    EXPECT_EQ(LastText(), msg::kGroupAllFixed);
    EXPECT_EQ(TableTexts(dlg)[0], QStringLiteral("全部"));
}

TEST_F(GroupDialogsTest, DeleteAsksAccordingToTheContactsItHolds) {
    ASSERT_EQ(AddGroupNamed("空组"), "");
    ASSERT_EQ(AppState().GroupNames.size(), 3u);
    CZPGroupEditDlg dlg(nullptr, [this](bool labels) { refreshes.push_back(labels); });
    Select(dlg, 0);
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeDelete);
    EXPECT_EQ(LastText(), msg::kGroupDeleteAll);

    // An empty group: "确定删除?", No keeps it, Yes deletes it.
    Select(dlg, 2);
    CZPMessageScript::QueueAnswers({kIdNo});
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeDelete);
    EXPECT_EQ(LastText(), msg::kAskDelete);
    EXPECT_EQ(dlg.Table()->topLevelItemCount(), 3);
    CZPMessageScript::QueueAnswers({kIdYes});
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeDelete);
    EXPECT_EQ(dlg.Table()->topLevelItemCount(), 2);

    // A group with contacts: Cancel does nothing, No deletes the group and keeps them.
    Select(dlg, 1);
    CZPMessageScript::QueueAnswers({kIdCancel});
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeDelete);
    EXPECT_EQ(LastText(), msg::kAskDeleteGroupContacts);
    EXPECT_EQ(dlg.Table()->topLevelItemCount(), 2);
    CZPMessageScript::QueueAnswers({kIdNo});
    dlg.OnSkinButton(CZPGroupEditDlg::kCodeDelete);
    EXPECT_EQ(dlg.Table()->topLevelItemCount(), 1);
    EXPECT_EQ(AppState().GroupNames.size(), 1u);
    std::vector<CRelData> kept;
    EXPECT_EQ(CDataAccess().LoadContacts(kept, Utf8ToGbk("同事")), 2);
    EXPECT_EQ(refreshes, (std::vector<bool>{true, true}));
}

TEST_F(GroupDialogsTest, MovingContactsBetweenTheTwoLists) {
    std::vector<bool> refreshed;
    CZPGroupManageDlg dlg(-3, nullptr, [&](bool labels) { refreshed.push_back(labels); });
    EXPECT_EQ(dlg.LeftGroup()->currentIndex(), 0);
    EXPECT_EQ(dlg.Names(0).size(), 3);
    dlg.RightGroup()->setCurrentIndex(1);
    EXPECT_EQ(dlg.Names(1).size(), 2);

    // "全部" → 同事 with one already there: it is reported; the other joins, selected.
    dlg.LeftList()->clearSelection();
    for (int i = 0; i < dlg.LeftList()->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = dlg.LeftList()->topLevelItem(i);
        if (item->text(0) == "联系人1" || item->text(0) == "联系人3") item->setSelected(true);
    }
    dlg.OnSkinButton(CZPGroupManageDlg::kCodeToRight);
    EXPECT_EQ(LastText(), msg::kAlreadyInRight);
    EXPECT_EQ(dlg.Names(0).size(), 3);  // moving out of "全部" leaves the row there
    EXPECT_EQ(dlg.Names(1).size(), 3);
    EXPECT_TRUE(dlg.RightList()->topLevelItem(2)->isSelected());
    EXPECT_EQ(refreshed, std::vector<bool>{false});

    // 同事 (left) → the first group (right 0): their group empties, no row appears there.
    dlg.LeftGroup()->setCurrentIndex(1);
    dlg.RightGroup()->setCurrentIndex(0);
    const int rightBefore = dlg.RightList()->topLevelItemCount();
    dlg.LeftList()->selectAll();
    dlg.OnSkinButton(CZPGroupManageDlg::kCodeToRight);
    EXPECT_TRUE(dlg.Names(0).isEmpty());
    EXPECT_EQ(dlg.RightList()->topLevelItemCount(), rightBefore);
    std::vector<CRelData> none;
    EXPECT_EQ(CDataAccess().LoadContacts(none, Utf8ToGbk("同事")), 0);
}

}  // namespace
