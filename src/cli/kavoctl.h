// kavoctl: the address book from the command line. Every step is the windows' own
// workflow (login, Reconnect, store, restore, merge, imports, the password change, the
// server views); this file only reads the command line and prints what they return.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

namespace kavo {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // refused or failed; the message says why
inline constexpr int kExitUsage = 2;   // the command line is wrong; the usage text follows

// The usage text (also printed by --help).
const char* KavoctlUsage();

// Runs one command line (without the program name). `interrupted` is set from outside
// when the user asks the program to stop; the command then ends as a cancel would end it
// in the windows. Results go to `out`, progress and messages of failures to `err`; `in`
// gives the password for "-p -".
int RunKavoctl(const std::vector<std::string>& args, const std::atomic<bool>& interrupted,
               std::FILE* out, std::FILE* err, std::FILE* in);

}  // namespace kavo
