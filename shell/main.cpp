// Haltguard IDs: keeps ID groups of vehicles and trailers and loads them into the
// tester over a serial line.
#include "shell/StartUp.h"
#include "shell/THaltguardApplication.h"

int main(int argc, char** argv) {
    THaltguardApplication app(argc, argv);
    return RunStartUp();
}
