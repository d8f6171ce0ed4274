#include "shell/SetupAdvice.h"

#include "shell/ExceptionBox.h"
#include "store/StoreErrors.h"

std::string WithSetupAdvice(const std::exception& openError) {
    if (!dynamic_cast<const EStoreNotSetUp*>(&openError)) return openError.what();
#ifdef _WIN32
    // The installer runs it once; it sits beside the program.
    const char* const advice =
        "Run haltguard-ids-setup.exe from the program's folder to create it.";
#else
    const char* const advice = "Run haltguard-ids-setup to create it.";
#endif
    return ExceptionBoxText(openError.what()) + "\n" + advice;
}
