#pragma once
// How the groups tool fails, besides the table layer's EDatabaseError (exit 2).
#include <stdexcept>

// Refused input: the command line, a file, a backup, or a name or group the store's
// rules turn away. Nothing was written. Exit 1; one problem a line.
class ERefusedInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A failure that is not the input's: a file that cannot be written, a group left
// out of a backup, a restore stopped part-way. Exit 2.
class EToolFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
