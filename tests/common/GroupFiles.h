#pragma once
// Groups and ID list tables laid on disk for a test, through the table layer, as
// the setup tool and the store would leave them (or another program, cut short).
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/LocalGroupRepository.h"
#include "store/TTable.h"
#include "tests/common/TempHome.h"

struct TGroupRecord {
    std::string Trailer, Vehicle;
};

// The 96 records of a group numbered by slot: "<vehicle><k>" in every record and
// "<trailer><k>" in the first 32.
inline std::vector<TGroupRecord> NumberedRecords(const std::string& vehicle = "V",
                                                 const std::string& trailer = "T") {
    std::vector<TGroupRecord> records(kVehicleSlots);
    for (int k = 0; k < kVehicleSlots; ++k) {
        records[k].Vehicle = vehicle + std::to_string(k);
        if (k < kTrailerSlots) records[k].Trailer = trailer + std::to_string(k);
    }
    return records;
}

// The folders the program itself opens while `home` is set, empty. On Windows they are
// fixed (C:\Quillon\Haltguard IDs): a test may use them only inside the throw-away
// Wine prefix of `make wine-app-tests`, which says so in HG_WINE_THROWAWAY_PREFIX.
inline TStorePaths ProgramStorePaths(const TempHome& home) {
#ifdef _WIN32
    (void)home;
    if (!std::getenv("HG_WINE_THROWAWAY_PREFIX"))
        throw std::runtime_error(
            "this test would use C:\\Quillon\\Haltguard IDs: run it through make wine-app-tests");
    const TStorePaths paths = DefaultStorePaths();
    std::filesystem::remove_all(paths.GroupsDir);
    return paths;
#else
    return {home.groupsDir().string(), home.idListDir().string()};
#endif
}

// The empty groups table, as the setup tool makes it.
inline void WriteGroupsTable(const TStorePaths& paths) {
    std::filesystem::create_directories(paths.GroupsDir);
    CreateGroupsTable(paths);
}

// One more group in the groups table, and that group's ID list table.
inline void AddGroupFiles(const TStorePaths& paths, const std::string& groupName,
                          const std::string& listName, const std::vector<TGroupRecord>& records) {
    std::filesystem::create_directories(paths.IDListDir);
    TTable groups("setup groups");
    groups.SetDatabaseName(paths.GroupsDir);
    groups.SetTableName(kGroupsTableName);
    groups.Open();
    groups.Append();
    groups.SetFieldAsString(kGroupNameField, groupName);
    groups.SetFieldAsString(kIDListNameField, listName);
    groups.Post();
    groups.Close();
    TTable list("setup list");
    list.SetDatabaseName(paths.IDListDir);
    list.SetTableName(listName);
    list.CreateTable({{kTrailerIDField, 16}, {kVehicleIDField, 16}});
    list.Open();
    for (const TGroupRecord& r : records) {
        list.Append();
        list.SetFieldAsString(kTrailerIDField, r.Trailer);
        list.SetFieldAsString(kVehicleIDField, r.Vehicle);
        list.Post();
    }
    list.Close();
}

// A groups table holding one group, and that group's ID list table.
inline void WriteGroupFiles(const TStorePaths& paths, const std::string& groupName,
                            const std::string& listName, const std::vector<TGroupRecord>& records) {
    WriteGroupsTable(paths);
    AddGroupFiles(paths, groupName, listName, records);
}

// An ID list table's records, in table order.
inline std::vector<TGroupRecord> ReadListTable(const TStorePaths& paths,
                                               const std::string& listName) {
    TTable list("check list");
    list.SetDatabaseName(paths.IDListDir);
    list.SetTableName(listName);
    list.Open();
    std::vector<TGroupRecord> out;
    for (list.First(); !list.Eof(); list.Next())
        out.push_back({list.FieldAsString(kTrailerIDField), list.FieldAsString(kVehicleIDField)});
    list.Close();
    return out;
}

// Record k of an ID list table removed, as another program could remove it.
inline void RemoveListRecord(const TStorePaths& paths, const std::string& listName, int k) {
    TTable list("another program");
    list.SetDatabaseName(paths.IDListDir);
    list.SetTableName(listName);
    list.Open();
    list.First();
    for (int i = 0; i < k; ++i) list.Next();
    list.Delete();
    list.Close();
}
