#include "tester/LinkSessionTexts.h"

#include "base/Utf8.h"
#include "serial/PortNames.h"

namespace {

const char* const kNoPortFound =
    "no serial port found: plug in the adapter, or run haltguard-ids-setup --check-ports";
const char* const kNoAnswerAdvice = ": is the tester on and connected?";
// Held ports named with their holder; the line has room for few words.
constexpr std::size_t kHeldNamed = 1;

// Characters that print nothing or change how the rest is shown: the C0 and C1
// controls, DEL, the soft hyphen, zero-width and direction marks, line and paragraph
// separators, the byte-order mark, interlinear annotation marks, and noncharacters.
bool ShowsNothing(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xAD || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c & 0xFFFE) == 0xFFFE;
}

}  // namespace

std::string ExplainScanRound(const TScanRound& round) {
    if (round.silent.empty() && round.held.empty()) return kNoPortFound;
    std::string text;
    auto add = [&text](const std::string& part) { text += (text.empty() ? "" : "; ") + part; };
    for (std::size_t i = 0; i < round.held.size() && i < kHeldNamed; ++i)
        add("COM" + std::to_string(round.held[i].first) + " in use by " + round.held[i].second);
    if (round.held.size() > kHeldNamed) {
        std::vector<unsigned> more;
        for (std::size_t i = kHeldNamed; i < round.held.size(); ++i)
            more.push_back(round.held[i].first);
        add(PortRangesText(more) + " in use");
    }
    if (!round.silent.empty())
        add("no answer on " + PortRangesText(round.silent) + kNoAnswerAdvice);
    return text;
}

std::string PrintableLine(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const std::optional<char32_t> c = NextCodePoint(utf8, i);
        if (c && !ShowsNothing(*c))
            AppendUtf8(out, *c);
        else
            out += '?';
    }
    return out;
}
