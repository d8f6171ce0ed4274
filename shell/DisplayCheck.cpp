#include "shell/DisplayCheck.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

bool PlatformChosen(int argc, char** argv) {
    if (Set("QT_QPA_PLATFORM")) return true;
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return true;
    return false;
}

}  // namespace

std::string MissingDisplayMessage(int argc, char** argv) {
#ifdef _WIN32
    // Windows always has its window system; only X11 and Wayland need a display named.
    return {};
#endif
    if (Set("DISPLAY") || Set("WAYLAND_DISPLAY") || PlatformChosen(argc, argv)) return "";
    const std::string program =
        argc > 0 ? std::filesystem::path(argv[0]).filename().string() : "haltguard-ids";
    return program +
           ": no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set): start it in a "
           "desktop session, or try it without one with \"xvfb-run -a " +
           program + "\" (Debian package xvfb)";
}
