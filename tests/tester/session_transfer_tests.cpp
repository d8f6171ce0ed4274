// The five transfer operations over a scripted tester: order on the line, what
// reaches the table and when, the status texts, boxes and end states.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/common/FixedTime.h"
#include "tests/tester/session_Support.h"

using namespace session_test;

namespace {

std::string Hex4(unsigned address) {
    char text[5];
    std::snprintf(text, sizeof text, "%04X", address);
    return text;
}

// The tester answers the first `replies` commands after identification, then falls silent.
TAnswer FailAfter(TCellTester& tester, int replies) {
    auto answered = std::make_shared<int>(0);
    return [&tester, replies, answered](const TCommand& c, int) -> std::optional<std::string> {
        if (c.Command == '1') return tester(c);
        if ((*answered)++ >= replies) return std::nullopt;
        return tester(c);
    };
}

void ExpectFailedState(TRig& rig) {
    EXPECT_FALSE(rig.view.Poll);
    EXPECT_TRUE(rig.port.Open());
    EXPECT_FALSE(rig.session->Stopped);
    EXPECT_EQ(rig.view.Caption, "Cancel");
    EXPECT_TRUE(rig.view.Red);
    EXPECT_TRUE(rig.view.StatusBoxShown);
    EXPECT_FALSE(rig.view.Restore);
}

void ExpectEnded(TRig& rig) {
    EXPECT_TRUE(rig.session->Stopped);
    EXPECT_FALSE(rig.port.Open());
    EXPECT_FALSE(rig.view.Poll);
    EXPECT_EQ(rig.view.Caption, "Exit");
    EXPECT_FALSE(rig.view.Red);
    EXPECT_TRUE(rig.view.Restore);
}

}  // namespace

TEST(SendIDs, WritesTheStoredCellsInLineOrder) {
    std::vector<TRecord> records = NumberedRecords();
    records[5].Trailer = "";
    records[3].Vehicle = "Caf\xC3\xA9-3";  // é: one byte on the line
    TRig rig(true, records);
    TCellTester tester;
    TScriptedLine& com1 = rig.AddTester(1, tester);
    rig.storeWindow.Vehicles[0] = "UNSAVED";  // a slot edit that was never saved
    const int loadsBefore = rig.storeWindow.Loads;

    rig.ops->SendButtonClick();

    const auto writes = com1.Commands('2');
    ASSERT_EQ(writes.size(), 128u);
    std::vector<std::string> expected;
    for (int k = 0; k < 32; ++k) {
        expected.push_back(Hex4(0xFF00 + 8 * k));
        expected.push_back(Hex4(0xFC00 + 8 * k));
    }
    for (int k = 32; k < 96; ++k) expected.push_back(Hex4(0xFC00 + 8 * k));
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(writes[i].Address, expected[i]) << i;
        EXPECT_EQ(writes[i].Frame.size(), 27u) << i;
    }
    EXPECT_EQ(writes.back().Address, "FEF8");
    EXPECT_EQ(tester.Cells["FC00"], "V0              ");
    EXPECT_EQ(tester.Cells["FF00"], "T0              ");
    EXPECT_EQ(tester.Cells["FF28"], std::string(16, ' '));
    EXPECT_EQ(tester.Cells["FC18"], "Caf\xE9-3          ");

    EXPECT_NE(std::find(rig.view.StatusHistory.begin(), rig.view.StatusHistory.end(),
                        "Sending IDs on Com1"),
              rig.view.StatusHistory.end());
    EXPECT_EQ(rig.view.Status, "IDs successfully sent");
    EXPECT_EQ(rig.view.Instrument, "");
    ExpectEnded(rig);
    EXPECT_EQ(rig.view.ButtonsHistory, (std::vector<bool>{false, true}));
    EXPECT_FALSE(rig.view.ButtonsEnabledDuringRounds);
    // The progress bar: none during the scan, then every answered command counted.
    ASSERT_EQ(rig.view.Progress.size(), 130u);
    EXPECT_EQ(rig.view.Progress[0], "-");
    for (int k = 0; k <= 128; ++k) EXPECT_EQ(rig.view.Progress[k + 1], std::to_string(k) + "/128");

    // The restore after the session puts the stored values back into the slots.
    rig.view.RunRestore();
    EXPECT_FALSE(rig.view.StatusBoxShown);
    EXPECT_EQ(rig.view.Page, TUpperPage::GroupName);
    EXPECT_EQ(rig.storeWindow.Loads, loadsBefore + 1);
    EXPECT_EQ(rig.storeWindow.Vehicles[0], "V0");
}

