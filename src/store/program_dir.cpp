#include "store/program_dir.h"

#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>

#include "codecs/gbk_text.h"

// The build names these from the install layout; a plain bin/, share/, lib/ otherwise.
#ifndef KAVO_DATADIR_FROM_BINDIR
#define KAVO_DATADIR_FROM_BINDIR "../share/kavo/"
#endif
#ifndef KAVO_LIBDIR_FROM_BINDIR
#define KAVO_LIBDIR_FROM_BINDIR "../lib/kavo/"
#endif

namespace kavo {
namespace {

std::mutex g_dirMutex;
std::string g_dirOverride;

std::string ReadLink(const std::string& path) {
    char buf[PATH_MAX];
    ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string WithSlash(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir.push_back('/');
    return dir;
}

// "/usr/bin/../share/kavo/" as "/usr/share/kavo/".
std::string Normal(const std::string& dir) {
    return WithSlash(std::filesystem::path(dir).lexically_normal().string());
}

bool IsFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// An XDG base directory counts only when it is an absolute path.
std::string Absolute(const char* value) {
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeDir() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

std::string ExecutableDir() {
    std::string exe = ReadLink("/proc/self/exe");
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return "./";
    return exe.substr(0, slash + 1);
}

std::string_view BaseName(std::string_view path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The executable's base name of one process: from its exe link when we may read it, else
// from comm (which the kernel cuts to 15 bytes).
std::string ProcessName(const std::string& pid) {
    std::string exe = ReadLink("/proc/" + pid + "/exe");
    if (!exe.empty()) {
        // A binary replaced while it runs shows as "path (deleted)".
        constexpr std::string_view kDeleted = " (deleted)";
        if (exe.size() > kDeleted.size() &&
            exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
            exe.resize(exe.size() - kDeleted.size());
        return std::string(BaseName(exe));
    }
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

std::string GetProgramDir() {
    {
        std::lock_guard lock(g_dirMutex);
        if (!g_dirOverride.empty()) return g_dirOverride;
    }
    return ExecutableDir();
}

void SetProgramDir(std::string_view dir) {
    std::lock_guard lock(g_dirMutex);
    g_dirOverride.assign(dir);
    if (!g_dirOverride.empty() && g_dirOverride.back() != '/') g_dirOverride.push_back('/');
}

std::string InstalledDataDir(std::string_view programDir) {
    return Normal(std::string(programDir) + KAVO_DATADIR_FROM_BINDIR);
}

std::string InstalledLibraryDir(std::string_view programDir) {
    return Normal(std::string(programDir) + KAVO_LIBDIR_FROM_BINDIR);
}

CFileLocations ResolveFileLocations(const CLocationInputs& in) {
    CFileLocations out;
    const std::string programDir = WithSlash(in.programDir);
    const std::string installedData = InstalledDataDir(programDir);
    // A writable folder with the installed server list beside it in share/ is still an
    // installation (root running /usr/bin/kavo): its files never go into bin/.
    out.installed = !in.programDirWritable || IsFile(installedData + "KAVO.cfg");
    out.libraryDir = out.installed ? InstalledLibraryDir(programDir) : programDir;

    if (!in.chosenDir.empty()) {
        out.dataDir = WithSlash(in.chosenDir);
        out.configPath = out.dataDir + "KAVO.cfg";
        return out;
    }
    if (!out.installed) {
        out.dataDir = programDir;
        out.configPath = programDir + "KAVO.cfg";
        return out;
    }

    // An XDG folder that is not set lies in the home folder.
    const auto base = [&in](const std::string& xdg, const char* inHome) {
        if (!xdg.empty()) return WithSlash(xdg);
        return in.home.empty() ? std::string() : WithSlash(in.home) + inHome;
    };
    const std::string dataHome = base(in.xdgDataHome, ".local/share/");
    const std::string configHome = base(in.xdgConfigHome, ".config/");
    if (!dataHome.empty()) out.dataDir = dataHome + "kavo/";
    out.userFolder = !out.dataDir.empty();

    std::vector<std::string> lists;
    if (!configHome.empty()) lists.push_back(configHome + "kavo/KAVO.cfg");
    lists.push_back(WithSlash(in.systemConfigDir) + "KAVO.cfg");
    lists.push_back(installedData + "KAVO.cfg");
    out.configPath = lists.back();
    for (const std::string& path : lists) {
        if (IsFile(path)) {
            out.configPath = path;
            break;
        }
    }
    return out;
}

CFileLocations FileLocations() {
    CLocationInputs in;
    in.programDir = ExecutableDir();
    {
        std::lock_guard lock(g_dirMutex);
        in.chosenDir = g_dirOverride;
    }
    in.programDirWritable = access(in.programDir.c_str(), W_OK) == 0;
    in.xdgDataHome = Absolute(std::getenv("XDG_DATA_HOME"));
    in.xdgConfigHome = Absolute(std::getenv("XDG_CONFIG_HOME"));
    in.home = HomeDir();
    return ResolveFileLocations(in);
}

std::string GetDatabasePath() {
    std::string dir = FileLocations().dataDir;
    return dir.empty() ? std::string() : dir + "KAVO.kavo";
}

std::string GetConfigPath() { return FileLocations().configPath; }

std::string GetLibraryDir() { return FileLocations().libraryDir; }

bool PrepareDataDir() {
    const CFileLocations where = FileLocations();
    if (where.dataDir.empty()) return false;
    struct stat st;
    if (!where.userFolder) return ::stat(where.dataDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    // Parents that are missing are made private too, as the XDG folders should be.
    std::string path;
    for (std::size_t at = 1; at <= where.dataDir.size(); ++at) {
        if (at != where.dataDir.size() && where.dataDir[at] != '/') continue;
        path = where.dataDir.substr(0, at);
        if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    if ((st.st_mode & 077) != 0 && st.st_uid == geteuid()) ::chmod(path.c_str(), 0700);
    return true;
}

const std::vector<std::string>& DefaultProcessNames() {
    static const std::vector<std::string> names{"kavo", "kavoctl"};
    return names;
}

int CountProcesses(const std::vector<std::string>& names) {
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    const uid_t me = geteuid();
    int count = 0;
    while (dirent* entry = readdir(proc)) {
        std::string pid = entry->d_name;
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
        struct stat st;
        if (::stat(("/proc/" + pid).c_str(), &st) != 0 || st.st_uid != me) continue;
        std::string name = ProcessName(pid);
        if (name.empty()) continue;  // ended while we looked
        for (const std::string& wanted : names) {
            if (EqualsNoCase(name, wanted)) {
                ++count;
                break;
            }
        }
    }
    closedir(proc);
    return count;
}

}  // namespace kavo
