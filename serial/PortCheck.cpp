#include "serial/PortCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "serial/DeviceNodes.h"
#include "serial/PermissionAdvice.h"
#include "serial/PortNames.h"
#include "serial/TVarnPosixDispatcher.h"
#include "serial/VarnExceptions.h"

namespace {

TPortReport Report(unsigned n, const std::string& device, TPortState state,
                   const std::string& words, const std::string& fix = "") {
    return TPortReport{n, device, state, fix.empty() ? words : words + ": " + fix, fix};
}

const char* KindOf(mode_t mode) {
    if (S_ISREG(mode)) return "a regular file";
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO (named pipe)";
    if (S_ISSOCK(mode)) return "a socket";
    if (S_ISBLK(mode)) return "a block device";
    return "no device";
}

// Who holds the device, as the scan names it, and where the port check can tell more:
// the lock file the holder keeps, or that this user may not see which program it is.
std::string InUseWords(const TDeviceHolder& holder) {
    std::string words = "in use by " + HolderWords(holder);
    if (holder.kind == TDeviceHolder::Process && !holder.lockFile.empty())
        words += ", lock file " + holder.lockFile;
    if (holder.kind == TDeviceHolder::Unknown) words += " (which one, this user may not see)";
    return words;
}

// Everything that can be told without opening the device or reading its lock file;
// Free means "look further".
TPortReport Look(unsigned n) {
    const std::string path = PortPath(n);
    if (path.empty()) return Report(n, "", TPortState::NotLinked, "not linked");
    const std::string device = LinkText(path);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const int err = errno;
        // A link in the ports folder, or without the folder the default device itself.
        struct stat link {};
        const bool linked = path == DefaultDeviceOfPort(n) || ::lstat(path.c_str(), &link) == 0;
        if (err == ENOENT && !linked) return Report(n, "", TPortState::NotLinked, "not linked");
        if (err == ENOENT || err == ENOTDIR)
            return Report(n, device, TPortState::NoDevice,
                          "no such device: adapter unplugged, or the link mistyped");
        if (err == EACCES)
            return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                          "a folder on the way may not be entered");
        return Report(n, device, TPortState::Unusable,
                      std::string("unusable: ") + std::strerror(err));
    }
    if (!S_ISCHR(st.st_mode))
        return Report(n, device, TPortState::NotSerial,
                      std::string("not a serial device: ") + KindOf(st.st_mode));
    const std::string real = RealPath(path);
    if (HasNoHardware(real))
        return Report(n, device, TPortState::NoHardware, "no hardware behind " + real);
    if (::access(path.c_str(), R_OK | W_OK) != 0 && errno == EACCES)
        return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                      PermissionFix(AccessOf(path, real)));
    return Report(n, device, TPortState::Free, "present and free");
}

}  // namespace

TPortReport CheckPort(unsigned n, const std::string& lockDirectory) {
    TPortReport report = Look(n);
    if (report.state != TPortState::Free) return report;
    const std::string path = PortPath(n);
    const std::string& device = report.device;
    // The very test the scan makes before it opens a port, and so the same judgement of
    // who holds it: a lock file, a flock, or a program that merely has it open.
    TVarnPosixDispatcher probe(lockDirectory);
    const int rc = probe.Probe(ComDeviceName(n));
    if (rc == 0) return report;
    if (rc == kVarnAccessDenied)
        return Report(n, device, TPortState::InUse, InUseWords(probe.Holder(ComDeviceName(n))));
    const std::string real = RealPath(path);
    if (rc == kVarnNotFound)
        return Report(n, device, TPortState::NoHardware, "no hardware behind " + real);
    if (rc == kVarnNotPermitted)
        return Report(n, device, TPortState::NotPermitted, "present but not permitted",
                      PermissionFix(AccessOf(path, real)));
    return Report(n, device, TPortState::Unusable, "cannot be opened: " + VarnErrorText(rc));
}

std::vector<std::string> PortPermissionWarnings(unsigned first, unsigned last) {
    std::map<std::string, std::vector<std::string>> devicesByFix;
    for (unsigned n = first; n <= last; ++n) {
        const TPortReport r = Look(n);
        if (r.state == TPortState::NotPermitted)
            devicesByFix[r.fix].push_back(r.device + " (COM" + std::to_string(n) + ")");
    }
    std::vector<std::string> lines;
    for (const auto& [fix, devices] : devicesByFix) {
        std::string line = "you may not open " + devices.front();
        if (devices.size() > 1) line += " and " + std::to_string(devices.size() - 1) + " more";
        lines.push_back(line + ": " + fix + ".");
    }
    return lines;
}
