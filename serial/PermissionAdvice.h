#pragma once
// Why this user may not open a device node, and what to do about it: the facts (the
// node's mode, owner and group, the user's groups) apart from the advice drawn from
// them. POSIX only.
#include <string>

struct TDeviceAccess {
    std::string device;  // the node's real path
    unsigned mode = 0;   // its permission bits
    bool ownedByUser = false;
    std::string owner;  // the owner's name
    // The group through which users reach the node: its own, or dialout where the node
    // belongs to root's own group, which nobody should be made a member of.
    std::string group;
    bool nodeInGroup = true;  // false: the node must be given to the group first
    bool inGroup = false;     // the user is a member of the group...
    bool inGroupNow = false;  // ...and this session knows it
};

// The facts for the character device at path (its real path: device).
TDeviceAccess AccessOf(const std::string& path, const std::string& device);

// What keeps the user out, and the fix; worded so that one line can serve several
// devices with the same cause.
std::string PermissionFix(const TDeviceAccess& access);
