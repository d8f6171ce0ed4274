// Send IDs and Read IDs through the real configuration window against the tester
// simulator (9600 baud, 5 ms reply delay): the wall time from the end of the
// identification to "successfully", and the processor time the program (all its
// threads) used meanwhile. Medians of several runs; a temporary home, never the
// user's data.
//
//   transfer_bench [--runs N]     (make bench-transfer)
#include <time.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "shell/THaltguardApplication.h"
#include "shell/TIDForm.h"
#include "store/TTable.h"
#include "tests/common/GroupFiles.h"
#include "tests/common/TempHome.h"
#include "tests/e2e/e2e_Simulator.h"

namespace {

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double WallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class TYesBoxes : public TMessageBoxes {
public:
    std::vector<std::string> Shown;
    void Information(const std::string& text) override { Shown.push_back(text); }
    TConfirmAnswer Confirm(const std::string&) override { return TConfirmAnswer::Yes; }
    std::string InputBox(const std::string&, const std::string&, const std::string& p) override {
        return p;
    }
};

// The window, noting when the status line tells that the transfer has started
// (the identification is over) and that it has succeeded.
class TTimedForm : public TIDForm {
public:
    using TIDForm::TIDForm;
    double StartWall = 0, StartCpu = 0, EndWall = 0, EndCpu = 0;

    void SetStatusLine(const std::string& text) override {
        const double wall = WallSeconds(), cpu = CpuSeconds();
        if (text.rfind("Sending IDs on Com", 0) == 0 ||
            text.rfind("Receiving IDs on Com", 0) == 0) {
            StartWall = wall;
            StartCpu = cpu;
        } else if (text.find("successfully") != std::string::npos) {
            EndWall = wall;
            EndCpu = cpu;
        }
        TIDForm::SetStatusLine(text);
    }
};

void WriteGroup(const TStorePaths& paths) {
    std::vector<TGroupRecord> records(96);
    for (int k = 0; k < 96; ++k) {
        records[k].Vehicle = "VEHICLE " + std::to_string(k);
        if (k < 32) records[k].Trailer = "TRAILER " + std::to_string(k);
    }
    WriteGroupFiles(paths, "Bench", "Bench list", records);
}

void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    TempHome home;
    const TStorePaths paths{home.groupsDir().string(), home.idListDir().string()};
    std::filesystem::create_directories(home.portsDir());
    WriteGroup(paths);

    THaltguardApplication app(argc, argv);
    e2e::TSimulator sim(home.root(), 1, {"--baud", "9600", "--delay-ms", "5"});
    TYesBoxes boxes;
    TTimedForm window(&boxes, paths);
    window.show();
    window.ChooseGroup("Bench");
    for (int i = 0; i < 500 && !window.Store().IsLoaded(); ++i) Wait(10);
    if (!window.Store().IsLoaded()) {
        std::fprintf(stderr, "the group did not load\n");
        return 1;
    }

    std::printf("transfer_bench: simulator at 9600 baud, 5 ms reply delay; %d runs each\n", runs);
    std::printf(
        "(wall and processor time from the end of the identification to \"successfully\")\n");
    bool allMet = true;
    struct TOp {
        const char* Name;
        void (TIDForm::*Click)();
    };
    for (const TOp op :
         {TOp{"Send IDs", &TIDForm::SendButtonClick}, TOp{"Read IDs", &TIDForm::ReadButtonClick}}) {
        std::vector<double> walls, cpus, shares;
        for (int r = 0; r < runs; ++r) {
            window.StartWall = window.EndWall = 0;
            (window.*op.Click)();
            if (window.EndWall == 0 || window.StartWall == 0) {
                std::fprintf(stderr, "%s run %d did not succeed: %s\n", op.Name, r + 1,
                             window.StatusLine().c_str());
                return 1;
            }
            const double wall = window.EndWall - window.StartWall;
            const double cpu = window.EndCpu - window.StartCpu;
            walls.push_back(wall);
            cpus.push_back(cpu);
            shares.push_back(100.0 * cpu / wall);
            std::printf("  %s run %d: %.3f s wall, %.3f s processor (%.2f %%)\n", op.Name, r + 1,
                        wall, cpu, 100.0 * cpu / wall);
            Wait(1200);  // the panel restore
        }
        const double wall = Median(walls), cpu = Median(cpus), share = Median(shares);
        const bool met = wall <= 13.4 && share < 2.0;
        allMet = allMet && met;
        std::printf(
            "%s: median %.3f s wall (target <= 13.4 s), %.3f s processor, %.2f %% of wall "
            "(target < 2 %%) %s\n",
            op.Name, wall, cpu, share, met ? "met" : "NOT MET");
    }
    if (!boxes.Shown.empty()) std::printf("boxes shown: %zu\n", boxes.Shown.size());
    return allMet ? 0 : 2;
}
