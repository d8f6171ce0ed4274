// What each transfer tells the window's outcome line: a whole send or read with its
// count, one cut short by Cancel or by a silent tester with what that left behind, a
// session that never reached the tester, and the line emptied when the next begins.
#include <gtest/gtest.h>

#include "tests/tester/session_Support.h"

using namespace session_test;

namespace {

// The tester answers the first `replies` commands after identification, then falls silent.
TAnswer SilentAfter(TCellTester& tester, int replies) {
    auto answered = std::make_shared<int>(0);
    return [&tester, replies, answered](const TCommand& c, int) -> std::optional<std::string> {
        if (c.Command == '1') return tester(c);
        if ((*answered)++ >= replies) return std::nullopt;
        return tester(c);
    };
}

// Cancel pressed once the tester has answered `commands` of the operation's commands.
void CancelAfter(TRig& rig, const int& answered, int commands) {
    rig.view.OnRound = [&rig, &answered, commands, cancelled = false](int) mutable {
        if (answered == commands && !cancelled) cancelled = rig.session->ExitButtonClick();
    };
}

const std::string kMix = " commands: the tester holds a mix of both groups; send again";

}  // namespace

TEST(Outcome, SendIDsWholeCancelledAndFailed) {
    TRig rig;
    TCellTester tester;
    int answered = 0;
    rig.AddLine(1, [&](const TCommand& c, int) {
        if (c.Command == '2') ++answered;
        return tester(c);
    });
    rig.ops->SendButtonClick();
    EXPECT_EQ(rig.view.Outcomes,
              (std::vector<std::string>{"", "IDs sent to the tester, 128 of 128"}));
    // The status line keeps its own text beside it.
    EXPECT_EQ(rig.view.Status, "IDs successfully sent");

    // Cancel after 28 answered writes: the tester holds those cells of this group.
    answered = 0;
    rig.view.Outcomes.clear();
    CancelAfter(rig, answered, 28);
    rig.ops->SendButtonClick();
    EXPECT_EQ(rig.view.Outcomes,
              (std::vector<std::string>{"", "Cancelled after 28 of 128" + kMix}));
    EXPECT_EQ(rig.view.Status, "Communications aborted");

    // A tester that falls silent: told in the status box too, which stays up until
    // Cancel, in the progress bar's place.
    rig.view.OnRound = nullptr;
    rig.view.Lines.clear();
    TCellTester silent;
    rig.AddLine(1, SilentAfter(silent, 10));
    rig.view.Outcomes.clear();
    rig.view.Progress.clear();
    rig.ops->SendButtonClick();
    const std::string failed = "No answer after 10 of 128" + kMix;
    EXPECT_EQ(rig.view.Outcomes.back(), failed);
    EXPECT_EQ(rig.view.Explanation, failed);
    EXPECT_EQ(rig.view.Progress.back(), "-");
    EXPECT_EQ(rig.boxes.Shown.back(), "Unable to send data");
    EXPECT_TRUE(rig.view.StatusBoxShown);
}

TEST(Outcome, ReadIDsWholeAndCancelledSayWhatWasStored) {
    TRig rig;
    TCellTester tester;
    int answered = 0;
    rig.AddLine(1, [&](const TCommand& c, int) {
        if (c.Command == '3') ++answered;
        return tester(c);
    });
    rig.boxes.Answers = {TConfirmAnswer::Yes, TConfirmAnswer::Yes};
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "IDs read from the tester, 128 of 128");

    answered = 0;
    CancelAfter(rig, answered, 40);
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(),
              "Cancelled after 40 of 128 commands: 40 IDs read and stored, the rest of the "
              "group as it was; read again");
    // Not confirmed: nothing happened, and nothing is told but the line emptied.
    rig.view.Outcomes.clear();
    rig.ops->ReadButtonClick();
    EXPECT_EQ(rig.view.Outcomes, std::vector<std::string>{""});
}

TEST(Outcome, ASessionThatNeverReachedTheTester) {
    // Cancel during the scan, a few rounds in.
    TRig rig;
    int start = 0;
    rig.view.OnRound = [&](int round) {
        if (round == start + 3) rig.session->ExitButtonClick();
    };
    rig.ops->SendButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "IDs not sent: cancelled before the tester was found");
    start = rig.view.Rounds;
    rig.ops->DateSpeedButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(),
              "The tester's clock was not set: cancelled before the tester was found");

    // A tester too old: its box, and the line says why nothing was done.
    rig.view.OnRound = nullptr;
    TCellTester old;
    old.VersionCode = "B7";
    rig.AddTester(1, old);
    rig.ops->ReadNameButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(),
              "Company name not read: the instrument needs software version 4.00 or later");
    EXPECT_TRUE(old.Cells.empty());
}

TEST(Outcome, CompanyNameAndClock) {
    TRig rig(false);
    TCellTester tester;
    tester.Cells["01C2"] = "ACME LTD        ";
    rig.AddTester(1, tester);
    rig.ops->ReadNameButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "Company name read from the tester");
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "Company name sent to the tester");
    rig.ops->DateSpeedButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "The tester's clock set to the PC's time");

    rig.view.Lines.clear();
    TCellTester silent;
    rig.AddLine(1, SilentAfter(silent, 0));
    rig.ops->DateSpeedButtonClick();
    EXPECT_EQ(rig.view.Status, "Unable to set date");
    EXPECT_EQ(rig.view.Outcomes.back(),
              "The tester's clock was not set: the tester did not answer");
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(rig.view.Outcomes.back(), "Company name not sent: the tester did not answer");
}
