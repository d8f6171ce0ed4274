#pragma once
// What the file system tells of a device node without opening it: where a path really
// leads, what a link says, and whether a serial-core node has hardware behind it.
// POSIX only.
#include <string>

// The path with every link resolved, or "" when it leads nowhere (a link to nothing, a
// folder that may not be entered).
std::string RealPath(const std::string& path);

// What a link says it points at, as written; the path itself when it is no link.
std::string LinkText(const std::string& path);

// Whether the node at realPath is a serial-core port with no UART behind it (its port
// type in sysfs is 0, unknown): such a node opens, but nothing answers there.
bool HasNoHardware(const std::string& realPath);
