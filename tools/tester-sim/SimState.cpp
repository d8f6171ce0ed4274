#include "tools/tester-sim/SimState.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "tester/Frames.h"
#include "tools/tester-sim/SimText.h"

namespace {

constexpr const char* kClockKey = "CLOCK";

std::optional<uint16_t> ParseAddress(const std::string& text) {
    if (text.size() != 4 || text.find_first_not_of("0123456789ABCDEF") != std::string::npos)
        return std::nullopt;
    return static_cast<uint16_t>(std::stoul(text, nullptr, 16));
}

}  // namespace

TSimCells LoadSimState(const std::string& path) {
    TSimCells state;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (!std::filesystem::exists(path)) return state;
        throw std::runtime_error("cannot read the state file " + path);
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#') continue;
        const auto bad = [&](const std::string& why) {
            return std::runtime_error(path + ":" + std::to_string(number) + ": " + why);
        };
        const auto tab = line.find('\t');
        if (tab == std::string::npos) throw bad("no tab");
        const std::string key = line.substr(0, tab);
        const std::optional<std::string> value = UnescapeBytes(line.substr(tab + 1));
        if (!value) throw bad("malformed escape");
        if (key == kClockKey) {
            if (value->size() != 14 || value->find_first_not_of("0123456789") != std::string::npos)
                throw bad("the clock needs 14 digits");
            state.Clock = *value;
            continue;
        }
        const std::optional<uint16_t> address = ParseAddress(key);
        if (!address || !IsSimCellAddress(*address)) throw bad("not a cell address: " + key);
        if (value->size() != kCellLength) throw bad("a cell holds 16 characters");
        state.Cells[*address] = *value;
    }
    if (in.bad()) throw std::runtime_error("cannot read the state file " + path);
    return state;
}

void SaveSimState(const std::string& path, const TSimCells& state) {
    const std::string temporary = path + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << "# haltguard-tester-sim state: <addr><TAB><cell> and CLOCK<TAB><digits>\n";
        if (!state.Clock.empty()) out << kClockKey << '\t' << state.Clock << '\n';
        for (const auto& [address, cell] : state.Cells)
            out << AddressText(address) << '\t' << EscapeBytes(cell) << '\n';
        out.flush();
        if (!out) throw std::runtime_error("cannot write the state file " + temporary);
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) throw std::runtime_error("cannot replace the state file " + path + ": " + ec.message());
}