TEST(SendIDs, NeedsALoadedGroup) {
    TRig rig(false);
    rig.ops->SendButtonClick();
    EXPECT_EQ(rig.boxes.Shown, std::vector<std::string>{"Please select a group to read from"});
    EXPECT_TRUE(rig.Probed.empty());
    EXPECT_FALSE(rig.view.StatusBoxShown);
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.boxes.Shown.back(), "Please select a group to write to");
    EXPECT_TRUE(rig.Probed.empty());
    EXPECT_TRUE(rig.view.ButtonsEnabled);
}

TEST(SendIDs, RefusesAStoredCharacterTheLineCannotCarry) {
    std::vector<TRecord> records = NumberedRecords();
    records[7].Vehicle = "V7\xCE\xA9";  // Ω, stored by another program
    TRig rig(true, records);
    rig.ops->SendButtonClick();
    rig.view.Company = "Caf\xC3\xA9 \xE2\x98\x83";  // é goes, the snowman does not
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(
        rig.boxes.Shown,
        (std::vector<std::string>{
            "Vehicle slot 7 holds \"\xCE\xA9\" (U+03A9), which is not in Windows-1252 and "
            "cannot be sent. Nothing was sent: correct the ID, save the group and send again.",
            "The company name holds \"\xE2\x98\x83\" (U+2603), which is not in "
            "Windows-1252 and cannot be sent. Nothing was sent."}));
    // Refused before the session: no port tried, so nothing reached a tester.
    EXPECT_TRUE(rig.Probed.empty());
    EXPECT_FALSE(rig.view.StatusBoxShown);
}

TEST(SendIDs, FailureLeavesTheFailedStateUntilCancel) {
    TRig rig;
    TCellTester tester;
    rig.AddLine(1, FailAfter(tester, 10));
    rig.ops->SendButtonClick();

    EXPECT_EQ(rig.boxes.Shown, std::vector<std::string>{"Unable to send data"});
    ExpectFailedState(rig);
    EXPECT_EQ(rig.view.Status, "Sending IDs on Com1");
    // The session buttons work again, so Failed can be left for a new session.
    EXPECT_TRUE(rig.view.ButtonsEnabled);

    EXPECT_TRUE(rig.session->ExitButtonClick());
    EXPECT_EQ(rig.view.Status, "Communications aborted");
    EXPECT_EQ(rig.view.Caption, "Exit");
    EXPECT_TRUE(rig.view.Red);
    EXPECT_TRUE(rig.view.StatusBoxShown);
    EXPECT_TRUE(rig.session->Stopped);

    // A new session from the Company Name page closes the port at its first step.
    tester.Cells.clear();
    TCellTester fresh;
    rig.view.Lines.clear();
    TScriptedLine& com2 = rig.AddTester(2, fresh);
    std::filesystem::remove(rig.home.portsDir() / "com1");
    rig.view.Company = "Again";
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
    EXPECT_EQ(com2.Commands('2').size(), 1u);
    EXPECT_EQ(rig.view.Progress.back(), "1/1");
}

TEST(ReadIDs, AsksFirstThenStoresEveryCellWithItsBlanks) {
    TRig rig;
    TCellTester tester;
    for (int k = 0; k < 32; ++k) tester.Cells[Hex4(0xFF00 + 8 * k)] = "TR" + std::to_string(k);
    for (int k = 0; k < 96; ++k) tester.Cells[Hex4(0xFC00 + 8 * k)] = "VE" + std::to_string(k);
    tester.Cells["FC08"] = "Caf\xE9  ";  // Windows-1252 on the line
    for (auto& [address, cell] : tester.Cells) cell.resize(16, ' ');
    TScriptedLine& com1 = rig.AddTester(1, tester);

    rig.boxes.Answers = {TConfirmAnswer::No};
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.boxes.Shown, std::vector<std::string>{"Overwrite all current IDs?"});
    EXPECT_TRUE(rig.Probed.empty());

    rig.boxes.Answers = {TConfirmAnswer::Yes};
    rig.ops->ReadButtonClick();
    const auto reads = com1.Commands('3');
    ASSERT_EQ(reads.size(), 128u);
    for (int k = 0; k < 32; ++k) EXPECT_EQ(reads[k].Address, Hex4(0xFF00 + 8 * k));
    for (int k = 0; k < 96; ++k) EXPECT_EQ(reads[32 + k].Address, Hex4(0xFC00 + 8 * k));
    for (const auto& r : reads) EXPECT_EQ(r.Frame.size(), 11u);

    const auto stored = ReadGroup(rig.paths, TRig::kListName);
    ASSERT_EQ(stored.size(), 96u);
    EXPECT_EQ(stored[0].Trailer, "TR0             ");
    EXPECT_EQ(stored[0].Vehicle, "VE0             ");
    EXPECT_EQ(stored[1].Vehicle, "Caf\xC3\xA9            ");
    EXPECT_EQ(stored[31].Trailer, "TR31            ");
    EXPECT_EQ(stored[95].Vehicle, "VE95            ");
    EXPECT_EQ(stored[40].Trailer, "");
    EXPECT_EQ(rig.view.Status, "IDs successfully acquired");
    ExpectEnded(rig);
    rig.view.RunRestore();
    EXPECT_EQ(rig.storeWindow.Trailers[0], "TR0             ");
}

