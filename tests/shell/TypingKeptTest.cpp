// Typing at stake outside the window's own buttons, driven without a display: Import
// asks about it before the file takes its place; Export tells where it wrote; and an
// unattended end of session keeps it in a file that Import takes back and the next
// start tells of.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "sheets/GroupFile.h"
#include "shell/TGroupFileActions.h"
#include "shell/TKeptChanges.h"
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

class TNamedFiles : public TFileQuestion {
public:
    std::string FileToImport() override { return Next(); }
    TExportFile FileToExport(const std::string&) override { return {Next(), TExportType::Xlsx}; }
    std::string Next() {
        ++asked;
        if (paths.empty()) return "";
        const std::string path = paths.front();
        paths.pop_front();
        return path;
    }
    std::deque<std::string> paths;
    int asked = 0;
};

class TypingKept : public ::testing::Test {
protected:
    void SetUp() override {
        store.OpenStore();
        TGroupIDs ids;
        ids.Vehicle[0] = "STORED";
        opened.Groups.Add({{"Fleet", ids}});
        store.Select("Fleet");
        store.LoadGroup();
        source.Vehicle[0] = "FROM FILE";
        source.Trailer[5] = "T5";
        WriteGroupFile(sheet, source, TSheetKind::Csv);
    }
    std::string Stored() { return opened.Groups.LoadedGroup().IDs().Vehicle[0]; }

    TStoreHome data;
    ScriptedWindow window;
    TWindowStore opened{data.paths, window};
    TIDGroupStore& store = opened.Store;
    TNamedFiles files;
    TGroupFileActions actions{store, window, window, files};
    TGroupIDs source;
    const std::string sheet = (data.home.root() / "fleet.csv").string();
};

TEST_F(TypingKept, ImportAsksAboutTypingBeforeItsFile) {
    // Nothing typed: no question of that kind, the file's own question only.
    files.paths = {sheet};
    window.answers = {TConfirmAnswer::No};
    actions.ImportClick();
    EXPECT_EQ(window.log, std::vector<std::string>{
                              "confirm: Replace the IDs of the Fleet Group with the 1 vehicle "
                              "and 1 trailer IDs of fleet.csv?"});

    // Cancel: not even a file is asked for.
    window.log.clear();
    window.vehicle[0] = "TYPED";
    window.answers = {TConfirmAnswer::Cancel};
    actions.ImportClick();
    EXPECT_EQ(window.log, std::vector<std::string>{"confirm: Save changes to the Fleet Group?"});
    EXPECT_EQ(files.asked, 1);
    EXPECT_EQ(window.vehicle[0], "TYPED");

    // Yes: the typing is saved, then the file is asked for; declining the file
    // leaves what was saved.
    window.answers = {TConfirmAnswer::Yes};
    actions.ImportClick();
    EXPECT_EQ(files.asked, 2);
    EXPECT_EQ(Stored(), "TYPED");
    EXPECT_EQ(window.outcome, "Saved the changes to the Fleet Group");

    // No: the file takes the typing's place and is saved.
    window.vehicle[0] = "TYPED AGAIN";
    files.paths = {sheet};
    window.answers = {TConfirmAnswer::No, TConfirmAnswer::Yes};
    actions.ImportClick();
    EXPECT_EQ(Stored(), "FROM FILE");
    EXPECT_EQ(window.vehicle[0], "FROM FILE");
    EXPECT_EQ(window.outcome, "Imported fleet.csv and saved");
    EXPECT_FALSE(store.HasUnsavedChanges());
}

TEST_F(TypingKept, ExportAndSaveTellTheOutcome) {
    const fs::path folder = data.home.root() / "out";
    fs::create_directories(folder);
    files.paths = {(folder / "Fleet A.xlsx").string()};
    actions.ExportClick();
    EXPECT_EQ(window.outcome, "Exported to Fleet A.xlsx");
    // A Save that another copy's change refuses says so, and keeps the typing.
    ScriptedWindow otherWindow;
    TWindowStore other(data.paths, otherWindow);
    other.Store.OpenStore();
    other.Store.Select("Fleet");
    other.Store.LoadGroup();
    otherWindow.vehicle[0] = "OTHER";
    other.Store.SaveGroup();
    window.vehicle[0] = "MINE";
    EXPECT_THROW(store.SaveGroup(), ERecordConflict);
    EXPECT_EQ(window.outcome.rfind("Not saved: IDListTable: Record was changed by another user", 0),
              0u)
        << window.outcome;
    EXPECT_EQ(window.vehicle[0], "MINE");
    store.Select("Fleet");
    window.answers = {TConfirmAnswer::No};
    store.LoadChosenGroup();
    window.vehicle[0] = "AGAIN";
    store.SaveGroup();
    EXPECT_EQ(window.outcome, "Saved");
    // The next action empties it: a group chosen again.
    store.LoadChosenGroup();
    EXPECT_EQ(window.outcome, "");
}

TEST_F(TypingKept, KeptFilesComeBackThroughImportAndAreToldOf) {
    const std::string folder = data.home.groupsDir().string();
    EXPECT_EQ(TKeptChanges::Notice(folder), "");
    TKeptChanges keeper(folder);
    TGroupIDs typed;
    typed.Vehicle[12] = "UNSAVED12";
    typed.Trailer[0] = "-A1";  // written so that a spreadsheet shows it as text
    // A name that older versions stored, which no file name may hold as it is; and
    // the same group twice within one second.
    keeper.Keep("Depot: A/B", typed);
    keeper.Keep("Depot: A/B", typed);
    const std::vector<std::string> kept = TKeptChanges::KeptFiles(folder);
    ASSERT_EQ(kept.size(), 2u);
    for (const std::string& file : kept) {
        const std::string name = fs::path(file).filename().string();
        EXPECT_EQ(name.rfind("Unsaved IDs of Depot_ A_B 20", 0), 0u) << name;
        const TGroupSheet back = ReadGroupFile(file);
        EXPECT_TRUE(back.Problems.empty());
        EXPECT_EQ(back.IDs.Vehicle, typed.Vehicle);
        EXPECT_EQ(back.IDs.Trailer, typed.Trailer);
    }
    const std::string notice = TKeptChanges::Notice(folder);
    EXPECT_NE(notice.find(kept[0]), std::string::npos) << notice;
    EXPECT_NE(notice.find(kept[1]), std::string::npos) << notice;
    EXPECT_NE(notice.find("Import"), std::string::npos) << notice;
    // Nothing of the store was touched, and other files in the folder are not told of.
    EXPECT_EQ(opened.Groups.Names(), std::vector<std::string>{"Fleet"});
    for (const std::string& file : kept) fs::remove(file);
    std::ofstream(fs::path(folder) / "Unsaved IDs of notes.txt") << "mine";
    EXPECT_EQ(TKeptChanges::Notice(folder), "");
}

}  // namespace
