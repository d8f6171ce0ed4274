#include "tools/setup/FileRights.h"

#ifndef _WIN32
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

bool MayWrite(const std::filesystem::path& path) {
    std::error_code ec;
    const int rights = std::filesystem::is_directory(path, ec) ? W_OK | X_OK : R_OK | W_OK;
    return ::access(path.c_str(), rights) == 0;
}

std::string OtherOwner(const std::filesystem::path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || st.st_uid == ::geteuid()) return "";
    const passwd* owner = ::getpwuid(st.st_uid);
    return owner ? owner->pw_name : std::to_string(st.st_uid);
}
#else
bool MayWrite(const std::filesystem::path&) {
    return true;
}

std::string OtherOwner(const std::filesystem::path&) {
    return "";
}
#endif
