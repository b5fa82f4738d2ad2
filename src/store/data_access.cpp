#include "store/data_access.h"

#include "store/app_state.h"
#include "store/program_dir.h"

namespace kavo {

std::string_view CDataAccess::Owner() const {
    return hasOwner_ ? std::string_view(owner_) : AppState().CurrentUserName();
}

bool CDataAccess::ExecuteStatement(std::string_view sql) {
    CAdoRecord rs;
    return rs.Execute(sql);
}

bool StartLocalStore(const std::vector<std::string>& processNames) {
    // Installed, the user's data folder may not be there yet.
    PrepareDataDir();
    SetConnectionInfo({}, {}, GetDatabasePath());
    CDataAccess access;
    // Users tables from before the instance guard lack the column; where it exists the
    // statement fails, which is as it should be.
    access.ExecuteStatement("ALTER TABLE KAVO_USER ADD COLUMN LoginState int");
    // Only copy running: a LoginState above 0 was left by a copy that died while logged in.
    if (CountProcesses(processNames) < 2)
        access.ExecuteStatement("Update KAVO_USER set LoginState=0");
    return IsConnectionOpen();
}

bool StartLocalStore() { return StartLocalStore(DefaultProcessNames()); }

}  // namespace kavo
