// The group manager without its windows: adding, renaming and deleting the user's groups,
// and moving contacts between two groups over a copy of the address book. Names come in
// and go out as UTF-8; the store and GroupNames keep GBK.
#pragma once

#include <string>
#include <vector>

#include "store/records.h"

namespace kavo {

// The name of a group as the lists show it: the group of all contacts is "全部".
std::string GroupDisplayName(int index);

// Each returns the refusal to show (UTF-8), or an empty text when the change was made: the
// store, GroupNames and (for a delete) the contacts are updated.
std::string AddGroupNamed(const std::string& nameUtf8);
std::string RenameGroupAt(int index, const std::string& nameUtf8);
// The refusal of a delete before anything is asked, or empty when the row may go.
std::string CheckDeleteGroupAt(int index);
// How many contacts the group at index holds (the question before a delete depends on it).
int GroupContactCount(int index);
// Deletes the group at index, with its contacts or leaving them stored under its name.
bool DeleteGroupAt(int index, bool withContacts);

// The contact grouping window's copy of the address book and its moves.
class CGroupMover {
public:
    // Loads every contact of the current user (name, then first mobile number).
    CGroupMover();

    const std::vector<CRelData>& Contacts() const { return contacts_; }
    // Positions in the copy of the contacts a selector index lists ("全部": all of them),
    // in the copy's order.
    std::vector<int> Members(int groupIndex) const;

    struct CMoveResult {
        std::vector<int> added;       // positions to append to the target list, selected
        std::vector<int> removed;     // positions to take out of the source list
        std::vector<int> duplicates;  // already in the target group: the window says so once each
        int stored = 0;               // contacts the store accepted
    };
    // Moves the contacts at `positions` (in list order) from the group at `from` to the
    // group at `to`. Nothing happens when either index is out of range or both are equal.
    CMoveResult Move(int from, int to, const std::vector<int>& positions);

private:
    std::vector<CRelData> contacts_;
};

}  // namespace kavo
