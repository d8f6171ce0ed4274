// Typed changes that no Save has kept: when the store asks about them, what each
// answer does to the slots, the selection and the disk, a refused save on Yes, and
// the end of the session with and without someone to ask.
#include "tests/store/StoreSupport.h"

namespace {

using namespace storetest;

const std::string kAskAlpha = "confirm: Save changes to the Alpha Group?";

// The end of a session as a test plays it: whether the user may be asked, and
// whether the session was kept from ending.
class TPlayedSessionEnd : public TSessionEnd {
public:
    explicit TPlayedSessionEnd(bool mayAsk) : mayAsk_(mayAsk) {}
    bool MayAsk() override {
        ++Asked;
        return mayAsk_;
    }
    void Cancel() override { Cancelled = true; }
    int Asked = 0;
    bool Cancelled = false;

private:
    bool mayAsk_;
};

class TKeptInMemory : public TChangesKeeper {
public:
    void Keep(const std::string& groupName, const TGroupIDs& ids) override {
        Kept.emplace_back(groupName, ids);
    }
    std::vector<std::pair<std::string, TGroupIDs>> Kept;
};

class Unsaved : public ::testing::Test {
protected:
    void SetUp() override {
        folder.AddGroup("Alpha", "alpha");
        folder.AddGroup("Beta", "beta");
        folder.AddGroup("NoIDs", "", -1);
        store = std::make_unique<TWindowStore>(folder.paths, win);
        store->Store.OpenStore();
        Choose("Alpha");
        win.log.clear();
    }
    // The group list closed on `name`: the selection moves first, then the close-up.
    void Choose(const std::string& name) {
        store->Store.Select(name);
        store->Store.LoadChosenGroup();
    }
    std::string StoredVehicle(const std::string& list, int row) {
        return Query(folder.ListFile(list), "SELECT \"Vehicle ID\" FROM records WHERE rowid = " +
                                                std::to_string(row + 1))[0][0];
    }
    TIDGroupStore& Store() { return store->Store; }

