#pragma once
// Whole files in and out, named by UTF-8 paths; "-" is standard input or output. Only
// regular files: a link, a pipe, a device or a folder at the name is refused with what
// it is, never read, written through or waited on.
#include <string>

// At most 1 MiB (a group's file is a few kilobytes); EUnreadableFile otherwise, or
// when it cannot be read.
std::string ReadInputFile(const std::string& path);
// Written into a new file of its own beside the target and renamed over it once
// complete, so that a failure leaves the old file or none, never half of one;
// EUnwritableFile when that fails or the target is not a regular file.
void WriteOutputFile(const std::string& path, const std::string& bytes);
// How a file is named in messages.
std::string FileLabel(const std::string& path);
