#pragma once
// Whether port number n names a serial device on this computer. A device held by
// another program counts as present. Never raises; leaves nothing open.
bool ProbePort(unsigned n);