TEST(ReadIDs, CancelAfterFortyAnsweredKeepsWhatArrived) {
    TRig rig;
    TCellTester tester;
    int answered = 0;
    TScriptedLine& com1 = rig.AddLine(1, [&](const TCommand& c, int) -> std::optional<std::string> {
        if (c.Command == '3') {
            ++answered;
            return CellReply("NEW" + c.Address);
        }
        return tester(c);
    });
    bool cancelled = false;
    rig.view.OnRound = [&](int) {
        if (answered == 40 && !cancelled) cancelled = rig.session->ExitButtonClick();
    };
    rig.boxes.Answers = {TConfirmAnswer::Yes};
    rig.ops->ReadButtonClick();

    EXPECT_TRUE(cancelled);
    const auto stored = ReadGroup(rig.paths, TRig::kListName);
    ASSERT_EQ(stored.size(), 96u);
    for (int k = 0; k < 32; ++k)
        EXPECT_EQ(stored[k].Trailer, "NEW" + Hex4(0xFF00 + 8 * k) + "         ") << k;
    for (int k = 0; k < 96; ++k) {
        const std::string old = "V" + std::to_string(k);
        if (k < 8)
            EXPECT_EQ(stored[k].Vehicle, "NEW" + Hex4(0xFC00 + 8 * k) + "         ") << k;
        else
            EXPECT_EQ(stored[k].Vehicle, old) << k;
    }
    EXPECT_EQ(rig.view.Status, "Communications aborted");
    EXPECT_EQ(rig.view.Instrument, "");
    ExpectEnded(rig);
    EXPECT_LE(com1.Commands('3').size(), 41u);
}

TEST(ReadIDs, FailureKeepsTheCellsReadSoFar) {
    TRig rig;
    TCellTester tester;
    for (int k = 0; k < 32; ++k) tester.Cells[Hex4(0xFF00 + 8 * k)] = "NEWTRAILER      ";
    rig.AddLine(1, FailAfter(tester, 5));
    rig.boxes.Answers = {TConfirmAnswer::Yes};
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.boxes.Shown.back(), "Unable to read data");
    ExpectFailedState(rig);
    const auto stored = ReadGroup(rig.paths, TRig::kListName);
    for (int k = 0; k < 5; ++k) EXPECT_EQ(stored[k].Trailer, "NEWTRAILER      ");
    for (int k = 5; k < 32; ++k) EXPECT_EQ(stored[k].Trailer, "T" + std::to_string(k));
}

TEST(ReadIDs, ShortTableIsNotWrittenPastItsEnd) {
    std::vector<TRecord> records = NumberedRecords();
    records.resize(90);
    TRig rig(true, records);
    TCellTester tester;
    TScriptedLine& com1 = rig.AddLine(1, [&](const TCommand& c, int) -> std::optional<std::string> {
        return c.Command == '3' ? CellReply("R" + c.Address) : tester(c);
    });
    rig.boxes.Answers = {TConfirmAnswer::Yes};
    rig.ops->ReadButtonClick();
    EXPECT_EQ(com1.Commands('3').size(), 128u);
    const auto stored = ReadGroup(rig.paths, TRig::kListName);
    ASSERT_EQ(stored.size(), 90u);
    EXPECT_EQ(stored[89].Vehicle, "R" + Hex4(0xFC00 + 8 * 89) + "           ");
    EXPECT_EQ(rig.view.Status, "IDs successfully acquired");
}

