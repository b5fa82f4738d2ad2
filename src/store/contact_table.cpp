// The contacts table: the address book of every user who logged in here.
#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>

#include "codecs/gbk_text.h"
#include "collation/name_collation.h"
#include "store/connection.h"
#include "store/data_access.h"

namespace kavo {
namespace {

// The statements that name all 33 columns are put together from the field table, so the
// column order is the record order by construction.
struct ContactStatements {
    std::string insert;
    std::string upsert;
    std::string updateWithNumber;
    std::string updateWithoutNumber;

    ContactStatements() {
        std::string names = "UserName";
        std::string marks = "?";
        std::string sets;
        std::string setsFromInsert;
        for (const FieldSpec& f : kRelFields) {
            names += ',';
            names += f.name;
            marks += ",?";
            if (&f == &kRelFields[0]) continue;  // an update never changes RelName
            if (!sets.empty()) sets += ',';
            sets += f.name;
            sets += "=?";
            if (!setsFromInsert.empty()) setsFromInsert += ',';
            setsFromInsert += f.name;
            setsFromInsert += "=excluded.";
            setsFromInsert += f.name;
        }
        insert = "insert into KAVO_RELATION(" + names + ") values(" + marks + ")";
        upsert =
            insert + " on conflict(UserName,RelName,MobilePhone1) do update set " + setsFromInsert;
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

// The owner and every field of a contact as UTF-8 texts, in column order; they stay
// valid until the next call on this thread. The texts that are not plain ASCII are
// converted together in one pass, joined by the NUL that ends every field; ASCII texts are
// bound where they lie.
using ContactTexts = std::array<std::string_view, kRelFieldCount + 1>;

const ContactTexts& ContactUtf8(const CRelData& rel, std::string_view owner) {
    thread_local std::string gbk;
    thread_local std::string utf8;
    thread_local std::array<std::string, kRelFieldCount + 1> alone;
    thread_local ContactTexts texts;
    enum class Kind : unsigned char { kAscii, kJoined, kAlone };
    std::array<Kind, kRelFieldCount + 1> kinds{};
    texts[0] = owner;
    for (std::size_t i = 0; i < kRelFieldCount; ++i)
        texts[i + 1] = FieldText(FieldPtr(&rel, kRelFields[i]), kRelFields[i].width);
    gbk.clear();
    std::size_t joined = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (IsAscii(texts[i])) continue;
        if (texts[i].find('\0') != std::string_view::npos) {
            kinds[i] = Kind::kAlone;
            continue;
        }
        gbk.append(texts[i]);
        gbk.push_back('\0');
        kinds[i] = Kind::kJoined;
        ++joined;
    }
    if (joined > 0) {
        GbkToUtf8(gbk, utf8);
        const bool split =
            static_cast<std::size_t>(std::count(utf8.begin(), utf8.end(), '\0')) == joined;
        std::size_t at = 0;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            if (kinds[i] != Kind::kJoined) continue;
            if (!split) {
                kinds[i] = Kind::kAlone;  // a conversion that lost a separator
                continue;
            }
            const std::size_t end = utf8.find('\0', at);
            texts[i] = std::string_view(utf8).substr(at, end - at);
            at = end + 1;
        }
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (kinds[i] != Kind::kAlone) continue;
        GbkToUtf8(texts[i], alone[i]);
        texts[i] = alone[i];
    }
    return texts;
}

// `sql` is the insert or the upsert: both bind the owner, then every field.
bool RunInsert(CAdoRecord& rs, const CRelData& rel, std::string_view owner,
               const std::string& sql = Statements().insert) {
    return rs.Execute(sql, std::span<const std::string_view>(ContactUtf8(rel, owner)));
}

bool ContactKeyIsUnique() {
    std::lock_guard lock(StoreMutex());
    auto conn = store_detail::Connect();
    return conn && conn->contactKeyIsUnique;
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

void SortContactsByKey(std::vector<CRelData>& list, std::size_t from,
                       const std::function<std::string(const CRelData&)>& key) {
    if (from >= list.size()) return;
    const std::size_t n = list.size() - from;
    struct Entry {
        std::string key;
        std::uint32_t index;
    };
    std::vector<Entry> entries;
    entries.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        entries.push_back({key(list[from + i]), static_cast<std::uint32_t>(i)});
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

void SortContactsByName(std::vector<CRelData>& list, std::size_t from) {
    // One key per contact: a comparison of names through the collator costs about as much
    // as making a key, and a sort makes n log n of them.
    SortContactsByKey(list, from,
                      [](const CRelData& rel) { return NameSortKey(FieldUtf8(rel.RelName)); });
}

void LoadRecord(CAdoRecord& rs, CRelData& rel) { rs.ReadFields(kRelFields, &rel); }

bool SaveRecord(CAdoRecord& rs, const CRelData& rel, std::string_view owner) {
    // Where the identity is a unique key and the contact has a first mobile, the row an
    // insert would collide with is the row of that identity: one statement then does
    // what the lookup and the update or insert do. Without a first mobile the identity
    // also takes in rows whose number is NULL, which the key cannot see.
    if (!FieldText(rel.MobilePhone1).empty() && ContactKeyIsUnique())
        return RunInsert(rs, rel, owner, Statements().upsert);
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

namespace {

constexpr const char* kSelectAll =
    "select * from KAVO_RELATION where UserName=? order by relname,mobilephone1";
constexpr const char* kSelectGroup =
    "select * from KAVO_RELATION where GroupName=? AND UserName=? order by "
    "relname,mobilephone1";
constexpr const char* kSelectAllNames =
    "select rowid,relname from KAVO_RELATION where UserName=? order by relname,mobilephone1";
constexpr const char* kSelectGroupNames =
    "select rowid,relname from KAVO_RELATION where GroupName=? AND UserName=? order by "
    "relname,mobilephone1";
// The rows of one user in the order they lie in the file. The filter does not use the key
// index: following it would visit the rows in name order, jumping about the file.
constexpr const char* kSelectAllInFileOrder =
    "select rowid,* from KAVO_RELATION where +UserName=? order by rowid";

bool RunListStatement(CAdoRecord& rs, const char* all, const char* group,
                      std::string_view groupName, std::string_view owner) {
    return IsAllGroups(groupName)
               ? rs.Execute(all, {CSqlValue::Gbk(owner)})
               : rs.Execute(group, {CSqlValue::Gbk(groupName), CSqlValue::Gbk(owner)});
}

// Where each row of the list statement goes in the list: names sorted by their keys,
// names that sort alike kept in the statement's order. The key is made from the name as
// the record holds it (GBK, cut to the field).
struct ListPlace {
    std::int64_t rowid;
    std::uint32_t position;
};

bool ListPlaces(std::string_view groupName, std::string_view owner,
                std::vector<ListPlace>& places) {
    CAdoRecord rs;
    if (!RunListStatement(rs, kSelectAllNames, kSelectGroupNames, groupName, owner)) return false;
    struct Entry {
        std::string key;
        std::uint32_t row;
    };
    std::vector<Entry> entries;
    places.clear();
    char field[sizeof(CRelData::RelName)];
    std::string utf8;
    for (std::uint32_t row = 0; !rs.IsEOF(); ++row) {
        places.push_back({rs.GetCollect(0).intVal, 0});
        rs.ReadField(1, field, sizeof field);
        GbkToUtf8(FieldText(field), utf8);
        entries.push_back({NameSortKey(utf8), row});
        if (!rs.MoveNext()) return false;
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.key < b.key; });
    for (std::uint32_t at = 0; at < entries.size(); ++at) places[entries[at].row].position = at;
    return true;
}

// Fresh room for a large list is backed by large pages where the system offers them on
// request: filling 200 MB of records 4 KB at a time costs 50,000 page faults, a fifth of
// the whole load.
void AdviseLargePages(void* start, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = 2 * 1024 * 1024;
    if (bytes < 2 * kLarge) return;
    const auto from = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t first = (from + kLarge - 1) & ~(kLarge - 1);
    const std::uintptr_t last = (from + bytes) & ~(kLarge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)start;
    (void)bytes;
#endif
}

// A whole address book that is most of the table is read in file order; a smaller one (a
// group, or one user of several) through the key index in the statement's order.
bool ReadInFileOrder(std::string_view groupName, std::size_t rows) {
    if (!IsAllGroups(groupName) || rows < 1000) return false;
    CAdoRecord rs;
    if (!rs.Execute("select max(rowid) from KAVO_RELATION") || rs.IsEOF()) return false;
    // Row numbers are handed out upwards, so the largest is at least the number of rows.
    return rs.GetCollect(0).intVal <= static_cast<std::int64_t>(rows) * 2;
}

// Reads the rows of the list statement and orders them afterwards, moving records about:
// the way when the names could not be read first.
int LoadAndSort(std::vector<CRelData>& list, std::string_view groupName, std::string_view owner) {
    CAdoRecord rs;
    if (!RunListStatement(rs, kSelectAll, kSelectGroup, groupName, owner) || rs.IsEOF()) return 0;
    const std::size_t before = list.size();
    while (!rs.IsEOF()) {
        LoadRecord(rs, list.emplace_back());
        if (!rs.MoveNext()) break;
    }
    SortContactsByName(list, before);
    return static_cast<int>(list.size());
}

}  // namespace

int CDataAccess::LoadContacts(std::vector<CRelData>& list, std::string_view groupName) {
    std::lock_guard lock(StoreMutex());
    std::string_view owner = Owner();
    // The names come first, from the key index alone, and give every row its place; then
    // each full row is read once, straight into that place. Moving 2 KB records about in
    // a list of 100,000 of them after reading would cost more than reading them. Both
    // statements read one snapshot of the file.
    auto conn = store_detail::Connect();
    if (!conn) return 0;
    const bool ownTransaction = conn->batchDepth == 0 && store_detail::Exec(*conn, "BEGIN");
    struct EndRead {
        std::shared_ptr<store_detail::Connection> conn;
        bool active;
        // Ends the read without touching the result code of the statements before it,
        // by which callers tell a list that was read to the end.
        ~EndRead() {
            if (active) sqlite3_exec(conn->db, "COMMIT", nullptr, nullptr, nullptr);
        }
    } endRead{conn, ownTransaction};

    std::vector<ListPlace> places;
    if (!ListPlaces(groupName, owner, places)) return LoadAndSort(list, groupName, owner);
    if (places.empty()) return 0;
    const std::size_t before = list.size();
    if (list.capacity() < before + places.size()) {
        list.reserve(before + places.size());
        AdviseLargePages(list.data() + before, places.size() * sizeof(CRelData));
    }
    list.resize(before + places.size());
    CAdoRecord rs;
    std::size_t row = 0;
    bool complete;
    if (ReadInFileOrder(groupName, places.size())) {
        std::sort(places.begin(), places.end(),
                  [](const ListPlace& a, const ListPlace& b) { return a.rowid < b.rowid; });
        complete = rs.Execute(kSelectAllInFileOrder, {CSqlValue::Gbk(owner)});
        while (complete && !rs.IsEOF()) {
            if (row >= places.size() || rs.GetCollect(0).intVal != places[row].rowid) {
                complete = false;
                break;
            }
            LoadRecord(rs, list[before + places[row++].position]);
            if (!rs.MoveNext()) complete = false;
        }
    } else {
        complete = RunListStatement(rs, kSelectAll, kSelectGroup, groupName, owner);
        while (complete && !rs.IsEOF()) {
            if (row >= places.size()) {
                complete = false;
                break;
            }
            LoadRecord(rs, list[before + places[row++].position]);
            if (!rs.MoveNext()) complete = false;
        }
    }
    if (complete && row == places.size()) return static_cast<int>(list.size());
    // The rows changed between the two statements (only possible outside one snapshot).
    list.resize(before);
    return LoadAndSort(list, groupName, owner);
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
