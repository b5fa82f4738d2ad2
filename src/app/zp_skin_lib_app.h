#pragma once

#include <QString>
#include <memory>
#include <string>

#include "net/kavo_tcp_client.h"

class QApplication;

// The application object: brings the program up, runs the login window and then the main
// window, and takes it down again. There is no event loop outside those two windows; Run
// returns when the main window has ended (the exit command) or the login was cancelled.
class CZpSkinLibApp {
public:
    explicit CZpSkinLibApp(QApplication& app);
    virtual ~CZpSkinLibApp();

    CZpSkinLibApp(const CZpSkinLibApp&) = delete;
    CZpSkinLibApp& operator=(const CZpSkinLibApp&) = delete;

    // The whole run, in this order: the preferences location, the popup-menu look, the main
    // window object (which reads the server list), the local store, the login window, the
    // main window (only after a login), and the shutdown. Returns the process exit code.
    int Run();

    // The one connection to the service, shared by every window of the process.
    static kavo::CKavoTcpClient& Client();

    // The server list file beside the program.
    static QString ConfigPath();

    // The connection's message hook: shows text (UTF-8) in an error box over the window the
    // user is in. Called from a worker, it hands the text to the interface thread and
    // returns at once, so the worker never waits on the screen.
    static void ShowConnectionMessage(const std::string& text);

protected:
    // Files the preferences under the company "Norvane" and the program name.
    virtual void SetRegistryKey();
    // Gives every popup menu the skinned look.
    virtual void InstallMenuLook();
    // Builds the main window without showing it; building it reads "KAVO.cfg".
    virtual void BuildMainWindowObject();
    // Locates the database, migrates it and clears stale LoginState values.
    virtual void StartStore();
    // Shows the login window modally; returns its result (kIdOk after a login, kIdCancel).
    virtual int RunLoginWindow();
    // Runs the main window until the exit command ends it (hiding it to the notification area
    // does not); the database connection is closed when it returns.
    virtual void RunMainWindow();
    // Closes the connection and writes LoginState 0 for the user who was logged in.
    virtual void TearDown();

    QApplication& m_app;
};
