#pragma once
#include "serial/DeviceHolder.h"

// Whether port number n names a serial device on this computer. A device held by
// another program counts as present. Never raises; leaves nothing open.
bool ProbePort(unsigned n);

// Who holds port n (it counted as present, but in use), as far as the system tells.
TDeviceHolder PortHolder(unsigned n);
