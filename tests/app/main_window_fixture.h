// The real main window with its command layer, over a user registered and logged in with
// a fresh kavo-server; every message is answered with OK and a notification area is there.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "app/main_commands.h"
#include "app/main_dlg.h"
#include "app/tray_icon.h"
#include "dialogs/message_box.h"
#include "session_fixture.h"

namespace kavo::test {

class MainWindowTest : public SessionTest {
protected:
    explicit MainWindowTest(std::string user) : user_(std::move(user)) {}

    void SetUp() override {
        SessionTest::SetUp();
        CZPMessageScript::Reset();
        CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
        CTrayIcon::SetAvailableForTests(true);
        StartServer(false);
        ASSERT_TRUE(Register(user_, "pw"));
        ASSERT_TRUE(LogIn(user_, "pw"));
        main = std::make_unique<CZPMainDlg>();
        commands = new CZPMainCommands(main.get(), client());
        commands->Install();
        main->show();
    }
    void TearDown() override {
        main.reset();
        CTrayIcon::SetAvailableForTests(std::nullopt);
        CZPMessageScript::Reset();
        SessionTest::TearDown();
    }
    // Whether `text` was shown in a message box.
    static bool Asked(const char* text) {
        for (const SShownMessage& m : CZPMessageScript::Shown())
            if (m.text == QString::fromUtf8(text)) return true;
        return false;
    }

    std::unique_ptr<CZPMainDlg> main;
    CZPMainCommands* commands = nullptr;  // owned by the main window

private:
    std::string user_;
};

}  // namespace kavo::test
