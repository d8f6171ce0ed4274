// End to end: the real configuration window against the tester simulator running as
// a separate process on a pseudo-terminal in a temporary ports folder. Each test
// function is its own ctest entry (see CMakeLists.txt), so they run in parallel.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProgressBar>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "shell/TForm1.h"
#include "shell/THaltguardApplication.h"
#include "store/PgGroupRepository.h"
#include "store/PgSchema.h"
#include "store/StoreChoice.h"
#include "tests/common/PgTestServer.h"
#include "tests/e2e/e2e_Support.h"

using namespace e2e;

namespace {

const char* const kUnsuitable =
    "The instrument is not suitable for use with this program\n"
    "(Needs to be software version 4.00 or later)";

std::string Padded(std::string text) {
    text.resize(16, ' ');
    return text;
}

QString UpperPage(TIDForm* window) {
    return window->findChild<QTabWidget*>("PageControl1")->currentWidget()->objectName();
}

bool Contains(const std::vector<QString>& lines, const QString& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Another program holding a device: a child process that opens it and locks it, or,
// as minicom does, only opens it.
class THolder {
public:
    explicit THolder(const std::string& device, bool locks = true) {
        int ready[2];
        if (pipe(ready) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char ok = fd >= 0 && (!locks || flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
            (void)!write(ready[1], &ok, 1);
            pause();
            _exit(0);
        }
        char ok = 'n';
        (void)!read(ready[0], &ok, 1);
        close(ready[0]);
        close(ready[1]);
        Holding = ok == 'y';
    }
    ~THolder() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    bool Holding = false;
    long Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// A lock file such as a terminal program that uses only lock files leaves, naming
// `pid`; removed again afterwards. Laid only where none stands yet.
class TLaidLock {
public:
    TLaidLock(const std::string& device, long pid) {
        std::string name = device.substr(std::string("/dev/").size());
        std::replace(name.begin(), name.end(), '/', '_');
        file_ = "/var/lock/LCK.." + name;
        if (std::filesystem::exists(file_)) return;
        const std::string digits = std::to_string(pid);
        std::ofstream(file_) << std::string(10 - digits.size(), ' ') << digits << '\n';
        Laid = std::filesystem::exists(file_);
    }
    ~TLaidLock() {
        std::error_code ec;
        if (Laid) std::filesystem::remove(file_, ec);
    }
    const std::filesystem::path& File() const { return file_; }
    bool Laid = false;

private:
    std::filesystem::path file_;
};

std::time_t FromClockDigits(const std::string& d) {
    std::tm t{};
    t.tm_year = 100 + std::stoi(d.substr(0, 2));
    t.tm_mon = std::stoi(d.substr(2, 2)) - 1;
    t.tm_mday = std::stoi(d.substr(4, 2));
    t.tm_hour = std::stoi(d.substr(8, 2));
    t.tm_min = std::stoi(d.substr(10, 2));
    t.tm_sec = std::stoi(d.substr(12, 2));
    t.tm_isdst = -1;
    return std::mktime(&t);
}

}  // namespace

class TE2ETests : public QObject {
    Q_OBJECT

private slots:
    // ---- Send IDs ----
    void sendIds() {
        std::vector<TRecord> records = FleetRecords();
        records[3].Trailer = "";
        records[7].Vehicle = "Caf\xC3\xA9 7";
        TWindowRig rig(true, records);
        TSimulator sim(rig.home.home.root(), 1);
        rig.WatchStatus();
        IDBox(rig.window, 0)->setText("UNSAVED");  // vehicle slot 0, never saved
        // The progress bar, halfway through the writes and at the end.
        auto* bar = rig.Widget<QProgressBar>("ProgressBar1");
        QString halfway;
        rig.When([&] { return CountRx(sim.Log(), "2") >= 64; },
                 [&] { halfway = bar->isVisible() ? bar->text() : QString(); });

        rig.Click("SendButton");
        QCOMPARE(rig.Status(), QString("IDs successfully sent"));
        QCOMPARE(bar->isVisible() ? bar->text() : QString(), QString("128 of 128"));
        const int half = halfway.section(' ', 0, 0).toInt();
        QVERIFY2(half >= 48 && half < 128 && halfway.endsWith(" of 128"), qPrintable(halfway));
        QElapsedTimer sinceEnd;
        sinceEnd.start();

        const auto writes = Received(sim.Log(), "2");
        QCOMPARE(writes.size(), std::size_t(128));
        for (int k = 0; k < 32; ++k) {
            QCOMPARE(writes[2 * k].Address, Hex4(0xFF00 + 8 * k));
            QCOMPARE(writes[2 * k + 1].Address, Hex4(0xFC00 + 8 * k));
        }
        for (int k = 32; k < 96; ++k) QCOMPARE(writes[32 + k].Address, Hex4(0xFC00 + 8 * k));
        QCOMPARE(writes.back().Address, std::string("FEF8"));
        QCOMPARE(writes[1].Data, Padded("Veh 0"));  // what is stored, not the slot edit
        QCOMPARE(writes[6].Data, std::string(16, ' '));
        QCOMPARE(writes[15].Data, Padded("Caf\xE9 7"));
        QCOMPARE(sim.State().Cells["FEF8"], Padded("Veh 95"));
        QVERIFY(Contains(rig.StatusHistory, "Sending IDs on Com1"));
        QCOMPARE(rig.Instrument(), QString());
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(!ExitRed(rig.window));
        QVERIFY(!rig.PortOpen());
        // Every command answered at the first try: not a single time-out.
        QCOMPARE(rig.Beeps(), 0);

        // The panel comes back a second later with the stored IDs in the slots.
        QVERIFY(rig.StatusBoxShown());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
        QVERIFY2(sinceEnd.elapsed() >= 900, qPrintable(QString::number(sinceEnd.elapsed())));
        QCOMPARE(IDBox(rig.window, 0)->text(), QString("Veh 0"));
        QCOMPARE(UpperPage(rig.window), QString("TabSheet1"));
        // And what came of it stays readable below the group buttons.
        auto* outcome = rig.Widget<QLabel>("OutcomeLabel");
        QVERIFY(outcome->isVisible());
        QVERIFY2(outcome->text().startsWith("IDs sent to the tester, 128 of 128, "),
                 qPrintable(outcome->text()));
    }

    void sessionButtonsOffWhileAHandlerRuns() {
        TWindowRig rig;
        TSimulator sim(rig.home.home.root(), 1, {"--fail-after", "12"});
        std::vector<bool> during;
        rig.When([&] { return CountRx(sim.Log(), "2") >= 3; },
                 [&] {
                     for (const char* b : {"SendNameButton", "ReadNameButton", "DateSpeedButton"})
                         during.push_back(rig.Widget(b)->isEnabled());
                 });
        rig.Click("SendButton");
        QCOMPARE(during, (std::vector<bool>{false, false, false}));
        // Failed, and the buttons are back so that a new session can be started.
        QCOMPARE(rig.boxes.Shown, std::vector<std::string>{"Unable to send data"});
        for (const char* b : {"SendNameButton", "ReadNameButton", "DateSpeedButton"})
            QVERIFY(rig.Widget(b)->isEnabled());
    }

    // ---- Read IDs ----
    void readIds() {
        TWindowRig rig;
        TSimState preset;
        for (int k = 0; k < 32; ++k)
            preset.Cells[Hex4(0xFF00 + 8 * k)] = Padded("RT" + std::to_string(k));
        for (int k = 0; k < 96; ++k)
            preset.Cells[Hex4(0xFC00 + 8 * k)] = Padded("RV" + std::to_string(k));
        preset.Cells["FC10"] = Padded("Caf\xE9");
        const std::filesystem::path dir = rig.home.home.root();
        WriteState(dir / "sim1.state", preset);
        TSimulator sim(dir, 1);

        rig.boxes.Answers = {TConfirmAnswer::No};
        rig.Click("ReadButton");
        QCOMPARE(rig.boxes.Shown, std::vector<std::string>{"Overwrite all current IDs?"});
        QVERIFY(!rig.StatusBoxShown());
        QCOMPARE(CountRx(sim.Log(), "1"), 0);

        rig.boxes.Answers = {TConfirmAnswer::Yes};
        rig.WatchStatus();
        rig.Click("ReadButton");
        QCOMPARE(rig.Status(), QString("IDs successfully acquired"));
        QVERIFY(Contains(rig.StatusHistory, "Receiving IDs on Com1"));
        const auto reads = Received(sim.Log(), "3");
        QCOMPARE(reads.size(), std::size_t(128));
        for (int k = 0; k < 32; ++k) QCOMPARE(reads[k].Address, Hex4(0xFF00 + 8 * k));
        for (int k = 0; k < 96; ++k) QCOMPARE(reads[32 + k].Address, Hex4(0xFC00 + 8 * k));

        const auto file = rig.home.ReadGroupFile();
        QCOMPARE(file.size(), std::size_t(96));
        QCOMPARE(file[0].Trailer, Padded("RT0"));  // trailing blanks kept on disk
        QCOMPARE(file[0].Vehicle, Padded("RV0"));
        QCOMPARE(file[2].Vehicle, std::string("Caf\xC3\xA9") + std::string(12, ' '));
        QCOMPARE(file[31].Trailer, Padded("RT31"));
        QCOMPARE(file[95].Vehicle, Padded("RV95"));
        QCOMPARE(file[32].Trailer, std::string());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
        QCOMPARE(IDBox(rig.window, 96)->text(), QString::fromStdString(Padded("RT0")));
    }

    void readIdsCancelledAfterForty() {
        TWindowRig rig;
        TSimState preset;
        for (int k = 0; k < 32; ++k)
            preset.Cells[Hex4(0xFF00 + 8 * k)] = Padded("NT" + std::to_string(k));
        for (int k = 0; k < 96; ++k)
            preset.Cells[Hex4(0xFC00 + 8 * k)] = Padded("NV" + std::to_string(k));
        const std::filesystem::path dir = rig.home.home.root();
        WriteState(dir / "sim1.state", preset);
        TSimulator sim(dir, 1);
        // The 41st command on the line: the 40th reply has been taken and stored.
        rig.When([&] { return CountRx(sim.Log(), "3") >= 41; }, [&] { rig.Click("ExitButton"); });
        rig.boxes.Answers = {TConfirmAnswer::Yes};
        rig.Click("ReadButton");

        QCOMPARE(rig.Status(), QString("Communications aborted"));
        QCOMPARE(rig.Instrument(), QString());
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(!rig.PortOpen());
        const auto file = rig.home.ReadGroupFile();
        QCOMPARE(file.size(), std::size_t(96));
        for (int k = 0; k < 32; ++k) QCOMPARE(file[k].Trailer, Padded("NT" + std::to_string(k)));
        for (int k = 0; k < 8; ++k) QCOMPARE(file[k].Vehicle, Padded("NV" + std::to_string(k)));
        for (int k = 8; k < 96; ++k) QCOMPARE(file[k].Vehicle, "Veh " + std::to_string(k));
    }

    // ---- company name and clock ----
    void companyNameSendAndRead() {
        TWindowRig rig(false);
        TSimulator sim(rig.home.home.root(), 1);
        auto* tabs = rig.window->findChild<QTabWidget*>("PageControl1");
        auto* name = rig.Widget<QLineEdit>("CompanyNameEdit");
        tabs->setCurrentWidget(rig.window->findChild<QWidget*>("TabSheet2"));
        name->setText(QString::fromUtf8("H\xC3\xA9lix Ltd"));
        rig.Click("SendNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        QCOMPARE(sim.State().Cells["01C2"], Padded("H\xE9lix Ltd"));
        QCOMPARE(UpperPage(rig.window), QString("TabSheet1"));  // watched on the group page
        QTRY_COMPARE_WITH_TIMEOUT(UpperPage(rig.window), QString("TabSheet2"), 5000);

        name->clear();
        rig.Click("ReadNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully acquired"));
        QCOMPARE(name->text(),
                 QString::fromUtf8("H\xC3\xA9lix Ltd") + QString(7, ' '));  // blanks kept
        QTRY_COMPARE_WITH_TIMEOUT(UpperPage(rig.window), QString("TabSheet2"), 5000);
        QVERIFY(!rig.StatusBoxShown());
        QCOMPARE(rig.Beeps(), 0);
    }

    void clockSetToThePCsTime() {
        TWindowRig rig(false);
        TSimulator sim(rig.home.home.root(), 1);
        const std::time_t before = std::time(nullptr);
        rig.Click("DateSpeedButton");
        const std::time_t after = std::time(nullptr);
        QCOMPARE(rig.Status(), QString("Date set"));
        const auto clocks = Received(sim.Log(), "D");
        QCOMPARE(clocks.size(), std::size_t(1));
        const std::string digits = clocks[0].Data;
        QCOMPARE(digits.size(), std::size_t(14));
        QCOMPARE(digits.substr(6, 2), std::string("00"));
        const std::time_t sent = FromClockDigits(digits);
        QVERIFY2(sent >= before && sent <= after, digits.c_str());
        QCOMPARE(rig.Instrument(), QString());
        QVERIFY(!rig.PortOpen());
    }

    void clockNotSentAfterCancelledScan() {
        TWindowRig rig(false);
        TSimulator sim(rig.home.home.root(), 1, {"--silent"});
        rig.When([&] { return CountRx(sim.Log(), "1") >= 1; }, [&] { rig.Click("ExitButton"); });
        rig.Click("DateSpeedButton");
        QCOMPARE(rig.Status(), QString("Communications aborted"));
        QCOMPARE(rig.Instrument(), QString());
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(!rig.PortOpen());
        QTest::qWait(300);
        QCOMPARE(CountRx(sim.Log(), "D"), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
        QCOMPARE(UpperPage(rig.window), QString("TabSheet1"));
    }

    void clockFailureEndsTheSession() {
        TWindowRig rig(false);
        // Answers the two identification requests, then nothing.
        TSimulator sim(rig.home.home.root(), 1, {"--fail-after", "2"});
        rig.Click("DateSpeedButton");
        QCOMPARE(rig.Status(), QString("Unable to set date"));
        QVERIFY(rig.boxes.Shown.empty());
        // Sent and resent at each time-out; the session closes the port right after
        // the last resend, which may drop it.
        const int sent = CountRx(sim.Log(), "D");
        QVERIFY2(sent == 3 || sent == 4, qPrintable(QString::number(sent)));
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(!rig.PortOpen());
        QVERIFY(!rig.Widget<QTimer>("Timer1")->isActive());
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
    }

    // ---- the scan ----
    void scanBehindTwoSilentPorts() {
        TWindowRig rig(false);
        const std::filesystem::path dir = rig.home.home.root();
        TSimulator com1(dir, 1, {"--silent"});
        TSimulator com2(dir, 2, {"--silent"});
        TSimulator com3(dir, 3, {"--instrument", "QX42"});
        std::vector<QString> instruments;
        rig.When([&] { return !rig.Instrument().isEmpty(); },
                 [&] { instruments.push_back(rig.Instrument()); });
        rig.WatchStatus();
        rig.Click("SendNameButton");

        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        std::vector<QString> scan;
        std::vector<qint64> at;
        for (std::size_t i = 0; i < rig.StatusHistory.size(); ++i)
            if (rig.StatusHistory[i].startsWith("Looking for instrument")) {
                scan.push_back(rig.StatusHistory[i]);
                at.push_back(rig.StatusTimes[i]);
            }
        QCOMPARE(scan, (std::vector<QString>{"Looking for instrument on Com1...",
                                             "Looking for instrument on Com2...",
                                             "Looking for instrument on Com3..."}));
        // About 3.3 s a silent port: three time-outs of 11 poll ticks.
        for (int i = 0; i < 2; ++i) {
            const qint64 spent = at[i + 1] - at[i];
            QVERIFY2(spent >= 3000 && spent <= 6000, qPrintable(QString::number(spent)));
        }
        QCOMPARE(rig.Beeps(), 6);
        // Sent, then resent at each time-out; the last resend goes out just as the
        // scan closes the port, and the close may drop it.
        for (const TSimulator* silent : {&com1, &com2}) {
            const int sent = CountRx(silent->Log(), "1");
            QVERIFY2(sent == 3 || sent == 4, qPrintable(QString::number(sent)));
        }
        QCOMPARE(instruments, std::vector<QString>{" No:QX42 on COM3"});
    }

    void scanTreatsBadFramesAsSilence() {
        for (const char* fault : {"--bad-checksum", "--lowercase-checksum"}) {
            TWindowRig rig(false);
            const std::filesystem::path dir = rig.home.home.root();
            TSimulator bad(dir, 1, {fault});
            TSimulator good(dir, 2);
            rig.Click("SendNameButton");
            QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
            const int sent = CountRx(bad.Log(), "1");
            QVERIFY2(sent == 3 || sent == 4, qPrintable(QString::number(sent)));
            QCOMPARE(CountRx(bad.Log(), "2"), 0);
            QCOMPARE(CountRx(good.Log(), "2"), 1);
            QCOMPARE(rig.Beeps(), 3);
        }
    }

    void versionB7RefusedB8Accepted() {
        {
            TWindowRig rig(false);
            TSimulator sim(rig.home.home.root(), 1, {"--version-code", "B7"});
            rig.Click("SendNameButton");
            QCOMPARE(rig.boxes.Shown, std::vector<std::string>{kUnsuitable});
            QCOMPARE(CountRx(sim.Log(), "2"), 0);
            QCOMPARE(rig.Caption(), QString("Exit"));
            QVERIFY(!rig.PortOpen());
            QCOMPARE(rig.Status(), QString("Looking for instrument on Com1..."));
        }
        {
            TWindowRig rig(false);
            TSimulator sim(rig.home.home.root(), 1, {"--version-code", "B8"});
            rig.Click("SendNameButton");
            QVERIFY(rig.boxes.Shown.empty());
            QCOMPARE(CountRx(sim.Log(), "2"), 1);
            QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        }
    }

    // ---- failures ----
    void testerStopsAnsweringMidTransfer() {
        TWindowRig rig;
        TSimulator sim(rig.home.home.root(), 1, {"--fail-after", "20"});
        rig.Click("SendButton");
        QCOMPARE(rig.boxes.Shown, std::vector<std::string>{"Unable to send data"});
        // Failed: poll off, port open, red Cancel, status box shown.
        QVERIFY(!rig.Widget<QTimer>("Timer1")->isActive());
        QVERIFY(rig.PortOpen());
        QCOMPARE(rig.Caption(), QString("Cancel"));
        QVERIFY(ExitRed(rig.window));
        QVERIFY(rig.StatusBoxShown());
        QCOMPARE(rig.Status(), QString("Sending IDs on Com1"));
        // 18 answered, the 19th sent and resent three times.
        QTRY_COMPARE_WITH_TIMEOUT(CountRx(sim.Log(), "2"), 18 + 4, 2000);
        QTest::qWait(1200);
        QVERIFY(rig.StatusBoxShown());  // no restore follows a failure

        rig.Click("ExitButton");
        QCOMPARE(rig.Status(), QString("Communications aborted"));
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(rig.StatusBoxShown());
        QVERIFY(rig.window->isVisible());
    }

    void portHeldByAnotherProgram() {
        TWindowRig rig(false);
        const std::filesystem::path dir = rig.home.home.root();
        TSimulator held(dir, 1);
        TSimulator tester(dir, 2);
        const std::string device = held.FirstLine.substr(held.FirstLine.find(' ') + 1);
        THolder holder(device);
        QVERIFY(holder.Holding);
        rig.WatchStatus();
        rig.Click("SendNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        // One beep for the failed open, then the count climbs from 0 to 3 as usual.
        QCOMPARE(rig.Beeps(), 4);
        QVERIFY(Contains(rig.StatusHistory, "Looking for instrument on Com1..."));
        QVERIFY(Contains(rig.StatusHistory, "Looking for instrument on Com2..."));
        QCOMPARE(CountRx(held.Log(), "1"), 0);
    }

    // After a round without a tester, the line below the status lines, in the progress
    // bar's place, says why: no port at all, or who holds the one there is (a program
    // that only has it open, as minicom does, into which nothing is sent). The scan
    // goes on until Cancel.
    void scanExplainsItself() {
        TWindowRig rig(false);
        auto* line = rig.Widget<QLabel>("Label5");
        auto* bar = rig.Widget<QProgressBar>("ProgressBar1");
        rig.When([&] { return line->isVisible(); }, [&] { rig.Click("ExitButton"); });
        rig.Click("SendNameButton");
        QCOMPARE(line->text(), QString("no serial port found: plug in the adapter, or run "
                                       "haltguard-ids-setup --check-ports"));
        QCOMPARE(rig.Status(), QString("Communications aborted"));
        QVERIFY(bar->isHidden());
        QVERIFY(line->y() > rig.Widget<QLabel>("Label4")->geometry().bottom());
        QVERIFY(line->parentWidget()->rect().contains(line->geometry()));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);

        TSimulator held(rig.home.home.root(), 1);
        {
            THolder minicom(held.FirstLine.substr(held.FirstLine.find(' ') + 1), false);
            QVERIFY(minicom.Holding);
            rig.When([&] { return line->isVisible(); }, [&] { rig.Click("ExitButton"); });
            rig.Click("SendNameButton");
            QCOMPARE(line->text(), QString("COM1 in use by e2e_tests (PID %1)").arg(minicom.Pid()));
            QCOMPARE(CountRx(held.Log(), "1"), 0);
        }
        // With the port let go, the session finds its tester and explains nothing.
        rig.Click("SendNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        QVERIFY(line->isHidden());
    }

    void portHeldThroughALockFile() {
        // COM1 is held by a program that keeps only a lock file; the tester is on COM2,
        // behind the lock file of a program that has ended.
        TWindowRig rig(false);
        const std::filesystem::path dir = rig.home.home.root();
        TSimulator held(dir, 1);
        TSimulator tester(dir, 2);
        const pid_t dead = fork();
        if (dead == 0) _exit(0);
        waitpid(dead, nullptr, 0);
        const TLaidLock live(held.FirstLine.substr(held.FirstLine.find(' ') + 1), getppid());
        const TLaidLock stale(tester.FirstLine.substr(tester.FirstLine.find(' ') + 1), dead);
        if (!live.Laid || !stale.Laid) QSKIP("no lock files can be laid here");
        rig.Click("SendNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        QCOMPARE(CountRx(held.Log(), "1"), 0);
        QVERIFY(std::filesystem::exists(live.File()));    // another program's: left alone
        QVERIFY(!std::filesystem::exists(stale.File()));  // replaced by ours, gone with it
    }

    void simulatorKilledMidTransfer() {
        TWindowRig rig;
        auto sim = std::make_unique<TSimulator>(rig.home.home.root(), 1);
        rig.When([&] { return CountRx(sim->Log(), "2") >= 20; }, [&] { sim->Kill(); });
        QElapsedTimer took;
        took.start();
        rig.Click("SendButton");
        QCOMPARE(rig.boxes.Shown, std::vector<std::string>{"Unable to send data"});
        QVERIFY(took.elapsed() < 30000);
        QCOMPARE(rig.Caption(), QString("Cancel"));
        rig.Click("ExitButton");
        QCOMPARE(rig.Caption(), QString("Exit"));
        // Everything still answers: a new session with no tester scans until Cancel.
        rig.When([] { return true; }, [&] { rig.Click("ExitButton"); });
        rig.Click("ReadNameButton");
        QCOMPARE(rig.Status(), QString("Communications aborted"));
    }

    // ---- an unexpected exception ends the session ----
    void tableErrorEndsTheSession() {
        TWindowRig rig;
        TSimulator sim(rig.home.home.root(), 1);
        sqlite3* other = nullptr;  // another program takes the table mid-transfer
        rig.When([&] { return CountRx(sim.Log(), "3") >= 5; },
                 [&] {
                     sqlite3_open(rig.home.ListFile().c_str(), &other);
                     sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
                 });
        rig.boxes.Answers = {TConfirmAnswer::Yes};
        rig.Click("ReadButton");
        sqlite3_close(other);
        QCOMPARE(rig.boxes.Errors.size(), 1);
        QVERIFY2(rig.boxes.Errors[0].startsWith("IDListTable: "), qPrintable(rig.boxes.Errors[0]));
        QVERIFY(!rig.PortOpen());
        QVERIFY(!rig.Widget<QTimer>("Timer1")->isActive());
        QCOMPARE(rig.Caption(), QString("Exit"));
        QVERIFY(CountRx(sim.Log(), "3") < 10);
        for (const char* b : {"SendNameButton", "ReadNameButton", "DateSpeedButton"})
            QVERIFY(rig.Widget(b)->isEnabled());
    }

    // ---- a group kept on the group server ----
    void groupOnTheServerReadSavedAndSent() {
        TPgTestServer server;
        server.CreateDatabase("lanes");
        const std::string connection = server.Connection("lanes");
        const auto chooseServer = [&](THome&) {
            TPgConnection setup(connection);
            EnsureSchema(setup);
            WriteServerChoice(connection);
            TPgGroupRepository lane1(connection);
            lane1.Open();
            lane1.Add({{kGroup, {}}});
        };
        // The local files are there too, with a group of the same name: never used.
        TWindowRig rig(true, FleetRecords(), chooseServer);
        TSimState preset;
        for (int k = 0; k < 32; ++k)
            preset.Cells[Hex4(0xFF00 + 8 * k)] = Padded("RT" + std::to_string(k));
        for (int k = 0; k < 96; ++k)
            preset.Cells[Hex4(0xFC00 + 8 * k)] = Padded("RV" + std::to_string(k));
        WriteState(rig.home.home.root() / "sim1.state", preset);
        TSimulator sim(rig.home.home.root(), 1);
        QCOMPARE(IDBox(rig.window, 0)->text(), QString());  // the server's group, blank

        rig.boxes.Answers = {TConfirmAnswer::Yes};
        rig.Click("ReadButton");
        QCOMPARE(rig.Status(), QString("IDs successfully acquired"));
        TPgGroupRepository lane2(connection);
        lane2.Open();
        QVERIFY(lane2.Load(kGroup));
        QCOMPARE(lane2.LoadedGroup().IDs().Vehicle[95], Padded("RV95"));
        QCOMPARE(lane2.LoadedGroup().IDs().Trailer[31], Padded("RT31"));
        QCOMPARE(rig.home.ReadGroupFile()[0].Vehicle, std::string("Veh 0"));

        // Typed and saved on this lane, sent from what the server holds.
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
        IDBox(rig.window, 5)->setText("SAVED 5");
        rig.Click("SaveButton");
        QCOMPARE(rig.boxes.Errors, QStringList());
        QVERIFY(lane2.Load(kGroup));
        QCOMPARE(lane2.LoadedGroup().IDs().Vehicle[5], std::string("SAVED 5"));
        rig.Click("SendButton");
        QCOMPARE(rig.Status(), QString("IDs successfully sent"));
        QCOMPARE(sim.State().Cells[Hex4(0xFC00 + 8 * 5)], Padded("SAVED 5"));

        // Another lane saves the group: this one's save is refused, the boxes kept.
        lane2.LoadedGroup().Save({});
        IDBox(rig.window, 6)->setText("MINE 6");
        rig.Click("SaveButton");
        QCOMPARE(rig.boxes.Errors.size(), 1);
        QVERIFY2(rig.boxes.Errors[0].startsWith(
                     "IDListTable: Record was changed by another user: group \"Fleet\" on the "
                     "group server the local socket "),
                 qPrintable(rig.boxes.Errors[0]));
        QCOMPARE(IDBox(rig.window, 6)->text(), QString("MINE 6"));
    }

    void serverDownAtStartIsNamedNotReplaced() {
        std::string socket;
        std::string connection;
        {
            TPgTestServer server;
            server.CreateDatabase("lanes");
            socket = server.SocketDir();
            connection = server.Connection("lanes");
        }  // gone
        TWindowRig rig(true, FleetRecords(), [&](THome&) { WriteServerChoice(connection); });
        QCOMPARE(rig.boxes.Errors.size(), 1);
        QVERIFY2(rig.boxes.Errors[0].startsWith("Cannot use the group server the local socket " +
                                                QString::fromStdString(socket)),
                 qPrintable(rig.boxes.Errors[0]));
        // The local group is not offered in its place.
        QCOMPARE(rig.Widget<QComboBox>("GroupNameComboBox")->count(), 0);
    }

    // ---- closing the window during a transfer ----
    void closeDuringTransferWaitsForItsEnd() {
        TStartedSend run;
        bool visibleAfterClose = false;
        run.When([&] { return CountRx(run.sim.Log(), "2") >= 10; },
                 [&] {
                     run.window->close();  // the close box
                     visibleAfterClose = run.window->isVisible();
                 });
        run.ShowModal();

        QVERIFY(visibleAfterClose);
        QCOMPARE(CountRx(run.sim.Log(), "2"), 128);  // the transfer ran to its end
        QCOMPARE(run.boxes.Shown.size(), std::size_t(0));
        QVERIFY(run.launcher.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(run.window.isNull(), 5000);
    }

    void closeDuringTransferThenCancel() {
        TStartedSend run;
        bool cancelled = false;
        run.When([&] { return CountRx(run.sim.Log(), "2") >= 5; }, [&] { run.window->close(); });
        run.When([&] { return CountRx(run.sim.Log(), "2") >= 8; },
                 [&] {
                     QCOMPARE(run.window->findChild<QAbstractButton*>("ExitButton")->text(),
                              QString("Cancel"));
                     Click(run.window, "ExitButton");
                     cancelled = true;
                 });
        run.ShowModal();

        QVERIFY(cancelled);
        QVERIFY(CountRx(run.sim.Log(), "2") < 20);
        QVERIFY(run.launcher.isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(run.window.isNull(), 5000);
    }

private:
    // Each step on its own timer: a timer whose handler is still running (a click
    // that runs a whole transfer) does not fire again.
    static void Script(QWidget* owner, std::function<bool()> when, std::function<void()> what) {
        auto* timer = new QTimer(owner);
        timer->setInterval(5);
        QObject::connect(timer, &QTimer::timeout, timer, [timer, when, what] {
            if (!when()) return;
            timer->stop();
            what();
        });
        timer->start();
    }
    static void Click(QWidget* window, const char* button) {
        window->findChild<QAbstractButton*>(QString::fromLatin1(button))->click();
    }

    // Start as the user presses it: the launcher, a window made from it with the group
    // on disk, and from inside its modal show the group chosen and Send clicked. More
    // steps are added with When before ShowModal.
    struct TStartedSend {
        TStartedSend() {
            home.WriteGroup();
            launcher.show();
            window = launcher.CreateConfigWindow();
            When([] { return true; }, [this] { ChooseGroup(window, QString::fromUtf8(kGroup)); });
            When([this] { return Child(window, "PageControl")->isEnabled(); },
                 [this] { Click(window, "SendButton"); });
        }
        void When(std::function<bool()> when, std::function<void()> what) {
            Script(window, std::move(when), std::move(what));
        }
        void ShowModal() {
            launcher.hide();
            window->ShowModal();
        }

        THome home;
        TSimulator sim{home.home.root(), 1};
        TScriptedBoxes boxes;
        TForm1 launcher;
        QPointer<TIDForm> window;
    };
};

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    TScriptedBoxes outsideTheRigs;  // no box may wait for a click
    TE2ETests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "e2e_tests.moc"
