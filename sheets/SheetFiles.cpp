#include "sheets/SheetFiles.h"

#include <cerrno>
#include <cstring>
#include <iostream>

#include "base/RegularFiles.h"
#include "sheets/SheetErrors.h"

namespace {

constexpr std::size_t kLargestInput = 1 << 20;
constexpr const char* kTooLarge = ": larger than 1 MiB; a group's file is a few kilobytes";

std::string ReadAll(std::istream& in, const std::string& label) {
    std::string bytes;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kLargestInput) throw EUnreadableFile(label + kTooLarge);
    }
    if (in.bad()) throw EUnreadableFile(label + ": cannot be read: " + std::strerror(errno));
    return bytes;
}

// What to do about a name that holds something else than a file.
std::string KindAdvice(TFileKind kind) {
    switch (kind) {
        case TFileKind::Folder:
            return "";
        case TFileKind::Link:
            return "; give the file it points to";
        default:
            return "; only regular files are read";
    }
}

}  // namespace

std::string FileLabel(const std::string& path) {
    return path == "-" ? "<standard input>" : path;
}

std::string ReadInputFile(const std::string& path) {
    if (path == "-") return ReadAll(std::cin, FileLabel(path));
    const TFileRead read = ReadRegularFile(path, kLargestInput);
    if (read.Kind != TFileKind::Regular)
        throw EUnreadableFile(path + ": is " + FileKindText(read.Kind) + ", not a file" +
                              KindAdvice(read.Kind));
    if (!read.Failure.empty()) throw EUnreadableFile(path + ": cannot be read: " + read.Failure);
    if (read.TooLarge) throw EUnreadableFile(path + kTooLarge);
    return read.Bytes;
}

void WriteOutputFile(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::cout << bytes << std::flush;
        if (!std::cout) throw EUnwritableFile("standard output cannot be written");
        return;
    }
    const TFileWrite written = ReplaceRegularFile(path, bytes);
    if (written.Kind != TFileKind::Regular)
        throw EUnwritableFile(path + ": is " + FileKindText(written.Kind) +
                              ", not a file; nothing was written through it or in its place: "
                              "remove it, or choose another name");
    if (!written.Failure.empty())
        throw EUnwritableFile(path + ": cannot be written: " + written.Failure);
}
