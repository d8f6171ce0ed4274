// Figures of the ID group store, in a temporary data folder (XDG_DATA_HOME is pointed
// there too, so nothing of the user's is read or written): medians of LoadGroup,
// SaveGroup, NewGroup and DeleteGroup, and of OpenStore with its group list at
// 10,000 groups.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "store/TIDGroupStore.h"

namespace {

using namespace bench;

class BenchWindow : public TStoreWindow, public TMessageBoxes {
public:
    std::array<std::string, kVehicleSlots> vehicle;
    std::array<std::string, kTrailerSlots> trailer;
    std::vector<std::string> names;
    std::string nextName;

    std::string VehicleSlot(int slot) const override { return vehicle.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override { vehicle.at(slot) = text; }
    std::string TrailerSlot(int slot) const override { return trailer.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { trailer.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>& list, const std::string&) override {
        names = list;
    }
    void Information(const std::string& text) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        std::exit(1);
    }
    TConfirmAnswer Confirm(const std::string&) override { return TConfirmAnswer::Yes; }
    std::string InputBox(const std::string&, const std::string&, const std::string&) override {
        return nextName;
    }
    void Fill(int round) {
        for (int k = 0; k < kVehicleSlots; ++k)
            vehicle[k] = "V" + std::to_string(round) + "-" + std::to_string(k);
        for (int k = 0; k < kTrailerSlots; ++k)
            trailer[k] = "T" + std::to_string(round) + "-" + std::to_string(k);
    }
};

}  // namespace

int main() {
    constexpr int kRounds = 60;
    Folder folder;
    BenchWindow win;
    TIDGroupStore store(win, win, folder.paths, FixedClock());
    store.OpenStore();

    std::vector<double> newMs, loadMs, saveMs, deleteMs;
    for (int i = 0; i < kRounds; ++i) {
        win.nextName = "Group " + std::to_string(i);
        newMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    // Loading alternates between groups, so each load opens another table.
    for (int i = 0; i < kRounds * 2; ++i) {
        store.Select("Group " + std::to_string(i % kRounds));
        loadMs.push_back(TimeMs([&] { store.LoadGroup(); }));
    }
    for (int i = 0; i < kRounds; ++i) {
        store.Select("Group " + std::to_string(i));
        store.LoadGroup();
        win.Fill(i);
        saveMs.push_back(TimeMs([&] { store.SaveGroup(); }));
    }
    for (int i = 0; i < kRounds; ++i) {
        store.Select("Group " + std::to_string(i));
        store.LoadGroup();
        deleteMs.push_back(TimeMs([&] { store.DeleteGroup(); }));
    }
    if (!win.names.empty()) {
        std::fprintf(stderr, "groups left after deleting them all\n");
        return 1;
    }
    Report("NewGroup", newMs, 20);
    Report("LoadGroup", loadMs, 5);
    Report("SaveGroup", saveMs, 20);
    Report("DeleteGroup", deleteMs, 0);

    // 10,000 groups (their ID list tables are not needed to list them).
    constexpr int kGroups = 10000;
    {
        TTable& t = store.IDGroupTable();
        t.StartTransaction();
        for (int i = 0; i < kGroups; ++i) {
            const std::string name = "Fleet " + std::to_string(i);
            t.Append();
            t.SetFieldAsString(kGroupNameField, name);
            t.SetFieldAsString(kIDListNameField, name + " 07-12-2026 14_05_33 by ");
        }
        t.Commit();
    }
    std::vector<double> listMs;
    for (int i = 0; i < 30; ++i) {
        BenchWindow w;
        TIDGroupStore s(w, w, folder.paths, FixedClock());
        listMs.push_back(TimeMs([&] { s.OpenStore(); }));
        if (w.names.size() != static_cast<std::size_t>(kGroups)) {
            std::fprintf(stderr, "the list holds %zu groups\n", w.names.size());
            return 1;
        }
    }
    Report("OpenStore + list of 10,000 groups", listMs, 100);

    // For information: the operations that walk the groups table, at 10,000 groups.
    std::vector<double> bigNewMs, bigDeleteMs;
    for (int i = 0; i < 20; ++i) {
        win.nextName = "Late " + std::to_string(i);
        bigNewMs.push_back(TimeMs([&] { store.NewGroup(); }));
    }
    for (int i = 0; i < 20; ++i) {
        store.Select("Late " + std::to_string(i));
        store.LoadGroup();
        bigDeleteMs.push_back(TimeMs([&] { store.DeleteGroup(); }));
    }
    Report("NewGroup at 10,000 groups", bigNewMs, 20);
    Report("DeleteGroup at 10,000 groups", bigDeleteMs, 0);
    return 0;
}
