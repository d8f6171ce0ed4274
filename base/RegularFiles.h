#pragma once
// Whole files read and written where the name may be a trap: only a regular file is
// ever read, and a file is only ever replaced by a new one of our own, never written
// through a link, into a pipe or a device. The operating system's file calls for this
// live here alone, in a POSIX and a Win32 form. Paths are UTF-8.
#include <cstddef>
#include <string>
#include <string_view>

enum class TFileKind { Missing, Regular, Folder, Link, Pipe, Device, Socket, Other };

// "a folder", "a symbolic link", "a named pipe (FIFO)", ...: what a message says stands
// at a name where a regular file was expected.
std::string FileKindText(TFileKind kind);

// What stands at `path`, a link itself rather than its target. Nothing at all, or a
// path that cannot be looked at, is Missing.
TFileKind FileKindAt(const std::string& path);

struct TFileRead {
    TFileKind Kind = TFileKind::Regular;  // anything else was refused without being read
    std::string Failure;                  // the system's words when it could not be read
    bool TooLarge = false;                // more than the limit; Bytes holds the limit and one
    std::string Bytes;
};

// The file's bytes, when `path` names a regular file (a link is refused, not followed);
// nothing is opened in a way that could block or touch a device.
TFileRead ReadRegularFile(const std::string& path, std::size_t limit);

struct TFileWrite {
    TFileKind Kind = TFileKind::Regular;  // what stands at the target, when it was refused
    std::string Failure;                  // the system's words when writing failed
    bool Done() const { return Kind == TFileKind::Regular && Failure.empty(); }
};

// Writes `bytes` into a new file of its own, under a name no one else can predict in
// the target's folder, and renames it over `path`. A target that is there but not a
// regular file (a link, a pipe, a folder) is refused and left as it is; on any failure
// the old file, or none, is left, never half of one.
TFileWrite ReplaceRegularFile(const std::string& path, std::string_view bytes);
