#include "workflows/session.h"

#include <cstdio>

#include "codecs/gbk_text.h"
#include "net/wire.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/private_file.h"
#include "store/login_lock.h"
#include "store/program_dir.h"
#include "workflows/messages.h"

namespace kavo {

CKavoTcpClient& ServerClient() {
    static CKavoTcpClient client;
    return client;
}

bool StartProgram() {
    ServerClient().LoadServerList(GetConfigPath());
    return StartLocalStore();
}

std::string TakePrivacyNotice() {
    std::string path = TakeTightenedDatabase();
    if (path.empty()) return {};
    return "本地数据库原先其他用户也可读取，现已改为仅本人可读写：" + path;
}

bool ConnectLoginServer(CKavoTcpClient& client) {
    if (client.ConnectLoginServer()) return true;
    client.SetLastError(wire::kResultTransport);
    return false;
}

bool Reconnect(CKavoTcpClient& client) {
    CAppState& state = AppState();
    if (state.LoginMode == 2 && !client.IsDead()) return true;
    if (!ConnectLoginServer(client)) return false;
    if (!client.Login(state.CurrentUserName(), FieldText(state.CurrentUser.UserPwd))) return false;
    state.NoticeList = client.LoginNotices();
    state.LoginMode = 2;
    return true;
}

bool RefreshServerStats(CKavoTcpClient& client) {
    CStatisticsData stats;
    if (!client.ServerStatistics(stats)) return false;
    AppState().ServerStats = stats;
    return true;
}

void EndSession() {
    CAppState& state = AppState();
    if (state.LoginMode == 0) return;
    CDataAccess().SaveUser(state.CurrentUserName(), FieldText(state.CurrentUser.UserPwd), {}, 0);
    ReleaseLoginLock();
}

std::string StatusLineText() {
    const CAppState& state = AppState();
    std::string lastEdit = state.HistoryEntries.empty()
                               ? std::string(msg::kNoHistoryTime)
                               : FieldUtf8(state.HistoryEntries.front().OperTime);
    const CStatisticsData& s = state.ServerStats;
    char line[512];
    std::snprintf(line, sizeof line, msg::kStatusLine, lastEdit.c_str(),
                  static_cast<int>(s.Contacts.Count), static_cast<int>(s.Sms.Count),
                  static_cast<int>(s.Accounts.Count));
    return line;
}

}  // namespace kavo
