// The port selection dialog, offscreen.
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "serial/TComSelectForm.h"
#include "serial/TVarnComPort.h"
#include "serial/VarnExceptions.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using serial_test::PtyPair;

class ComSelectFormTest : public QObject {
    Q_OBJECT

private:
    // Presses a button of the dialog once it is shown modally.
    static void PressLater(const char* button) {
        QTimer::singleShot(0, [button] {
            auto* form = qobject_cast<TComSelectForm*>(QApplication::activeModalWidget());
            QVERIFY(form);
            QTest::mouseClick(form->findChild<QPushButton*>(button), Qt::LeftButton);
        });
    }

private slots:
    void listsTheAvailablePortsAndGivesTheChosenOne() {
        TempHome home;
        PtyPair one, three;
        one.LinkAs(home.portsDir(), 1);
        three.LinkAs(home.portsDir(), 3);
        std::filesystem::create_symlink(home.root() / "gone", home.portsDir() / "com2");

        TComSelectForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("Oxil Select Port"));
        QCOMPARE(form.size(), QSize(220, 131));
        auto* box = form.findChild<QComboBox*>("PortsComboBox");
        QVERIFY(box);
        QCOMPARE(box->count(), 2);
        QCOMPARE(box->itemText(0), QStringLiteral("COM1"));
        QCOMPARE(box->itemText(1), QStringLiteral("COM3"));
        QCOMPARE(box->currentIndex(), 0);
        QCOMPARE(form.ChosenPort(), uint16_t{1});
        auto* ok = form.findChild<QPushButton*>("OkBtn");
        QVERIFY(ok && ok->isDefault() && ok->isEnabled());
        QCOMPARE(form.findChild<QPushButton*>("AbortBtn")->text(), QStringLiteral("Cancel"));

        box->setCurrentIndex(1);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(form.result(), int(QDialog::Accepted));
        QCOMPARE(form.ChosenPort(), uint16_t{3});
    }

    void thePortAsksThroughTheDialog() {
        TempHome home;
        PtyPair three;
        three.LinkAs(home.portsDir(), 3);
        TVarnComPort port;
        UsePortDialog(port);

        PressLater("AbortBtn");
        try {
            port.SetOpen(true);
            QFAIL("opened without a port");
        } catch (const ENoPortSelected& e) {
            QCOMPARE(QString(e.what()),
                     QStringLiteral("The ComNumber property of the TVarnComPort has not been set"));
        }
        QVERIFY(!port.Open());

        // The close box is no choice either.
        QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
        QVERIFY_THROWS_EXCEPTION(ENoPortSelected, port.SetOpen(true));

        PressLater("OkBtn");
        port.SetOpen(true);
        QVERIFY(port.Open());
        QCOMPARE(port.ComNumber(), uint16_t{3});
    }

    void withNoPortOkIsNotOffered() {
        TempHome home;
        std::filesystem::create_directories(home.portsDir());  // an empty folder: no ports
        TComSelectForm form;
        QCOMPARE(form.findChild<QComboBox*>("PortsComboBox")->count(), 0);
        QVERIFY(!form.findChild<QPushButton*>("OkBtn")->isEnabled());
        QCOMPARE(form.ChosenPort(), uint16_t{0});
    }
};

QTEST_MAIN(ComSelectFormTest)
#include "ComSelectFormTest.moc"
