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
#include <QLabel>
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
#include "store/LocalGroupRepository.h"
#include "tests/common/TempHome.h"
#include "tests/common/WindowDriver.h"
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

// Notes when the status line says that the transfer has started (the identification
// is over) and that it has succeeded. Every event the program handles passes by:
// setting the line asks for a repaint, which is the next event handled.
class TStatusWatch : public QObject {
public:
    double StartWall = 0, StartCpu = 0, EndWall = 0, EndCpu = 0;

    explicit TStatusWatch(const QLabel* line) : line_(line) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    void Look() {
        const QString text = line_->text();
        if (text == seen_) return;
        seen_ = text;
        const double wall = WallSeconds(), cpu = CpuSeconds();
        if (text.startsWith("Sending IDs on Com") || text.startsWith("Receiving IDs on Com")) {
            StartWall = wall;
            StartCpu = cpu;
        } else if (text.contains("successfully")) {
            EndWall = wall;
            EndCpu = cpu;
        }
    }

protected:
    bool eventFilter(QObject*, QEvent*) override {
        Look();
        return false;
    }

private:
    const QLabel* line_;
    QString seen_;
};

// The store as the setup tool makes it, with the group "Bench" added to it.
void WriteGroup(const TStorePaths& paths) {
    std::filesystem::create_directories(paths.IDListDir);
    CreateGroupsTable(paths);
    TGroupIDs ids;
    for (int k = 0; k < kVehicleSlots; ++k) ids.Vehicle[k] = "VEHICLE " + std::to_string(k);
    for (int k = 0; k < kTrailerSlots; ++k) ids.Trailer[k] = "TRAILER " + std::to_string(k);
    TLocalGroupRepository store(paths);
    store.Open();
    store.Add({{"Bench", ids}});
}

// Sleeps between events, as the program's own waits do: processEvents with a time
// limit never blocks, and its spinning would be counted as the program's.
void Wait(int ms) {
    QElapsedTimer t;
    t.start();
    QTimer tick;
    tick.start(10);
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
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
    TScriptedBoxes boxes;  // Read IDs asks first
    TIDForm window;
    window.show();
    ChooseGroup(&window, "Bench");
    for (int i = 0; i < 500 && !Child(&window, "PageControl")->isEnabled(); ++i) Wait(10);
    if (!Child(&window, "PageControl")->isEnabled()) {
        std::fprintf(stderr, "the group did not load\n");
        return 1;
    }
    const QLabel* statusLine = Child<QLabel>(&window, "Label3");
    TStatusWatch watch(statusLine);

    std::printf("transfer_bench: simulator at 9600 baud, 5 ms reply delay; %d runs each\n", runs);
    std::printf(
        "(wall and processor time from the end of the identification to \"successfully\")\n");
    bool allMet = true;
    struct TOp {
        const char* Name;
        const char* Button;
    };
    for (const TOp op : {TOp{"Send IDs", "SendButton"}, TOp{"Read IDs", "ReadButton"}}) {
        std::vector<double> walls, cpus, shares;
        for (int r = 0; r < runs; ++r) {
            watch.StartWall = watch.EndWall = 0;
            boxes.Answers = {TConfirmAnswer::Yes};
            Child<QAbstractButton>(&window, op.Button)->click();
            watch.Look();  // the end, as the handler returns
            if (watch.EndWall == 0 || watch.StartWall == 0) {
                std::fprintf(stderr, "%s run %d did not succeed: %s\n", op.Name, r + 1,
                             qPrintable(statusLine->text()));
                return 1;
            }
            const double wall = watch.EndWall - watch.StartWall;
            const double cpu = watch.EndCpu - watch.StartCpu;
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
    if (boxes.Informations.size()) std::printf("boxes shown: %zu\n", boxes.Informations.size());
    return allMet ? 0 : 2;
}
