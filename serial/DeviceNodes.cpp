#include "serial/DeviceNodes.h"

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return "";
    std::string result(real);
    std::free(real);
    return result;
}

std::string LinkText(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : path;
}

bool HasNoHardware(const std::string& realPath) {
    const size_t slash = realPath.rfind('/');
    const std::string name = slash == std::string::npos ? realPath : realPath.substr(slash + 1);
    // sysfs says so to everyone, without opening the node.
    std::ifstream in("/sys/class/tty/" + name + "/type");
    std::string type;
    std::getline(in, type);
    return type == "0";
}
