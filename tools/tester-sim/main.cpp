// haltguard-tester-sim: plays the tester on a pseudo-terminal linked as a COM port,
// for tests, demonstrations and users without an instrument.
//
// The first line on standard output names the port: "COM<n> <device>", for example
// "COM1 /dev/pts/5". The log (in --log FILE, or on standard output with --verbose)
// has one line for each event, flushed at once, <ms> being milliseconds since start:
//     <ms> RX 1 <addr>           identification command received
//     <ms> RX 2 <addr> <data>    write command; <data> is the rest of the line
//     <ms> RX 3 <addr>           read command
//     <ms> RX D <digits>         clock frame
//     <ms> RX ? <bytes>          a frame this tester does not know (ignored)
//     <ms> TX <bytes>            a reply (with any noise) as it starts on the line
//     <ms> NOREPLY <reason>      silent, drop, fail-after or address (no such cell)
//     <ms> END <reason>          the simulator ends (SIGTERM, SIGINT, SIGHUP)
// Bytes below 32, from 127 up and the backslash are written as \xHH.
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/tester-sim/SimLine.h"
#include "tools/tester-sim/SimLog.h"
#include "tools/tester-sim/SimOptions.h"
#include "tools/tester-sim/SimPort.h"
#include "tools/tester-sim/SimState.h"
#include "tools/tester-sim/SimTester.h"

namespace {

int gStopWrite = -1;

void OnSignal(int signal) {
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gStopWrite, &byte, 1);
}

// Signals end the main loop through a pipe, so that the link is put back on the
// normal path rather than inside a handler.
int InstallSignals() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    gStopWrite = fds[1];
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return fds[0];
}

std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace

int main(int argc, char** argv) {
    TSimOptions options;
    try {
        options = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "haltguard-tester-sim: %s\n", e.what());
        return 2;
    }
    if (options.Help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    try {
        const pid_t parent = ::getppid();
        const int stopFd = InstallSignals();
        if (options.DieWithParent) {
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (::getppid() != parent) ::raise(SIGTERM);  // the parent went before the call
        }
        TSimCells initial;
        if (!options.StateFile.empty()) initial = LoadSimState(options.StateFile);
        TSimTester tester(options, std::move(initial));
        // A terminal the user works in gets only the port's line unless asked for more.
        TSimLog log(options.LogFile, !options.Verbose);
        TSimPort port(options.Com);
        if (port.CreatedFolder())
            std::fprintf(stderr,
                         "haltguard-tester-sim: created the ports folder; while it exists, only "
                         "the ports linked in it exist\n");
        std::printf("COM%u %s\n", port.Com(), port.Device().c_str());
        std::fflush(stdout);

        TSimLine line(port.MasterFd(), options, tester, log, [&] {
            if (!options.StateFile.empty()) SaveSimState(options.StateFile, tester.State());
        });
        const int signal = line.Run(stopFd);
        port.Restore();
        log.Line("END " + SignalName(signal));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "haltguard-tester-sim: %s\n", e.what());
        return 1;
    }
}
