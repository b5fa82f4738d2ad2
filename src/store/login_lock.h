// The lock that ties a user's LoginState to a live process.
//
// LoginState in the users table says a copy of the program has the user logged in; a copy
// killed before it could write the state back leaves it set for good. So the copy that
// logs a user in also holds an advisory lock (flock) on a file of that user beside
// "KAVO.kavo" until it logs out; the kernel drops the lock when the process dies, however
// it dies. A LoginState whose lock nobody holds was left by a dead copy.
#pragma once

#include <string>
#include <string_view>

namespace kavo {

// The lock file of a user (GBK name; letter case does not matter, as in the users table):
// "KAVO.kavo-<hex of the name>.lock" in the program directory.
std::string LoginLockPath(std::string_view userName);

// Takes the lock of `userName` for this process, giving up one it held for another user.
// True when this process holds it; false when a live process holds it, or the file cannot
// be opened (a folder that cannot be written leaves the LoginState guard alone).
bool HoldLoginLock(std::string_view userName);
// Gives up the lock this process holds, if any.
void ReleaseLoginLock();

// Whether a live process (this one included) holds the lock of `userName`. When the file
// cannot be opened, nothing can be told and the answer is true.
bool IsLoginLockHeld(std::string_view userName);

}  // namespace kavo
