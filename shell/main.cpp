// Haltguard IDs: keeps ID groups of vehicles and trailers and loads them into the
// tester over a serial line.
#include <memory>

#include "shell/TForm1.h"
#include "shell/THaltguardApplication.h"

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    // The launcher first: it is the main window.
    auto form1 = std::make_unique<TForm1>();
    // One configuration window made now and never shown, so that the groups table
    // has been opened before the launcher appears.
    form1->CreateConfigWindow();
    form1->show();
    const int result = THaltguardApplication::exec();
    // Every window still alive goes now, closing its tables.
    form1.reset();
    return result;
}
