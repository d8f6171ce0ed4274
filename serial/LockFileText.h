#pragma once
// The text of a UUCP lock file, as the programs that write them write it: its name
// from the device's path, our own text, and the PID read back from anyone's. Pure
// functions, so that every form a writer uses can be tried without a file.
#include <string>
#include <string_view>

// "LCK.." and the path below /dev with "/" as "_"; "" for a path elsewhere.
std::string LockFileName(const std::string& realPath);

// Our own text: the PID in ten characters, right-aligned, and a newline.
std::string LockFileText(long pid);

// Whether every byte could come from an ASCII writer: digits, spaces, CR, LF and NUL.
bool CouldBeAscii(std::string_view text);

// The PID written in ASCII: optional blanks, then decimal digits (leading zeros do not
// count against the length) up to the first non-digit, after which a writer may put
// anything (its name and user, CR LF, a NUL). 0 when there is none.
long AsciiPid(std::string_view text);

// The PID the file's writer meant. Four bytes are read as a binary int (the oldest
// writers' form) only when they cannot be ASCII and give a PID from 1 to pidMax, the
// highest this system gives out; anything else is ASCII. 0 when there is none.
long PidOfLockText(std::string_view text, long pidMax);
