// The contacts table: the address book of every user who logged in here.
#include <algorithm>
#include <cstdint>
#include <string>

#include "codecs/gbk_text.h"
#include "collation/name_collation.h"
#include "store/data_access.h"

namespace kavo {
namespace {

// The statements that name all 33 columns are put together from the field table, so the
// column order is the record order by construction.
struct ContactStatements {
    std::string insert;
    std::string updateWithNumber;
    std::string updateWithoutNumber;

    ContactStatements() {
        std::string names = "UserName";
        std::string marks = "?";
        std::string sets;
        for (const FieldSpec& f : kRelFields) {
            names += ',';
            names += f.name;
            marks += ",?";
            if (&f == &kRelFields[0]) continue;  // an update never changes RelName
            if (!sets.empty()) sets += ',';
            sets += f.name;
            sets += "=?";
        }
        insert = "insert into KAVO_RELATION(" + names + ") values(" + marks + ")";
        updateWithNumber = "update KAVO_RELATION set " + sets +
                           " where RelName=? and MobilePhone1=? and UserName=?";
        updateWithoutNumber =
            "update KAVO_RELATION set " + sets +
            " where RelName=? and UserName=? and (MobilePhone1='' or MobilePhone1 is NULL)";
    }
};

const ContactStatements& Statements() {
    static const ContactStatements statements;
    return statements;
}

const std::string& AllGroupsName() {
    static const std::string name = Utf8ToGbk("全部");
    return name;
}

bool IsAllGroups(std::string_view groupName) {
    return groupName.empty() || groupName == AllGroupsName();
}

// The existence test shared by save, insert and update. Returns whether the statement ran;
// `found` tells whether a row of that identity exists.
bool FindIdentity(CAdoRecord& rs, const CRelData& rel, std::string_view owner, bool& found) {
    std::string_view name = FieldText(rel.RelName);
    std::string_view mobile = FieldText(rel.MobilePhone1);
    bool ran = mobile.empty()
                   ? rs.Execute(
                         "Select 1 from KAVO_RELATION where Relname=? and UserName=? and "
                         "(MobilePhone1='' or MobilePhone1 is NULL)",
                         {CSqlValue::Gbk(name), CSqlValue::Gbk(owner)})
                   : rs.Execute(
                         "Select 1 from KAVO_RELATION where Relname=? and MobilePhone1=? "
                         "and UserName=?",
                         {CSqlValue::Gbk(name), CSqlValue::Gbk(mobile), CSqlValue::Gbk(owner)});
    found = ran && !rs.IsEOF();
    return ran;
}

bool RunInsert(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    std::vector<CSqlValue> params;
    params.reserve(kRelFieldCount + 1);
    params.push_back(CSqlValue::Gbk(owner));
    for (const FieldSpec& f : kRelFields)
        params.push_back(CSqlValue::Gbk(FieldText(FieldPtr(&rel, f), f.width)));
    return rs.Execute(Statements().insert, params);
}

bool RunUpdate(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    std::string_view mobile = FieldText(rel.MobilePhone1);
    std::vector<CSqlValue> params;
    params.reserve(kRelFieldCount + 2);
    for (std::size_t i = 1; i < kRelFieldCount; ++i)
        params.push_back(
            CSqlValue::Gbk(FieldText(FieldPtr(&rel, kRelFields[i]), kRelFields[i].width)));
    params.push_back(CSqlValue::Gbk(FieldText(rel.RelName)));
    if (!mobile.empty()) params.push_back(CSqlValue::Gbk(mobile));
    params.push_back(CSqlValue::Gbk(owner));
    return rs.Execute(
        mobile.empty() ? Statements().updateWithoutNumber : Statements().updateWithNumber, params);
}

}  // namespace

void SortContactsByName(std::vector<CRelData>& list, std::size_t from) {
    if (from >= list.size()) return;
    const std::size_t n = list.size() - from;
    struct Entry {
        std::string key;
        std::uint32_t index;
    };
    // One key per contact: a comparison of names through the collator costs about as much
    // as making a key, and a sort makes n log n of them.
    std::vector<Entry> entries;
    entries.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        entries.push_back(
            {NameSortKey(FieldUtf8(list[from + i].RelName)), static_cast<std::uint32_t>(i)});
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    // Put each record in its place by following the cycles of the permutation, so that
    // a large address book is never held twice.
    std::vector<bool> placed(n, false);
    for (std::size_t start = 0; start < n; ++start) {
        if (placed[start] || entries[start].index == start) continue;
        CRelData held = list[from + start];
        std::size_t at = start;
        for (;;) {
            placed[at] = true;
            const std::size_t source = entries[at].index;
            if (source == start) {
                list[from + at] = held;
                break;
            }
            list[from + at] = list[from + source];
            at = source;
        }
    }
}

void LoadRecord(CAdoRecord& rs, CRelData& rel) { rs.ReadFields(kRelFields, &rel); }

bool SaveRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    bool found = false;
    FindIdentity(rs, rel, owner, found);
    return found ? RunUpdate(rs, rel, owner) : RunInsert(rs, rel, owner);
}

