#pragma once
// The simulator's command line.
#include <optional>
#include <string>
#include <vector>

struct TSimOptions {
    unsigned Com = 0;                 // 0: the lowest free number
    std::string Instrument = "SIM1";  // four Windows-1252 characters
    std::string VersionCode = "B8";   // two characters, normally hexadecimal
    std::string StateFile;            // "" keeps the cells in memory only
    std::string LogFile;              // "" logs to standard output with Verbose, else not
    bool Verbose = false;
    unsigned Baud = 9600;  // 0: no pacing
    unsigned DelayMs = 5;
    bool Silent = false;
    bool BadChecksum = false;
    bool LowercaseChecksum = false;
    bool ShortFrames = false;
    unsigned DropEvery = 0;     // 0: never
    unsigned GarbageEvery = 0;  // 0: never
    std::optional<unsigned> FailAfter;
    bool DieWithParent = false;
    bool Help = false;
};

// Parses the arguments after the program name; throws std::invalid_argument with a
// message for the user on anything it does not accept.
TSimOptions ParseSimOptions(const std::vector<std::string>& args);
// The --help text.
std::string SimUsage();
