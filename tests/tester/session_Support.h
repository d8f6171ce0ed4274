#pragma once
// Stand-ins for the session tests: a window whose event processing advances a
// simulated clock in poll ticks, scripted boxes, a group on disk in a temporary
// home, and testers played by the test on the master side of pseudo-terminals
// linked into the temporary ports folder.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "store/LocalGroupRepository.h"
#include "store/TIDGroupStore.h"
#include "tester/LinkSession.h"
#include "tester/TransferOperations.h"
#include "tests/common/GroupFiles.h"
#include "tests/common/RecordingBoxes.h"
#include "tests/common/TempHome.h"

namespace session_test {

// ---- frames as the tester sends them ----

inline std::string Checksum(const std::string& payload) {
    unsigned sum = 0;
    for (unsigned char c : payload) sum = (sum + c) & 0xFF;
    char text[3];
    std::snprintf(text, sizeof text, "%02X", sum);
    return text;
}

inline std::string ReplyFrame(const std::string& payload) {
    return ":00000" + payload + Checksum(payload) + "\r";
}

// Four characters as the tester's hexadecimal words (low byte first in each word).
inline std::string HexWords(const std::string& four) {
    std::string out;
    char pair[3];
    for (std::size_t i = 0; i + 1 < four.size(); i += 2) {
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(four[i + 1]));
        out += pair;
        std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(four[i]));
        out += pair;
    }
    return out;
}

inline std::string IdentificationReply(const std::string& instrument = "ABCD",
                                       const std::string& versionCode = "B8") {
    std::string data = HexWords(instrument) + versionCode;
    data.resize(64, '0');
    return ReplyFrame("0000" + data);
}

inline std::string CellReply(const std::string& cell) {
    std::string padded = cell;
    padded.resize(16, ' ');
    return ReplyFrame("0000" + padded);
}

struct TCommand {
    std::string Frame;
    char Command = 0;     // '1', '2', '3' or 'D'
    std::string Address;  // four hex digits; empty for the clock
    std::string Data;
};

inline TCommand ParseCommand(const std::string& frame) {
    TCommand c;
    c.Frame = frame;
    if (frame.size() < 7 || frame.compare(0, 5, "!0000") != 0) return c;
    c.Command = frame[5];
    if (c.Command == 'D') {
        c.Data = frame.substr(6, frame.size() - 7);
    } else if (frame.size() >= 11) {
        c.Address = frame.substr(6, 4);
        c.Data = frame.substr(10, frame.size() - 11);
    }
    return c;
}

// ---- a pseudo-terminal linked as COM n ----

