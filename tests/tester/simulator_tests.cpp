// The tester simulator, reached through the real port object on its COM link in a
// temporary ports folder: the answers, the state file, the fault modes and the link.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/Cp1252.h"
#include "tester/Frames.h"
#include "tester/ReplyParser.h"
#include "tests/common/FixedTime.h"
#include "tests/common/TempHome.h"
#include "tests/tester/simulator_Support.h"

using namespace sim_test;
namespace fs = std::filesystem;

namespace {

const std::string kIdentify = BuildCommandFrame(1, kIdentificationAddress, "");

std::string Write(uint16_t address, const std::string& data) {
    return BuildCommandFrame(2, address, PadToCell(data));
}
std::string Read(uint16_t address) {
    return BuildCommandFrame(3, address, "");
}

// The frame checked as the session checks it.
TReplyState Check(const std::string& frame, std::size_t length) {
    TReplyState state;
    ParseReplyFrame(frame, length, state);
    return state;
}

std::string CellOf(const std::string& reply) {
    return Check(reply, 29).LastPayload.substr(4);
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Events that start with a prefix ("RX", "TX", "NOREPLY"), in order.
std::vector<std::string> Only(const std::vector<std::string>& events, const std::string& kind) {
    std::vector<std::string> out;
    for (const std::string& e : events)
        if (e.rfind(kind + " ", 0) == 0) out.push_back(e);
    return out;
}

}  // namespace

TEST(Simulator, AnswersEveryCommandOfTheTester) {
    TempHome home;
    const fs::path state = home.root() / "state.txt";
    TSimProcess sim(home.root(), {"--instrument", "Zé9!", "--state", state.string()});
    EXPECT_EQ(sim.PortLine(), "COM1 " + sim.Device());
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com1"), sim.Device());
    auto port = OpenPort(sim.Com());

    // Identification: a valid long reply with the instrument number and version 4.00.
    const std::string id = Exchange(*port, kIdentify, 77);
    ASSERT_EQ(id.size(), 77u);
    const TReplyState idState = Check(id, 77);
    EXPECT_TRUE(idState.ReplyValid);
    const std::string data = idState.LastPayload.substr(4);
    EXPECT_EQ(Cp1252ToUtf8(DecodeHexWords(data.substr(0, 8))), "Zé9!");
    EXPECT_EQ(VersionNumber(data), 400);

    const std::string second =
        Exchange(*port, BuildCommandFrame(1, kSecondIdentificationAddress, ""), 77);
    EXPECT_EQ(second.size(), 77u);
    EXPECT_TRUE(Check(second, 77).ReplyValid);

    // Write, then read back; a cell never written reads as 16 blanks.
    const std::string written = Exchange(*port, Write(TrailerCellAddress(31), "Caf\xE9"), 29);
    EXPECT_EQ(written.size(), 29u);
    EXPECT_TRUE(Check(written, 29).ReplyValid);
    const std::string read = Exchange(*port, Read(TrailerCellAddress(31)), 29);
    EXPECT_TRUE(Check(read, 29).ReplyValid);
    EXPECT_EQ(CellOf(read), "Caf\xE9            ");
    EXPECT_EQ(CellOf(Exchange(*port, Read(VehicleCellAddress(95)), 29)), std::string(16, ' '));
    Exchange(*port, Write(kCompanyNameAddress, "QUILLON"), 29);
    EXPECT_EQ(CellOf(Exchange(*port, Read(kCompanyNameAddress), 29)), "QUILLON         ");

    const std::string clock = Exchange(*port, BuildClockFrame(Moment(2024, 3, 5, 14, 7, 9)), 29);
    EXPECT_EQ(clock.size(), 29u);
    EXPECT_TRUE(Check(clock, 29).ReplyValid);

    // The state file holds what was written, the log the frames in line order.
    const auto lines = TSimProcess::Lines(state);
    EXPECT_TRUE(Contains(lines, "FFF8\tCaf\\xE9            ")) << lines.size();
    EXPECT_TRUE(Contains(lines, "01C2\tQUILLON         "));
    EXPECT_TRUE(Contains(lines, "CLOCK\t24030500140709"));
    const auto events = sim.Events();
    const std::vector<std::string> rx = {
        "RX 1 0190", "RX 1 0107",          "RX 2 FFF8 Caf\\xE9            ",
        "RX 3 FFF8", "RX 3 FEF8",          "RX 2 01C2 QUILLON         ",
        "RX 3 01C2", "RX D 24030500140709"};
    EXPECT_EQ(Only(events, "RX"), rx);
    EXPECT_EQ(Only(events, "TX").size(), rx.size());
    // Each reply follows its command.
    for (std::size_t i = 0; i + 1 < events.size(); i += 2) {
        EXPECT_EQ(events[i].substr(0, 2), "RX") << i;
        EXPECT_EQ(events[i + 1].substr(0, 2), "TX") << i;
    }
    EXPECT_EQ(Only(events, "TX")[0], "TX " + id.substr(0, 76) + "\\x0D");

    port.reset();
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
    EXPECT_EQ(sim.Events().back(), "END SIGTERM");
    EXPECT_FALSE(fs::is_symlink(home.portsDir() / "com1"));
}

TEST(Simulator, KeepsItsCellsAcrossARestart) {
    TempHome home;
    const fs::path state = home.root() / "state.txt";
    {
        TSimProcess sim(home.root(), {"--state", state.string(), "--baud", "0"});
        auto port = OpenPort(sim.Com());
        Exchange(*port, Write(VehicleCellAddress(3), "V3"), 29);
        Exchange(*port, Write(VehicleCellAddress(3), "V3 again"), 29);
    }
    TSimProcess sim(home.root(), {"--state", state.string(), "--baud", "0"});
    auto port = OpenPort(sim.Com());
    EXPECT_EQ(CellOf(Exchange(*port, Read(VehicleCellAddress(3)), 29)), "V3 again        ");
}

TEST(Simulator, RefusesAStateFileItDidNotWrite) {
    TempHome home;
    const fs::path state = home.root() / "state.txt";
    std::ofstream(state) << "FC00\tshort\n";
    TSimProcess sim(home.root(), {"--state", state.string()}, false);
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.Errors().find("a cell holds 16 characters"), std::string::npos) << sim.Errors();
    EXPECT_EQ(TSimProcess::Lines(state), std::vector<std::string>{"FC00\tshort"});
    EXPECT_FALSE(fs::exists(home.portsDir() / "com1"));
}

