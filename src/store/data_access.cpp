#include "store/data_access.h"

#include "store/app_state.h"
#include "store/program_dir.h"
#include "store/store_health.h"

namespace kavo {

std::string_view CDataAccess::Owner() const {
    return hasOwner_ ? std::string_view(owner_) : AppState().CurrentUserName();
}

bool CDataAccess::ExecuteStatement(std::string_view sql) {
    CAdoRecord rs;
    return rs.Execute(sql);
}

namespace {

// Also a state never written (NULL, a row from before the column): the reset writes it as 0.
bool AnyUserLoggedIn() {
    CAdoRecord rs;
    return rs.Execute("select 1 from KAVO_USER where LoginState is not 0") && !rs.IsEOF();
}

}  // namespace

bool StartLocalStore(const std::vector<std::string>& processNames) {
    // Installed, the user's data folder may not be there yet.
    PrepareDataDir();
    SetConnectionInfo({}, {}, GetDatabasePath());
    // A damaged file is found before anything writes to it, and stays marked for the run:
    // whatever it still shows may be a fraction of the address book.
    std::string damage;
    if (!CheckDatabase(&damage)) {
        SetLocalStoreDamage(true, damage);
        return false;
    }
    SetLocalStoreDamage(false);
    CDataAccess access;
    // Users tables from before the instance guard lack the column. Only they are altered: a
    // write at every start would wait behind another program's lock for nothing.
    if (!access.ExecuteStatement("select LoginState from KAVO_USER where 0"))
        access.ExecuteStatement("ALTER TABLE KAVO_USER ADD COLUMN LoginState int");
    // Only copy running: a LoginState above 0 was left by a copy that died while logged in.
    if (CountProcesses(processNames) < 2 && AnyUserLoggedIn())
        access.ExecuteStatement("Update KAVO_USER set LoginState=0");
    return IsConnectionOpen();
}

bool StartLocalStore() { return StartLocalStore(DefaultProcessNames()); }

}  // namespace kavo
