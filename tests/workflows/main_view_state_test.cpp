// The main window's view and tab state and the window timer's decisions.
#include "workflows/main_view_state.h"

#include <gtest/gtest.h>

#include "codecs/gbk_text.h"

using namespace kavo;

namespace {

std::vector<std::string> Groups(std::initializer_list<const char*> utf8) {
    std::vector<std::string> out;
    for (const char* g : utf8) out.push_back(Utf8ToGbk(g));
    return out;
}

}  // namespace

TEST(MainViewState, RightArrowMovesTabByTabThenScrollsAndStopsAtTheLastThree) {
    CMainViewState s;
    s.SetView(0);
    const int groups = 5;                   // "全部" and four groups
    std::vector<std::pair<int, int>> seen;  // (first visible, tab) after each press
    for (int i = 0; i < 6; ++i) {
        s.NextGroup(groups);
        seen.emplace_back(s.Slot().firstGroup, s.Slot().tab);
    }
    std::vector<std::pair<int, int>> expected = {{0, 1}, {0, 2}, {1, 2}, {2, 2}, {2, 2}, {2, 2}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(s.SelectedGroup(), 4);
    EXPECT_FALSE(s.NextGroup(groups));

    // Left: the tab moves left while groups are hidden to the left, then the strip scrolls.
    EXPECT_TRUE(s.PreviousGroup());
    EXPECT_EQ(s.Slot().tab, 1);
    EXPECT_TRUE(s.PreviousGroup());
    EXPECT_TRUE(s.PreviousGroup());
    EXPECT_EQ(s.Slot().firstGroup, 1);
    EXPECT_EQ(s.Slot().tab, 0);
    EXPECT_TRUE(s.PreviousGroup());
    EXPECT_EQ(s.Slot().firstGroup, 0);
    EXPECT_FALSE(s.PreviousGroup());
}

TEST(MainViewState, ArrowsDoNothingWithThreeGroupsOrFewer) {
    CMainViewState s;
    s.SetView(0);
    EXPECT_FALSE(s.NextGroup(3));
    EXPECT_FALSE(s.NextGroup(1));
    EXPECT_EQ(s.SelectedGroup(), 0);
    EXPECT_TRUE(s.SelectTab(2, 3));
    EXPECT_FALSE(s.SelectTab(2, 2));  // no group behind that tab
    EXPECT_EQ(s.SelectedGroup(), 2);
}

TEST(MainViewState, TabLabelsNameBlankGroupsAllAndHideMissingOnes) {
    CMainViewState s;
    s.SetView(0);
    auto groups = Groups({"", "家人", "  "});
    EXPECT_EQ(s.TabLabels(groups), (std::vector<std::string>{"全部", "家人", "全部"}));
    groups = Groups({"", "同事"});
    EXPECT_EQ(s.TabLabels(groups), (std::vector<std::string>{"全部", "同事", ""}));
    s.SetView(1);
    EXPECT_EQ(s.TabLabels(groups), (std::vector<std::string>{"全部", "", ""}));
    EXPECT_FALSE(s.SelectTab(1, 2));
}

TEST(MainViewState, EachViewKeepsItsOwnRowAndGroupsAreClampedAfterDeletes) {
    CMainViewState s;
    s.SetView(0);
    s.Slot().row = 7;
    s.SetView(2);
    EXPECT_EQ(s.Slot().row, -1);
    s.Slot().row = 1;
    s.SetView(0);
    EXPECT_EQ(s.Slot().row, 7);

    s.NextGroup(6);
    s.NextGroup(6);
    s.NextGroup(6);
    s.NextGroup(6);  // first visible 2, tab 2: group 4
    s.ClampGroups(3);
    EXPECT_EQ(s.Slot().firstGroup, 0);
    EXPECT_EQ(s.SelectedGroup(), 2);
}

TEST(NoticePoll, PollsEveryFiveMinutesOnlineAndNeverWhileTheConnectionIsBusy) {
    CNoticePoll poll(1000);
    EXPECT_EQ(poll.Tick(1000 + 300000, 2, false, true), ETimerStep::kNothing);  // not more than
    // Due, but a worker holds the connection: postponed, base unchanged.
    EXPECT_EQ(poll.Tick(1000 + 300001, 2, true, false), ETimerStep::kNothing);
    EXPECT_EQ(poll.Base(), 1000u);
    EXPECT_EQ(poll.Tick(1000 + 300002, 2, false, true), ETimerStep::kPollNotices);
    EXPECT_EQ(poll.Base(), 301002u);
    EXPECT_EQ(poll.Tick(301003, 2, false, true), ETimerStep::kNothing);

    // A command that starts server work resets the base: no poll falls due at once.
    poll.Reset(700000);
    EXPECT_EQ(poll.Tick(700500, 2, false, true), ETimerStep::kNothing);

    // Offline: due polls only move the base.
    EXPECT_EQ(poll.Tick(1100000, 1, false, false), ETimerStep::kNothing);
    EXPECT_EQ(poll.Base(), 1100000u);
}

TEST(NoticePoll, DropsOfflineOnceWhenTheConnectionDies) {
    CNoticePoll poll(0);
    EXPECT_EQ(poll.Tick(1000, 2, false, false), ETimerStep::kDropOffline);
    // Busy: nothing is known about the connection, so nothing changes.
    EXPECT_EQ(poll.Tick(2000, 2, true, false), ETimerStep::kNothing);
    // Already offline: the notice line is not renewed every second.
    EXPECT_EQ(poll.Tick(3000, 1, false, false), ETimerStep::kNothing);
    // A due poll on a dead connection drops offline instead of downloading.
    EXPECT_EQ(poll.Tick(400000, 2, false, false), ETimerStep::kDropOffline);
}
