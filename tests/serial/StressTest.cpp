// Both directions at once for a few seconds, random block sizes, flushes in between:
// every character that was not flushed arrives, once and in order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <random>
#include <vector>

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

// The received stream must be the sent one with spans cut out where flushes happened:
// nothing added, nothing twice, nothing out of order. After a cut, up to 16 of the
// next characters find the place to go on from; in a pseudo-random stream that place
// is unambiguous.

// Received input: a flush cuts the stream where the taker had got to (cuts, positions
// in the received stream); where it goes on is found by searching forward.
Match MatchCutsAt(const std::string& sent, const std::string& received,
                  const std::vector<size_t>& cuts) {
    Match m;
    size_t i = 0, j = 0, c = 0;
    while (j < received.size()) {
        if (c < cuts.size() && cuts[c] == j) {
            while (c < cuts.size() && cuts[c] == j) ++c;
            const size_t segmentEnd = c < cuts.size() ? cuts[c] : received.size();
            const size_t probe = std::min<size_t>(16, segmentEnd - j);
            const auto from = sent.begin() + static_cast<std::ptrdiff_t>(i);
            const auto r = received.begin() + static_cast<std::ptrdiff_t>(j);
            const auto at =
                std::search(from, sent.end(), r, r + static_cast<std::ptrdiff_t>(probe));
            if (at == sent.end()) {
                m.ok = false;
                break;
            }
            if (at != from) ++m.gaps;
            i = static_cast<size_t>(at - sent.begin());
        }
        if (i >= sent.size() || sent[i] != received[j]) {
            m.ok = false;
            break;
        }
        ++i;
        ++j;
    }
    m.end = i;
    return m;
}

// Sent output: a flush discards everything queued before it that has not gone out,
// so the stream goes on exactly where the queue stood at a flush (resumes, positions
// in the sent stream). A few characters before a cut may match by chance.
Match MatchResumingAt(const std::string& sent, const std::string& received,
                      const std::vector<size_t>& resumes) {
    Match m;
    size_t i = 0, j = 0, runStart = 0;
    while (j < received.size()) {
        if (i < sent.size() && sent[i] == received[j]) {
            ++i;
            ++j;
            continue;
        }
        // The candidate that goes on longest wins; a resume followed closely by another
        // cut matches only a little.
        size_t best = 0, bestI = 0, bestJ = 0;
        for (size_t back = 0; back <= std::min<size_t>(3, j - runStart); ++back) {
            const size_t ii = i - back, jj = j - back;
            for (auto p = std::upper_bound(resumes.begin(), resumes.end(), ii); p != resumes.end();
                 ++p) {
                size_t n = 0;
                while (n < 16 && *p + n < sent.size() && jj + n < received.size() &&
                       sent[*p + n] == received[jj + n])
                    ++n;
                if (n > best) {
                    best = n;
                    bestI = *p;
                    bestJ = jj;
                }
            }
        }
        if (best == 0) {
            m.ok = false;
            break;
        }
        i = bestI;
        j = bestJ;
        ++m.gaps;
        runStart = j;
    }
    m.end = i;
    return m;
}

TEST(MatchStreams, FindsCutsAndRefusesDisorder) {
    const std::string s = PatternBytes(1000, 5);
    EXPECT_EQ(MatchCutsAt(s, s, {}).gaps, 0);
    const Match cut = MatchCutsAt(s, s.substr(0, 100) + s.substr(300), {100});
    EXPECT_TRUE(cut.ok);
    EXPECT_EQ(cut.gaps, 1);
    EXPECT_EQ(cut.end, 1000u);
    EXPECT_FALSE(MatchCutsAt(s, s.substr(0, 100) + s.substr(300), {}).ok);     // no flush there
    EXPECT_FALSE(MatchCutsAt(s, s.substr(0, 500) + s.substr(400), {500}).ok);  // twice
    EXPECT_FALSE(MatchCutsAt(s, s.substr(500, 100) + s.substr(0, 100), {100}).ok);  // disorder
    // Two flushes close together.
    EXPECT_TRUE(MatchCutsAt(s, s.substr(0, 10) + s.substr(20, 3) + s.substr(40), {10, 13}).ok);

    const Match resumed = MatchResumingAt(s, s.substr(0, 100) + s.substr(300), {300});
    EXPECT_TRUE(resumed.ok);
    EXPECT_EQ(resumed.gaps, 1);
    EXPECT_FALSE(MatchResumingAt(s, s.substr(0, 100) + s.substr(300), {299}).ok);
    EXPECT_FALSE(MatchResumingAt(s, s.substr(0, 500) + s.substr(400), {400}).ok);  // twice
    EXPECT_TRUE(MatchResumingAt(s, s.substr(0, 10) + s.substr(20, 2) + s.substr(40), {20, 40}).ok);
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
    // How far the peer may have put characters into the device: raised before each
    // block is written, so that a flush can only have met characters below it.
    std::atomic<size_t> peerIssued{0};
    std::atomic<bool> peerStop{false}, readerStop{false};
    std::mutex peerLock;
    std::string peerReceived;  // under peerLock

    std::thread peerWriter([&] {
        std::mt19937 rng(1);
        size_t at = 0;
        while (!peerStop && at < kUsable) {
            const size_t n = std::min<size_t>(1 + rng() % 700, kUsable - at);
            peerIssued = at + n;
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
    std::vector<size_t> inputCuts, outputResumes;
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
            inputCuts.push_back(received.size());
            mustArriveIn = peerIssued;  // read after the flush: all later ones must come
        } else if (dice < 6) {
            port.FlushOutput();
            ++outputFlushes;
            outputResumes.push_back(queued);
            mustArriveOut = queued;
        }
        if (rng() % 16 == 0) std::this_thread::sleep_for(std::chrono::microseconds(rng() % 300));
    }
    peerStop = true;
    peerWriter.join();
    // A last block each way after the last flush, which must arrive whole. The peer
    // writes its block while the port is drained below: with the input ring and the
    // device's queue full, it would otherwise wait for room that never comes.
    bool lastBlockWritten = false;
    std::thread lastBlock(
        [&] { lastBlockWritten = pty.Write(toPort.data() + peerWritten, kLast); });
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
                m = MatchCutsAt(toPort.substr(0, totalIn), received, inputCuts);
                return !m.ok || m.end == totalIn;
            },
            10s);
        return m;
    }();
    lastBlock.join();
    EXPECT_TRUE(lastBlockWritten);
    const std::string sentOut = fromPort.substr(0, queued);
    WaitUntil(
        [&] {
            std::lock_guard<std::mutex> guard(peerLock);
            const Match m = MatchResumingAt(sentOut, peerReceived, outputResumes);
            return !m.ok || m.end == queued;
        },
        10s);
    std::this_thread::sleep_for(200ms);  // anything extra would show up now
    readerStop = true;
    peerReader.join();
    const Match out = MatchResumingAt(sentOut, peerReceived, outputResumes);

    EXPECT_TRUE(in.ok);
    EXPECT_EQ(in.end, totalIn);
    EXPECT_LE(in.gaps, inputFlushes);
    ASSERT_GE(received.size(), totalIn - mustArriveIn);
    EXPECT_TRUE(received.substr(received.size() - (totalIn - mustArriveIn)) ==
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
