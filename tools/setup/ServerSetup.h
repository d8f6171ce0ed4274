#pragma once
// The setup tool's side of a group server: reaches it, makes or upgrades the tables
// for the groups there, and tells what it found and did.
#include <string>
#include <vector>

// Prepares the server named by `connection` (the client library's connection string).
// Returns the lines that say what was found and done; throws EServerError, in plain
// words, when the server cannot be reached or used.
std::vector<std::string> PrepareServer(const std::string& connection);
