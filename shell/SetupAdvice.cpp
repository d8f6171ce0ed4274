#include "shell/SetupAdvice.h"

#include "shell/ExceptionBox.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// The store's texts for a missing groups directory and a missing groups table.
bool SetupToolHasNotRun(const std::string& openError) {
    return StartsWith(openError, "Network control directory does not exist: ") ||
           StartsWith(openError, "IDGroupTable: Table does not exist: ");
}

}  // namespace

std::string WithSetupAdvice(const std::string& openError) {
    if (!SetupToolHasNotRun(openError)) return openError;
#ifdef _WIN32
    // The installer runs it once; it sits beside the program.
    const char* const advice =
        "Run haltguard-ids-setup.exe from the program's folder to create it.";
#else
    const char* const advice = "Run haltguard-ids-setup to create it.";
#endif
    return ExceptionBoxText(openError) + "\n" + advice;
}
