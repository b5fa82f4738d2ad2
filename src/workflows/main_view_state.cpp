#include "workflows/main_view_state.h"

#include <chrono>

#include "codecs/gbk_text.h"
#include "workflows/messages.h"

namespace kavo {

void CMainViewState::SetView(int view) { view_ = view >= 0 && view < kViewCount ? view : -1; }

bool CMainViewState::PreviousGroup() {
    CViewSlot& s = slots_[0];
    if (s.firstGroup <= 0) return false;
    if (s.tab > 0) {
        --s.tab;
    } else {
        --s.firstGroup;
    }
    return true;
}

bool CMainViewState::NextGroup(int groupCount) {
    CViewSlot& s = slots_[0];
    if (groupCount - s.firstGroup <= kTabCount) return false;
    if (s.tab < kTabCount - 1) {
        ++s.tab;
    } else {
        ++s.firstGroup;
    }
    return true;
}

bool CMainViewState::SelectTab(int k, int groupCount) {
    if (k < 0 || k >= kTabCount) return false;
    if (Index(view_) != 0) {
        // The SMS and accounts views have the one tab "全部".
        if (k != 0) return false;
        Slot().tab = 0;
        return true;
    }
    if (slots_[0].firstGroup + k >= groupCount) return false;
    slots_[0].tab = k;
    return true;
}

void CMainViewState::ClampGroups(int groupCount) {
    CViewSlot& s = slots_[0];
    if (groupCount < 1) groupCount = 1;
    if (s.firstGroup + kTabCount > groupCount) s.firstGroup = groupCount - kTabCount;
    if (s.firstGroup < 0) s.firstGroup = 0;
    if (s.firstGroup + s.tab >= groupCount) s.tab = groupCount - 1 - s.firstGroup;
    if (s.tab < 0) s.tab = 0;
}

std::vector<std::string> CMainViewState::TabLabels(
    const std::vector<std::string>& groupNames) const {
    std::vector<std::string> labels(kTabCount);
    if (Index(view_) != 0) {
        labels[0] = msg::kAllGroups;
        return labels;
    }
    for (int k = 0; k < kTabCount; ++k) {
        std::size_t g = static_cast<std::size_t>(slots_[0].firstGroup + k);
        if (g >= groupNames.size()) break;
        std::string_view name = TrimSpace(groupNames[g]);
        labels[k] = name.empty() ? std::string(msg::kAllGroups) : GbkToUtf8(name);
    }
    return labels;
}

ETimerStep CNoticePoll::Tick(std::uint64_t now, int loginMode, bool clientBusy, bool alive) {
    if (now - base_ > kIntervalMs) {
        // A worker holds the connection: try again on a later tick rather than wait.
        if (clientBusy) return ETimerStep::kNothing;
        base_ = now;
        if (loginMode != 2) return ETimerStep::kNothing;
        return alive ? ETimerStep::kPollNotices : ETimerStep::kDropOffline;
    }
    // Offline already: renewing the notice line every second would restart its scroll.
    if (loginMode == 2 && !clientBusy && !alive) return ETimerStep::kDropOffline;
    return ETimerStep::kNothing;
}

std::uint64_t TickCountMs() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace kavo
