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
    const TExportFile chosen = files_.FileToExport(store_.SelectedName() + ".xlsx");
    if (chosen.Path.empty()) return;
    const TExportName name = ExportName(chosen.Path, chosen.Type);
    if (!name.Question.empty()) {
        if (boxes_.Confirm(name.Question) != TConfirmAnswer::Yes) return;
        // The dialog asked about replacing the name typed, not this one.
        std::error_code ec;
        const std::filesystem::path other(std::u8string(name.Path.begin(), name.Path.end()));
        if (std::filesystem::exists(std::filesystem::symlink_status(other, ec)) &&
            boxes_.Confirm(FileName(name.Path) + " exists already. Replace it?") !=
                TConfirmAnswer::Yes)
            return;
    }
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = window_.VehicleSlot(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = window_.TrailerSlot(k);
    const TCsvFormat csv = CsvFormatOf(chosen.Type);
    if (KindOf(chosen.Type) == TSheetKind::Csv && csv.Encoding == TTextEncoding::Windows1252) {
        const std::string refusal = Windows1252Refusal(ids);
        if (!refusal.empty()) {
            boxes_.Information(refusal + FileName(name.Path) + ": not written");
            return;
        }
    }
    WriteGroupFile(name.Path, ids, KindOf(chosen.Type), csv);
    window_.ShowOutcome("Exported to " + FileName(name.Path));
}
