// The state of the main window that is not a widget: the current view, each view's tab,
// row and first visible group, the group tabs' navigation, and the window timer's choice
// between polling the notices and checking the connection.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kavo {

// What one view remembers while another is shown.
struct CViewSlot {
    int tab = 0;         // the selected tab, 0 to 2
    int row = -1;        // the selected list row, -1 for none
    int firstGroup = 0;  // index into GroupNames of the leftmost tab
};

class CMainViewState {
public:
    static constexpr int kViewCount = 3;
    static constexpr int kTabCount = 3;

    // -1 before the window is opened, then 0 contacts, 1 SMS, 2 accounts.
    int View() const { return view_; }
    void SetView(int view);
    // The current view's slot (the contacts slot before a view is shown).
    CViewSlot& Slot() { return slots_[Index(view_)]; }
    const CViewSlot& Slot() const { return slots_[Index(view_)]; }
    CViewSlot& SlotOf(int view) { return slots_[Index(view)]; }
    const CViewSlot& SlotOf(int view) const { return slots_[Index(view)]; }

    // The group the contacts list shows: first visible group + selected tab.
    int SelectedGroup() const { return slots_[0].firstGroup + slots_[0].tab; }

    // The left arrow: only when groups are hidden to the left; the tab moves left, or the
    // strip scrolls when the first tab is selected. True when something moved.
    bool PreviousGroup();
    // The right arrow: only while more than three groups remain from the first visible
    // one; the tab moves right from tabs 0 and 1, the strip scrolls from tab 2.
    bool NextGroup(int groupCount);
    // Tab k of the contacts strip; false when that tab shows no group.
    bool SelectTab(int k, int groupCount);
    // Keeps the contacts strip inside the groups after groups were deleted.
    void ClampGroups(int groupCount);

    // The labels of the three tabs of the current view (UTF-8): the GBK group names from
    // the first visible group, "全部" for a blank name, "" for a tab without a group. The SMS
    // and accounts views show "全部" alone.
    std::vector<std::string> TabLabels(const std::vector<std::string>& groupNames) const;

private:
    static int Index(int view) { return view >= 0 && view < kViewCount ? view : 0; }
    int view_ = -1;
    CViewSlot slots_[kViewCount];
};

// What a tick of the window's 1000 ms timer does.
enum class ETimerStep {
    kNothing,
    kPollNotices,  // download the notices (online, poll due, connection free)
    kDropOffline,  // the connection died: LoginMode becomes 1, the notice line is renewed
};

// The notice poll: every 300000 ms while online the notices are downloaded. Commands that
// start server work reset the base, so no poll falls due while their worker holds the
// connection; a busy connection postpones a due poll to a later tick instead of waiting.
class CNoticePoll {
public:
    static constexpr std::uint64_t kIntervalMs = 300000;

    explicit CNoticePoll(std::uint64_t now = 0) : base_(now) {}
    void Reset(std::uint64_t now) { base_ = now; }
    std::uint64_t Base() const { return base_; }

    // `clientBusy`: a request holds the connection, so neither a poll nor the liveness
    // check can run without waiting; `alive`: the liveness check's answer otherwise.
    ETimerStep Tick(std::uint64_t now, int loginMode, bool clientBusy, bool alive);

private:
    std::uint64_t base_;
};

// A millisecond tick count that never goes backwards.
std::uint64_t TickCountMs();

}  // namespace kavo
