#pragma once
// What the store needs of the end of the user's session (log-off, shut-down): whether
// the user may be asked now, and a place outside the stored groups where typing that
// cannot be asked about is kept.
#include <string>

#include "store/GroupIDs.h"

class TSessionEnd {
public:
    virtual ~TSessionEnd() = default;
    // Whether a question may be shown now; false when the session ends unattended, so
    // that no box waits for an answer nobody can give.
    virtual bool MayAsk() = 0;
    // Keeps the session from ending: the user chose to stay.
    virtual void Cancel() = 0;
};

class TChangesKeeper {
public:
    virtual ~TChangesKeeper() = default;
    // Keeps the IDs as typed into the group `groupName`, changing no stored group.
    virtual void Keep(const std::string& groupName, const TGroupIDs& ids) = 0;
};