bool InsertRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    bool found = false;
    FindIdentity(rs, rel, owner, found);
    if (found) return false;
    return RunInsert(rs, rel, owner);
}

bool UpdateRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    bool found = false;
    if (!FindIdentity(rs, rel, owner, found) || !found) return false;
    return RunUpdate(rs, rel, owner);
}

int CDataAccess::LoadContacts(std::vector<CRelData>& list, std::string_view groupName) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    CAdoRecord rs;
    bool ran = IsAllGroups(groupName)
                   ? rs.Execute(
                         "select * from KAVO_RELATION where UserName=? order by "
                         "relname,mobilephone1",
                         {CSqlValue::Gbk(owner)})
                   : rs.Execute(
                         "select * from KAVO_RELATION where GroupName=? AND UserName=? "
                         "order by relname,mobilephone1",
                         {CSqlValue::Gbk(groupName), CSqlValue::Gbk(owner)});
    if (!ran || rs.IsEOF()) return 0;
    const std::size_t before = list.size();
    // Room for the whole address book at once: growing a list of 2 KB records step by step
    // would copy it over and over.
    CAdoRecord count;
    bool counted = IsAllGroups(groupName)
                       ? count.Execute("select count(*) from KAVO_RELATION where UserName=?",
                                       {CSqlValue::Gbk(owner)})
                       : count.Execute(
                             "select count(*) from KAVO_RELATION where GroupName=? AND "
                             "UserName=?",
                             {CSqlValue::Gbk(groupName), CSqlValue::Gbk(owner)});
    if (counted && !count.IsEOF()) {
        std::int64_t rows = count.GetCollect(0).intVal;
        if (rows > 0 && rows < 10'000'000)
            list.reserve(list.size() + static_cast<std::size_t>(rows));
    }
    while (!rs.IsEOF()) {
        LoadRecord(rs, list.emplace_back());
        if (!rs.MoveNext()) break;
    }
    // The statement's order by name bytes and number stays among names that read alike.
    SortContactsByName(list, before);
    return static_cast<int>(list.size());
}

bool CDataAccess::LoadContact(std::string_view relName, std::string_view mobilePhone1,
                              CRelData& rel) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    CAdoRecord rs;
    bool ran =
        mobilePhone1.empty()
            ? rs.Execute(
                  "Select * from KAVO_RELATION where relname=? and (MobilePhone1='' "
                  "or MobilePhone1 is NULL) and Username=?",
                  {CSqlValue::Gbk(relName), CSqlValue::Gbk(owner)})
            : rs.Execute(
                  "Select * from KAVO_RELATION where relname=? and MobilePhone1=? "
                  "and Username=?",
                  {CSqlValue::Gbk(relName), CSqlValue::Gbk(mobilePhone1), CSqlValue::Gbk(owner)});
    if (!ran || rs.IsEOF()) return false;
    LoadRecord(rs, rel);
    return true;
}

bool CDataAccess::ContactExists(std::string_view relName, std::string_view mobilePhone1) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    CAdoRecord rs;
    bool ran =
        mobilePhone1.empty()
            ? rs.Execute("Select 1 from KAVO_RELATION where relname=? and Username=?",
                         {CSqlValue::Gbk(relName), CSqlValue::Gbk(owner)})
            : rs.Execute(
                  "Select 1 from KAVO_RELATION where relname=? and MobilePhone1=? "
                  "and Username=?",
                  {CSqlValue::Gbk(relName), CSqlValue::Gbk(mobilePhone1), CSqlValue::Gbk(owner)});
    return ran && !rs.IsEOF();
}

bool CDataAccess::DeleteContact(std::string_view relName, std::string_view mobilePhone1) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    CAdoRecord rs;
    return mobilePhone1.empty()
               ? rs.Execute(
                     "Delete from KAVO_RELATION where relname=? and (MobilePhone1='' or "
                     "MobilePhone1 is NULL) and Username=?",
                     {CSqlValue::Gbk(relName), CSqlValue::Gbk(owner)})
               : rs.Execute(
                     "Delete from KAVO_RELATION where relname=? and MobilePhone1=? and "
                     "Username=?",
                     {CSqlValue::Gbk(relName), CSqlValue::Gbk(mobilePhone1),
                      CSqlValue::Gbk(owner)});
}

bool CDataAccess::SaveContact(const CRelData& rel) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return SaveRecord(rs, rel, Owner());
}

bool CDataAccess::InsertContact(const CRelData& rel) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return InsertRecord(rs, rel, Owner());
}

bool CDataAccess::UpdateContact(const CRelData& rel) {
    std::lock_guard lock(StoreMutex());
    CAdoRecord rs;
    return UpdateRecord(rs, rel, Owner());
}

}  // namespace kavo
