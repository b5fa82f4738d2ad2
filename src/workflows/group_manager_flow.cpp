#include "workflows/group_manager_flow.h"

#include "codecs/gbk_text.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "workflows/messages.h"

namespace kavo {
namespace {

constexpr std::size_t kGroupNameLimit = sizeof(CRelData::GroupName) - 1;

bool IsAllGroupsText(const std::string& nameUtf8) {
    return nameUtf8.empty() || nameUtf8 == msg::kAllGroups;
}

bool NameTaken(const std::string& gbk) {
    for (const std::string& existing : AppState().GroupNames)
        if (existing == gbk) return true;
    return false;
}

bool ValidIndex(int index) {
    return index >= 0 && index < static_cast<int>(AppState().GroupNames.size());
}

}  // namespace

std::string GroupDisplayName(int index) {
    if (!ValidIndex(index)) return {};
    const std::string& name = AppState().GroupNames[static_cast<std::size_t>(index)];
    std::string_view trimmed = TrimSpace(name);
    if (trimmed.empty()) return msg::kAllGroups;
    return GbkToUtf8(trimmed);
}

std::string AddGroupNamed(const std::string& nameUtf8) {
    if (IsAllGroupsText(nameUtf8)) return msg::kGroupAddEmpty;
    const std::string gbk = Utf8ToGbk(nameUtf8);
    if (NameTaken(gbk)) return msg::kGroupExists;
    // A contact keeps its group in a 10-byte field: a longer name could never be found again.
    if (gbk.size() > kGroupNameLimit) return msg::kGroupNameTooLong;
    CDataAccess().AddGroup(gbk);
    AppState().GroupNames.push_back(gbk);
    return {};
}

std::string RenameGroupAt(int index, const std::string& nameUtf8) {
    if (IsAllGroupsText(nameUtf8)) return msg::kGroupRenameEmpty;
    if (!ValidIndex(index)) return msg::kChooseGroup;
    if (index == 0) return msg::kGroupAllFixed;
    const std::string gbk = Utf8ToGbk(nameUtf8);
    if (NameTaken(gbk)) return msg::kGroupRenameEmpty;
    if (gbk.size() > kGroupNameLimit) return msg::kGroupNameTooLong;
    std::string& entry = AppState().GroupNames[static_cast<std::size_t>(index)];
    CDataAccess().RenameGroup(entry, gbk);
    entry = gbk;
    return {};
}

std::string CheckDeleteGroupAt(int index) {
    if (index == 0) return msg::kGroupDeleteAll;
    if (!ValidIndex(index)) return msg::kChooseGroup;
    return {};
}

int GroupContactCount(int index) {
    if (index <= 0 || !ValidIndex(index)) return 0;
    std::vector<CRelData> members;
    return CDataAccess().LoadContacts(members,
                                      AppState().GroupNames[static_cast<std::size_t>(index)]);
}

bool DeleteGroupAt(int index, bool withContacts) {
    if (index <= 0 || !ValidIndex(index)) return false;
    auto& names = AppState().GroupNames;
    const bool ok = CDataAccess().DeleteGroup(names[static_cast<std::size_t>(index)], withContacts);
    names.erase(names.begin() + index);
    return ok;
}

CGroupMover::CGroupMover() { CDataAccess().LoadContacts(contacts_); }

std::vector<int> CGroupMover::Members(int groupIndex) const {
    std::vector<int> out;
    if (!ValidIndex(groupIndex)) return out;
    const std::string& name = AppState().GroupNames[static_cast<std::size_t>(groupIndex)];
    const bool all = TrimSpace(name).empty();
    for (std::size_t i = 0; i < contacts_.size(); ++i)
        if (all || FieldText(contacts_[i].GroupName) == TrimSpace(name))
            out.push_back(static_cast<int>(i));
    return out;
}

CGroupMover::CMoveResult CGroupMover::Move(int from, int to, const std::vector<int>& positions) {
    CMoveResult result;
    if (!ValidIndex(from) || !ValidIndex(to) || from == to) return result;
    const std::string target = AppState().GroupNames[static_cast<std::size_t>(to)];
    CDataAccess store;
    for (int pos : positions) {
        if (pos < 0 || pos >= static_cast<int>(contacts_.size())) continue;
        CRelData& rel = contacts_[static_cast<std::size_t>(pos)];
        if (to > 0) {
            if (FieldText(rel.GroupName) == target) {
                result.duplicates.push_back(pos);
                continue;
            }
            result.added.push_back(pos);
        }
        SetField(rel.GroupName, target);
        if (from > 0) result.removed.push_back(pos);
        if (store.UpdateContact(rel)) ++result.stored;
    }
    return result;
}

}  // namespace kavo
