#include "store/private_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

namespace kavo {
namespace {

std::mutex g_noteMutex;
std::string g_tightened;

// Group and other access taken away from an open file; true when there was some.
bool Tighten(int fd, bool* failed) {
    struct stat st;
    if (fstat(fd, &st) != 0) {
        *failed = true;
        return false;
    }
    if (!S_ISREG(st.st_mode) || (st.st_mode & 077) == 0) return false;
    if (fchmod(fd, st.st_mode & 07700) != 0) {
        // Not ours to change (another user's file): opening it will fail on its own.
        *failed = true;
        return false;
    }
    return true;
}

}  // namespace

PrivateFile MakePrivateFile(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return PrivateFile::kFailed;
    bool failed = false;
    bool tightened = Tighten(fd, &failed);
    ::close(fd);
    for (const char* suffix : {"-wal", "-shm"}) {
        int side = ::open((path + suffix).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (side < 0) continue;
        tightened |= Tighten(side, &failed);
        ::close(side);
    }
    if (tightened) return PrivateFile::kTightened;
    return failed ? PrivateFile::kFailed : PrivateFile::kPrivate;
}

std::string TakeTightenedDatabase() {
    std::lock_guard lock(g_noteMutex);
    std::string path;
    path.swap(g_tightened);
    return path;
}

void NoteTightenedDatabase(const std::string& path) {
    std::lock_guard lock(g_noteMutex);
    g_tightened = path;
}

}  // namespace kavo