TEST(Simulator, IgnoresWhatIsNotAFrame) {
    TempHome home;
    TSimProcess sim(home.root(), {"--baud", "0"});
    auto port = OpenPort(sim.Com());
    // Noise and a cut-off frame before the command: it resynchronises on "!".
    EXPECT_TRUE(Check(Exchange(*port, "\x7Fnoise\r!0000" + kIdentify, 77), 77).ReplyValid);
    const std::string unknown[] = {
        "!00003ff00\r",           // lower-case address
        "!00004FF00\r",           // no such command
        "!00003FF01\r",           // not a cell
        "!000010191\r",           // identification of another block
        "!00002FF00SHORT\r",      // write with too little data
        "!0000D2403050014070\r",  // clock with 13 digits
        "!00003FF00",             // no CR: the next "!" abandons it
    };
    for (const std::string& frame : unknown)
        EXPECT_EQ(Exchange(*port, frame, 1, 200ms), "") << frame;
    // It still answers after all that.
    EXPECT_EQ(Exchange(*port, Read(TrailerCellAddress(0)), 29).size(), 29u);
    const auto events = sim.Events();
    EXPECT_TRUE(Contains(events, "RX ? !00003ff00\\x0D"));
    EXPECT_TRUE(Contains(events, "RX ? !0000"));
    EXPECT_TRUE(Contains(events, "RX 3 FF01"));
    EXPECT_TRUE(Contains(events, "RX 1 0191"));
    EXPECT_EQ(Only(events, "NOREPLY"),
              (std::vector<std::string>{"NOREPLY address", "NOREPLY address"}));
    EXPECT_TRUE(Contains(events, "RX ? !00003FF00"));
}

