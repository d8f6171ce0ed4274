#pragma once
// Import and Export of the loaded group from the configuration window: the same file
// rules and texts as the groups tool. It sees the window only through the store's
// window interface, the boxes and the question of which file; the window wires it.
#include <string>

#include "base/MessageBoxes.h"
#include "sheets/ExportTypes.h"
#include "store/StoreWindow.h"
#include "store/TIDGroupStore.h"

// The file an export goes to, as named in the dialog, and the type chosen there.
struct TExportFile {
    std::string Path;  // "" when the user cancels
    TExportType Type = TExportType::Xlsx;
};

// "Which file?", asked of the user; "" when they cancel.
class TFileQuestion {
public:
    virtual ~TFileQuestion() = default;
    virtual std::string FileToImport() = 0;
    // `suggested` is the file name offered.
    virtual TExportFile FileToExport(const std::string& suggested) = 0;
};

class TGroupFileActions {
public:
    TGroupFileActions(TIDGroupStore& store, TStoreWindow& window, TMessageBoxes& boxes,
                      TFileQuestion& files)
        : store_(store), window_(window), boxes_(boxes), files_(files) {}

    // A file into the loaded group: checked whole, a refused one shown in one
    // information box with nothing changed; asked before it overwrites, then filled
    // into the slots and saved as Save does.
    void ImportClick();
    // The loaded group, as the slots show it, into a file of the type chosen; a name
    // that says another type is asked about first.
    void ExportClick();

private:
    bool NothingLoaded(const char* message);

    TIDGroupStore& store_;
    TStoreWindow& window_;
    TMessageBoxes& boxes_;
    TFileQuestion& files_;
};
