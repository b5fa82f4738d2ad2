// Where the program lives, where its database lies, and how many copies of it run.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// The directory of the running executable, ending in "/". SetProgramDir replaces it (the
// CLI's --dir, the tests); an empty text goes back to the executable's directory.
std::string GetProgramDir();
void SetProgramDir(std::string_view dir);

// The program directory followed by "KAVO.kavo". The file need not exist yet: opening the
// store creates it with its tables.
std::string GetDatabasePath();

// The base names that count as a running copy of the program: the windowed program and
// the command-line tool share one database and one users table.
const std::vector<std::string>& DefaultProcessNames();

// Running processes whose executable base name equals one of `names`, compared without
// letter case; the calling process is counted when its name matches.
int CountProcesses(const std::vector<std::string>& names = DefaultProcessNames());

}  // namespace kavo
