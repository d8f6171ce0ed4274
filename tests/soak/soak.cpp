// Soak: rounds of Save, Send IDs and Read IDs against a simulator that drops every
// 11th reply and puts noise before every 7th. After every round each stored cell
// must equal the simulator's, and the program's resident memory must not creep.
// Not part of `make test`: `make soak` (SOAK_ROUNDS, default 20) runs it.
#include <unistd.h>

#include <QTest>
#include <cstdio>
#include <fstream>

#include "shell/THaltguardApplication.h"
#include "tests/e2e/e2e_Support.h"

using namespace e2e;

namespace {

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string Cell(std::string text) {
    text.resize(16, ' ');
    return text;
}

int Rounds() {
    const char* n = std::getenv("SOAK_ROUNDS");
    return n ? std::max(1, std::atoi(n)) : 20;
}

}  // namespace

class TSoak : public QObject {
    Q_OBJECT
private slots:
    void sendAndReadRounds() {
        TWindowRig rig;
        TSimulator sim(rig.home.home.root(), 1, {"--garbage-every", "7", "--drop-every", "11"});
        long residentAfterFirst = 0;
        QElapsedTimer clock;
        for (int round = 1; round <= Rounds(); ++round) {
            clock.start();
            for (int k = 0; k < 96; ++k)
                IDBox(rig.window, k)->setText(QString("R%1 V%2").arg(round).arg(k));
            for (int k = 0; k < 32; ++k)
                IDBox(rig.window, 96 + k)->setText(QString("R%1 T%2").arg(round).arg(k));
            rig.Click("SaveButton");

            rig.Click("SendButton");
            QCOMPARE(rig.Status(), QString("IDs successfully sent"));
            QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);

            rig.boxes.Answers = {TConfirmAnswer::Yes};
            rig.Click("ReadButton");
            QCOMPARE(rig.Status(), QString("IDs successfully acquired"));
            QTRY_VERIFY_WITH_TIMEOUT(!rig.StatusBoxShown(), 5000);

            const auto file = rig.home.ReadGroupFile();
            TSimState state = sim.State();
            QCOMPARE(file.size(), std::size_t(96));
            for (int k = 0; k < 96; ++k) {
                const std::string vehicle =
                    Cell("R" + std::to_string(round) + " V" + std::to_string(k));
                QCOMPARE(state.Cells[Hex4(0xFC00 + 8 * k)], vehicle);
                QCOMPARE(file[k].Vehicle, vehicle);
                if (k < 32) {
                    const std::string trailer =
                        Cell("R" + std::to_string(round) + " T" + std::to_string(k));
                    QCOMPARE(state.Cells[Hex4(0xFF00 + 8 * k)], trailer);
                    QCOMPARE(file[k].Trailer, trailer);
                }
            }
            QVERIFY(rig.boxes.Errors.isEmpty());
            const long resident = ResidentKiB();
            if (round == 1) residentAfterFirst = resident;
            std::printf("round %d: %.1f s, %ld KiB resident, %d beeps so far\n", round,
                        clock.elapsed() / 1000.0, resident, rig.Beeps());
            std::fflush(stdout);
        }
        const long last = ResidentKiB();
        std::printf("resident after round 1: %ld KiB, after the last: %ld KiB (%+.1f %%)\n",
                    residentAfterFirst, last,
                    100.0 * double(last - residentAfterFirst) / double(residentAfterFirst));
        QVERIFY(last <= residentAfterFirst * 105 / 100);
    }
};

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    TScriptedBoxes outsideTheRigs;  // no box may wait for a click
    TSoak soak;
    return QTest::qExec(&soak, argc, argv);
}

#include "soak.moc"
