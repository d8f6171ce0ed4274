// haltguard-ids-groups: the groups of the store listed, exported to and imported
// from spreadsheet files, backed up and restored, through the store's own
// operations. Exit 0 done, 1 refused input (nothing written), 2 store error.
#include <QCoreApplication>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "base/LocaleDateTime.h"
#include "sheets/ExportTypes.h"
#include "sheets/GroupFile.h"
#include "sheets/SheetErrors.h"
#include "store/DataPaths.h"
#include "store/StoreErrors.h"
#include "tools/groups/BackupCommands.h"
#include "tools/groups/GroupCommands.h"
#include "tools/groups/ToolErrors.h"

namespace {

constexpr const char* kProgram = "haltguard-ids-groups";

constexpr const char* kHelp =
    R"(Usage: haltguard-ids-groups COMMAND [OPTIONS] [ARGUMENTS]

Lists, exports, imports, backs up and restores the ID groups of Haltguard IDs,
through the store's own operations, on the store the setup tool chose (the local
files, or the group server); safe while the program runs.

  list [--long]             the group names in table order; --long adds, tab-
                            separated, the ID list table name, the number of
                            vehicle and trailer IDs that are not blank, and "ok"
                            or why the group does not load
  export [--format F] [--separator S] [--encoding E] [--plain] NAME [FILE]
                            the group as a spreadsheet file (header slot, vehicle,
                            trailer; 96 rows for slots 0-95) of the kind FILE's
                            extension names: .csv, .xlsx or .ods (another is
                            refused), or --format csv, xlsx or ods says; CSV to
                            standard output without FILE. CSV is UTF-8 with a
                            byte-order mark and commas, each cell a spreadsheet
                            would change written as ="...", so that it opens
                            right by a double-click; --separator (comma,
                            semicolon or tab) and --encoding windows-1252 change
                            that, --plain writes it for programs (no mark, ="..."
                            only for a cell starting with =, +, - or @)
  import [--replace] FILE NAME
                            makes the group NAME from the file (.xlsx, .ods, or CSV
                            of any common dialect), as New would, in one go; with
                            --replace saves the file's IDs into the existing group
                            NAME instead, as Save would. The whole file is checked
                            first; "-" reads CSV from standard input
  backup DIR                every group and its ID list table into DIR (new or
                            empty), laid out as the local store is
  restore [--replace] DIR   the backup's groups back into the store; a group the
                            store has already is refused unless --replace
  -h, --help                this text
  --                        ends the options: a NAME or FILE after it may start
                            with "-"

Exit status: 0 done, 1 refused input (nothing was written), 2 store error.
)";

struct TCommandLine {
    std::string Command;
    std::vector<std::string> Arguments;
    bool Long = false, Replace = false, Help = false;
    bool CsvOptions = false;  // --separator, --encoding or --plain given
    TCsvFormat Csv;
    std::optional<TSheetKind> Format;  // --format
};

[[noreturn]] void Refuse(const std::string& message) {
    throw ERefusedInput(message + "\nTry '" + kProgram + " --help'.");
}

char Separator(const std::string& name) {
    if (name == "comma" || name == ",") return ',';
    if (name == "semicolon" || name == ";") return ';';
    if (name == "tab" || name == "\t") return '\t';
    Refuse("--separator takes comma, semicolon or tab, not " + name);
}

TTextEncoding Encoding(std::string name) {
    for (char& c : name)
        if (c >= 'A' && c <= 'Z') c += 32;
    if (name == "utf-8" || name == "utf8") return TTextEncoding::Utf8;
    if (name == "windows-1252" || name == "cp1252") return TTextEncoding::Windows1252;
    Refuse("--encoding takes utf-8 or windows-1252, not " + name);
}

TSheetKind Format(const std::string& name) {
    const std::optional<TSheetKind> kind = KindOfExtension("." + name);
    if (!kind || name == "txt") Refuse("--format takes csv, xlsx or ods, not " + name);
    return *kind;
}

