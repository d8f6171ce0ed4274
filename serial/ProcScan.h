#pragma once
// Who holds a device, as /proc tells it to everyone (locks) or to whoever may look
// (open files): the port check's answer to "in use by which program?". Linux only.
#include <string>

// The process holding a flock on the node with this device and inode number, or 0.
long FlockHolder(unsigned long long device, unsigned long long inode);

// Another process that has realPath open, or 0: searched where this user may look (all
// processes for root, its own otherwise).
long Opener(const std::string& realPath);

// The name of a running process ("" when it has ended or may not be seen).
std::string ProcessName(long pid);
