// Haltguard IDs: keeps ID groups of vehicles and trailers and loads them into the
// tester over a serial line.
#include <iostream>
#include <memory>
#include <string>

#include "shell/DisplayCheck.h"
#include "shell/TForm1.h"
#include "shell/THaltguardApplication.h"

int main(int argc, char** argv) {
    if (const std::string missing = MissingDisplayMessage(argc, argv); !missing.empty()) {
        std::cerr << missing << '\n';
        return 1;
    }
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
