#include "tools/setup/CheckPorts.h"

#include <filesystem>
#include <iomanip>
#include <string>
#include <vector>

#include "serial/PortNames.h"
#ifndef _WIN32
#include "serial/PortCheck.h"
#endif

#ifdef _WIN32
// Windows names its ports itself and has no device permissions to mend; its Device
// Manager lists them.
void CheckPorts(std::ostream& out) {
    out << "The Device Manager lists this computer's COM ports\n";
}

void WarnAboutPortPermissions(std::ostream&) {}
#else
namespace {

constexpr unsigned kLastPort = 254;

// "COM2, COM4-COM9, COM12" from ascending numbers.
std::string Ranges(const std::vector<unsigned>& numbers) {
    std::string text;
    for (size_t i = 0; i < numbers.size();) {
        size_t j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1) ++j;
        if (!text.empty()) text += ", ";
        text += "COM" + std::to_string(numbers[i]);
        if (j > i) text += "-COM" + std::to_string(numbers[j]);
        i = j + 1;
    }
    return text;
}

}  // namespace

void CheckPorts(std::ostream& out) {
    const std::string folder = PortsFolder();
    if (std::filesystem::is_directory(folder))
        out << "Ports folder " << folder << ":\n";
    else
        out << "No ports folder (" << folder << "): the default mapping applies, COM1-COM32 "
            << "/dev/ttyS0-31, COM33-COM64 /dev/ttyUSB0-31, COM65-COM96 /dev/ttyACM0-31\n";
    std::vector<unsigned> missing;
    for (unsigned n = 1; n <= kLastPort; ++n) {
        const TPortReport r = CheckPort(n);
        if (r.state == TPortState::NotPresent) {
            missing.push_back(n);
            continue;
        }
        out << std::left << std::setw(7) << ("COM" + std::to_string(n)) << ' ' << std::setw(24)
            << r.device << ' ' << r.words << '\n';
    }
    if (!missing.empty())
        out << "Not present (no link, a link to nothing, or no hardware behind the node): "
            << Ranges(missing) << '\n';
}

void WarnAboutPortPermissions(std::ostream& out) {
    for (const std::string& line : PortPermissionWarnings(1, kLastPort))
        out << "Warning: " << line << '\n';
}
#endif