    TStoreHome folder;
    ScriptedWindow win;
    std::unique_ptr<TWindowStore> store;
};

TEST_F(Unsaved, NothingTypedNothingAskedInAnyFlow) {
    // Loading the same slots again, or typing a text back as it was, is no change.
    win.vehicle[4] = "x";
    win.vehicle[4] = "Alphav4";
    EXPECT_FALSE(Store().HasUnsavedChanges());
    Choose("Alpha");
    Choose("Beta");
    win.inputs.push_back("Gamma");
    Store().NewGroup();
    EXPECT_TRUE(Store().SettleUnsavedChanges());
    TPlayedSessionEnd end(true);
    TKeptInMemory keeper;
    EXPECT_TRUE(Store().EndOfSession(end, keeper));
    EXPECT_EQ(end.Asked, 0);  // no interaction asked for
    EXPECT_TRUE(keeper.Kept.empty());
    EXPECT_EQ(win.log, (std::vector<std::string>{
                           "input: Identities - New Group | Please Enter a new group name | New"}));
    EXPECT_EQ(win.vehicle[0], "Betav0");
}

TEST_F(Unsaved, TheCloseUpAsksAndEachAnswerDoesItsOwn) {
    // Cancel: the slots keep the typing, and the list and the selection go back to
    // the group they belong to, which stays loaded.
    win.vehicle[12] = "UNSAVED12";
    win.answers = {TConfirmAnswer::Cancel};
    Choose("Beta");
    EXPECT_EQ(win.log, std::vector<std::string>{kAskAlpha});
    EXPECT_EQ(win.vehicle[12], "UNSAVED12");
    EXPECT_EQ(win.listShown, "Alpha");
    EXPECT_EQ(Store().SelectedName(), "Alpha");
    EXPECT_EQ(Store().LoadedName(), "Alpha");
    EXPECT_EQ(StoredVehicle("alpha", 12), "Alphav12");

    // The same group chosen again asks too; No reloads it over the typing.
    win.answers = {TConfirmAnswer::No};
    Choose("Alpha");
    EXPECT_EQ(win.vehicle[12], "Alphav12");
    EXPECT_EQ(StoredVehicle("alpha", 12), "Alphav12");
    EXPECT_FALSE(Store().HasUnsavedChanges());

    // Yes saves into the group typed into, then loads the one chosen.
    win.log.clear();
    win.trailer[31] = "T31 TYPED";
    win.answers = {TConfirmAnswer::Yes};
    Choose("Beta");
    EXPECT_EQ(win.log, std::vector<std::string>{kAskAlpha});
    EXPECT_EQ(
        Query(folder.ListFile("alpha"), "SELECT \"Trailer ID\" FROM records WHERE rowid = 32"),
        (RowList{{"T31 TYPED"}}));
    EXPECT_EQ(win.trailer[31], "Betat31");
    EXPECT_EQ(Store().LoadedName(), "Beta");

    // Closing the list with nothing selected loads nothing, so nothing is at stake.
    win.log.clear();
    win.vehicle[0] = "typed";
    Store().Select("");
    Store().LoadChosenGroup();
    EXPECT_TRUE(win.log.empty());
    EXPECT_EQ(win.vehicle[0], "typed");
}

TEST_F(Unsaved, YesThatIsRefusedKeepsTheTypingAndStopsTheAction) {
    // Another copy saves Alpha after this one loaded it.
    ScriptedWindow otherWindow;
    TWindowStore other(folder.paths, otherWindow);
    other.Store.OpenStore();
    other.Store.Select("Alpha");
    other.Store.LoadGroup();
    otherWindow.vehicle[0] = "OTHER";
    other.Store.SaveGroup();

    win.vehicle[0] = "MINE";
    win.answers = {TConfirmAnswer::Yes, TConfirmAnswer::Yes, TConfirmAnswer::Yes};
    try {
        Choose("Beta");
        ADD_FAILURE() << "a refused save let the close-up go on";
    } catch (const ERecordConflict& e) {
        EXPECT_NE(std::string(e.what()).find("Record was changed by another user"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(win.vehicle[0], "MINE");
    EXPECT_EQ(win.listShown, "Alpha");
    EXPECT_EQ(Store().SelectedName(), "Alpha");
    EXPECT_EQ(StoredVehicle("alpha", 0), "OTHER");
    // New goes no further than the question either: no name is asked for.
    EXPECT_THROW(Store().NewGroup(), ERecordConflict);
    EXPECT_EQ(win.log, (std::vector<std::string>{kAskAlpha, kAskAlpha}));
    EXPECT_EQ(Store().GroupList(), (std::vector<std::string>{"Alpha", "Beta", "NoIDs"}));
    // At the session's end the refusal keeps the session from ending.
    TPlayedSessionEnd end(true);
    TKeptInMemory keeper;
    EXPECT_THROW(Store().EndOfSession(end, keeper), ERecordConflict);
    EXPECT_TRUE(end.Cancelled);
    EXPECT_EQ(win.vehicle[0], "MINE");
    EXPECT_TRUE(Store().HasUnsavedChanges());
}

TEST_F(Unsaved, NewAsksBeforeItsNameAndCancelMakesNothing) {
    win.vehicle[7] = "unsaved";
    win.answers = {TConfirmAnswer::Cancel};
    Store().NewGroup();
    EXPECT_EQ(win.log, std::vector<std::string>{kAskAlpha});
    EXPECT_EQ(Store().GroupList(), (std::vector<std::string>{"Alpha", "Beta", "NoIDs"}));
    EXPECT_EQ(win.vehicle[7], "unsaved");

    // Yes saves, then New goes on as ever and loads Alpha again: the saved typing.
    win.log.clear();
    win.answers = {TConfirmAnswer::Yes};
    win.inputs.push_back("Gamma");
    Store().NewGroup();
    EXPECT_EQ(win.log.size(), 2u);
    EXPECT_EQ(win.log[0], kAskAlpha);
    EXPECT_EQ(Store().GroupList(), (std::vector<std::string>{"Alpha", "Beta", "NoIDs", "Gamma"}));
    EXPECT_EQ(win.vehicle[7], "unsaved");
    EXPECT_EQ(StoredVehicle("alpha", 7), "unsaved");
}

TEST_F(Unsaved, OnlyWhatWasShownCounts) {
    // A read from the tester stores cells the slots do not show yet (a failed Read
    // leaves them so): the slots are not typing, and must not be offered to save
    // over what was read.
    store->Groups.LoadedGroup().StoreVehicleID(0, "FROM TESTER");
    EXPECT_FALSE(Store().HasUnsavedChanges());
    EXPECT_TRUE(Store().SettleUnsavedChanges());
    EXPECT_TRUE(win.log.empty());
    // After a Save the saved texts are what the slots are compared with.
    win.vehicle[1] = "saved";
    Store().SaveGroup();
    EXPECT_FALSE(Store().HasUnsavedChanges());
    // A group that keeps no IDs loads nothing: no group, no question.
    Store().Select("NoIDs");
    Store().LoadGroup();
    ASSERT_FALSE(Store().IsLoaded());
    win.vehicle[2] = "typed";
    EXPECT_FALSE(Store().HasUnsavedChanges());
    EXPECT_EQ(Store().LoadedName(), "");
}

TEST_F(Unsaved, SessionEndAsksOnlyWhomItMayAndKeepsTheRestSafe) {
    win.vehicle[12] = "UNSAVED12";
    TKeptInMemory keeper;

    // Someone to ask: Cancel keeps the session from ending and the window open.
    TPlayedSessionEnd cancelled(true);
    win.answers = {TConfirmAnswer::Cancel};
    EXPECT_FALSE(Store().EndOfSession(cancelled, keeper));
    EXPECT_TRUE(cancelled.Cancelled);
    // No: the window may close, and nothing is kept or saved.
    TPlayedSessionEnd dropped(true);
    win.answers = {TConfirmAnswer::No};
    EXPECT_TRUE(Store().EndOfSession(dropped, keeper));
    EXPECT_FALSE(dropped.Cancelled);
    EXPECT_TRUE(keeper.Kept.empty());
    EXPECT_EQ(StoredVehicle("alpha", 12), "Alphav12");
    EXPECT_EQ(win.log, (std::vector<std::string>{kAskAlpha, kAskAlpha}));
    // The window's close that ends the session does not ask again about what was let go.
    EXPECT_FALSE(Store().HasUnsavedChanges());
    EXPECT_TRUE(Store().SettleUnsavedChanges());
    EXPECT_EQ(win.log.size(), 2u);

    // Nobody to ask: no box, the typing kept outside the store, the group untouched.
    win.vehicle[12] = "UNSAVED12";
    win.vehicle[11] = "typed too";
    TPlayedSessionEnd unattended(false);
    EXPECT_TRUE(Store().EndOfSession(unattended, keeper));
    EXPECT_EQ(win.log.size(), 2u);
    ASSERT_EQ(keeper.Kept.size(), 1u);
    EXPECT_EQ(keeper.Kept[0].first, "Alpha");
    EXPECT_EQ(keeper.Kept[0].second.Vehicle[12], "UNSAVED12");
    EXPECT_EQ(keeper.Kept[0].second.Vehicle[11], "typed too");
    EXPECT_EQ(keeper.Kept[0].second.Trailer[31], "Alphat31");
    EXPECT_EQ(StoredVehicle("alpha", 12), "Alphav12");
    // Once kept (or let go on No), the same typing is dealt with: the close that ends
    // the session asks nothing. More typing is at stake again.
    EXPECT_FALSE(Store().HasUnsavedChanges());
    win.vehicle[13] = "more";
    EXPECT_TRUE(Store().HasUnsavedChanges());
    // Yes at an attended end saves it.
    TPlayedSessionEnd saved(true);
    win.answers = {TConfirmAnswer::Yes};
    EXPECT_TRUE(Store().EndOfSession(saved, keeper));
    EXPECT_EQ(StoredVehicle("alpha", 13), "more");
    EXPECT_FALSE(Store().HasUnsavedChanges());
}

}  // namespace
