#include "serial/PermissionAdvice.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <vector>

namespace {

// The group that serial devices belong to on Debian and most other systems.
constexpr const char* kSerialGroup = "dialout";

// Whether the first n of groups hold gid (n < 0: none).
bool Holds(const std::vector<gid_t>& groups, int n, gid_t gid) {
    const auto end = groups.begin() + std::clamp(n, 0, static_cast<int>(groups.size()));
    return std::find(groups.begin(), end, gid) != end;
}

// On the heap: room for the most groups a user can have is large for a stack.
bool InGroupOfSession(gid_t gid) {
    std::vector<gid_t> groups(NGROUPS_MAX);
    return ::getegid() == gid || Holds(groups, ::getgroups(NGROUPS_MAX, groups.data()), gid);
}

bool InGroupOfUser(gid_t gid) {
    const passwd* user = ::getpwuid(::getuid());
    std::vector<gid_t> groups(NGROUPS_MAX);
    int n = NGROUPS_MAX;
    return user && ::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &n) >= 0 &&
           Holds(groups, n, gid);
}

std::string NameOfUser(uid_t uid) {
    const passwd* u = ::getpwuid(uid);
    return u ? u->pw_name : std::to_string(uid);
}

std::string ModeText(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

// Becoming a member of the group, for a user who is not yet one or whose session began
// before; "" when nothing is to be done.
std::string MembershipFix(const TDeviceAccess& a) {
    if (!a.inGroup) return "sudo adduser $USER " + a.group + ", then log in again";
    if (!a.inGroupNow) return "log out and in again";
    return "";
}

}  // namespace

TDeviceAccess AccessOf(const std::string& path, const std::string& device) {
    TDeviceAccess a;
    a.device = device;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return a;
    a.mode = st.st_mode & 07777;
    a.ownedByUser = st.st_uid == ::geteuid();
    a.owner = NameOfUser(st.st_uid);
    gid_t gid = st.st_gid;
    if (gid == 0) {
        const group* serial = ::getgrnam(kSerialGroup);
        a.nodeInGroup = false;
        a.group = kSerialGroup;
        if (!serial) return a;
        gid = serial->gr_gid;
    } else {
        const group* g = ::getgrgid(gid);
        a.group = g ? g->gr_name : std::to_string(gid);
    }
    a.inGroup = InGroupOfUser(gid);
    a.inGroupNow = InGroupOfSession(gid);
    return a;
}

std::string PermissionFix(const TDeviceAccess& a) {
    const std::string mode = "mode " + ModeText(a.mode);
    if (a.ownedByUser) return mode + " keeps even its owner (you) out: chmod u+rw " + a.device;
    const bool groupMayUse = a.nodeInGroup && (a.mode & 060) == 060;
    if (groupMayUse) {
        if (!a.inGroup) return "you are not in the group " + a.group + ": " + MembershipFix(a);
        if (!a.inGroupNow)
            return "you are in the group " + a.group +
                   ", but this session began before that: " + MembershipFix(a);
        return mode + " and the group " + a.group +
               " let you in, yet something else refuses (an access control list, a "
               "security module): ask your administrator";
    }
    // The mode keeps the group out (or the node has none to let in): the device is
    // given to the group, which lasts until it is plugged in again.
    std::string fix = a.nodeInGroup ? "sudo chmod g+rw " + a.device
                                    : "sudo chgrp " + a.group + " " + a.device +
                                          " && sudo chmod g+rw " + a.device;
    fix += " (until it is plugged in again)";
    if (const std::string join = MembershipFix(a); !join.empty()) fix += ", and " + join;
    return mode + " keeps all but " + a.owner + " out: " + fix;
}
