// End to end on Windows: the real configuration window, cross-built and run under
// Wine, against the tester simulator that `make wine-app-tests` runs natively on the
// COM port it names (HG_WINE_SIM_COM), with its log and state file in HG_WINE_SIM_DIR.
// The simulator keeps its cells for the whole run, so Read IDs reads back what Send
// IDs wrote; the functions run in the order they stand.
#include <QTabWidget>
#include <QTest>
#include <cstdlib>
#include <ctime>

#include "shell/THaltguardApplication.h"
#include "tests/e2e/e2e_Support.h"

using namespace e2e;

namespace {

std::string Padded(std::string text) {
    text.resize(16, ' ');
    return text;
}

QString Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? QString::fromLocal8Bit(value) : QString();
}

// The simulator's log, from a given line on: what this test made it do.
std::vector<TLogLine> LogSince(std::size_t first) {
    auto log = ReadLog(Env("HG_WINE_SIM_DIR").toStdString() + "/sim" +
                       Env("HG_WINE_SIM_COM").toStdString() + ".log");
    log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(std::min(first, log.size())));
    return log;
}

TSimState SimState() {
    return ReadState(Env("HG_WINE_SIM_DIR").toStdString() + "/sim" +
                     Env("HG_WINE_SIM_COM").toStdString() + ".state");
}

QString OnPort(const char* what) {
    return QString::fromLatin1(what) + " on Com" + Env("HG_WINE_SIM_COM");
}

}  // namespace

class TWin32E2ETests : public QObject {
    Q_OBJECT

private slots:
    void init() {
        if (Env("HG_WINE_SIM_COM").isEmpty() || Env("HG_WINE_SIM_DIR").isEmpty())
            QSKIP("no simulator on a COM port; run `make wine-app-tests`");
        logStart_ = LogSince(0).size();
    }

    void sendIds() {
        std::vector<TRecord> records = FleetRecords();
        records[7].Vehicle = "Caf\xC3\xA9 7";
        TWindowRig rig(true, records);
        rig.WatchStatus();
        rig.Click("SendButton");
        QCOMPARE(rig.Status(), QString("IDs successfully sent"));
        QVERIFY(std::find(rig.StatusHistory.begin(), rig.StatusHistory.end(),
                          OnPort("Sending IDs")) != rig.StatusHistory.end());
        const auto writes = Received(LogSince(logStart_), "2");
        QCOMPARE(writes.size(), std::size_t(128));
        QCOMPARE(writes.front().Address, std::string("FF00"));
        QCOMPARE(writes.back().Address, std::string("FEF8"));
        const TSimState state = SimState();
        QCOMPARE(state.Cells.at("FC00"), Padded("Veh 0"));
        QCOMPARE(state.Cells.at("FC38"), Padded("Caf\xE9 7"));  // Windows-1252 on the line
        QCOMPARE(state.Cells.at("FFF8"), Padded("Trl 31"));
        QStringList shown;
        for (const QString& line : rig.StatusHistory) shown << line;
        QVERIFY2(rig.Beeps() == 0, qPrintable(shown.join(" | ")));
        QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);
    }

    void readIds() {
        TWindowRig rig(true, std::vector<TRecord>(96));
        rig.boxes.Answers = {TConfirmAnswer::Yes};
        rig.Click("ReadButton");
        QCOMPARE(rig.Status(), QString("IDs successfully acquired"));
        QCOMPARE(Received(LogSince(logStart_), "3").size(), std::size_t(128));
        const auto file = rig.home.ReadGroupFile();
        QCOMPARE(file.size(), std::size_t(96));
        QCOMPARE(file[0].Trailer, Padded("Trl 0"));
        QCOMPARE(file[7].Vehicle, std::string("Caf\xC3\xA9 7") + std::string(10, ' '));
        QCOMPARE(file[95].Vehicle, Padded("Veh 95"));
        QCOMPARE(file[32].Trailer, std::string());
    }

    void companyNameSendAndRead() {
        TWindowRig rig(false);
        auto* name = rig.Widget<QLineEdit>("CompanyNameEdit");
        rig.window->findChild<QTabWidget*>("PageControl1")
            ->setCurrentWidget(rig.window->findChild<QWidget*>("TabSheet2"));
        name->setText(QString::fromUtf8("H\xC3\xA9lix Ltd"));
        rig.Click("SendNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully sent"));
        QCOMPARE(SimState().Cells.at("01C2"), Padded("H\xE9lix Ltd"));
        name->clear();
        rig.Click("ReadNameButton");
        QCOMPARE(rig.Status(), QString("Company ID successfully acquired"));
        QCOMPARE(name->text(), QString::fromUtf8("H\xC3\xA9lix Ltd") + QString(7, ' '));
    }

    void clockSetToThePCsTime() {
        TWindowRig rig(false);
        const std::time_t before = std::time(nullptr);
        rig.Click("DateSpeedButton");
        const std::time_t after = std::time(nullptr);
        QCOMPARE(rig.Status(), QString("Date set"));
        const auto clocks = Received(LogSince(logStart_), "D");
        QCOMPARE(clocks.size(), std::size_t(1));
        const std::string& d = clocks[0].Data;
        QCOMPARE(d.size(), std::size_t(14));
        // The digits read yyMMdd??HHmmss: in that order they compare as the moments do.
        auto digits = [&d](std::time_t moment) {
            char text[16];
            std::strftime(text, sizeof text, "%y%m%d..%H%M%S", std::localtime(&moment));
            return std::string(text).replace(6, 2, d.substr(6, 2));
        };
        QVERIFY2(digits(before) <= d && d <= digits(after), d.c_str());
        QCOMPARE(SimState().Clock, d);
    }

private:
    std::size_t logStart_ = 0;
};

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    TScriptedBoxes outsideTheRigs;  // no box may wait for a click
    TWin32E2ETests tests;
    return QTest::qExec(&tests, argc, argv);
}

#include "win32_e2e_tests.moc"
