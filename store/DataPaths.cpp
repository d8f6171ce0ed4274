#include "store/DataPaths.h"

#include <cstdlib>

TStorePaths DefaultStorePaths() {
#ifdef _WIN32
    const std::string groups = "C:\\Quillon\\Haltguard IDs";
    return {groups, groups + "\\IDs"};
#else
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.local/share";
    }
    const std::string groups = base + "/Quillon/Haltguard IDs";
    return {groups, groups + "/IDs"};
#endif
}
