#pragma once
// The stored groups, as the program, the transfers and the groups tool use them,
// whichever way they are kept. One repository belongs to one user of it (a window, a
// run of the groups tool): it holds the list of groups as it last read it, and at most
// one loaded group with what it needs to tell later whether another copy has changed
// that group since (for table files the records as read; for a server, a version
// number). Failures are the exceptions of StoreErrors.h.
#include <string>
#include <vector>

#include "store/GroupIDs.h"
#include "store/StoreErrors.h"

// One group of the list, and the name under which its IDs are kept (for table files,
// the ID list table's name), for listings.
struct TGroupEntry {
    std::string Name;
    std::string Where;
};

// A backup that went through: how many groups it holds, and the groups left out of it
// with the reason.
struct TBackupReport {
    struct TLeftOut {
        std::string Name;
        std::string Why;
    };
    int Groups = 0;
    std::vector<TLeftOut> LeftOut;
};

// The loaded group: its IDs as this copy read them (and wrote them since), and the
// record-by-record writes of a transfer. With nothing loaded, each operation fails
// with the store's error.
class TLoadedGroup {
public:
    virtual ~TLoadedGroup() = default;

    // The 128 IDs; a slot the store keeps no record for is blank.
    virtual TGroupIDs IDs() const = 0;
    // All 128 IDs at once, and only if no other copy has changed the group since this
    // one read it (ERecordConflict). A refused or failed save writes nothing, and
    // every retry is refused alike until the group is loaded again.
    virtual void Save(const TGroupIDs& ids) = 0;
    // One ID, stored at once and matched the same way, so that a transfer cut short
    // keeps what it stored; a slot the store keeps no record for is not stored.
    virtual void StoreVehicleID(int slot, const std::string& text) = 0;
    virtual void StoreTrailerID(int slot, const std::string& text) = 0;
};

class TGroupRepository {
public:
    virtual ~TGroupRepository() = default;

    // Reads the list of groups. EStoreNotSetUp when what the setup tool makes is not
    // there; until an Open succeeds the list is empty and adding is refused.
    virtual void Open() = 0;
    // The list read anew, with the changes other copies made since.
    virtual void Refresh() = 0;
    // The group names in the store's own order, as last read and changed through this
    // repository; empty while the store is not open.
    virtual std::vector<std::string> Names() const = 0;
    virtual std::vector<TGroupEntry> Entries() const = 0;
    // Whether a group of exactly this name is in the list.
    virtual bool Has(const std::string& name) const = 0;

    // Loads the first group of that name in list order, in place of the one loaded:
    // false when it keeps no IDs (nothing is loaded then). A failure leaves nothing
    // loaded.
    virtual bool Load(const std::string& name) = 0;
    virtual bool IsLoaded() const = 0;
    virtual void Unload() = 0;
    // The same object for the repository's whole life; see TLoadedGroup.
    virtual TLoadedGroup& LoadedGroup() = 0;

    // Adds the groups, each with its IDs, all or nothing. The list then holds them;
    // the loaded group stays loaded.
    virtual void Add(const std::vector<TNewGroup>& groups) = 0;
    // Deletes the first group of that name in the list (which must hold it) and its
    // IDs, only as this copy read it: one that another copy has changed or removed
    // since is refused (ERecordConflict) and nothing is deleted. False when its IDs
    // were gone already; the group is deleted all the same. A delete that got as far
    // as the group, or was refused, leaves nothing loaded; any other failure changes
    // nothing. The list is to be read anew afterwards.
    virtual bool Delete(const std::string& name) = 0;

    // Every group with its IDs into the empty folder `dir`, laid out as a local store
    // is (so that a local repository opened there reads it), as one consistent state
    // while other copies go on saving. A group whose IDs cannot be copied is left out
    // and named; a backup that fails as a whole leaves nothing in `dir`.
    virtual TBackupReport BackUp(const std::string& dir) = 0;
};
