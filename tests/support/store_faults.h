// Real faults for the tests of the local store: a page of a database file overwritten
// with random bytes, and a tmpfs small enough to fill up.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>

#include "server_runner.h"

namespace kavo::test {

// Moves everything from the write-ahead log into the file, so that the file alone holds
// the database. No other connection may be open.
inline bool CheckpointDatabase(const std::string& path) {
    sqlite3* db = nullptr;
    bool ok =
        sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// The contacts in the file, counted by a connection of its own (-1: not readable), so
// that what the program reports can be checked against what is really stored.
inline int RawContactCount(const std::string& path) {
    sqlite3* db = nullptr;
    int count = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "select count(*) from KAVO_RELATION", -1, &st, nullptr) ==
                SQLITE_OK &&
            sqlite3_step(st) == SQLITE_ROW)
            count = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return count;
}

// Overwrites one page of the file, in the middle of it, with random bytes, as a bad
// sector or a stray write would. Returns false when the file is too small to have one.
inline bool DamageMiddlePage(const std::string& path, unsigned seed = 7) {
    if (!CheckpointDatabase(path)) return false;
    std::FILE* f = std::fopen(path.c_str(), "r+b");
    if (!f) return false;
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    constexpr long kPage = 4096;
    const long pages = size / kPage;
    if (pages < 4) {
        std::fclose(f);
        return false;
    }
    std::mt19937 random(seed);
    char bytes[kPage];
    for (char& b : bytes) b = static_cast<char>(random());
    std::fseek(f, (pages / 2) * kPage, SEEK_SET);
    const bool written = std::fwrite(bytes, 1, kPage, f) == kPage;
    return std::fclose(f) == 0 && written;
}

// A tmpfs of `bytes` mounted on a temporary directory for as long as the object lives.
// Mounting needs root (and a system that lets it): ok() says whether it worked.
class SmallTmpfs {
public:
    explicit SmallTmpfs(long bytes) {
        if (geteuid() != 0) return;
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallTmpfs() {
        if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;

    bool ok() const { return mounted_; }
    const std::string& path() const { return dir_.path(); }

private:
    TempDir dir_;
    bool mounted_ = false;
};

// A file nobody may write for as long as the object lives: read-only permissions, and for
// root (who writes through those) the immutable flag. ok() is false where the file system
// has no such flag.
class UnwritableFile {
public:
    explicit UnwritableFile(const std::string& path) : path_(path) {
        if (geteuid() != 0) {
            ok_ = ::chmod(path.c_str(), 0444) == 0;
            return;
        }
        fd_ = ::open(path.c_str(), O_RDONLY);
        if (fd_ < 0 || ioctl(fd_, FS_IOC_GETFLAGS, &flags_) != 0) return;
        int immutable = flags_ | FS_IMMUTABLE_FL;
        ok_ = ioctl(fd_, FS_IOC_SETFLAGS, &immutable) == 0;
    }
    ~UnwritableFile() {
        if (fd_ >= 0) {
            if (ok_) ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
            ::close(fd_);
        } else if (ok_) {
            ::chmod(path_.c_str(), 0644);
        }
    }
    UnwritableFile(const UnwritableFile&) = delete;
    UnwritableFile& operator=(const UnwritableFile&) = delete;
    bool ok() const { return ok_; }

private:
    std::string path_;
    int fd_ = -1;
    int flags_ = 0;
    bool ok_ = false;
};

}  // namespace kavo::test
