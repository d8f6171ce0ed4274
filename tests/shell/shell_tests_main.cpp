// The window tests run in the program's own application object, so that the
// error box for exceptions leaving handlers is the program's.
#include <QTest>

#include "BoxesTests.h"
#include "IDFormTests.h"
#include "LauncherTests.h"
#include "shell/THaltguardApplication.h"

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    int failed = 0;
    {
        TBoxesTests boxes;
        failed += QTest::qExec(&boxes, argc, argv);
    }
    {
        TLauncherTests launcher;
        failed += QTest::qExec(&launcher, argc, argv);
    }
    {
        TIDFormStateTests state;
        TIDFormKeyTests keys;
        TIDFormGroupTests groups;
        TIDFormClosingTests closing;
        TIDFormUnsavedTests unsaved;
        for (QObject* window :
             std::initializer_list<QObject*>{&state, &keys, &groups, &closing, &unsaved})
            failed += QTest::qExec(window, argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