// The kind of file an export writes: --format, or what the name's extension says.
TSheetKind ExportKind(const TCommandLine& line) {
    if (line.Format) return *line.Format;
    const std::string file = line.Arguments.size() > 1 ? line.Arguments[1] : "-";
    if (file == "-") return TSheetKind::Csv;
    const std::string extension = ExtensionOfName(file);
    if (const std::optional<TSheetKind> kind = KindOfExtension(extension)) return *kind;
    Refuse(file + ": " +
           (extension.empty() ? std::string("has no extension")
                              : extension + " is not a kind of file the groups tool writes") +
           "; name it .csv, .xlsx or .ods, or give --format csv, xlsx or ods");
}

TCommandLine Parse(const std::vector<std::string>& args) {
    TCommandLine line;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string a = args[i];
        std::optional<std::string> value;  // --separator=semicolon as --separator semicolon
        if (options && a.starts_with("--") && a.find('=') != std::string::npos) {
            value = a.substr(a.find('=') + 1);
            a.erase(a.find('='));
        }
        const bool takesValue = a == "--separator" || a == "--encoding" || a == "--format";
        if (options && value && !takesValue) Refuse(a + " takes no value");
        if (options && takesValue) {
            if (!value && i + 1 == args.size()) Refuse(a + " needs a value");
            const std::string v = value ? *value : args[++i];
            if (a == "--format") {
                line.Format = Format(v);
                continue;
            }
            line.CsvOptions = true;
            if (a == "--separator")
                line.Csv.Separator = Separator(v);
            else
                line.Csv.Encoding = Encoding(v);
        } else if (options && a == "--plain") {
            line.CsvOptions = true;
            line.Csv.Plain = true;
        } else if (options && a == "--") {
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
        if (line.Format && line.Command != "export") Refuse(line.Command + ": takes no --format");
        if (line.Command == "export" && ExportKind(line) != TSheetKind::Csv && line.CsvOptions)
            Refuse(line.Command + ": --separator, --encoding and --plain are for a CSV file");
        if (line.CsvOptions && line.Command != "export")
            Refuse(line.Command + ": --separator, --encoding and --plain are for export");
        return line;
    }
    Refuse("unknown command " + line.Command);
}

int Report(const std::string& command, const std::string& text, int status);

int Run(const TCommandLine& line) {
    TToolContext tool{DefaultStorePaths(), LocaleDateTimeSource(), std::cout};
    tool.Note = [&](const std::string& lines) { Report(line.Command, lines, 0); };
    const std::vector<std::string>& a = line.Arguments;
    if (line.Command == "list") return ListGroups(tool, line.Long);
    if (line.Command == "export")
        ExportGroup(tool, a[0], a.size() > 1 ? a[1] : "-", ExportKind(line), line.Csv);
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

// The arguments as UTF-8, as names and paths are held everywhere. On Windows the
// narrow argv is in the ANSI code page; Qt reads the command line as Unicode there.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    const QCoreApplication app(argc, argv);
    std::vector<std::string> args;
    for (const QString& a : QCoreApplication::arguments().mid(1)) args.push_back(a.toStdString());
    return args;
#else
    return {argv + 1, argv + argc};
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = Arguments(argc, argv);
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
    } catch (const EUnreadableFile& e) {
        return Report(command, e.what(), 1);
    } catch (const EStoreNotSetUp& e) {
        // As the window says it: the program never makes the store, the setup tool does.
#ifdef _WIN32
        const char* const advice =
            "Run haltguard-ids-setup.exe from the program's folder to create it.";
#else
        const char* const advice = "Run haltguard-ids-setup to create it.";
#endif
        return Report(command, std::string(e.what()) + "\n" + advice, 2);
    } catch (const std::exception& e) {
        // The store's errors, a file or folder that cannot be written.
        return Report(command, e.what(), 2);
    }
}
