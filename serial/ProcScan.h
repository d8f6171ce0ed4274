#pragma once
// Who holds a device, as /proc tells it to everyone (locks) or to whoever may look
// (open files): the answer to "in use by which program?", and to whether a program
// that locks the device in no way we see has it open all the same. Linux only.
#include <string>

// The process holding a flock on the node with this device and inode number, or 0.
long FlockHolder(unsigned long long device, unsigned long long inode);

// Another process than this one that has the device at path open, or 0: searched where
// this user may look (all processes for root, its own otherwise). A process counts by
// the device it has open, whatever node or link it opened it by; the other side of a
// pseudo-terminal (its master) is another device and does not count.
long Opener(const std::string& path);

// The name of a running process ("" when it has ended or may not be seen).
std::string ProcessName(long pid);
