#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTabWidget>
#include <memory>

#include "IDFormTests.h"
#include "ShellSupport.h"

namespace {

// One window for all the key filter's cases, its ID pages enabled.
struct TKeyRig {
    TShellHome home;
    TScriptedBoxes boxes;
    TIDForm window;
};
std::unique_ptr<TKeyRig> rig;

}  // namespace

void TIDFormKeyTests::initTestCase() {
    rig = std::make_unique<TKeyRig>();
    rig->window.show();
    ChooseGroup(&rig->window, QString());  // closing the list enables the pages
    Settle();
}

void TIDFormKeyTests::init() {
    rig->boxes.Clear();
}

void TIDFormKeyTests::cleanupTestCase() {
    rig.reset();
}

void TIDFormKeyTests::typedCharactersPassTheKeyFilter() {
    TScriptedBoxes& boxes = rig->boxes;
    QLineEdit* box = IDBox(&rig->window, 5);
    // The ranges themselves are the key rule's own tests; here the road through the
    // box, at the edges where Windows-1252 differs from Latin-1 and from ASCII, and
    // characters without a Windows-1252 code, refused like refused codes.
    const std::pair<QString, bool> cases[] = {{CharOfCode(31), true},
                                              {CharOfCode(45), true},
                                              {CharOfCode(46), false},
                                              {CharOfCode(127), false},
                                              {CharOfCode(128), false},
                                              {CharOfCode(150), false},
                                              {CharOfCode(151), true},
                                              {CharOfCode(233), true},
                                              {QStringLiteral("\u2603"), false},
                                              {QString::fromUcs4(U"\U0001F600", 1), false}};
    for (const auto& [ch, accepted] : cases) {
        box->setText(QStringLiteral("ab"));
        box->setCursorPosition(1);
        boxes.Clear();
        TypeText(box, ch);
        // Taken, it goes in at the caret (a control code types nothing); refused, the
        // message, and the box's text and caret stay.
        const QString label = QStringLiteral("U+%1").arg(ch.toUcs4().value(0), 4, 16);
        QVERIFY2(box->text() == (accepted && ch >= " " ? "a" + ch + "b" : "ab"), qPrintable(label));
        QVERIFY2(boxes.Informations.size() == (accepted ? 0u : 1u), qPrintable(label));
        QVERIFY2(accepted || (boxes.Informations[0] == kRejected && box->cursorPosition() == 1),
                 qPrintable(label));
    }
    // Several characters in one key or an input method's commit: one message for each
    // refused character, the others go in.
    box->setText(QStringLiteral("ab"));
    boxes.Clear();
    TypeText(box, QStringLiteral("c.d"));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("e!\u00E9\u2603f"));
    QApplication::sendEvent(box, &commit);
    QCOMPARE(box->text(), QStringLiteral("abcde\u00E9f"));
    QCOMPARE(boxes.Informations, std::vector<std::string>(3, kRejected));
    // Through the keyboard as QTest types it: full stop refused, hyphen taken.
    box->clear();
    boxes.Clear();
    QTest::keyClicks(box, "A-1.b");
    QCOMPARE(box->text(), QStringLiteral("A-1b"));
    QCOMPARE(boxes.Informations.size(), size_t(1));
}

void TIDFormKeyTests::keysWithoutCharactersAndControlCodes() {
    TScriptedBoxes& boxes = rig->boxes;
    TIDForm& w = rig->window;
    QLineEdit* box = IDBox(&w, 0);
    box->setText(QStringLiteral("abcd"));
    box->setCursorPosition(2);
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(box->text(), QStringLiteral("acd"));
    QTest::keyClick(box, Qt::Key_Delete);  // carries code 127, but types nothing
    QCOMPARE(box->text(), QStringLiteral("ad"));
    QTest::keyClick(box, Qt::Key_Left);
    QTest::keyClick(box, Qt::Key_Home);
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Tab);
    QVERIFY(boxes.Informations.empty());
    QVERIFY(w.isVisible());
}

void TIDFormKeyTests::pasteIsNotFilteredButLosesWhatHasNoCode() {
    TScriptedBoxes& boxes = rig->boxes;
    TIDForm& w = rig->window;
    QLineEdit* box = IDBox(&w, 100);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("A.b/\u20AC\u2603\u00E9!"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("A.b/\u20AC\u00E9!"));
    box->setCursorPosition(2);
    clipboard->setText(QStringLiteral("\u2603x"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("A.xb/\u20AC\u00E9!"));
    QCOMPARE(box->cursorPosition(), 3);
    // The keyboard's paste takes the same road.
    box->clear();
    clipboard->setText(QStringLiteral("x.y"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text(), QStringLiteral("x.y"));
    // The length limit holds for pasted text.
    box->clear();
    clipboard->setText(QStringLiteral("0123456789abcdefXYZ"));
    box->paste();
    QCOMPARE(box->text(), QStringLiteral("0123456789abcdef"));
    QVERIFY(boxes.Informations.empty());
}

void TIDFormKeyTests::seventeenthCharacter() {
    TScriptedBoxes& boxes = rig->boxes;
    TIDForm& w = rig->window;
    QLineEdit* box = IDBox(&w, 40);
    QTest::keyClicks(box, "ABCDEFGHIJKLMNOP");
    QCOMPARE(box->text().size(), 16);
    TypeText(box, QStringLiteral("Q"), Qt::Key_Q);
    QCOMPARE(box->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
    QVERIFY(boxes.Informations.empty());
    TypeText(box, QStringLiteral("."), Qt::Key_Period);
    QCOMPARE(boxes.Informations, std::vector<std::string>{kRejected});
    QCOMPARE(box->text(), QStringLiteral("ABCDEFGHIJKLMNOP"));
}

void TIDFormKeyTests::companyNameHasNoFilter() {
    TScriptedBoxes& boxes = rig->boxes;
    TIDForm& w = rig->window;
    auto* company = Child<QLineEdit>(&w, "CompanyNameEdit");
    Child<QTabWidget>(&w, "PageControl1")->setCurrentIndex(1);
    QTest::keyClicks(company, "A.B/C:@[{~");
    TypeText(company, CharOfCode(128));
    TypeText(company, CharOfCode(127));
    QCOMPARE(company->text(), QStringLiteral("A.B/C:@[{~\u20AC"));
    QTest::keyClicks(company, "123456789");
    QCOMPARE(company->text().size(), 16);
    QVERIFY(boxes.Informations.empty());
}
