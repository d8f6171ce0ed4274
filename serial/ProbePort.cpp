#include "serial/ProbePort.h"

#include "serial/PortNames.h"
#include "serial/TVarnBaseDispatcher.h"

bool ProbePort(unsigned n) {
    if (n == 0) return false;
    try {
        std::unique_ptr<TVarnBaseDispatcher> probe = CreateSystemDispatcher();
        const int rc = probe->Probe(ComDeviceName(n));
        // A device that another program holds is there all the same.
        return rc == 0 || rc == kVarnAccessDenied;
    } catch (...) {
        return false;  // the test answers; it never raises
    }
}

TDeviceHolder PortHolder(unsigned n) {
    return CreateSystemDispatcher()->Holder(ComDeviceName(n));
}