class TPtyLine {
public:
    TPtyLine(const std::filesystem::path& portsDir, unsigned comNumber) : com_(comNumber) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slave_ = ptsname(master_);
        std::filesystem::create_directories(portsDir);
        link_ = portsDir / ("com" + std::to_string(comNumber));
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(slave_, link_);
    }
    ~TPtyLine() {
        std::error_code ec;
        std::filesystem::remove(link_, ec);
        if (master_ >= 0) close(master_);
    }
    TPtyLine(const TPtyLine&) = delete;
    TPtyLine& operator=(const TPtyLine&) = delete;

    unsigned Com() const { return com_; }
    const std::string& SlavePath() const { return slave_; }

    // Reads what has arrived, waiting up to `wait` for the first byte.
    std::string ReadAvailable(std::chrono::milliseconds wait) {
        std::string got;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(wait.count())) <= 0) return got;
        char buffer[512];
        for (;;) {
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

    void Write(const std::string& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

private:
    unsigned com_;
    int master_ = -1;
    std::string slave_;
    std::filesystem::path link_;
};

// ---- a tester played on one line ----

// Given a command and how many commands came before it on this line, the bytes to
// answer with (nothing: stay silent).
using TAnswer = std::function<std::optional<std::string>(const TCommand&, int index)>;

// The tester's default behaviour: identification, cells kept, clock answered.
class TCellTester {
public:
    std::string Instrument = "ABCD";
    std::string VersionCode = "B8";
    std::map<std::string, std::string> Cells;  // address -> 16 characters
    std::string ClockDigits;
    bool AnswerSecondRequest = true;  // with a long reply, as the tester does

    std::optional<std::string> operator()(const TCommand& c) {
        switch (c.Command) {
            case '1':
                if (c.Address == "0190") return IdentificationReply(Instrument, VersionCode);
                if (AnswerSecondRequest) return IdentificationReply("SEC2", VersionCode);
                return std::nullopt;
            case '2':
                Cells[c.Address] = c.Data;
                return CellReply("");
            case '3': {
                auto it = Cells.find(c.Address);
                return CellReply(it == Cells.end() ? std::string(16, ' ') : it->second);
            }
            case 'D':
                ClockDigits = c.Data;
                return CellReply("");
            default:
                return std::nullopt;
        }
    }
};

class TScriptedLine {
public:
    TScriptedLine(const std::filesystem::path& portsDir, unsigned com, TAnswer answer)
        : line(portsDir, com), Answer(std::move(answer)) {}

    TPtyLine line;
    TAnswer Answer;
    std::vector<TCommand> Received;

    // After a send or a resend the session has written LastCommand: take it off the
    // line (with whatever preceded it) and answer it; the answer is in the port's
    // input ring when this returns, so the next poll tick sees it.
    void Serve(TLinkSession& session) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (pending_.find(session.LastCommand) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("the command never reached COM" +
                                         std::to_string(line.Com()));
            pending_ += line.ReadAvailable(std::chrono::milliseconds(50));
        }
        // Every frame is answered in turn, as a tester on the line would.
        std::size_t cr;
        std::string replies;
        while ((cr = pending_.find('\r')) != std::string::npos) {
            const TCommand c = ParseCommand(pending_.substr(0, cr + 1));
            pending_.erase(0, cr + 1);
            Received.push_back(c);
            if (auto reply = Answer(c, static_cast<int>(Received.size()) - 1)) replies += *reply;
        }
        if (replies.empty()) return;
        const int before = session.Port().InputCount();
        line.Write(replies);
        while (session.Port().InputCount() < before + static_cast<int>(replies.size())) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("the reply never reached the input ring");
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    // Takes what is still on the line once the session has let go of it.
    void Drain() {
        pending_ += line.ReadAvailable(std::chrono::milliseconds(20));
        std::size_t cr;
        while ((cr = pending_.find('\r')) != std::string::npos) {
            Received.push_back(ParseCommand(pending_.substr(0, cr + 1)));
            pending_.erase(0, cr + 1);
        }
    }

    std::vector<TCommand> Commands(char command) const {
        std::vector<TCommand> out;
        for (const auto& c : Received)
            if (c.Command == command) out.push_back(c);
        return out;
    }

private:
    std::string pending_;
};

// ---- the window ----

class TFakeView : public TSessionView {
public:
    TLinkSession* Session = nullptr;
    std::vector<TScriptedLine*> Lines;
    // Runs at every event round, before the timers, with the round's number.
    std::function<void(int round)> OnRound;
    // What the window does with an exception that leaves the poll.
    std::vector<std::string> PollErrors;

    TUpperPage Page = TUpperPage::GroupName;
    bool StatusBoxShown = false;
    std::string Caption = "Exit";
    bool Red = false;
    std::string Status, Instrument, Company, Explanation;
    std::vector<std::string> StatusHistory;
    std::vector<std::string> ExplanationHistory;  // every text set, "" included
    bool Poll = false, Restore = false;
    int RestoreTicks = 0;
    int Rounds = 0;  // event rounds; one poll period each
    int Beeps = 0;
    bool ButtonsEnabled = true;
    std::vector<bool> ButtonsHistory;
    bool ButtonsEnabledDuringRounds = false;
    std::vector<std::string> Progress;  // "3/128" as shown; "-" hidden
    std::vector<std::string> Outcomes;  // every outcome told, "" included

    void ShowUpperPage(TUpperPage page) override { Page = page; }
    void ShowStatusBox(bool shown) override { StatusBoxShown = shown; }
    std::string ExitCaption() const override { return Caption; }
    void SetExitCaption(const std::string& caption) override { Caption = caption; }
    void SetExitRed(bool red) override { Red = red; }
    std::string StatusLine() const override { return Status; }
    void SetStatusLine(const std::string& text) override {
        Status = text;
        StatusHistory.push_back(text);
    }
    void SetStatusLineDefaultColour() override {}
    std::string InstrumentLine() const override { return Instrument; }
    void SetInstrumentLine(const std::string& text) override { Instrument = text; }
    std::string ExplanationLine() const override { return Explanation; }
    void SetExplanationLine(const std::string& text) override {
        Explanation = text;
        ExplanationHistory.push_back(text);
    }
    void ShowProgress(int done, int total) override {
        Progress.push_back(std::to_string(done) + "/" + std::to_string(total));
    }
    void HideProgress() override { Progress.push_back("-"); }
    void SetPollTimer(bool enabled) override { Poll = enabled; }
    bool PollTimerEnabled() const override { return Poll; }
    void SetRestoreTimer(bool enabled) override {
        if (enabled && !Restore) RestoreTicks = 0;
        Restore = enabled;
    }
    bool RestoreTimerEnabled() const override { return Restore; }
    void Beep() override { ++Beeps; }
    std::string CompanyName() const override { return Company; }
    void SetCompanyName(const std::string& text) override { Company = text; }
    void ShowOutcome(const std::string& text) override { Outcomes.push_back(text); }
    void SetSessionButtonsEnabled(bool enabled) override {
        ButtonsEnabled = enabled;
        ButtonsHistory.push_back(enabled);
    }

    // One poll period: the scripted events, the testers, then the timers.
    void ProcessMessages() override {
        if (!Poll && !Restore) throw std::logic_error("waiting with no timer running");
        if (ButtonsEnabled) ButtonsEnabledDuringRounds = true;
        ++Rounds;
        if (OnRound) OnRound(Rounds);
        if (Poll && Session) {
            for (TScriptedLine* line : Lines)
                if (Session->Port().Open() && Session->TickCount == 0 &&
                    Session->Port().ComNumber() == line->line.Com())
                    line->Serve(*Session);
            try {
                Session->Timer1Timer();
            } catch (const std::exception& e) {
                PollErrors.push_back(e.what());
                Session->EndSession();
            }
        }
        AdvanceRestore();
    }

    // Lets the restore timer run out after a handler has returned.
    void RunRestore() {
        for (int i = 0; i < 20 && Restore; ++i) AdvanceRestore();
    }

private:
    void AdvanceRestore() {
        if (!Restore || !Session) return;
        if (++RestoreTicks >= 10) Session->Timer2Timer();
    }
};

using TFakeBoxes = TRecordingBoxes;

class TFakeStoreWindow : public TStoreWindow {
public:
    std::vector<std::string> Vehicles = std::vector<std::string>(96);
    std::vector<std::string> Trailers = std::vector<std::string>(32);
    int Loads = 0;  // times all slots were written

    std::string VehicleSlot(int slot) const override { return Vehicles.at(slot); }
    void SetVehicleSlot(int slot, const std::string& text) override {
        Vehicles.at(slot) = text;
        if (slot == 95) ++Loads;
    }
    std::string TrailerSlot(int slot) const override { return Trailers.at(slot); }
    void SetTrailerSlot(int slot, const std::string& text) override { Trailers.at(slot) = text; }
    void ShowGroupList(const std::vector<std::string>&, const std::string&) override {}
};

// ---- a whole window's worth: home, group on disk, store, port, session ----

using TRecord = TGroupRecord;

inline void WriteGroup(const TStorePaths& paths, const std::string& listName,
                       const std::vector<TRecord>& records) {
    WriteGroupFiles(paths, "Fleet", listName, records);
}

inline std::vector<TRecord> ReadGroup(const TStorePaths& paths, const std::string& listName) {
    return ReadListTable(paths, listName);
}

class TRig {
public:
    explicit TRig(bool withGroup = true, std::vector<TRecord> records = NumberedRecords())
        : paths{home.groupsDir().string(), home.idListDir().string()} {
        std::filesystem::create_directories(home.portsDir());
        if (withGroup) WriteGroup(paths, kListName, records);
        groups = std::make_unique<TLocalGroupRepository>(paths);
        store = std::make_unique<TIDGroupStore>(storeWindow, boxes, *groups);
        if (withGroup) {
            store->OpenStore();
            store->Select("Fleet");
            store->LoadGroup();
        }
        port.SetBaud(9600);
        port.SetAutoOpen(false);
        port.SetComNumber(1);
        session = std::make_unique<TLinkSession>(view, boxes, port, *store);
        ops = std::make_unique<TTransferOperations>(*session, view, boxes, *groups);
        view.Session = session.get();
        // Only the ports the test links exist.
        session->Probe = [this](unsigned n) {
            Probed.push_back(n);
            return std::filesystem::exists(home.portsDir() / ("com" + std::to_string(n)));
        };
        session->Sleep = [](std::chrono::milliseconds) {};
    }

    TScriptedLine& AddLine(unsigned com, TAnswer answer) {
        lines_.push_back(std::make_unique<TScriptedLine>(home.portsDir(), com, std::move(answer)));
        view.Lines.push_back(lines_.back().get());
        return *lines_.back();
    }
    TScriptedLine& AddTester(unsigned com, TCellTester& tester) {
        return AddLine(com, [&tester](const TCommand& c, int) { return tester(c); });
    }

    static constexpr const char* kListName = "Fleet 01-01-2025 10_00_00 by ";

    TempHome home;
    TStorePaths paths;
    TFakeStoreWindow storeWindow;
    TFakeBoxes boxes;
    TFakeView view;
    std::unique_ptr<TLocalGroupRepository> groups;
    std::unique_ptr<TIDGroupStore> store;

private:
    // Before the port, so that the port is closed before the lines go.
    std::vector<std::unique_ptr<TScriptedLine>> lines_;

public:
    TVarnComPort port;
    std::unique_ptr<TLinkSession> session;
    std::unique_ptr<TTransferOperations> ops;
    std::vector<unsigned> Probed;
};

}  // namespace session_test
