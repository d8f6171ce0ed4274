// The tests' PostgreSQL (tests/common/PgTestServer): how long one takes to be made
// (initdb) and started, and to start again on the same folder, as the server tests
// pay for it. Prints every run and the medians.
//
//   pgserver_bench [runs]        (default 7)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "tests/common/PgTestServer.h"

namespace {

double Median(std::vector<long> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    std::vector<long> made;
    std::vector<long> restarted;
    for (int i = 0; i < runs; ++i) {
        TPgTestServer server;
        made.push_back(server.StartMilliseconds());
        server.Stop();
        server.Start();
        restarted.push_back(server.StartMilliseconds());
        std::printf("run %d: made and started %ld ms, started again %ld ms\n", i + 1, made.back(),
                    restarted.back());
    }
    std::printf("median of %d: made and started %.0f ms, started again %.0f ms\n", runs,
                Median(made), Median(restarted));
    return 0;
}
