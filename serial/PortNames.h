#pragma once
// COM port numbers and device names. The name of port n is always built as
// "\\.\COM<n>"; on POSIX it is then resolved through the ports folder.
#include <string>
#include <vector>

std::string ComDeviceName(unsigned n);  // "\\.\COM<n>"
// POSIX: ${XDG_CONFIG_HOME:-$HOME/.config}/Quillon/ports
std::string PortsFolder();
// The path the device layer opens for a device name; "" when the name names no device.
std::string ResolveDeviceName(const std::string& deviceName);
// Where port n leads: its link in the ports folder (which may be missing or dangling),
// or, without the folder, its default device ("" when it has none).
std::string PortPath(unsigned n);
// The default device of port n when the ports folder is missing ("" above 96).
std::string DefaultDeviceOfPort(unsigned n);
// "COM2, COM4-COM9, COM12" from ascending port numbers.
std::string PortRangesText(const std::vector<unsigned>& numbers);
