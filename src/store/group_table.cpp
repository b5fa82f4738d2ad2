// The contact groups of each user.
#include "codecs/gbk_text.h"
#include "store/app_state.h"
#include "store/batch_scope.h"
#include "store/data_access.h"
#include "codecs/gbk_text.h"

namespace kavo {
namespace {

const std::string& AllGroupsName() {
    static const std::string name = Utf8ToGbk("全部");
    return name;
}

}  // namespace

int CDataAccess::LoadGroups(std::vector<std::string>& groups, bool skipReading) {
    groups.assign(1, std::string());
    if (skipReading) return 1;
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    if (!rs.Execute("select GroupName from KAVO_RELATION_GROUP  where UserName=? order by ID",
                    {CSqlValue::Gbk(Owner())}))
        return 1;
    int column = rs.ColumnIndex("GroupName");
    while (!rs.IsEOF()) {
        groups.push_back(Utf8ToGbk(CAdoRecord::VariantToText(rs.GetCollect(column))));
        if (!rs.MoveNext()) break;
    }
    return static_cast<int>(groups.size());
}

bool CDataAccess::AddGroup(std::string_view groupName) {
    if (groupName.empty() || groupName == AllGroupsName() || TrimSpace(groupName).empty())
        return true;
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    // The name is stored as given, spaces and all; only a blank name is refused.
    return rs.Execute("Insert into KAVO_RELATION_GROUP(UserName,GroupName) values(?,?)",
                      {CSqlValue::Gbk(Owner()), CSqlValue::Gbk(groupName)});
}

bool CDataAccess::RenameGroup(std::string_view oldName, std::string_view newName) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    // Both tables change together or not at all: a group renamed without its contacts
    // would leave them in a group that no longer exists.
    CAtomicScope atomic;
    CAdoRecord rs;
    if (!rs.Execute("update KAVO_RELATION_GROUP set groupName=? where groupName=? and Username=?",
                    {CSqlValue::Gbk(newName), CSqlValue::Gbk(oldName), CSqlValue::Gbk(owner)}))
        return false;
    if (!rs.Execute("update KAVO_RELATION set groupName=? where groupName=? and Username=?",
                    {CSqlValue::Gbk(newName), CSqlValue::Gbk(oldName), CSqlValue::Gbk(owner)}))
        return false;
    atomic.Done();
    return true;
}

bool CDataAccess::DeleteGroup(std::string_view groupName, bool withContacts) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    CAtomicScope atomic;
    CAdoRecord rs;
    if (withContacts && !rs.Execute("delete from KAVO_RELATION where GroupName=? and UserName=?",
                                    {CSqlValue::Gbk(groupName), CSqlValue::Gbk(owner)}))
        return false;
    if (!rs.Execute("delete from KAVO_RELATION_GROUP where GroupName=? and UserName=?",
                    {CSqlValue::Gbk(groupName), CSqlValue::Gbk(owner)}))
        return false;
    atomic.Done();
    return true;
}

int CDataAccess::FindGroup(const std::vector<std::string>& groups, std::string_view groupName) {
    if (groupName.empty() || groupName == AllGroupsName() || TrimSpace(groupName).empty()) return 0;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (EqualsNoCase(groups[i], groupName)) return static_cast<int>(i);
    return -1;
}

}  // namespace kavo