TEST(SimulatorFaults, SilentBadAndLowerCaseChecksums) {
    TempHome home;
    {
        TSimProcess sim(home.root(), {"--silent"});
        auto port = OpenPort(sim.Com());
        EXPECT_EQ(Exchange(*port, kIdentify, 1, 300ms), "");
        EXPECT_EQ(sim.Events(), (std::vector<std::string>{"RX 1 0190", "NOREPLY silent"}));
    }
    {
        TSimProcess sim(home.root(), {"--bad-checksum", "--baud", "0"});
        auto port = OpenPort(sim.Com());
        const std::string id = Exchange(*port, kIdentify, 77);
        ASSERT_EQ(id.size(), 77u);
        EXPECT_FALSE(Check(id, 77).ReplyValid);
        const std::string cell = Exchange(*port, Read(TrailerCellAddress(0)), 29);
        ASSERT_EQ(cell.size(), 29u);
        EXPECT_FALSE(Check(cell, 29).ReplyValid);
    }
    {
        TSimProcess sim(home.root(), {"--lowercase-checksum", "--baud", "0"});
        auto port = OpenPort(sim.Com());
        for (const auto& [frame, length] : {std::pair{kIdentify, 77},
                                            {Read(kCompanyNameAddress), 29},
                                            {Write(TrailerCellAddress(1), "x"), 29}}) {
            std::string reply = Exchange(*port, frame, length);
            ASSERT_EQ(reply.size(), static_cast<std::size_t>(length));
            const std::string sum = reply.substr(length - 3, 2);
            EXPECT_NE(sum.find_first_of("abcdef"), std::string::npos) << sum;
            EXPECT_FALSE(Check(reply, length).ReplyValid);
            // Only the letter case is wrong.
            for (std::size_t i = length - 3; i < static_cast<std::size_t>(length) - 1; ++i)
                reply[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(reply[i])));
            EXPECT_TRUE(Check(reply, length).ReplyValid);
        }
    }
}

TEST(SimulatorFaults, ShortFramesNeverComplete) {
    TempHome home;
    TSimProcess sim(home.root(), {"--short-frames", "--baud", "0"});
    auto port = OpenPort(sim.Com());
    port->FlushInput();
    port->WriteString(kIdentify);
    EXPECT_EQ(WaitForInput(*port, 77, 500ms), 76);
    TReplyState state;
    ParseLongReply(*port, state);  // 76 waiting: nothing taken
    EXPECT_EQ(port->InputCount(), 76);
    EXPECT_FALSE(state.ReplyValid);
}

TEST(SimulatorFaults, DroppedGarbledAndFailedReplies) {
    TempHome home;
    {
        TSimProcess sim(home.root(), {"--drop-every", "2", "--baud", "0"});
        auto port = OpenPort(sim.Com());
        std::vector<std::size_t> sizes;
        for (int k = 0; k < 4; ++k)
            sizes.push_back(Exchange(*port, Write(VehicleCellAddress(k), "D"), 29, 300ms).size());
        EXPECT_EQ(sizes, (std::vector<std::size_t>{29, 0, 29, 0}));
        // A dropped reply was lost on the line: the command itself was carried out.
        EXPECT_EQ(CellOf(Exchange(*port, Read(VehicleCellAddress(1)), 29)), PadToCell("D"));
        EXPECT_EQ(Only(sim.Events(), "NOREPLY").size(), 2u);
    }
    {
        TSimProcess sim(home.root(), {"--garbage-every", "2", "--baud", "0"});
        auto port = OpenPort(sim.Com());
        const std::string first = Exchange(*port, Read(TrailerCellAddress(0)), 29);
        const std::string second = Exchange(*port, Read(TrailerCellAddress(0)), 34);
        EXPECT_EQ(first.size(), 29u);
        ASSERT_EQ(second.size(), 34u);  // noise first, then a good frame
        EXPECT_EQ(second.substr(5), first);
        EXPECT_EQ(second.find(':'), 5u);
    }
    {
        TSimProcess sim(home.root(), {"--fail-after", "2", "--baud", "0"});
        auto port = OpenPort(sim.Com());
        EXPECT_EQ(Exchange(*port, kIdentify, 77).size(), 77u);
        EXPECT_EQ(Exchange(*port, Write(VehicleCellAddress(0), "A"), 29).size(), 29u);
        EXPECT_EQ(Exchange(*port, Write(VehicleCellAddress(1), "B"), 29, 300ms).size(), 0u);
        EXPECT_EQ(Exchange(*port, kIdentify, 77, 300ms).size(), 0u);
        EXPECT_EQ(Only(sim.Events(), "NOREPLY"),
                  (std::vector<std::string>{"NOREPLY fail-after", "NOREPLY fail-after"}));
    }
}

TEST(SimulatorFaults, OldVersionCode) {
    TempHome home;
    TSimProcess sim(home.root(), {"--version-code", "B7", "--baud", "0"});
    auto port = OpenPort(sim.Com());
    const TReplyState state = Check(Exchange(*port, kIdentify, 77), 77);
    EXPECT_TRUE(state.ReplyValid);
    EXPECT_EQ(VersionNumber(state.LastPayload.substr(4)), 399);
}

