// The link session's scan, identification, time-outs and Cancel, with the window's
// events in simulated poll ticks and testers played on pseudo-terminals.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "serial/VarnExceptions.h"
#include "tests/serial/PtyPair.h"
#include "tests/tester/session_Support.h"

using namespace session_test;

namespace {

const char* const kIdentification = "!000010190\r";
const char* const kNoPortFound =
    "no serial port found: plug in the adapter, or run haltguard-ids-setup --check-ports";

std::optional<std::string> Silent(const TCommand&, int) {
    return std::nullopt;
}

// Rounds of the event loop spent on each port.
struct TPortRounds {
    std::map<unsigned, int> Rounds;
    void Attach(TRig& rig) {
        rig.view.OnRound = [this, &rig](int) { ++Rounds[rig.session->CurrentPort]; };
    }
};

// A process's name as the system gives it (cut to 15 characters).
std::string ProcessCommand(long pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

std::vector<std::string> ScanLines(const std::vector<std::string>& history) {
    std::vector<std::string> out;
    for (const auto& s : history)
        if (s.rfind("Looking for instrument", 0) == 0) out.push_back(s);
    return out;
}

}  // namespace

TEST(SessionScan, SilentPortsCostThreeTimeOutsEachBeforeTheTester) {
    TRig rig;
    TCellTester tester;
    TScriptedLine& com1 = rig.AddLine(1, Silent);
    TScriptedLine& com2 = rig.AddLine(2, Silent);
    TScriptedLine& com3 = rig.AddTester(3, tester);
    TPortRounds rounds;
    rounds.Attach(rig);
    std::string instrumentSeen;
    auto count = rig.view.OnRound;
    rig.view.OnRound = [&](int r) {
        count(r);
        if (!rig.view.Instrument.empty()) instrumentSeen = rig.view.Instrument;
    };

    rig.view.Company = "Acme";
    rig.ops->SendNameButtonClick();

    EXPECT_EQ(ScanLines(rig.view.StatusHistory),
              (std::vector<std::string>{"Looking for instrument on Com1...",
                                        "Looking for instrument on Com2...",
                                        "Looking for instrument on Com3..."}));
    // Sent once and resent at each of the three time-outs (the last resend may be
    // dropped by the close that follows it at once); 11 ticks a time-out, so about
    // 3.3 s a port.
    for (TScriptedLine* silent : {&com1, &com2}) {
        silent->Drain();
        ASSERT_GE(silent->Received.size(), 3u);
        ASSERT_LE(silent->Received.size(), 4u);
        for (const auto& c : silent->Received) EXPECT_EQ(c.Frame, kIdentification);
    }
    EXPECT_EQ(rounds.Rounds[1], 33);
    EXPECT_EQ(rounds.Rounds[2], 33);
    EXPECT_EQ(rig.view.Beeps, 6);
    EXPECT_EQ(instrumentSeen, " No:ABCD on COM3");
    ASSERT_EQ(com3.Commands('2').size(), 1u);
    EXPECT_EQ(com3.Commands('2')[0].Data, "Acme            ");
    EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
}

TEST(SessionScan, CountStartsAtZeroSoOnlyTheFirstMissingPortWaits) {
    {
        // Right after start-up the count is 0: a missing COM1 costs three time-outs.
        TRig rig;
        TCellTester tester;
        rig.AddTester(2, tester);
        TPortRounds rounds;
        rounds.Attach(rig);
        rig.ops->SendNameButtonClick();
        EXPECT_EQ(rounds.Rounds[1], 33);
        EXPECT_EQ(rig.view.Beeps, 3);
        EXPECT_EQ(ScanLines(rig.view.StatusHistory),
                  std::vector<std::string>{"Looking for instrument on Com2..."});
    }
    {
        // After a silent port the count stays at 3: missing ports are passed at once.
        TRig rig;
        TCellTester tester;
        rig.AddLine(1, Silent);
        rig.AddTester(5, tester);
        TPortRounds rounds;
        rounds.Attach(rig);
        rig.ops->SendNameButtonClick();
        EXPECT_EQ(rounds.Rounds[1], 33);
        for (unsigned n : {2u, 3u, 4u}) EXPECT_EQ(rounds.Rounds.count(n), 0u) << n;
        EXPECT_EQ(rig.Probed, (std::vector<unsigned>{1, 2, 3, 4, 5}));
        EXPECT_EQ(rig.view.Beeps, 3);
        EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
    }
}

TEST(SessionIdentify, SecondRequestFollowsAndRepliesSwitchToShort) {
    TRig rig;
    TCellTester tester;
    TScriptedLine& com1 = rig.AddTester(1, tester);
    std::string instrument;
    rig.view.OnRound = [&](int) {
        if (!rig.view.Instrument.empty()) instrument = rig.view.Instrument;
    };
    rig.ops->ReadNameButtonClick();
    EXPECT_EQ(instrument, " No:ABCD on COM1");
    ASSERT_GE(com1.Received.size(), 3u);
    EXPECT_EQ(com1.Received[0].Frame, kIdentification);
    EXPECT_EQ(com1.Received[1].Frame, "!000010107\r");
    EXPECT_EQ(com1.Received[2].Frame, "!0000301C2\r");
    EXPECT_TRUE(rig.session->Identified);
    EXPECT_TRUE(rig.session->ShortReplies);
    // Its long reply is let in before the next command, so that command is answered
    // at once instead of after a time-out.
    EXPECT_EQ(rig.view.Beeps, 0);
    EXPECT_EQ(com1.Commands('3').size(), 1u);
    EXPECT_EQ(rig.view.Status, "Company ID successfully acquired");

    // A tester that leaves it unanswered costs a few ticks, no beep.
    TRig quiet;
    TCellTester mute;
    mute.AnswerSecondRequest = false;
    TScriptedLine& line = quiet.AddTester(1, mute);
    quiet.ops->ReadNameButtonClick();
    EXPECT_EQ(quiet.view.Beeps, 0);
    EXPECT_EQ(line.Commands('3').size(), 1u);
    EXPECT_LE(quiet.view.Rounds, 6);
}

TEST(SessionTimeouts, ReplyInTheTickOfTheThirdTimeOut) {
    // The reply reaches the input ring just before the 11th tick after the second
    // resend: that tick takes it and then times out for the third time.
    auto lateReply = [](TRig& rig, TScriptedLine& line, const std::string& reply,
                        const std::string& forFrame) {
        rig.view.OnRound = [&rig, &line, reply, forFrame](int) {
            TLinkSession& s = *rig.session;
            if (s.RetryCount == 2 && s.TickCount == 10 && s.LastCommand == forFrame) {
                line.line.Write(reply);
                while (rig.port.InputCount() < static_cast<int>(reply.size()))
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        };
    };
    {
        // While waiting for a command it counts as failed.
        TRig rig;
        TCellTester tester;
        TScriptedLine& com1 = rig.AddLine(1, [&tester](const TCommand& c, int) {
            return c.Command == '3' ? std::nullopt : tester(c);
        });
        lateReply(rig, com1, CellReply("LATE"), "!0000301C2\r");
        rig.view.Company = "Before";
        rig.ops->ReadNameButtonClick();
        EXPECT_EQ(rig.session->RetryCount, 3);
        EXPECT_TRUE(rig.session->Reply.ReplyValid);
        EXPECT_EQ(rig.boxes.Shown, std::vector<std::string>{"Unable to read data"});
        EXPECT_EQ(rig.view.Company, "Before");
    }
    {
        // The scan takes any valid reply it has seen, even in that tick.
        TRig rig;
        TCellTester tester;
        TScriptedLine& com1 = rig.AddLine(1, [&tester](const TCommand& c, int) {
            return c.Address == "0190" ? std::nullopt : tester(c);
        });
        lateReply(rig, com1, IdentificationReply(), kIdentification);
        rig.ops->SendNameButtonClick();
        EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
        EXPECT_EQ(rig.Probed, std::vector<unsigned>{1});
    }
}

TEST(SessionTimeouts, PollTimesOutAtTheEleventhTick) {
    TRig rig;
    rig.session->RetryCount = 0;
    rig.session->TickCount = 0;
    for (int i = 0; i < 10; ++i) rig.session->Timer1Timer();
    EXPECT_EQ(rig.session->TickCount, 10);
    EXPECT_EQ(rig.session->RetryCount, 0);
    EXPECT_EQ(rig.view.Beeps, 0);
    rig.session->Timer1Timer();
    EXPECT_EQ(rig.session->TickCount, 0);
    EXPECT_EQ(rig.session->RetryCount, 1);
    EXPECT_EQ(rig.view.Beeps, 1);
}

TEST(SessionCancel, DuringTheScanWithNoPortAtAll) {
    TRig rig;
    int cyclesAtCancel = 0;
    rig.view.OnRound = [&](int round) {
        if (round == 40) {
            cyclesAtCancel = static_cast<int>(rig.Probed.size()) / 254;
            EXPECT_TRUE(rig.session->ExitButtonClick());
        }
    };
    rig.ops->SendNameButtonClick();

    // 1 to 254 again and again, never 255; events still run once a round of ports.
    ASSERT_GE(rig.Probed.size(), 254u * 5);
    for (std::size_t i = 0; i < rig.Probed.size(); ++i) ASSERT_EQ(rig.Probed[i], i % 254 + 1) << i;
    EXPECT_GE(cyclesAtCancel, 5);
    EXPECT_EQ(rig.view.Beeps, 3);
    EXPECT_EQ(ScanLines(rig.view.StatusHistory).size(), 0u);
    // Below the status lines, from the end of the first round on, what to do.
    EXPECT_EQ(rig.view.Explanation, kNoPortFound);
    EXPECT_EQ(rig.view.ExplanationHistory.front(), "");
    EXPECT_GE(rig.view.ExplanationHistory.size(), 6u);
    EXPECT_EQ(rig.view.Status, "Communications aborted");
    // Built from the stored payload, which is empty.
    EXPECT_EQ(rig.view.Instrument.rfind(" No: on COM", 0), 0u);
    EXPECT_TRUE(rig.session->Stopped);
    EXPECT_EQ(rig.view.Caption, "Exit");
    EXPECT_FALSE(rig.view.Red);

    rig.view.Page = TUpperPage::CompanyName;
    rig.view.RunRestore();
    EXPECT_FALSE(rig.view.StatusBoxShown);
    EXPECT_EQ(rig.view.Page, TUpperPage::GroupName);
}

TEST(SessionOpen, PortHeldByAnotherProgramCostsOneBeep) {
    TRig rig;
    TCellTester tester;
    rig.AddLine(1, Silent);
    TScriptedLine& com2 = rig.AddLine(2, Silent);
    rig.AddTester(3, tester);
    const int holder = open(com2.line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
    TPortRounds rounds;
    rounds.Attach(rig);

    rig.ops->SendNameButtonClick();
    close(holder);

    // Three for the silent COM1, one for the failed open; the count is already 3.
    EXPECT_EQ(rig.view.Beeps, 4);
    EXPECT_EQ(rounds.Rounds.count(2), 0u);
    EXPECT_TRUE(com2.Received.empty());
    EXPECT_EQ(ScanLines(rig.view.StatusHistory),
              (std::vector<std::string>{"Looking for instrument on Com1...",
                                        "Looking for instrument on Com2...",
                                        "Looking for instrument on Com3..."}));
    EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
}

// Another program that has COM1 open without any lock (as minicom does) and a silent
// COM2: the scan passes COM1 with the beep of a held port, keeps scanning, and after
// each round says why.
TEST(SessionExplain, APortInUseAndASilentOne) {
    TRig rig;
    TScriptedLine& com1 = rig.AddLine(1, Silent);
    rig.AddLine(2, Silent);
    serial_test::ChildHolder minicom(com1.line.SlavePath(), serial_test::ChildHolder::OpenOnly);
    ASSERT_TRUE(minicom.Held());
    int rounds = 0;
    rig.view.OnRound = [&](int) {
        if (!rig.view.Explanation.empty() && rig.Probed.size() > 2 * 254)
            rig.session->ExitButtonClick();
        rounds = static_cast<int>(rig.Probed.size()) / 254;
    };
    rig.ops->SendNameButtonClick();

    const std::string held = "COM1 in use by " + ProcessCommand(minicom.Pid()) + " (PID " +
                             std::to_string(minicom.Pid()) + ")";
    EXPECT_EQ(rig.view.Explanation, held + "; no answer on COM2: is the tester on and connected?");
    EXPECT_GE(rounds, 2);
    // One beep for the held port and three time-outs for the silent one a round (and
    // three more waiting at COM1 first, the count starting at 0); nothing ever reached
    // the held port.
    com1.Drain();
    EXPECT_TRUE(com1.Received.empty());
    EXPECT_GE(rig.view.Beeps, 3 + 4 * 2);
    EXPECT_EQ(rig.view.Status, "Communications aborted");
}

// A tester found leaves the line empty: the progress bar takes its place.
TEST(SessionExplain, ClearedWhenTheNextSessionBegins) {
    TRig rig;
    rig.view.OnRound = [&](int) {
        if (!rig.view.Explanation.empty()) rig.session->ExitButtonClick();
    };
    rig.ops->SendNameButtonClick();
    ASSERT_EQ(rig.view.Explanation, kNoPortFound);
    rig.view.RunRestore();
    TCellTester tester;
    rig.AddTester(1, tester);
    rig.view.OnRound = nullptr;
    rig.view.ExplanationHistory.clear();
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(rig.view.Status, "Company ID successfully sent");
    EXPECT_EQ(rig.view.Explanation, "");
    EXPECT_EQ(rig.view.ExplanationHistory, (std::vector<std::string>{"", ""}));
}

// The instrument line built after a cancelled scan from a payload kept from before shows
// characters, not the control characters its decoding gives; the session's data stay.
TEST(SessionCancel, TheInstrumentLineFromAStoredPayloadIsPrintable) {
    TRig rig;
    rig.session->Reply.LastPayload = "0000" + std::string(64, 'Z');
    rig.view.OnRound = [&](int round) {
        if (round == 5) rig.session->ExitButtonClick();
    };
    rig.ops->SendNameButtonClick();
    EXPECT_EQ(rig.view.Instrument, " No:???? on COM" + std::to_string(rig.session->CurrentPort));
    EXPECT_EQ(rig.session->ReplyData, std::string(64, 'Z'));
}

TEST(SessionOpen, OtherExceptionsGoOnToTheWindow) {
    TRig rig;
    rig.session->Probe = [](unsigned) -> bool { throw EInOutError("General failure", 162); };
    EXPECT_THROW(rig.ops->SendNameButtonClick(), EInOutError);
    // Ending the session is the window's, after its error box; the buttons are back.
    EXPECT_FALSE(rig.session->Stopped);
    EXPECT_EQ(rig.view.ButtonsHistory, (std::vector<bool>{false, true}));
}

TEST(SessionEnd, EndingTwiceIsHarmlessAndCancelNeedsTheCancelCaption) {
    TRig rig;
    rig.session->EndSession();
    rig.session->EndSession();
    EXPECT_TRUE(rig.session->Stopped);
    EXPECT_EQ(rig.view.Caption, "Exit");
    EXPECT_FALSE(rig.session->ExitButtonClick());
    EXPECT_EQ(rig.view.Status, "");
}
