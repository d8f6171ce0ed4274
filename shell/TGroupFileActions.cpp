#include "shell/TGroupFileActions.h"

#include <filesystem>

#include "sheets/GroupFile.h"
#include "sheets/SheetErrors.h"
#include "sheets/SheetFiles.h"

namespace {

// The most problems one box lists; the groups tool lists them all.
constexpr std::size_t kBoxLines = 12;

std::string FileName(const std::string& path) {
    const std::u8string name =
        std::filesystem::path(std::u8string(path.begin(), path.end())).filename().u8string();
    return std::string(name.begin(), name.end());
}

}  // namespace

bool TGroupFileActions::NothingLoaded(const char* message) {
    if (store_.HasSelection() && store_.IsLoaded()) return false;
    boxes_.Information(message);
    return true;
}

void TGroupFileActions::ImportClick() {
    if (NothingLoaded("Please select a group to import into")) return;
    // The file's IDs take the place of what the boxes show.
    if (!store_.SettleUnsavedChanges()) return;
    const std::string path = files_.FileToImport();
    if (path.empty()) return;
    const std::string label = FileName(path);
    TGroupSheet sheet;
    try {
        sheet = ReadGroupBytes(ReadInputFile(path), SheetKindOf(path), label);
    } catch (const EUnreadableFile& e) {
        boxes_.Information(std::string(e.what()) + "\nNothing was changed.");
        return;
    }
    const std::string warnings = ProblemLines(label, sheet.Warnings, kBoxLines);
    if (!sheet.Problems.empty()) {
        boxes_.Information(ProblemLines(label, sheet.Problems, kBoxLines) + warnings + label +
                           ": refused; nothing was changed");
        return;
    }
    const std::string question = warnings + "Replace the IDs of the " + store_.SelectedName() +
                                 " Group with the " + CountedIDs(sheet.IDs) + " of " + label + "?";
    if (boxes_.Confirm(question) != TConfirmAnswer::Yes) return;
    for (int k = 0; k < kVehicleSlots; ++k) window_.SetVehicleSlot(k, sheet.IDs.Vehicle[k]);
    for (int k = 0; k < kTrailerSlots; ++k) window_.SetTrailerSlot(k, sheet.IDs.Trailer[k]);
    store_.SaveGroup();
    window_.ShowOutcome("Imported " + label + " and saved");
}

void TGroupFileActions::ExportClick() {
    if (NothingLoaded("Please select a group to export")) return;
    const std::string path = files_.FileToExport(store_.SelectedName() + ".xlsx");
    if (path.empty()) return;
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = window_.VehicleSlot(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = window_.TrailerSlot(k);
    WriteGroupFile(path, ids);
    window_.ShowOutcome("Exported to " + FileName(path));
}
