#pragma once
// Why the scan does or does not find a port: the state of the device behind a COM
// number, in plain words, with the holder or the fix where there is one. Nothing here
// writes to a device, waits for one or holds one longer than a single open of the
// availability test; a FIFO, a regular file or a directory is never opened at all.
// POSIX only.
#include <string>
#include <vector>

enum class TPortState {
    NotLinked,     // no link for this number (without a ports folder: no default device)
    NoDevice,      // the link, or the default device, leads to nothing
    NoHardware,    // a node with no hardware behind it
    Free,          // present and free
    NotPermitted,  // present, but this user may not open it
    InUse,         // held by another program
    NotSerial,     // a regular file, a directory, a FIFO, ...
    Unusable,      // present, but opening it fails otherwise
};

struct TPortReport {
    unsigned number = 0;
    std::string device;  // what the port names: the link's target, or the default device
    TPortState state = TPortState::NotLinked;
    std::string words;  // the state in plain words, with the holder or the fix
    std::string fix;    // what would let this user open it ("" when that is not the matter)
};

// The state of port n, the lock files read in lockDirectory; opens the device only as
// the availability test does.
TPortReport CheckPort(unsigned n, const std::string& lockDirectory);

// For the ports first..last whose devices this user may not open: one line per fix,
// naming the devices. Opens nothing.
std::vector<std::string> PortPermissionWarnings(unsigned first, unsigned last);
