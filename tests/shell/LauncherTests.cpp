#include "LauncherTests.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "ShellSupport.h"

void TLauncherTests::layoutAndPicture() {
    TShellHome home;
    TForm1 launcher;
    QCOMPARE(launcher.objectName(), QStringLiteral("Form1"));
    QCOMPARE(launcher.windowTitle(), QStringLiteral("Haltguard IDs"));
    QCOMPARE(launcher.size(), QSize(313, 306));
    QCOMPARE(launcher.minimumSize(), launcher.maximumSize());
    auto* panel1 = Child<QFrame>(&launcher, "Panel1");
    auto* panel2 = Child<QLabel>(&launcher, "Panel2");
    auto* start = Child<QPushButton>(&launcher, "Button1");
    auto* exit = Child<QPushButton>(&launcher, "Button2");
    auto* image = Child<QLabel>(&launcher, "Image1");
    QVERIFY(panel1 && panel2 && start && exit && image);
    QCOMPARE(panel1->geometry(), QRect(0, 264, 313, 41));
    QCOMPARE(panel2->geometry(), QRect(0, 232, 313, 25));
    QCOMPARE(panel2->text(), QStringLiteral("Haltguard IDs 1.1.5"));
    QCOMPARE(start->parentWidget(), panel1);
    QCOMPARE(start->geometry(), QRect(47, 8, 75, 25));
    QCOMPARE(start->text(), QStringLiteral("Start"));
    QCOMPARE(exit->geometry(), QRect(191, 8, 75, 25));
    QCOMPARE(exit->text(), QStringLiteral("Exit"));
    QCOMPARE(image->geometry(), QRect(8, 8, 297, 217));

    // The stored picture: 200 x 200, 256 colours, white in the bottom-left corner.
    const QImage stored(QStringLiteral(":/shell/logo.bmp"));
    QCOMPARE(stored.size(), QSize(200, 200));
    QCOMPARE(stored.format(), QImage::Format_Indexed8);
    QCOMPARE(stored.colorCount(), 256);
    QCOMPARE(QColor(stored.pixel(0, 199)), QColor(Qt::white));
    // Drawn at its own size, centred: 48, 8 inside the picture area; white is
    // transparent, the rest opaque.
    const QPixmap shown = image->pixmap();
    QCOMPARE(shown.size(), QSize(200, 200));
    QCOMPARE((image->width() - shown.width()) / 2, 48);
    QCOMPARE((image->height() - shown.height()) / 2, 8);
    const QImage drawn = shown.toImage();
    QCOMPARE(qAlpha(drawn.pixel(0, 199)), 0);
    QCOMPARE(qAlpha(drawn.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(drawn.pixel(100, 100)), 255);

    // Tab order: Start, then Exit.
    QCOMPARE(start->nextInFocusChain(), exit);
    launcher.show();
    QVERIFY(QTest::qWaitForWindowExposed(&launcher));
    // Centred on the screen.
    const QRect desk = launcher.screen()->availableGeometry();
    QVERIFY(qAbs(launcher.frameGeometry().center().x() - desk.center().x()) <= 2);
    QVERIFY(qAbs(launcher.frameGeometry().center().y() - desk.center().y()) <= 2);
}

void TLauncherTests::startShowsANewWindowModally() {
    TShellHome home;
    TScriptedBoxes boxes;
    TForm1 launcher;
    TIDForm* startup = launcher.CreateConfigWindow();
    launcher.show();
    bool looked = false;
    QPointer<TIDForm> first = RunStart(launcher, [&](TIDForm* w) {
        QVERIFY(w != startup);
        QVERIFY(!launcher.isVisible());
        QVERIFY(w->isModal());
        QCOMPARE(QApplication::activeModalWidget(), w);
        const QRect desk = w->screen()->availableGeometry();
        QVERIFY(qAbs(w->frameGeometry().center().x() - desk.center().x()) <= 2);
        looked = true;
    });
    QVERIFY(looked);
    QVERIFY(launcher.isVisible());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    Settle();
    QVERIFY(first.isNull());
}

void TLauncherTests::secondStartGivesAFreshWindow() {
    TShellHome home;
    home.AddGroup("Depot", true);
    TScriptedBoxes boxes;
    TForm1 launcher;
    launcher.show();
    RunStart(launcher, [&](TIDForm* w) {
        ChooseGroup(w, QStringLiteral("Depot"));
        Settle();
        QCOMPARE(IDBox(w, 1)->text(), QStringLiteral("V1"));
        Child<QLineEdit>(w, "CompanyNameEdit")->setText(QStringLiteral("ACME"));
        w->findChild<QTabWidget*>(QStringLiteral("PageControl"))->setCurrentIndex(3);
        w->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
    });
    Settle();
    bool fresh = false;
    RunStart(launcher, [&](TIDForm* w) {
        QVERIFY(ConfigWindows().size() == 1);
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("GroupNameComboBox"));
        QCOMPARE(combo->currentIndex(), -1);
        auto* pages = w->findChild<QTabWidget*>(QStringLiteral("PageControl"));
        QVERIFY(!pages->isEnabled());
        QCOMPARE(pages->currentIndex(), 0);
        QCOMPARE(w->findChild<QTabWidget*>(QStringLiteral("PageControl1"))->currentIndex(), 0);
        for (int k = 0; k < 128; ++k) QCOMPARE(IDBox(w, k)->text(), QString());
        QCOMPARE(Child<QLineEdit>(w, "CompanyNameEdit")->text(), QString());
        fresh = true;
    });
    QVERIFY(fresh);
}

void TLauncherTests::hiddenStartupWindowIsNeverShown() {
    TShellHome home;
    TScriptedBoxes boxes;
    TForm1 launcher;
    QPointer<TIDForm> startup = launcher.CreateConfigWindow();
    launcher.show();
    RunStart(launcher, [](TIDForm*) {});
    RunStart(launcher, [](TIDForm*) {});
    Settle();
    QVERIFY(startup);
    // Never shown (nor hidden) by anyone.
    QVERIFY(!startup->testAttribute(Qt::WA_WState_ExplicitShowHide));
    // Asked to close (the end of the session), it agrees and shows nothing.
    QVERIFY(startup->close());
    QVERIFY(!startup->testAttribute(Qt::WA_WState_ExplicitShowHide));
    QVERIFY(launcher.isVisible());
    QVERIFY(boxes.Informations.empty() && boxes.Questions.empty());
    QVERIFY(boxes.Errors.isEmpty());
    Settle();
    QVERIFY(startup);  // lives until the program ends
    QCOMPARE(ConfigWindows(), std::vector<TIDForm*>{startup.data()});
}

void TLauncherTests::exitAndCloseBoxEndTheProgram() {
    TShellHome home;
    for (int way = 0; way < 2; ++way) {
        TForm1 launcher;
        launcher.CreateConfigWindow();
        launcher.show();
        QTimer::singleShot(0, &launcher, [&] {
            if (way == 0)
                QTest::mouseClick(launcher.findChild<QPushButton*>(QStringLiteral("Button2")),
                                  Qt::LeftButton);
            else
                launcher.close();
        });
        QTimer watchdog;
        QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(10000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!launcher.isVisible());
    }
}

void TLauncherTests::windowsStillAliveAreDestroyedAtTheEnd() {
    TShellHome home;
    QPointer<TIDForm> startup, other;
    {
        TForm1 launcher;
        startup = launcher.CreateConfigWindow();
        other = launcher.CreateConfigWindow();
        QVERIFY(startup && other);
    }
    QVERIFY(startup.isNull());
    QVERIFY(other.isNull());
}
