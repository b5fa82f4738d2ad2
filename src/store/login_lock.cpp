#include "store/login_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "store/program_dir.h"

namespace kavo {
namespace {

std::mutex g_lockMutex;
int g_lockFd = -1;
std::string g_lockPath;

int OpenLockFile(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

// Takes the lock of `fd` if nobody holds it; never waits.
bool TryLock(int fd) {
    int rc;
    while ((rc = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    return rc == 0;
}

// Lets go of the lock this process holds, if any; the caller holds g_lockMutex. Closing
// the descriptor drops its lock.
void DropHeldLock() {
    if (g_lockFd < 0) return;
    ::close(g_lockFd);
    g_lockFd = -1;
    g_lockPath.clear();
}

}  // namespace

std::string LoginLockPath(std::string_view userName) {
    static const char kHex[] = "0123456789abcdef";
    std::string name = GetDatabasePath() + "-";
    for (char c : userName) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
        name += kHex[b >> 4];
        name += kHex[b & 15];
    }
    return name + ".lock";
}

bool HoldLoginLock(std::string_view userName) {
    const std::string path = LoginLockPath(userName);
    std::lock_guard lock(g_lockMutex);
    if (g_lockFd >= 0 && g_lockPath == path) return true;
    DropHeldLock();
    int fd = OpenLockFile(path);
    if (fd < 0) return false;
    if (!TryLock(fd)) {
        ::close(fd);
        return false;
    }
    g_lockFd = fd;
    g_lockPath = path;
    return true;
}

void ReleaseLoginLock() {
    std::lock_guard lock(g_lockMutex);
    DropHeldLock();
}

bool IsLoginLockHeld(std::string_view userName) {
    const std::string path = LoginLockPath(userName);
    std::lock_guard lock(g_lockMutex);
    if (g_lockFd >= 0 && g_lockPath == path) return true;
    // A lock of another open description of the same file conflicts even within this
    // process, so the try below also sees a holder in this process.
    int fd = OpenLockFile(path);
    if (fd < 0) return true;
    const bool held = !TryLock(fd);
    ::close(fd);
    return held;
}

}  // namespace kavo
