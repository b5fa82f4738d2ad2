#include "session_fixture.h"

#include <atomic>
#include <fstream>

#include "store/ado_record.h"
#include "store/app_state.h"
#include "store/data_access.h"
#include "store/login_lock.h"
#include "store/program_dir.h"
#include "workflows/login_flow.h"

namespace kavo::test {

void SessionTest::SetUp() {
    dir_ = std::make_unique<TempDir>();
    client_ = std::make_unique<CKavoTcpClient>();
    SetProgramDir(dir_->path() + "/");
    CloseConnection();
    AppState().Reset();
    ASSERT_TRUE(StartLocalStore({"kavo-no-such-program"}));
}

void SessionTest::TearDown() {
    ReleaseLoginLock();
    client_.reset();
    if (server_) server_->Stop();
    CloseConnection();
    SetConnectionInfo({}, {}, {});
    SetProgramDir({});
    AppState().Reset();
    dir_.reset();
}

void SessionTest::StartServer(bool seedDemo) {
    server_ = std::make_unique<ServerRunner>();
    std::vector<std::string> args;
    if (seedDemo) args.push_back("--seed-demo");
    ASSERT_TRUE(server_->Start(args)) << server_->error();
    client_->SetServerHost(0, server_->host());
    client_->SetServerHost(1, "");
    client_->SetServerHost(2, "");
    client_->SetPorts(server_->loginPort(), server_->servicePort());
    std::ofstream(dir_->File("KAVO.cfg"))
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Kavo><IP SvrIP0=\"" << server_->host()
        << "\" SvrIP1=\"\" SvrIP2=\"\"/></Kavo>\n";
}

bool SessionTest::LogIn(const std::string& user, const std::string& password) {
    CLoginForm form{user, password, {}};
    if (CheckLoginForm(form) != LoginCheck::kOk) return false;
    ReleaseCurrentUser();
    std::atomic<bool> cancelled{false};
    if (!RunLoginWorker(*client_, form, false, cancelled)) return false;
    ApplyLoginSuccess(form, false);
    return true;
}

bool SessionTest::Register(const std::string& user, const std::string& password) {
    CLoginForm form{user, password, "13800000001"};
    std::atomic<bool> cancelled{false};
    if (!RunLoginWorker(*client_, form, true, cancelled)) return false;
    ApplyLoginSuccess(form, true);
    return true;
}

}  // namespace kavo::test
