// Shared pieces of the tests of the store/restore, group and server windows.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>
#include <string>

#include "codecs/gbk_text.h"
#include "dialogs/message_box.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "store/records.h"

namespace kavo::test {

// Runs the event loop until pred holds (false after timeoutMs).
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline CRelData ChineseContact(int i, const std::string& group = {}) {
    CRelData rel;
    SetFieldUtf8(rel.RelName, "联系人" + std::to_string(i));
    SetField(rel.MobilePhone1, "139" + std::to_string(10000000 + i));
    SetFieldUtf8(rel.HomeAddr, "上海市浦东新区世纪大道" + std::to_string(i) + "号");
    SetFieldUtf8(rel.RelRemark, "备注：老朋友，第" + std::to_string(i) + "位");
    SetField(rel.E_mail, "friend" + std::to_string(i) + "@example.com");
    SetFieldUtf8(rel.GroupName, group);
    return rel;
}

// A logged-in session whose message boxes are answered from a script (OK unless queued).
class CommandDialogTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        CZPMessageScript::Reset();
        CZPMessageScript::SetResponder([](const SShownMessage&) { return kIdOk; });
    }
    void TearDown() override {
        CZPMessageScript::Reset();
        SessionTest::TearDown();
    }
    void LogInFresh(const std::string& user = "winuser") {
        StartServer(false);
        ASSERT_TRUE(Register(user, "pw"));
        ASSERT_TRUE(LogIn(user, "pw"));
    }
    static QString LastText() {
        auto last = CZPMessageScript::LastShown();
        return last ? last->text : QString();
    }
};

}  // namespace kavo::test
