#pragma once
// The groups of a workshop's PCs, kept on one group server in the tables of
// PgSchema.h. Another copy's change is told by the group's version: every change of a
// group's IDs raises it, and a save, an ID stored by a transfer or a delete acts only
// on the version this copy read (or wrote itself since). Each operation is one
// transaction on the server, so a connection lost in the middle leaves nothing
// half-written; the next operation connects again.
#include <memory>
#include <string>
#include <vector>

#include "base/DateTimeSource.h"
#include "store/GroupRepository.h"

class TPgGroupRepository : public TGroupRepository {
public:
    // `connection` is the client library's connection string of the chosen server;
    // nothing is connected before Open. `clock` names the ID list table that a new
    // group's backup gets.
    explicit TPgGroupRepository(std::string connection,
                                TDateTimeSource clock = DefaultDateTimeSource());
    ~TPgGroupRepository() override;
    TPgGroupRepository(const TPgGroupRepository&) = delete;
    TPgGroupRepository& operator=(const TPgGroupRepository&) = delete;

    // Connects, checks that the tables are there and of this program's version
    // (EServerSchema, which names the setup tool's command, when not), reads the list.
    void Open() override;
    void Refresh() override;
    std::vector<std::string> Names() const override;
    std::vector<TGroupEntry> Entries() const override;
    bool Has(const std::string& name) const override;
    // Reads the group of that name as the server holds it now, with its version.
    bool Load(const std::string& name) override;
    bool IsLoaded() const override;
    void Unload() override;
    TLoadedGroup& LoadedGroup() override;
    void Add(const std::vector<TNewGroup>& groups) override;
    bool Delete(const std::string& name) override;
    // From one snapshot of the server (a repeatable-read transaction).
    TBackupReport BackUp(const std::string& dir) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// A group's ID list table name as a file may carry it in a backup: characters no
// file name may hold are replaced by '_'.
std::string FileSafeListName(const std::string& listName);