TEST(SimulatorLink, TakesTheLowestFreeNumberAndPutsBackWhatWasThere) {
    TempHome home;
    fs::create_directories(home.portsDir());
    const fs::path present = home.root() / "present-device";
    std::ofstream(present) << "";
    fs::create_symlink(present, home.portsDir() / "com1");              // a device: taken
    fs::create_symlink("/nonexistent/ttyX", home.portsDir() / "com2");  // points nowhere
    {
        TSimProcess sim(home.root(), {});
        EXPECT_EQ(sim.Com(), 2u);
        EXPECT_EQ(fs::read_symlink(home.portsDir() / "com2"), sim.Device());
        TSimProcess next(home.root(), {});
        EXPECT_EQ(next.Com(), 3u);
        EXPECT_EQ(next.Stop(SIGINT), 0);
        EXPECT_FALSE(fs::is_symlink(home.portsDir() / "com3"));
    }
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com2"), "/nonexistent/ttyX");
    {
        // A chosen number replaces even a link to a device, until the end.
        TSimProcess sim(home.root(), {"--com", "1"});
        EXPECT_EQ(sim.Com(), 1u);
        EXPECT_EQ(fs::read_symlink(home.portsDir() / "com1"), sim.Device());
        EXPECT_EQ(sim.Stop(SIGTERM), 0);
    }
    EXPECT_EQ(fs::read_symlink(home.portsDir() / "com1"), present);
}

TEST(SimulatorLink, AMissingPortsFolderIsMadeAndRemovedAgain) {
    TempHome home;
    ASSERT_FALSE(fs::exists(home.portsDir()));
    {
        TSimProcess sim(home.root(), {"--com", "9"});
        EXPECT_EQ(sim.Com(), 9u);
        EXPECT_TRUE(fs::is_symlink(home.portsDir() / "com9"));
    }
    EXPECT_FALSE(fs::exists(home.portsDir()));
}

TEST(SimulatorLink, RefusesToTouchWhatIsNotALink) {
    TempHome home;
    fs::create_directories(home.portsDir());
    std::ofstream(home.portsDir() / "com4") << "not a link";
    TSimProcess sim(home.root(), {"--com", "4"}, false);
    EXPECT_EQ(sim.Wait(), 1);
    EXPECT_NE(sim.Errors().find("is not a link"), std::string::npos) << sim.Errors();
    EXPECT_TRUE(fs::is_regular_file(home.portsDir() / "com4"));
}

TEST(SimulatorLine, SurvivesAClosedPeerAndPartialFrames) {
    TempHome home;
    TSimProcess sim(home.root(), {"--baud", "0", "--delay-ms", "50"});
    for (int round = 0; round < 3; ++round) {
        auto port = OpenPort(sim.Com());
        EXPECT_EQ(Exchange(*port, Read(TrailerCellAddress(round)), 29).size(), 29u) << round;
        port->WriteString("!00002FF00half a fr");  // closed in the middle of a frame
        std::this_thread::sleep_for(20ms);
    }
    {
        // The port closes while the reply is still on its way; it is lost.
        auto port = OpenPort(sim.Com());
        port->WriteString(kIdentify);
        for (int i = 0; i < 100 && !Contains(sim.Events(), "RX 1 0190"); ++i)
            std::this_thread::sleep_for(10ms);
    }
    std::this_thread::sleep_for(150ms);
    auto port = OpenPort(sim.Com());
    const std::string reply = Exchange(*port, kIdentify, 77);
    EXPECT_EQ(reply.size(), 77u);
    EXPECT_TRUE(Check(reply, 77).ReplyValid);
    EXPECT_EQ(Only(sim.Events(), "RX").size(), 8u);
    EXPECT_EQ(sim.Stop(SIGTERM), 0);
}

TEST(SimulatorCommandLine, HelpAndBadOptions) {
    TempHome home;
    {
        TSimProcess sim(home.root(), {"--help"}, false);
        EXPECT_EQ(sim.Wait(), 0);
    }
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--com", "255"},
                                                {"--instrument", "ABC"},
                                                {"--drop-every", "0"},
                                                {"--version-code", "B"},
                                                {"--whatever"}}) {
        TSimProcess sim(home.root(), bad, false);
        EXPECT_EQ(sim.Wait(), 2) << bad[0];
        EXPECT_FALSE(fs::exists(home.portsDir())) << bad[0];
    }
}
