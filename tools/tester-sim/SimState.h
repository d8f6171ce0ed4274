#pragma once
// The state file: the written cells and the clock digits, as text that tests can
// read ("FF00<TAB>16 characters", "CLOCK<TAB>14 digits").
#include <string>

#include "tools/tester-sim/SimTester.h"

// A missing file is an empty state; a file this simulator did not write (a bad line)
// throws std::runtime_error naming the line, so that nothing is lost by overwriting it.
TSimCells LoadSimState(const std::string& path);
// Replaces the file as a whole (written beside it, then renamed over it), so that a
// reader never sees half a file; throws std::runtime_error when it cannot.
void SaveSimState(const std::string& path, const TSimCells& state);
