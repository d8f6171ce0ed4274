#include "tools/groups/TextFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "tools/groups/ToolErrors.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kLargestInput = 1 << 20;

std::string ReadAll(std::istream& in, const std::string& label) {
    std::string text;
    char buffer[8192];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestInput)
            throw ERefusedInput(label + ": larger than 1 MiB; a group's file is a few kilobytes");
    }
    if (in.bad()) throw ERefusedInput(label + ": cannot be read: " + std::strerror(errno));
    return text;
}

}  // namespace

std::string FileLabel(const std::string& path) {
    return path == "-" ? "<standard input>" : path;
}

std::string ReadInputFile(const std::string& path) {
    if (path == "-") return ReadAll(std::cin, FileLabel(path));
    std::error_code ec;
    if (fs::is_directory(path, ec)) throw ERefusedInput(path + ": is a folder, not a file");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ERefusedInput(path + ": cannot be read: " + std::strerror(errno));
    return ReadAll(in, path);
}

void WriteOutputFile(const std::string& path, const std::string& text) {
    if (path == "-") {
        std::cout << text << std::flush;
        if (!std::cout) throw EToolFailure("standard output cannot be written");
        return;
    }
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        if (out) out << text << std::flush;
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::error_code ec;
            fs::remove(partial, ec);
            throw EToolFailure(path + ": cannot be written: " + reason);
        }
    }
    std::error_code ec;
    fs::rename(partial, path, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(partial, ec);
        throw EToolFailure(path + ": cannot be written: " + reason);
    }
}
