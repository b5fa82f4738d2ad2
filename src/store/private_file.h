// Files that hold a user's data are readable by that user alone. SQLite gives a database's
// -wal and -shm files the mode of the database file, so making the database private at
// creation keeps all three private.
#pragma once

#include <string>

namespace kavo {

enum class PrivateFile {
    kPrivate,    // created with mode 0600, or already closed to other users
    kTightened,  // it was open to other users; group and other access are taken away
    kFailed,     // it could not be created or looked at; the caller's own open will say why
};

// Creates `path` empty with mode 0600 when it is missing; otherwise takes group and other
// access away from it and from its "-wal" and "-shm" files.
PrivateFile MakePrivateFile(const std::string& path);

// The database file that the store's last open had to close to other users, once: the
// front end says so and the next call returns an empty text.
std::string TakeTightenedDatabase();
void NoteTightenedDatabase(const std::string& path);

}  // namespace kavo
