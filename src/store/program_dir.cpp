#include "store/program_dir.h"

#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <mutex>

#include "codecs/gbk_text.h"

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
    std::string exe = ReadLink("/proc/self/exe");
    std::size_t slash = exe.rfind('/');
    if (slash == std::string::npos) return "./";
    return exe.substr(0, slash + 1);
}

void SetProgramDir(std::string_view dir) {
    std::lock_guard lock(g_dirMutex);
    g_dirOverride.assign(dir);
    if (!g_dirOverride.empty() && g_dirOverride.back() != '/') g_dirOverride.push_back('/');
}

std::string GetDatabasePath() { return GetProgramDir() + "KAVO.kavo"; }

const std::vector<std::string>& DefaultProcessNames() {
    static const std::vector<std::string> names{"kavo", "kavoctl"};
    return names;
}

int CountProcesses(const std::vector<std::string>& names) {
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    int count = 0;
    while (dirent* entry = readdir(proc)) {
        std::string pid = entry->d_name;
        if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0]))) continue;
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
