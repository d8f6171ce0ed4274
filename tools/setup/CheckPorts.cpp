#include "tools/setup/CheckPorts.h"

#include <filesystem>
#include <string>
#include <vector>

#include "serial/PortNames.h"
#ifndef _WIN32
#include "serial/PortCheck.h"
#include "serial/TUucpLock.h"
#endif

#ifdef _WIN32
// Windows names its ports itself and has no device permissions to mend; its Device
// Manager lists them.
int CheckPorts(std::ostream& out) {
    out << "The Device Manager lists this computer's COM ports\n";
    return 0;
}

void WarnAboutPortPermissions(std::ostream&) {}
#else
namespace {

constexpr unsigned kLastPort = 254;

// The ports by what the check found, as the closing lines need them.
struct TTally {
    std::vector<unsigned> free, refused, held, badLinks;  // told a line each
    std::vector<unsigned> noHardware, unplugged, notLinked;
};

// What to do next: start, or what stands in the way.
std::string Verdict(const TTally& t, bool folder) {
    if (!t.free.empty())
        return std::to_string(t.free.size()) + (t.free.size() == 1 ? " port" : " ports") +
               " free: " + PortRangesText(t.free) + ". Start the program and press Send.";
    std::string why;
    auto add = [&](const std::string& reason) { why += (why.empty() ? "" : "; ") + reason; };
    if (!t.refused.empty())
        add("you may not open " + PortRangesText(t.refused) + " (the fix is above)");
    if (!t.held.empty()) add(PortRangesText(t.held) + " in use by another program");
    if (!t.badLinks.empty())
        add("plug the adapter in, or mend the link of " + PortRangesText(t.badLinks));
    if (why.empty()) {
        add("no serial device found: plug the tester's adapter in");
        if (folder)
            why += " and link it: ln -sfn /dev/serial/by-id/<adapter> '" + PortsFolder() + "/com1'";
    }
    return "No port usable: " + why + ".";
}

}  // namespace

int CheckPorts(std::ostream& out) {
    const std::string folder = PortsFolder();
    const bool hasFolder = std::filesystem::is_directory(folder);
    if (hasFolder)
        out << "Ports folder " << folder << ":\n";
    else
        out << "No ports folder (" << folder << "): the default mapping applies, COM1-COM32 "
            << "/dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31, COM65-COM96 /dev/ttyACM0-31\n";
    const std::string lockDirectory = TUucpLock::SystemDirectory();
    TTally t;
    for (unsigned n = 1; n <= kLastPort; ++n) {
        const TPortReport r = CheckPort(n, lockDirectory);
        switch (r.state) {
            case TPortState::NotLinked:
                t.notLinked.push_back(n);
                continue;
            case TPortState::NoHardware:
                t.noHardware.push_back(n);
                continue;
            case TPortState::NoDevice:
                // The default links lead to every device this computer might have.
                if (r.device == DefaultDeviceOfPort(n)) {
                    t.unplugged.push_back(n);
                    continue;
                }
                t.badLinks.push_back(n);
                break;
            case TPortState::Free:
                t.free.push_back(n);
                break;
            case TPortState::NotPermitted:
                t.refused.push_back(n);
                break;
            case TPortState::InUse:
                t.held.push_back(n);
                break;
            case TPortState::NotSerial:
            case TPortState::Unusable:
                break;
        }
        out << "COM" << n << " -> " << r.device << ": " << r.words << '\n';
    }
    if (!t.noHardware.empty())
        out << "No hardware behind the device: " << PortRangesText(t.noHardware) << '\n';
    if (!t.unplugged.empty())
        out << "Default devices not plugged in: " << PortRangesText(t.unplugged) << '\n';
    if (!t.notLinked.empty()) out << "Not linked: " << PortRangesText(t.notLinked) << '\n';
    out << Verdict(t, hasFolder) << '\n';
    return t.free.empty() ? 1 : 0;
}

void WarnAboutPortPermissions(std::ostream& out) {
    for (const std::string& line : PortPermissionWarnings(1, kLastPort))
        out << "Warning: " << line << '\n';
}
#endif
