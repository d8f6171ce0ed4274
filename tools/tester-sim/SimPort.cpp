#include "tools/tester-sim/SimPort.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "serial/PortNames.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::optional<std::string> LinkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) return std::nullopt;
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Points `path` at `target` in one step, whatever link stood there.
void ReplaceLink(const std::string& target, const std::string& path) {
    const std::string temporary = path + ".sim-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) Fail("cannot create " + temporary);
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        const int saved = errno;
        ::unlink(temporary.c_str());
        errno = saved;
        Fail("cannot replace " + path);
    }
}

}  // namespace

TSimPort::TSimPort(unsigned com) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) Fail("cannot open a pseudo-terminal");
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        Fail("cannot unlock the pseudo-terminal");
    const char* name = ::ptsname(master_);
    if (!name) Fail("no name for the pseudo-terminal");
    device_ = name;
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    // Raw from the start, so that nothing sent before the program opens its end is
    // echoed back or turned into other characters.
    termios raw{};
    if (::tcgetattr(master_, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(master_, TCSANOW, &raw);
    }

    try {
        LinkInPortsFolder(com);
    } catch (...) {
        if (createdFolder_) ::rmdir(folder_.c_str());
        ::close(master_);
        throw;
    }
}

void TSimPort::LinkInPortsFolder(unsigned com) {
    folder_ = PortsFolder();
    std::error_code ec;
    if (!std::filesystem::is_directory(folder_, ec)) {
        createdFolder_ = std::filesystem::create_directories(folder_, ec);
        if (ec)
            throw std::runtime_error("cannot create the ports folder " + folder_ + ": " +
                                     ec.message());
    }
    if (com != 0) {
        if (!TryLink(com, true))
            throw std::runtime_error("COM" + std::to_string(com) + " is taken");
    } else {
        for (unsigned n = 1; n <= 254 && com_ == 0; ++n) TryLink(n, false);
        if (com_ == 0) throw std::runtime_error("no free COM number from 1 to 254");
    }
}

bool TSimPort::TryLink(unsigned n, bool chosen) {
    const std::string path = folder_ + "/com" + std::to_string(n);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) Fail("cannot look at " + path);
        if (::symlink(device_.c_str(), path.c_str()) != 0) {
            if (errno == EEXIST && !chosen) return false;  // another process was quicker
            Fail("cannot create " + path);
        }
    } else {
        if (!S_ISLNK(st.st_mode))
            throw std::runtime_error(path + " is not a link; it is left as it is");
        struct stat target {};
        const bool pointsSomewhere = ::stat(path.c_str(), &target) == 0;
        if (pointsSomewhere && !chosen) return false;
        previous_ = LinkTarget(path);
        if (!previous_) Fail("cannot read " + path);
        ReplaceLink(device_, path);
    }
    com_ = n;
    link_ = path;
    return true;
}

void TSimPort::Restore() {
    if (restored_) return;
    restored_ = true;
    if (!link_.empty() && LinkTarget(link_) == device_) {
        try {
            if (previous_)
                ReplaceLink(*previous_, link_);
            else
                ::unlink(link_.c_str());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "haltguard-tester-sim: %s; the link is removed instead\n",
                         e.what());
            ::unlink(link_.c_str());  // at least no link to a device that is gone
        }
    }
    if (createdFolder_) ::rmdir(folder_.c_str());  // only when nothing else is in it
}

TSimPort::~TSimPort() {
    Restore();
    if (master_ >= 0) ::close(master_);
}
