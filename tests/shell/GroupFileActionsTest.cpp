// The window's Import and Export, driven without a display: a refused file changes
// nothing, an accepted one is asked about and then saved as Save does, and Export
// writes what the slots show.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "sheets/GroupFile.h"
#include "sheets/SheetErrors.h"
#include "shell/TGroupFileActions.h"
#include "tests/sheets/SheetsSupport.h"
#include "tests/store/StoreSupport.h"

namespace {

using sheetstest::Fleet;

using namespace storetest;

const std::string kFiles = HG_SHEET_FILES;

std::string FileBytes(const fs::path& file) {
    std::ostringstream s;
    s << std::ifstream(file, std::ios::binary).rdbuf();
    return s.str();
}

class TQueuedFiles : public TFileQuestion {
public:
    std::string FileToImport() override { return Next(); }
    TExportFile FileToExport(const std::string& suggested) override {
        offered.push_back(suggested);
        return {Next(), type};
    }
    std::string Next() {
        if (paths.empty()) return "";
        const std::string path = paths.front();
        paths.pop_front();
        return path;
    }
    std::deque<std::string> paths;
    std::vector<std::string> offered;
    TExportType type = TExportType::Xlsx;  // the filter chosen
};

TEST(GroupFileActions, ImportAsksThenSavesAndARefusedFileChangesNothing) {
    TStoreHome data;
    ScriptedWindow window;  // the slots and the boxes
    TQueuedFiles files;
    TWindowStore opened(data.paths, window);
    TIDGroupStore& store = opened.Store;
    TGroupFileActions actions(store, window, window, files);
    store.OpenStore();
    actions.ImportClick();
    actions.ExportClick();
    EXPECT_EQ(window.log, (std::vector<std::string>{"info: Please select a group to import into",
                                                    "info: Please select a group to export"}));
    TGroupIDs old;
    old.Vehicle[7] = "OLD 7";
    opened.Groups.Add({{"Fleet", old}});
    store.Select("Fleet");
    store.LoadGroup();
    const auto table = FileBytes(data.ListFile(Rows(data.GroupsFile())[0][1]));

    files.paths = {kFiles + "/fleet-mojibake.csv", kFiles + "/fleet.ods", kFiles + "/fleet.ods"};
    window.log.clear();
    actions.ImportClick();
    ASSERT_EQ(window.log.size(), 1u);
    EXPECT_EQ(window.log[0].substr(0, 33), "info: fleet-mojibake.csv:3:4: \"Zo");
    EXPECT_NE(window.log[0].find("\nfleet-mojibake.csv: refused; nothing was changed"),
              std::string::npos);
    window.answers = {TConfirmAnswer::No, TConfirmAnswer::Yes};
    actions.ImportClick();
    EXPECT_EQ(window.vehicle[7], "OLD 7");
    EXPECT_EQ(FileBytes(data.ListFile(Rows(data.GroupsFile())[0][1])), table);
    actions.ImportClick();
    EXPECT_EQ(
        window.log.back(),
        "confirm: fleet.ods: note: the column \"Notes\" is not read\nReplace the IDs of the Fleet "
        "Group with the 6 vehicle and 2 trailer IDs of fleet.ods?");
    store.LoadGroup();  // what was saved
    const TGroupIDs fleet = Fleet();
    EXPECT_EQ(window.vehicle, fleet.Vehicle);

    window.vehicle[9] = "TYPED 9";  // shown, not saved
    const std::string out = (data.home.root() / "out.xlsx").string();
    files.paths = {out};
    actions.ExportClick();
    EXPECT_EQ(files.offered, std::vector<std::string>{"Fleet.xlsx"});
    EXPECT_EQ(ReadGroupFile(out).IDs.Vehicle[9], "TYPED 9");
    EXPECT_EQ(ReadGroupFile(out).IDs.Trailer[2], "T 2");
}

// The filter chosen decides the type: its extension is added to a bare name, and a
// name that says another type is asked about, nothing written unless the answer is Yes.
TEST(GroupFileActions, ExportWritesTheTypeChosenInTheDialog) {
    TStoreHome data;
    ScriptedWindow window;
    TQueuedFiles files;
    TWindowStore opened(data.paths, window);
    TIDGroupStore& store = opened.Store;
    TGroupFileActions actions(store, window, window, files);
    store.OpenStore();
    opened.Groups.Add({{"Fleet", Fleet()}});
    store.Select("Fleet");
    store.LoadGroup();
    const fs::path root = data.home.root();
    const auto exported = [&](const std::string& name, TExportType type) {
        files.paths = {(root / name).string()};
        files.type = type;
        actions.ExportClick();
    };
    exported("fleet-excel-chosen", TExportType::Xlsx);
    EXPECT_EQ(FileBytes(root / "fleet-excel-chosen.xlsx").substr(0, 2), "PK");
    EXPECT_EQ(ReadGroupFile((root / "fleet-excel-chosen.xlsx").string()).IDs.Vehicle,
              Fleet().Vehicle);
    EXPECT_FALSE(fs::exists(root / "fleet-excel-chosen"));

    window.log.clear();
    window.answers = {TConfirmAnswer::No};
    exported("fleet.ods", TExportType::Xlsx);
    EXPECT_EQ(window.log, std::vector<std::string>{
                              "confirm: The name fleet.ods does not end in .xlsx, but the type "
                              "chosen is an Excel workbook. Write an Excel workbook named "
                              "fleet.xlsx?"});
    EXPECT_FALSE(fs::exists(root / "fleet.ods"));
    EXPECT_FALSE(fs::exists(root / "fleet.xlsx"));
    window.answers = {TConfirmAnswer::Yes};
    exported("fleet.ods", TExportType::Xlsx);
    EXPECT_EQ(FileBytes(root / "fleet.xlsx").substr(0, 2), "PK");

    // The two CSV filters: the default one opens by a double-click, the other is what
    // Excel in Western Europe writes; both read back to the group.
    exported("double-click", TExportType::Csv);
    const std::string csv = FileBytes(root / "double-click.csv");
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(csv.find("\r\n=\"0\",=\"0012\",TR-0001\r\n"), std::string::npos) << csv;
    exported("excel.CSV", TExportType::ExcelCsv);
    const std::string excel = FileBytes(root / "excel.CSV");
    EXPECT_NE(excel.find("\r\n=\"1\";Zo\xEB 7;\r\n"), std::string::npos) << excel;
    for (const std::string name : {"double-click.csv", "excel.CSV"}) {
        const TGroupSheet back = ReadGroupFile((root / name).string());
        EXPECT_TRUE(back.Problems.empty()) << name;
        EXPECT_EQ(back.IDs.Vehicle, Fleet().Vehicle) << name;
        EXPECT_EQ(back.IDs.Trailer, Fleet().Trailer) << name;
    }
}

// The window's Import and Export take the same way: a box, nothing changed or written.
class TOneFile : public TFileQuestion {
public:
    explicit TOneFile(std::string path) : path_(std::move(path)) {}
    std::string FileToImport() override { return path_; }
    TExportFile FileToExport(const std::string&) override { return {path_, TExportType::Ods}; }

private:
    std::string path_;
};

TEST(GroupFileActions, ImportAndExportRefuseAPipeAndALinkAlike) {
    TStoreHome data;
    ScriptedWindow window;
    TWindowStore opened(data.paths, window);
    TIDGroupStore& store = opened.Store;
    store.OpenStore();
    TGroupIDs old;
    old.Vehicle[7] = "OLD 7";
    opened.Groups.Add({{"Fleet", old}});
    store.Select("Fleet");
    store.LoadGroup();
    const fs::path fifo = data.home.root() / "x.csv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    TOneFile pipe(fifo.string());
    TGroupFileActions(store, window, window, pipe).ImportClick();
    EXPECT_EQ(window.log.back(), "info: " + fifo.string() +
                                     ": is a named pipe (FIFO), not a file; only regular files "
                                     "are read\nNothing was changed.");
    EXPECT_EQ(window.vehicle[7], "OLD 7");

    const fs::path victim = data.home.root() / "victim.txt";
    std::ofstream(victim) << "my own file";
    fs::create_symlink(victim, data.home.root() / "out.ods");
    TOneFile link((data.home.root() / "out.ods").string());
    EXPECT_THROW(TGroupFileActions(store, window, window, link).ExportClick(), EUnwritableFile);
    std::ostringstream kept;
    kept << std::ifstream(victim).rdbuf();
    EXPECT_EQ(kept.str(), "my own file");
}

}  // namespace
