// Shared by the window tests of logging in and registering: a program directory with its own
// database and preferences, the real kavo-server, and the process's one client aimed at it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

#include "dialogs/app_settings.h"
#include "dialogs/message_box.h"
#include "session_fixture.h"
#include "store/app_state.h"
#include "workflows/session.h"

namespace kavo::test {

// A loopback port: listening and never answering (a hung server), or closed (no server).
class CLoopbackPort {
public:
    explicit CLoopbackPort(bool listen) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        if (listen) {
            ::listen(fd_, 8);
        } else {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~CLoopbackPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class WindowSessionTest : public SessionTest {
protected:
    void SetUp() override {
        SessionTest::SetUp();
        CZPSettings::SetLocation(QString::fromStdString(programDir()));
        CZPMessageScript::Reset();
        CZPMessageScript::SetHeadless(true);
        ServerClient().Close();
    }
    void TearDown() override {
        ServerClient().Close();
        CZPMessageScript::Reset();
        CZPSettings::SetLocation({});
        SessionTest::TearDown();
    }

    // The real server with the demo user; the program's client goes to it.
    void StartDemoServer() {
        StartServer();
        AimClient(server().loginPort(), server().servicePort());
    }
    static void AimClient(int loginPort, int servicePort) {
        CKavoTcpClient& c = ServerClient();
        c.SetServerHost(0, "127.0.0.1");
        c.SetServerHost(1, "");
        c.SetServerHost(2, "");
        c.SetPorts(loginPort, servicePort);
    }

    // Runs fn on the user-interface thread as soon as a visible top-level window of type W
    // appears (a window opened modally by the code under test).
    template <typename W>
    static void WhenShown(std::function<void(W*)> fn) {
        auto* timer = new QTimer(qApp);
        timer->setInterval(10);
        auto ticks = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, fn, ticks] {
            // Never outlives the test that set it up by more than half a minute.
            if (++*ticks > 3000) {
                timer->stop();
                timer->deleteLater();
                return;
            }
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* window = qobject_cast<W*>(w);
                if (window && window->isVisible()) {
                    timer->stop();
                    timer->deleteLater();
                    fn(window);
                    return;
                }
            }
        });
        timer->start();
    }
};

}  // namespace kavo::test
