// Why a write did not land, and whether the database file is sound.
//
// Every store operation reports failure as false and leaves SQLite's result code in
// StoreLastError(); the callers that must tell the user how much was stored and why turn
// that code into one of a few plain reasons here.
#pragma once

#include <string>
#include <vector>

#include "store/records.h"

namespace kavo {

enum class StoreFault {
    kNone,
    kDiskFull,  // no room left on the disk (or the file may not grow)
    kReadOnly,  // the file or its folder cannot be written
    kBusy,      // another program held the write lock past the busy timeout
    kDamaged,   // the file failed the integrity check or is not a database
    kIoError,   // the disk refused a read or write
    kOther,     // a statement failed for a reason of its own (a bad value, say)
};

StoreFault StoreFaultOf(int sqliteCode);
// The fault of the last statement that failed on this thread.
StoreFault LastStoreFault();
// A write that failed this way leaves no hope for the ones after it.
bool IsFatalStoreFault(StoreFault fault);

// How long a writer waits for another process's write lock before it gives up (and the
// statement fails as busy). Applies to the open connection and to later ones.
void SetStoreBusyTimeout(int milliseconds);
int StoreBusyTimeout();

// SQLite's quick check of the whole file on the shared connection: true when the file is
// sound. Otherwise `detail` gets the first problem the check names (or why the check could
// not run). Reads every page once: milliseconds for an address book of ten thousand.
bool CheckDatabase(std::string* detail = nullptr);

// What the start-up check of the local store found; a damaged file is remembered for the
// whole run, so that nothing is ever uploaded from it.
bool LocalStoreDamaged();
std::string LocalStoreDamage();
void SetLocalStoreDamage(bool damaged, std::string detail = {});

// Every contact of the owner (GBK; empty: the current user) in list order, read to the
// end and counted against the table: false with the fault when the walk stopped early or
// the count differs, as on a damaged page.
bool LoadAllContactsChecked(std::vector<CRelData>& list, StoreFault& fault,
                            std::string_view owner = {});

// Moves a damaged database file (and its write-ahead log) aside, naming it
// "KAVO.kavo.damaged-YYYYMMDD-HHMMSS", so that the next open starts an empty one. Returns
// the new name, empty when it could not be moved.
std::string SetDamagedDatabaseAside();

}  // namespace kavo
