#include "store/store_health.h"

#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <mutex>

#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/connection.h"
#include "store/data_access.h"
#include "store/program_dir.h"

namespace kavo {
namespace {

std::mutex g_damageMutex;
bool g_damaged = false;
std::string g_damage;

int FirstCheckLine(void* out, int columns, char** values, char** /*names*/) {
    auto* lines = static_cast<std::vector<std::string>*>(out);
    if (columns > 0 && values[0]) lines->emplace_back(values[0]);
    return 0;
}

}  // namespace

StoreFault StoreFaultOf(int sqliteCode) {
    switch (sqliteCode & 0xFF) {
        case SQLITE_OK:
        case SQLITE_ROW:
        case SQLITE_DONE:
            return StoreFault::kNone;
        case SQLITE_FULL:
            return StoreFault::kDiskFull;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
            return StoreFault::kReadOnly;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return StoreFault::kBusy;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return StoreFault::kDamaged;
        case SQLITE_IOERR:
        case SQLITE_NOMEM:
        case SQLITE_PROTOCOL:
            return StoreFault::kIoError;
        default:
            return StoreFault::kOther;
    }
}

StoreFault LastStoreFault() {
    StoreFault fault = StoreFaultOf(StoreLastError());
    // A failure that left no code behind (the connection could not be opened) is still one.
    return fault == StoreFault::kNone ? StoreFault::kOther : fault;
}

bool IsFatalStoreFault(StoreFault fault) {
    return fault != StoreFault::kNone && fault != StoreFault::kOther;
}

bool CheckDatabase(std::string* detail) {
    std::lock_guard lock(StoreMutex());
    auto conn = store_detail::Connect();
    if (!conn) {
        if (detail) *detail = sqlite3_errstr(StoreLastError());
        return StoreFaultOf(StoreLastError()) != StoreFault::kDamaged;
    }
    std::vector<std::string> lines;
    char* error = nullptr;
    int rc = sqlite3_exec(conn->db, "PRAGMA quick_check(1)", FirstCheckLine, &lines, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    if (rc != SQLITE_OK) {
        if (detail) *detail = message.empty() ? sqlite3_errstr(rc) : message;
        // A check that could not read the file for damage says so; one that could not run
        // for another reason (busy, out of memory) proves nothing either way.
        return StoreFaultOf(rc) != StoreFault::kDamaged;
    }
    if (lines.size() == 1 && lines[0] == "ok") return true;
    if (detail) *detail = lines.empty() ? std::string("no answer") : lines[0];
    return false;
}

bool LocalStoreDamaged() {
    std::lock_guard lock(g_damageMutex);
    return g_damaged;
}

std::string LocalStoreDamage() {
    std::lock_guard lock(g_damageMutex);
    return g_damage;
}

void SetLocalStoreDamage(bool damaged, std::string detail) {
    std::lock_guard lock(g_damageMutex);
    g_damaged = damaged;
    g_damage = std::move(detail);
}

bool LoadAllContactsChecked(std::vector<CRelData>& list, StoreFault& fault,
                            std::string_view owner) {
    std::lock_guard lock(StoreMutex());
    list.clear();
    fault = StoreFault::kNone;
    CDataAccess store = owner.empty() ? CDataAccess() : CDataAccess(owner);
    store.LoadContacts(list);
    // The walk stops at the first row it cannot read and keeps what it had: that must not
    // pass for the whole address book.
    if (StoreLastError() != SQLITE_OK) {
        fault = LastStoreFault();
        return false;
    }
    CAdoRecord count;
    std::string name(owner.empty() ? AppState().CurrentUserName() : owner);
    if (!count.Execute("select count(*) from KAVO_RELATION where UserName=?",
                       {CSqlValue::Gbk(name)}) ||
        count.IsEOF()) {
        fault = LastStoreFault();
        return false;
    }
    if (count.GetCollect(0).intVal != static_cast<std::int64_t>(list.size())) {
        fault = StoreFault::kDamaged;
        return false;
    }
    return true;
}

std::string SetDamagedDatabaseAside() {
    std::lock_guard lock(StoreMutex());
    const std::string path = GetDataSource().empty() ? GetDatabasePath() : GetDataSource();
    CloseConnection();
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string aside = path + ".damaged-" + stamp;
    if (std::rename(path.c_str(), aside.c_str()) != 0) return {};
    // The log belongs to the damaged file and goes with it; the shared-memory index is
    // rebuilt from nothing.
    std::rename((path + "-wal").c_str(), (aside + "-wal").c_str());
    std::remove((path + "-shm").c_str());
    SetLocalStoreDamage(false);
    return aside;
}

}  // namespace kavo
