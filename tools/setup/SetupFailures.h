#pragma once
// The setup tool's failures in plain words: what could not be made, why, and the fix,
// instead of the library's text.
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class ESetupFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "Cannot create <what> <path>: <why>. Fix: <fix>, then run haltguard-ids-setup again."
// err is the system's error, given when path was made.
[[noreturn]] void FailToCreate(const std::string& what, const std::filesystem::path& path,
                               std::error_code err);
