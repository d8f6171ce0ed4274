#include "store/StoreChoice.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string_view>

#include "store/DataPaths.h"
#include "store/PgConnection.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// Far more than any connection string: a larger file is not one of ours.
constexpr std::uintmax_t kMostBytes = 64 * 1024;

constexpr std::string_view kServerWord = "server";
constexpr std::string_view kLocalWord = "local";

const char* const kFix =
    "; fix it with haltguard-ids-setup --server '<connection>', or --local for the local files";

[[noreturn]] void Fail(const std::string& file, const std::string& why) {
    throw EStoreChoiceError("Cannot read the store choice " + file + ": " + why + kFix);
}

std::string Trimmed(std::string_view s) {
    const std::size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return "";
    const std::size_t last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

// The file's bytes. Only a plain file is read: a FIFO or a device put there would
// keep the program waiting at its start.
std::string ReadSmallFile(const std::string& file) {
#ifdef _WIN32
    std::error_code ec;
    const fs::file_status st = fs::status(file, ec);
    if (ec) Fail(file, ec.message());
    if (!fs::is_regular_file(st)) Fail(file, "it is not a plain file");
    if (fs::file_size(file, ec) > kMostBytes) Fail(file, "it is far too large for a choice");
    std::ifstream in(file, std::ios::binary);
    if (!in) Fail(file, "it cannot be opened");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
#else
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) Fail(file, std::generic_category().message(errno));
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(file, "it is not a plain file");
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMostBytes) {
        ::close(fd);
        Fail(file, "it is far too large for a choice");
    }
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            const int error = errno;
            ::close(fd);
            Fail(file, std::generic_category().message(error));
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > kMostBytes) {
            ::close(fd);
            Fail(file, "it is far too large for a choice");
        }
    }
    ::close(fd);
    return text;
#endif
}

}  // namespace

std::string StoreChoiceFile() {
#ifdef _WIN32
    return DefaultStorePaths().GroupsDir + "\\store.conf";
#else
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "") + "/.config";
    }
    return base + "/Quillon/Haltguard IDs/store.conf";
#endif
}

TStoreChoice ParseStoreChoice(const std::string& text, const std::string& file) {
    TStoreChoice choice;
    int chosenOn = 0;
    // Notepad starts the files it saves with a byte-order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    std::istringstream lines(text.starts_with(kByteOrderMark) ? text.substr(kByteOrderMark.size())
                                                              : text);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
        const std::string line = Trimmed(raw);
        if (line.empty() || line.front() == '#') continue;
        const std::string where = "line " + std::to_string(number);
        if (chosenOn != 0)
            Fail(file, where + " makes a second choice (the first is on line " +
                           std::to_string(chosenOn) + ")");
        chosenOn = number;
        if (line == kLocalWord) continue;
        const std::string_view word = std::string_view(line).substr(0, line.find_first_of(" \t"));
        if (word != kServerWord)
            Fail(file, where + " is neither \"server <connection>\" nor \"local\"");
        choice.kind = TStoreKind::Server;
        choice.connection = Trimmed(std::string_view(line).substr(word.size()));
        if (const std::string problem = ConnectionStringProblem(choice.connection);
            !problem.empty())
            Fail(file, where + ": " + problem);
    }
    return choice;
}

std::string FormatStoreChoice(const TStoreChoice& choice) {
    std::string text =
        "# Where Haltguard IDs keeps its groups; written by haltguard-ids-setup.\n"
        "# Change it with haltguard-ids-setup --server '<connection>', or --local.\n"
        "# The password is never here: it is in the password file of the server's client.\n";
    if (choice.kind == TStoreKind::Server)
        text += std::string(kServerWord) + " " + choice.connection + "\n";
    else
        text += std::string(kLocalWord) + "\n";
    return text;
}

TStoreChoice ReadStoreChoice() {
    const std::string file = StoreChoiceFile();
    std::error_code ec;
    if (fs::symlink_status(file, ec).type() == fs::file_type::not_found) return {};
    return ParseStoreChoice(ReadSmallFile(file), file);
}

void WriteServerChoice(const std::string& connection) {
    const std::string file = StoreChoiceFile();
    if (const std::string problem = ConnectionStringProblem(connection); !problem.empty())
        throw EStoreChoiceError("The choice was not written: " + problem);
    const std::string text = FormatStoreChoice({TStoreKind::Server, connection});
    // What is written must read back as the same choice (a '#' first, say, would not).
    if (ParseStoreChoice(text, file) != TStoreChoice{TStoreKind::Server, connection})
        throw EStoreChoiceError(
            "The choice was not written: the connection string would "
            "not read back as it is");
    const fs::path path(file);
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    if (ec)
        throw EStoreChoiceError("Cannot make the folder " + path.parent_path().string() + ": " +
                                ec.message());
    // Written beside the file under a name of its own and renamed over it: the choice
    // is the old one or the new one, never half of one.
    std::random_device seed;
    const fs::path fresh = path.string() + ".new-" + std::to_string(seed());
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            fs::remove(fresh, ec);
            throw EStoreChoiceError("Cannot write " + fresh.string());
        }
    }
    fs::rename(fresh, path, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(fresh, ignored);
        throw EStoreChoiceError("Cannot write the store choice " + file + ": " + ec.message());
    }
}

bool RemoveStoreChoice() {
    const std::string file = StoreChoiceFile();
    std::error_code ec;
    const bool removed = fs::remove(file, ec);
    if (ec) throw EStoreChoiceError("Cannot remove the store choice " + file + ": " + ec.message());
    return removed;
}
