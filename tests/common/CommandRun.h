#pragma once
// Runs a command line through the shell, as the tests of the built programs do, and
// gives its exit status (-1 when it did not exit) with everything it printed.
// POSIX only.
#include <sys/wait.h>

#include <cstdio>
#include <string>

struct TCommandRun {
    int status = -1;
    std::string output;  // standard output and standard error together
};

inline TCommandRun RunCommand(const std::string& line) {
    TCommandRun run;
    FILE* pipe = ::popen((line + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}
