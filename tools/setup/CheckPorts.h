#pragma once
// haltguard-ids-setup --check-ports: why the scan does or does not find the tester.
#include <ostream>

// One line for each of COM1 to COM254 whose device is present (or is no serial device),
// in plain words; the ports not present summarised in one line.
void CheckPorts(std::ostream& out);

// A warning for each reason this user may not open devices the ports lead to.
void WarnAboutPortPermissions(std::ostream& out);
