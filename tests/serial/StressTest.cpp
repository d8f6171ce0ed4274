// Both directions at once for a few seconds, random block sizes, flushes in between:
// every character that was not flushed arrives, once and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>

#include "serial/TVarnComPort.h"
#include "serial/VarnExceptions.h"
#include "tests/common/TempHome.h"
#include "tests/serial/PtyPair.h"

using namespace serial_test;
using namespace std::chrono_literals;

namespace {

struct Match {
    size_t end = 0;  // how far into the sent stream the received one reaches
    int gaps = 0;    // spans of the sent stream missing from the received one
    bool ok = true;
};

// The received stream must be the sent one with some spans cut out: nothing added,
// nothing twice, nothing out of order. After a cut, the next 16 characters find the
// place to go on from; in a pseudo-random stream that place is unambiguous.
Match MatchStreams(const std::string& sent, const std::string& received) {
    Match m;
    size_t i = 0, j = 0;
    while (j < received.size()) {
        if (i < sent.size() && sent[i] == received[j]) {
            ++i;
            ++j;
            continue;
        }
        const size_t probe = std::min<size_t>(16, received.size() - j);
        const auto from = sent.begin() + static_cast<std::ptrdiff_t>(std::min(i + 1, sent.size()));
        const auto at =
            std::search(from, sent.end(), received.begin() + static_cast<std::ptrdiff_t>(j),
                        received.begin() + static_cast<std::ptrdiff_t>(j + probe));
        if (at == sent.end()) {
            m.ok = false;
            break;
        }
        ++m.gaps;
        i = static_cast<size_t>(at - sent.begin());
    }
    m.end = i;
    return m;
}

TEST(MatchStreams, FindsCutsAndRefusesDisorder) {
    const std::string s = PatternBytes(1000, 5);
    EXPECT_EQ(MatchStreams(s, s).gaps, 0);
    const Match cut = MatchStreams(s, s.substr(0, 100) + s.substr(300));
    EXPECT_TRUE(cut.ok);
    EXPECT_EQ(cut.gaps, 1);
    EXPECT_EQ(cut.end, 1000u);
    EXPECT_FALSE(MatchStreams(s, s.substr(0, 500) + s.substr(400)).ok);       // twice
    EXPECT_FALSE(MatchStreams(s, s.substr(500, 100) + s.substr(0, 100)).ok);  // disorder
}

TEST(SerialStress, BothDirectionsWithFlushes) {
    // Room for a few seconds of traffic, less the last block each way.
    constexpr size_t kStream = 24 << 20, kLast = 1000, kUsable = kStream - kLast;
    TempHome home;
    PtyPair pty;
    pty.LinkAs(home.portsDir(), 1);
    TVarnComPort port;
    port.SetComNumber(1);
    port.SetAutoOpen(false);
    port.SetOpen(true);

    const std::string toPort = PatternBytes(kStream, 31);    // peer -> device -> ring
    const std::string fromPort = PatternBytes(kStream, 32);  // queue -> device -> peer
    std::atomic<size_t> peerWritten{0};
    std::atomic<bool> peerStop{false}, readerStop{false};
    std::mutex peerLock;
    std::string peerReceived;  // under peerLock

    std::thread peerWriter([&] {
        std::mt19937 rng(1);
        size_t at = 0;
        while (!peerStop && at < kUsable) {
            const size_t n = std::min<size_t>(1 + rng() % 700, kUsable - at);
            if (!pty.Write(toPort.data() + at, n)) break;
            at += n;
            peerWritten = at;
            if (rng() % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 500));
        }
    });
    std::thread peerReader([&] {
        char buffer[4096];
        while (!readerStop) {
            pollfd p{pty.Master(), POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = ::read(pty.Master(), buffer, sizeof buffer);
            if (n > 0) {
                std::lock_guard<std::mutex> guard(peerLock);
                peerReceived.append(buffer, static_cast<size_t>(n));
            }
        }
    });

    std::mt19937 rng(2);
    std::string received;
    size_t queued = 0;
    size_t mustArriveIn = 0, mustArriveOut = 0;  // stream positions after the last flush
    int inputFlushes = 0, outputFlushes = 0;
    char buffer[8192];
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end) {
        const int waiting = port.InputCount();
        if (waiting > 0) {
            const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(waiting));
            port.ReadBlock(buffer, static_cast<uint16_t>(n));
            received.append(buffer, static_cast<size_t>(n));
        }
        const size_t n = std::min<size_t>(1 + rng() % 3000, kUsable - queued);
        if (n > 0) {
            try {
                port.WriteString(fromPort.substr(queued, n));
                queued += n;
            } catch (const EOutputBufferTooSmall&) {
                // full for now; the writer makes room
            }
        }
        const unsigned dice = rng() % 1000;
        if (dice < 3) {
            port.FlushInput();
            ++inputFlushes;
            mustArriveIn = peerWritten;  // read after the flush: all later ones must come
        } else if (dice < 6) {
            port.FlushOutput();
            ++outputFlushes;
            mustArriveOut = queued;
        }
        if (rng() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
    }
    peerStop = true;
    peerWriter.join();
    // A last block each way after the last flush, which must arrive whole.
    ASSERT_TRUE(pty.Write(toPort.data() + peerWritten, kLast));
    const size_t totalIn = peerWritten + kLast;
    for (;;) {
        try {
            port.WriteString(fromPort.substr(queued, kLast));
            queued += kLast;
            break;
        } catch (const EOutputBufferTooSmall&) {
            std::this_thread::sleep_for(1ms);
        }
    }

