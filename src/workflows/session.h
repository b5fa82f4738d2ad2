// The program's one server connection and the steps around a login that every front end
// shares: start-up of the local side, Reconnect, and the end of a session.
#pragma once

#include <string>

#include "net/kavo_tcp_client.h"

namespace kavo {

// The one client of the service; it lives as long as the process.
CKavoTcpClient& ServerClient();

// Start-up of the local side: the server list from "KAVO.cfg" (GetConfigPath)
// and the local store with its migration and the reset of stale login states. True when
// the database is usable.
bool StartProgram();

// When start-up found the database open to other users and closed it to them, the line
// that says so (UTF-8), once; otherwise an empty text.
std::string TakePrivacyNotice();

// Connects to the login server over the server list. When no server can be reached the
// user is told so: the last error code becomes the transport failure's 26 instead of
// whatever an earlier exchange left there.
bool ConnectLoginServer(CKavoTcpClient& client);

// Turns an offline or broken login online again: true at once when online with a live
// connection, otherwise a new Login with the current user's name and password over the
// server list. LoginState is neither read nor written and nothing is downloaded beyond
// Login's own notices.
bool Reconnect(CKavoTcpClient& client = ServerClient());

// ServerStatistics into the process-wide record; a failure leaves it as it was.
bool RefreshServerStats(CKavoTcpClient& client = ServerClient());

// The end of the program: the logged-in user is written back with LoginState 0.
void EndSession();

// The status line of the main window (UTF-8).
std::string StatusLineText();

}  // namespace kavo
