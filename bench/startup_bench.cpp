// Start-up of the program: from starting the process to the launcher painted, and
// the resident memory at that moment. The program's start-up runs in the driver
// (tools/driver), which prints a line when it sees the launcher's first paint.
// Offscreen, in a fresh temporary home with an empty groups table and an empty ports
// folder. Prints every run and the medians.
//
//   startup_bench [runs]        (default 15, after one warm-up run)
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "store/LocalGroupRepository.h"

namespace {

constexpr double kTargetMs = 300.0;
constexpr double kTargetMiB = 80.0;

struct TRun {
    double ms = 0;
    double rssMiB = 0;
};

double ResidentMiB(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

bool PrepareHome(const QTemporaryDir& home) {
    const QString groups = home.path() + QStringLiteral("/data/Quillon/Haltguard IDs");
    if (!QDir().mkpath(groups + QStringLiteral("/IDs"))) return false;
    if (!QDir().mkpath(home.path() + QStringLiteral("/config/Quillon/ports"))) return false;
    CreateGroupsTable(StorePathsIn(groups.toStdString()));
    return true;
}

bool RunOnce(TRun& run) {
    QTemporaryDir home;
    if (!home.isValid() || !PrepareHome(home)) return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home.path());
    env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path() + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess program;
    program.setProcessEnvironment(env);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    program.start(QStringLiteral(HG_DRIVER), {QStringLiteral("--report-shown")});
    QByteArray out;
    bool shown = false;
    while (!shown && clock.elapsed() < 20000 && program.state() != QProcess::NotRunning) {
        program.waitForReadyRead(50);
        out += program.readAllStandardOutput();
        shown = out.contains("launcher shown\n");
    }
    run.ms = double(clock.nsecsElapsed()) / 1e6;
    run.rssMiB = shown ? ResidentMiB(program.processId()) : -1;
    program.kill();
    program.waitForFinished(5000);
    if (!shown)
        std::fprintf(stderr, "the launcher was not reported: %s\n",
                     program.readAllStandardError().constData());
    return shown;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    TRun warmUp;
    if (!RunOnce(warmUp)) return 1;
    std::vector<double> ms, rss;
    for (int i = 0; i < runs; ++i) {
        TRun run;
        if (!RunOnce(run)) return 1;
        std::printf("run %2d: %7.1f ms to the launcher, %6.1f MiB resident\n", i + 1, run.ms,
                    run.rssMiB);
        ms.push_back(run.ms);
        rss.push_back(run.rssMiB);
    }
    const double medianMs = Median(ms), medianMiB = Median(rss);
    std::printf(
        "median of %d runs: %.1f ms (target at most %.0f), %.1f MiB (target at most %.0f)\n", runs,
        medianMs, kTargetMs, medianMiB, kTargetMiB);
    std::printf("%s\n", medianMs <= kTargetMs && medianMiB <= kTargetMiB ? "within the targets"
                                                                         : "OVER A TARGET");
    return 0;
}
