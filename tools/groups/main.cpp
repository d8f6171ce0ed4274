// haltguard-ids-groups: the groups of the store listed, exported to and imported
// from spreadsheet files, backed up and restored, through the store's own
// operations. Exit 0 done, 1 refused input (nothing written), 2 store error.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "shell/LocaleDateTime.h"
#include "store/DataPaths.h"
#include "store/TTable.h"
#include "tools/groups/BackupCommands.h"
#include "tools/groups/GroupCommands.h"
#include "tools/groups/ToolErrors.h"

namespace {

constexpr const char* kProgram = "haltguard-ids-groups";

constexpr const char* kHelp =
    R"(Usage: haltguard-ids-groups COMMAND [OPTIONS] [ARGUMENTS]

Lists, exports, imports, backs up and restores the ID groups of Haltguard IDs,
through the store's own operations; safe while the program runs.

  list [--long]             the group names in table order; --long adds, tab-
                            separated, the ID list table name, the number of
                            vehicle and trailer IDs that are not blank, and "ok"
                            or why the group does not load
  export NAME [FILE]        the group as CSV (header slot,vehicle,trailer, 96
                            rows for slots 0-95); to standard output without FILE
  import [--replace] FILE NAME
                            makes the group NAME from the CSV file, as New would,
                            in one go; with --replace saves the file's IDs into
                            the existing group NAME instead, as Save would. The
                            whole file is checked first; "-" reads standard input
  backup DIR                every group and its ID list table into DIR (new or
                            empty), laid out as the store is
  restore [--replace] DIR   the backup's groups back into the store; a group the
                            store has already is refused unless --replace
  --help                    this text
  --                        ends the options: a NAME or FILE after it may start
                            with "-"

Exit status: 0 done, 1 refused input (nothing was written), 2 store error.
)";

struct TCommandLine {
    std::string Command;
    std::vector<std::string> Arguments;
    bool Long = false, Replace = false, Help = false;
};

[[noreturn]] void Refuse(const std::string& message) {
    throw ERefusedInput(message + "\nTry '" + kProgram + " --help'.");
}

TCommandLine Parse(const std::vector<std::string>& args) {
    TCommandLine line;
    bool options = true;
    for (const std::string& a : args) {
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            line.Help = true;
        } else if (options && a == "--long") {
            line.Long = true;
        } else if (options && a == "--replace") {
            line.Replace = true;
        } else if (options && a.size() > 1 && a[0] == '-') {
            Refuse("unknown option " + a);
        } else if (line.Command.empty()) {
            line.Command = a;
        } else {
            line.Arguments.push_back(a);
        }
    }
    if (line.Help) return line;
    struct TShape {
        const char* Command;
        std::size_t Least, Most;
        bool Long, Replace;
    };
    static const TShape shapes[] = {
        {"list", 0, 0, true, false},    {"export", 1, 2, false, false},
        {"import", 2, 2, false, true},  {"backup", 1, 1, false, false},
        {"restore", 1, 1, false, true},
    };
    if (line.Command.empty()) Refuse("no command given");
    for (const TShape& s : shapes) {
        if (line.Command != s.Command) continue;
        if (line.Arguments.size() < s.Least || line.Arguments.size() > s.Most)
            Refuse(line.Command + ": wrong number of arguments");
        if ((line.Long && !s.Long) || (line.Replace && !s.Replace))
            Refuse(line.Command + ": takes no " + (line.Long ? "--long" : "--replace"));
        return line;
    }
    Refuse("unknown command " + line.Command);
}

int Run(const TCommandLine& line) {
    const TToolContext tool{DefaultStorePaths(), LocaleDateTimeSource(), std::cout};
    const std::vector<std::string>& a = line.Arguments;
    if (line.Command == "list") return ListGroups(tool, line.Long);
    if (line.Command == "export") ExportGroup(tool, a[0], a.size() > 1 ? a[1] : "-");
    if (line.Command == "import") ImportGroup(tool, a[0], a[1], line.Replace);
    if (line.Command == "backup") BackupGroups(tool, a[0]);
    if (line.Command == "restore") RestoreGroups(tool, a[0], line.Replace);
    return 0;
}

int Report(const std::string& command, const std::string& text, int status) {
    const std::string prefix =
        std::string(kProgram) + ": " + (command.empty() ? "" : command + ": ");
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        std::cerr << prefix << text.substr(begin, end - begin) << '\n';
        begin = end + 1;
    }
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string command;
    try {
        const TCommandLine line = Parse(args);
        if (line.Help) {
            std::cout << kHelp;
            return 0;
        }
        command = line.Command;
        return Run(line);
    } catch (const ERefusedInput& e) {
        return Report(command, e.what(), 1);
    } catch (const std::exception& e) {
        // The table layer's errors, a file or folder that cannot be written.
        return Report(command, e.what(), 2);
    }
}
