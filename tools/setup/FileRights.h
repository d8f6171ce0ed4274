#pragma once
// What this user may do with a file or folder, and whose it is: the setup tool's only
// questions to the operating system beside those the libraries ask. On Windows, where
// the installer sets the folder's rights, the answers are "may" and "nobody else's".
#include <filesystem>
#include <string>

// Whether this user may read and write the file, or make files in the folder.
bool MayWrite(const std::filesystem::path& path);

// The name of the owner of path when that is another user; "" when it is this user.
std::string OtherOwner(const std::filesystem::path& path);
