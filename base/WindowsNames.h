#pragma once
// The names Windows keeps for its devices: a file of such a name, in any folder, with or
// without an extension, is the device. Plain C++: the Windows file layer asks it before
// it opens a file, and the name rules before a group name becomes part of one.
#include <string>
#include <string_view>

// The device that `fileName` (a name without folder) opens on Windows, in upper case, or
// "" when it names none: CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM or LPT with a
// digit 1 to 9 or a superscript one, two or three; in any letter case, whatever follows
// the first dot, and with the blanks before that dot ignored.
std::u32string WindowsDeviceName(std::u32string_view fileName);
