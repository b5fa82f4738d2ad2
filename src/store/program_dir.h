// Where the program lives, where its files lie, and how many copies of it run.
//
// Two layouts. While the program's own folder is writable (a build tree, a portable copy)
// everything lies beside the program. Installed (the folder is not writable, or the
// installed server list lies at its installed place next to it) the database goes to
// $XDG_DATA_HOME/kavo/, the server list is the first of $XDG_CONFIG_HOME/kavo/KAVO.cfg,
// /etc/kavo/KAVO.cfg and the installed one, and libpelbook.so is loaded from the program's
// private library folder. A folder given with SetProgramDir (kavoctl's --dir) holds the
// database and the server list in either layout.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kavo {

// The directory of the running executable, ending in "/". SetProgramDir replaces it (the
// CLI's --dir, the tests); an empty text goes back to the executable's directory.
std::string GetProgramDir();
void SetProgramDir(std::string_view dir);

// Everything that decides where the files lie; FileLocations() fills it from this process.
struct CLocationInputs {
    std::string programDir;  // the executable's folder, ending in "/"
    std::string chosenDir;   // SetProgramDir's folder, or empty
    bool programDirWritable = false;
    std::string xdgDataHome;
    std::string xdgConfigHome;
    std::string home;
    std::string systemConfigDir = "/etc/kavo/";
};

struct CFileLocations {
    bool installed = false;   // the files lie in the user's folders, not beside the program
    std::string dataDir;      // the folder of "KAVO.kavo", ending in "/"; empty without a home
    bool userFolder = false;  // dataDir is the user's data folder, made and kept private
    std::string configPath;   // the server list to read (it may not exist)
    std::string libraryDir;   // the folder libpelbook.so is loaded from, ending in "/"
};

// The folders of an installation, relative to the folder of its programs.
std::string InstalledDataDir(std::string_view programDir);
std::string InstalledLibraryDir(std::string_view programDir);

CFileLocations ResolveFileLocations(const CLocationInputs& in);
CFileLocations FileLocations();

// The folder of the database followed by "KAVO.kavo". The file need not exist yet: opening
// the store creates it with its tables.
std::string GetDatabasePath();
// The server list, "KAVO.cfg", that start-up reads.
std::string GetConfigPath();
// The folder of libpelbook.so.
std::string GetLibraryDir();

// Installed, the database's folder is the user's own: it is made (0700) when missing and
// closed to other users when open to them. Beside the program or in a chosen folder nothing
// is made or changed. False when the folder is not there afterwards.
bool PrepareDataDir();

// The base names that count as a running copy of the program: the windowed program and
// the command-line tool share one database and one users table.
const std::vector<std::string>& DefaultProcessNames();

// Running processes of this user whose executable base name equals one of `names`,
// compared without letter case; the calling process is counted when its name matches.
// Other users' copies use databases of their own and are not counted.
int CountProcesses(const std::vector<std::string>& names = DefaultProcessNames());

}  // namespace kavo
