#include "BoxesTests.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <thread>

#include "ShellSupport.h"
#include "serial/WorkerErrors.h"
#include "shell/ExceptionBox.h"
#include "shell/TQtMessageBoxes.h"

namespace {

// Runs `look` on the next modal box as soon as it is up.
void OnNextBox(std::function<void(QWidget*)> look) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, look] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        look(box);
    });
    poll->start(10);
}

QStringList ButtonTexts(QMessageBox* box) {
    QStringList texts;
    for (QAbstractButton* button : box->buttons()) texts << button->text();
    texts.sort();
    return texts;
}

bool CentredOnScreen(QWidget* box) {
    const QRect desk = box->screen()->availableGeometry();
    return qAbs(box->frameGeometry().center().x() - desk.center().x()) <= 2 &&
           qAbs(box->frameGeometry().center().y() - desk.center().y()) <= 2;
}

}  // namespace

void TBoxesTests::informationBox() {
    TQtMessageBoxes boxes;
    bool looked = false;
    OnNextBox([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Information"));
        QCOMPARE(box->icon(), QMessageBox::Information);
        QCOMPARE(box->text(), QStringLiteral("line one\nline two <b>not bold</b>"));
        QCOMPARE(box->textFormat(), Qt::PlainText);
        QCOMPARE(ButtonTexts(box), QStringList({"OK"}));
        QCOMPARE(box->defaultButton(), box->escapeButton());
        QVERIFY(CentredOnScreen(box));
        looked = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    boxes.Information("line one\r\nline two <b>not bold</b>");
    QVERIFY(looked);
}

void TBoxesTests::confirmationBox() {
    TQtMessageBoxes boxes;
    bool looked = false;
    OnNextBox([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Confirm"));
        QCOMPARE(box->icon(), QMessageBox::Question);
        QCOMPARE(ButtonTexts(box), QStringList({"&No", "&Yes", "Cancel"}));
        QCOMPARE(box->defaultButton()->text(), QStringLiteral("&Yes"));
        QVERIFY(CentredOnScreen(box));
        looked = true;
        QTest::keyClick(box, Qt::Key_Escape);
    });
    QCOMPARE(boxes.Confirm("Delete the X Group?"), TConfirmAnswer::Cancel);
    QVERIFY(looked);
    OnNextBox([](QWidget* w) { QTest::keyClick(w, Qt::Key_Return); });
    QCOMPARE(boxes.Confirm("Q?"), TConfirmAnswer::Yes);
    OnNextBox([](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("&No")) button->click();
    });
    QCOMPARE(boxes.Confirm("Q?"), TConfirmAnswer::No);
    OnNextBox([](QWidget* w) { w->close(); });
    QCOMPARE(boxes.Confirm("Q?"), TConfirmAnswer::Cancel);
}

void TBoxesTests::inputBox() {
    TQtMessageBoxes boxes;
    bool looked = false;
    OnNextBox([&](QWidget* w) {
        auto* box = qobject_cast<TInputBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QStringLiteral("Identities - New Group"));
        QVERIFY(box->findChild<QLabel*>()->text() ==
                QStringLiteral("Please Enter a new group name"));
        QCOMPARE(box->findChild<QLineEdit*>()->maxLength(), 255);
        QCOMPARE(box->findChild<QLineEdit*>()->selectedText(), QStringLiteral("New"));
        QVERIFY(CentredOnScreen(box));
        // Typing replaces the selected preset; Enter is OK.
        QTest::keyClicks(box->findChild<QLineEdit*>(), "Depot 7");
        box->findChild<QLineEdit*>()->insert(
            QStringLiteral("\u2603"));  // no Windows-1252 code: dropped
        looked = true;
        QTest::keyClick(box->findChild<QLineEdit*>(), Qt::Key_Return);
    });
    QCOMPARE(boxes.InputBox("Identities - New Group", "Please Enter a new group name", "New"),
             std::string("Depot 7"));
    QVERIFY(looked);
    // Esc and the close box give the preset back, edited or not.
    OnNextBox([](QWidget* w) {
        auto* box = qobject_cast<TInputBox*>(w);
        QTest::keyClicks(box->findChild<QLineEdit*>(), "changed");
        QTest::keyClick(box->findChild<QLineEdit*>(), Qt::Key_Escape);
    });
    QCOMPARE(boxes.InputBox("C", "P", "New"), std::string("New"));
    OnNextBox([](QWidget* w) {
        w->findChild<QLineEdit*>()->setText(QStringLiteral("changed"));
        w->close();
    });
    QCOMPARE(boxes.InputBox("C", "P", "New"), std::string("New"));
    // At most 255 characters.
    OnNextBox([](QWidget* w) {
        auto* box = qobject_cast<TInputBox*>(w);
        box->findChild<QLineEdit*>()->setText(QString(300, u'z'));
        QTest::keyClick(box->findChild<QLineEdit*>(), Qt::Key_Return);
    });
    QCOMPARE(boxes.InputBox("C", "P", "New").size(), size_t(255));
}

void TBoxesTests::errorBox() {
    bool looked = false;
    OnNextBox([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        QVERIFY(box);
        QCOMPARE(box->windowTitle(), QCoreApplication::applicationName());
        QCOMPARE(box->windowTitle(), QStringLiteral("shell_tests"));
        QCOMPARE(box->icon(), QMessageBox::Critical);
        QCOMPARE(box->text(), QStringLiteral("IDGroupTable: Table not found."));
        QCOMPARE(box->buttons().size(), 1);
        looked = true;
        QTest::keyClick(box, Qt::Key_Return);
    });
    ShowExceptionBox(std::runtime_error("IDGroupTable: Table not found"));
    QVERIFY(looked);
}

namespace {

class TThrowingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User) throw std::runtime_error("handler failed: code 7");
        return QObject::event(e);
    }
};

}  // namespace

void TBoxesTests::exceptionLeavingAHandler() {
    TScriptedBoxes boxes;
    TThrowingObject target;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(boxes.Errors, QStringList({"handler failed: code 7."}));
    QCOMPARE(boxes.ErrorCaptions, QStringList({"shell_tests"}));
    // The program goes on.
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::processEvents();
    QCOMPARE(boxes.Errors.size(), 2);
}

void TBoxesTests::workerErrorsReachTheErrorBox() {
    TScriptedBoxes boxes;
    std::thread worker([] { ReportWorkerError("Read worker stopped: I/O error"); });
    worker.join();
    QVERIFY(boxes.Errors.isEmpty());  // shown on the GUI thread, not the worker's
    QTRY_COMPARE(boxes.Errors, QStringList({"Read worker stopped: I/O error."}));
}
