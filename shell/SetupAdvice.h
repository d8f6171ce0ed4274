#pragma once
// What to do when the store is not there yet. The program never makes the groups
// directory or the groups table; the setup tool does, and the error box says so.
#include <exception>
#include <string>

// The text of the error box for a failed opening of the store: the error's own line
// as the box shows it, followed by a line naming the setup tool when the store is not
// set up (EStoreNotSetUp). Any other failure is left as it is.
std::string WithSetupAdvice(const std::exception& openError);
