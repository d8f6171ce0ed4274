#include "tools/tester-sim/SimOptions.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "base/Cp1252.h"

namespace {

unsigned Number(const std::string& option, const std::string& text, unsigned low, unsigned high) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        throw std::invalid_argument(option + ": not a number: '" + text + "'");
    const unsigned long value = std::stoul(text);
    if (value < low || value > high)
        throw std::invalid_argument(option + ": must be from " + std::to_string(low) + " to " +
                                    std::to_string(high));
    return static_cast<unsigned>(value);
}

// Options that only switch something on, and options that take a number in a range.
struct TFlagOption {
    const char* Name;
    bool TSimOptions::*Target;
};
constexpr TFlagOption kFlagOptions[] = {
    {"--silent", &TSimOptions::Silent},
    {"--bad-checksum", &TSimOptions::BadChecksum},
    {"--lowercase-checksum", &TSimOptions::LowercaseChecksum},
    {"--short-frames", &TSimOptions::ShortFrames},
    {"--die-with-parent", &TSimOptions::DieWithParent},
    {"--verbose", &TSimOptions::Verbose},
    {"--help", &TSimOptions::Help},
    {"-h", &TSimOptions::Help},
};

struct TNumberOption {
    const char* Name;
    unsigned TSimOptions::*Target;
    unsigned Low, High;
};
constexpr TNumberOption kNumberOptions[] = {
    {"--com", &TSimOptions::Com, 1, 254},
    {"--baud", &TSimOptions::Baud, 0, 4000000},
    {"--delay-ms", &TSimOptions::DelayMs, 0, 600000},
    {"--drop-every", &TSimOptions::DropEvery, 1, 1000000000},
    {"--garbage-every", &TSimOptions::GarbageEvery, 1, 1000000000},
};

}  // namespace

TSimOptions ParseSimOptions(const std::vector<std::string>& args) {
    TSimOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        auto value = [&]() -> std::string {
            if (inlineValue) return *inlineValue;
            if (i + 1 >= args.size()) throw std::invalid_argument(name + ": needs a value");
            return args[++i];
        };
        auto flag = [&](bool& target) {
            if (inlineValue) throw std::invalid_argument(name + ": takes no value");
            target = true;
        };
        const auto flagOption = std::find_if(std::begin(kFlagOptions), std::end(kFlagOptions),
                                             [&](const TFlagOption& f) { return name == f.Name; });
        const auto numberOption =
            std::find_if(std::begin(kNumberOptions), std::end(kNumberOptions),
                         [&](const TNumberOption& n) { return name == n.Name; });
        if (flagOption != std::end(kFlagOptions)) {
            flag(o.*(flagOption->Target));
        } else if (numberOption != std::end(kNumberOptions)) {
            o.*(numberOption->Target) =
                Number(name, value(), numberOption->Low, numberOption->High);
        } else if (name == "--instrument") {
            const std::string text = value();
            o.Instrument = Utf8ToCp1252(text);
            if (o.Instrument.size() != 4 || Cp1252ToUtf8(o.Instrument) != text)
                throw std::invalid_argument(
                    "--instrument: needs exactly four characters of Windows-1252");
        } else if (name == "--version-code") {
            o.VersionCode = value();
            if (o.VersionCode.size() != 2 ||
                o.VersionCode.find_first_not_of(" !\"#$%&'()*+,-./0123456789:;<=>?@"
                                                "ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
                                                "abcdefghijklmnopqrstuvwxyz{|}~") !=
                    std::string::npos)
                throw std::invalid_argument("--version-code: needs two printable ASCII characters");
        } else if (name == "--state") {
            o.StateFile = value();
            if (o.StateFile.empty()) throw std::invalid_argument("--state: needs a file name");
        } else if (name == "--log") {
            o.LogFile = value();
            if (o.LogFile.empty()) throw std::invalid_argument("--log: needs a file name");
        } else if (name == "--fail-after") {
            o.FailAfter = Number(name, value(), 0, 1000000000);
        } else {
            throw std::invalid_argument("unknown option '" + args[i] + "' (see --help)");
        }
    }
    return o;
}

std::string SimUsage() {
    return R"(Usage: haltguard-tester-sim [OPTION]...
Plays the tester on a pseudo-terminal linked into the ports folder
(${XDG_CONFIG_HOME:-$HOME/.config}/Quillon/ports), so that Haltguard IDs finds
it when it scans the COM ports. Ends on Ctrl-C or SIGTERM and puts back the
link that stood there before (or removes its own).

The first line on standard output names the port:
    COM<n> <device>             for example "COM1 /dev/pts/5"

Options:
  --com N                link as COM N (1-254); default: the lowest number
                         whose link is missing or points nowhere
  --instrument TEXT      instrument number, four characters (default SIM1)
  --version-code XX      version code, two characters (default B8, 4.00;
                         B7 gives 3.99; non-hexadecimal codes count as 01)
  --state FILE           keep the cells and the clock in FILE: read at start,
                         written after every change
  --baud N               line rate for pacing replies, 10 bits a character
                         (default 9600; 0 sends at once)
  --delay-ms N           pause before each reply (default 5)
  --log FILE             write the log (below) to FILE
  --verbose              write the log to standard output
  --die-with-parent      end (cleanly) when the parent process ends
Faults on purpose:
  --silent               never answer
  --bad-checksum         answer with wrong checksums
  --lowercase-checksum   write checksum letters in lower case (the replies
                         are chosen so that every checksum has a letter)
  --short-frames         leave out the last character (the CR) of each reply
  --drop-every K         give no reply to every K-th command
  --garbage-every K      send noise before every K-th reply
  --fail-after N         fall silent after N replies
  --help                 show this text

Commands answered: identification (1) of 0190 and 0107 with a long reply;
write (2) and read (3) of the company-name cell 01C2, the vehicle cells
FC00-FEF8 and the trailer cells FF00-FFF8 with a short reply; the clock (D)
with a short reply. Anything else is ignored; input resynchronises on "!".

Log, one line for each event, flushed at once; <ms> is milliseconds since start:
    <ms> RX 1 <addr>           identification command received
    <ms> RX 2 <addr> <data>    write command; <data> is the rest of the line
    <ms> RX 3 <addr>           read command
    <ms> RX D <digits>         clock frame
    <ms> RX ? <bytes>          a frame this tester does not know (ignored)
    <ms> TX <bytes>            a reply (with any noise) as it starts on the line
    <ms> NOREPLY <reason>      silent, drop, fail-after or address (no such cell)
    <ms> END <reason>          the simulator ends (SIGTERM, SIGINT, ...)
Bytes below 32, from 127 up and the backslash are written as \xHH.

State file: one line for each written cell, "<addr><TAB><16 characters>", and
"CLOCK<TAB><14 digits>" once the clock has been set; characters escaped as in
the log; lines starting with "#" are comments.
)";
}
