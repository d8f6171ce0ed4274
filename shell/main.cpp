// Haltguard IDs: keeps ID groups of vehicles and trailers and loads them into the
// tester over a serial line.
#include <iostream>
#include <string>

#include "shell/DisplayCheck.h"
#include "shell/StartUp.h"
#include "shell/THaltguardApplication.h"

int main(int argc, char** argv) {
    if (const std::string missing = MissingDisplayMessage(argc, argv); !missing.empty()) {
        std::cerr << missing << '\n';
        return 1;
    }
    THaltguardApplication app(argc, argv);
    return RunStartUp();
}
