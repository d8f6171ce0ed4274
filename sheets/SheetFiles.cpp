#include "sheets/SheetFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "sheets/SheetErrors.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLargestInput = 1 << 20;

// The path as the system names it: UTF-8 is taken as such on Windows too.
fs::path SystemPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ReadAll(std::istream& in, const std::string& label) {
    std::string bytes;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (bytes.size() > kLargestInput)
            throw EUnreadableFile(label + ": larger than 1 MiB; a group's file is a few kilobytes");
    }
    if (in.bad()) throw EUnreadableFile(label + ": cannot be read: " + std::strerror(errno));
    return bytes;
}

}  // namespace

std::string FileLabel(const std::string& path) {
    return path == "-" ? "<standard input>" : path;
}

std::string ReadInputFile(const std::string& path) {
    if (path == "-") return ReadAll(std::cin, FileLabel(path));
    std::error_code ec;
    if (fs::is_directory(SystemPath(path), ec))
        throw EUnreadableFile(path + ": is a folder, not a file");
    std::ifstream in(SystemPath(path), std::ios::binary);
    if (!in) throw EUnreadableFile(path + ": cannot be read: " + std::strerror(errno));
    return ReadAll(in, path);
}

void WriteOutputFile(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        std::cout << bytes << std::flush;
        if (!std::cout) throw EUnwritableFile("standard output cannot be written");
        return;
    }
    const fs::path target = SystemPath(path);
    fs::path partial = target;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (out) out << bytes << std::flush;
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::error_code ec;
            fs::remove(partial, ec);
            throw EUnwritableFile(path + ": cannot be written: " + reason);
        }
    }
    std::error_code ec;
    fs::rename(partial, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(partial, ec);
        throw EUnwritableFile(path + ": cannot be written: " + reason);
    }
}
