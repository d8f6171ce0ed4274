#pragma once
// The store as the groups tool drives it: the window's 128 slots and its boxes
// stood in for, so that the store's own operations (and so all its rules) do the
// work without a window.
#include <string>
#include <vector>

#include "base/DateTimeSource.h"
#include "base/MessageBoxes.h"
#include "store/TIDGroupStore.h"
#include "tools/groups/ToolErrors.h"

// The slots and the group list, without a window.
class TSlotWindow : public TStoreWindow {
public:
    std::string VehicleSlot(int slot) const override { return IDs.Vehicle.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override { IDs.Vehicle.at(slot) = text; }
    std::string TrailerSlot(int slot) const override { return IDs.Trailer.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { IDs.Trailer.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>&, const std::string&) override {}

    TGroupIDs IDs;
};

// The boxes with no one to answer them: an information message is the store
// refusing, which becomes refused input; a question is never answered Yes, and an
// input box gives its preset, as Cancel would.
class TUnattendedBoxes : public TMessageBoxes {
public:
    void Information(const std::string& text) override { throw ERefusedInput(text); }
    TConfirmAnswer Confirm(const std::string&) override { return TConfirmAnswer::Cancel; }
    std::string InputBox(const std::string&, const std::string&,
                         const std::string& preset) override {
        return preset;
    }
};

class TToolStore {
public:
    // Opens the store in these folders (the groups table must be there).
    TToolStore(const TStorePaths& paths, TDateTimeSource clock);
    TToolStore(const TToolStore&) = delete;
    TToolStore& operator=(const TToolStore&) = delete;

    TIDGroupStore& Store() { return store_; }
    std::vector<std::string> Names() const { return store_.GroupList(); }
    bool Has(const std::string& name) const;
    // The group's IDs, read by Load: refused input when there is no such group, a
    // failure when it has no ID list table.
    TGroupIDs Load(const std::string& name);
    // Writes the IDs into the group as Save does: every record in one transaction.
    void Save(const std::string& name, const TGroupIDs& ids);

private:
    TSlotWindow window_;
    TUnattendedBoxes boxes_;
    TIDGroupStore store_;
};
