#pragma once
// How the POSIX device layer reads the system's error numbers: as the port's error
// codes, and as things a device cannot do. Private to the POSIX device layer.

// The code for an errno value: a missing device is "file not found", a device held by
// another "access denied"; numbers that the port's message table would misname become
// the general failure; all others are negated and shown with the system's own text.
int VarnCodeOfErrno(int err);
// Whether err says the device cannot do what was asked (modem lines, queue counts): a
// pseudo-terminal or a plain terminal is still a port.
bool UnsupportedByDevice(int err);