    // Drain both directions.
    const Match in = [&] {
        Match m;
        WaitUntil(
            [&] {
                while (const int waiting = port.InputCount()) {
                    port.ReadBlock(buffer, static_cast<uint16_t>(waiting));
                    received.append(buffer, static_cast<size_t>(waiting));
                }
                m = MatchStreams(toPort.substr(0, totalIn), received);
                return !m.ok || m.end == totalIn;
            },
            10s);
        return m;
    }();
    const std::string sentOut = fromPort.substr(0, queued);
    WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(peerLock);
            const Match m = MatchStreams(sentOut, peerReceived);
            return !m.ok || m.end == queued;
        },
        10s);
    std::this_thread::sleep_for(200ms);  // anything extra would show up now
    readerStop = true;
    peerReader.join();
    const Match out = MatchStreams(sentOut, peerReceived);

    EXPECT_TRUE(in.ok);
    EXPECT_EQ(in.end, totalIn);
    EXPECT_LE(in.gaps, inputFlushes);
    ASSERT_GE(received.size(), totalIn - mustArriveIn);
    EXPECT_EQ(received.substr(received.size() - (totalIn - mustArriveIn)),
              toPort.substr(mustArriveIn, totalIn - mustArriveIn));

    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.end, queued);
    EXPECT_LE(out.gaps, outputFlushes);
    ASSERT_GE(peerReceived.size(), queued - mustArriveOut);
    EXPECT_TRUE(peerReceived.substr(peerReceived.size() - (queued - mustArriveOut)) ==
                fromPort.substr(mustArriveOut, queued - mustArriveOut));

    // Enough traffic went through for the test to mean something.
    EXPECT_GT(totalIn, 100000u);
    EXPECT_GT(queued, 100000u);
    RecordProperty("in_bytes", static_cast<int>(totalIn));
    RecordProperty("out_bytes", static_cast<int>(queued));
    RecordProperty("in_flushes_gaps", std::to_string(inputFlushes) + "/" + std::to_string(in.gaps));
    RecordProperty("out_flushes_gaps",
                   std::to_string(outputFlushes) + "/" + std::to_string(out.gaps));
    port.SetOpen(false);
}

}  // namespace
