#pragma once
// The settings block of the device layer in a terminal's attributes and back. Private
// to the POSIX device layer.
#include <termios.h>

#include "serial/TVarnLineSettings.h"

// The settings that the attributes hold. What they cannot hold (the handshake modes,
// DSR flow, the receive queue's limits) comes from kept, the block last written.
TVarnLineSettings SettingsOfTermios(const termios& t, const TVarnLineSettings& kept);
// Puts the settings into the attributes; gives 0, or the code for a rate, a character
// size or a parity that a terminal cannot have.
int PutSettingsInTermios(const TVarnLineSettings& s, termios& t);
