#pragma once
// haltguard-ids-setup --check-ports: why the scan does or does not find the tester.
#include <ostream>

// One line for each of COM1 to COM254 whose device is present, is no serial device, or
// whose own link leads nowhere, in plain words; the ports not present summarised by
// cause; then what to do next. Gives the exit status: 0 when a port is free, 1 when
// none is.
int CheckPorts(std::ostream& out);

// A warning for each reason this user may not open devices the ports lead to.
void WarnAboutPortPermissions(std::ostream& out);