TEST(ReadIDs, TableErrorGoesOnToTheWindow) {
    TRig rig;
    TCellTester tester;
    rig.AddLine(1, [&](const TCommand& c, int) -> std::optional<std::string> {
        // Another program removes the record the tenth cell goes to while it is on its way.
        if (c.Command == '3' && c.Address == Hex4(0xFF00 + 8 * 9))
            RemoveListRecord(rig.paths, TRig::kListName, 9);
        return c.Command == '3' ? CellReply("NEW" + c.Address) : tester(c);
    });
    rig.boxes.Answers = {TConfirmAnswer::Yes};
    EXPECT_THROW(rig.ops->ReadButtonClick(), ERecordConflict);
    EXPECT_TRUE(rig.view.ButtonsEnabled);
    // The cells that arrived before it are stored.
    const auto stored = ReadGroup(rig.paths, TRig::kListName);
    ASSERT_EQ(stored.size(), 95u);
    EXPECT_EQ(stored[8].Trailer, "NEW" + Hex4(0xFF00 + 8 * 8) + "         ");
    EXPECT_EQ(stored[9].Trailer, "T10");
}

TEST(CompanyName, FailedReadSaysUnableToRead) {
    TRig rig(false);
    TCellTester tester;
    rig.AddLine(1, FailAfter(tester, 0));
    rig.view.Company = "Unchanged";
    rig.ops->ReadNameButtonClick();
    EXPECT_EQ(rig.boxes.Shown, std::vector<std::string>{"Unable to read data"});
    EXPECT_EQ(rig.view.Company, "Unchanged");
    ExpectFailedState(rig);

    TRig send(false);
    TCellTester other;
    send.AddLine(1, FailAfter(other, 0));
    send.ops->SendNameButtonClick();
    EXPECT_EQ(send.boxes.Shown, std::vector<std::string>{"Unable to send data"});
    ExpectFailedState(send);
}

TEST(SetClock, SendsThePCsTimeAndEndsTheSession) {
    TRig rig(false);
    TCellTester tester;
    TScriptedLine& com1 = rig.AddTester(1, tester);
    rig.ops->Now = [] { return Moment(2024, 3, 5, 14, 7, 9); };
    rig.ops->DateSpeedButtonClick();
    ASSERT_EQ(com1.Commands('D').size(), 1u);
    EXPECT_EQ(com1.Commands('D')[0].Frame, "!0000D24030500140709\r");
    EXPECT_EQ(rig.view.Status, "Date set");
    EXPECT_EQ(rig.view.Progress, std::vector<std::string>{"-"});  // none for the clock
    EXPECT_EQ(rig.view.Instrument, "");
    ExpectEnded(rig);
}

TEST(SetClock, FailureSaysSoWithoutABox) {
    TRig rig(false);
    TCellTester tester;
    rig.AddLine(1, FailAfter(tester, 0));
    rig.ops->DateSpeedButtonClick();
    EXPECT_EQ(rig.view.Status, "Unable to set date");
    EXPECT_TRUE(rig.boxes.Shown.empty());
    ExpectEnded(rig);
}

TEST(SetClock, NotSentAfterACancelledScan) {
    TRig rig(false);
    TCellTester tester;
    TScriptedLine& com1 = rig.AddLine(
        1, [&](const TCommand& c, int) { return c.Command == '1' ? std::nullopt : tester(c); });
    rig.view.OnRound = [&](int round) {
        if (round == 5) rig.session->ExitButtonClick();
    };
    rig.ops->DateSpeedButtonClick();
    EXPECT_TRUE(com1.Commands('D').empty());
    EXPECT_EQ(rig.view.Status, "Communications aborted");
    EXPECT_EQ(rig.view.Instrument, "");
    ExpectEnded(rig);
}

TEST(Restore, ANewSessionSupersedesThePendingRestore) {
    TRig rig(false);
    TCellTester tester;
    rig.AddTester(1, tester);
    rig.ops->SendNameButtonClick();
    ASSERT_TRUE(rig.view.Restore);
    bool boxHiddenMidSession = false;
    rig.view.OnRound = [&](int) {
        if (!rig.view.StatusBoxShown) boxHiddenMidSession = true;
    };
    rig.ops->ReadNameButtonClick();  // well within the restore's 1000 ms
    EXPECT_FALSE(boxHiddenMidSession);
    EXPECT_EQ(rig.view.Status, "Company ID successfully acquired");
    EXPECT_TRUE(rig.view.Restore);
}
