#include "tools/tester-sim/SimTester.h"

#include <cctype>
#include <utility>

#include "tester/Frames.h"
#include "tools/tester-sim/SimText.h"

namespace {

bool IsUpperHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The address field of a command frame, or -1 when it is not four upper-case hex digits.
int AddressField(const std::string& frame) {
    unsigned value = 0;
    for (std::size_t i = 6; i < 10; ++i) {
        if (!IsUpperHex(frame[i])) return -1;
        value = value * 16 + static_cast<unsigned>(HexPairValue('0', frame[i]));
    }
    return static_cast<int>(value);
}

// Four characters as two hexadecimal words, low byte first in each word.
std::string HexWords(const std::string& four) {
    static const char digits[] = "0123456789ABCDEF";
    auto hexByte = [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return std::string{digits[b >> 4], digits[b & 0xF]};
    };
    std::string out;
    for (std::size_t i = 0; i + 1 < four.size(); i += 2)
        out += hexByte(four[i + 1]) + hexByte(four[i]);
    return out;
}

}  // namespace

bool IsSimCellAddress(uint16_t address) {
    return address == kCompanyNameAddress ||
           (address >= kVehicleCellBase && (address - kVehicleCellBase) % kCellStride == 0);
}

TSimTester::TSimTester(const TSimOptions& options, TSimCells initial)
    : options_(options), state_(std::move(initial)) {}

std::vector<TSimAction> TSimTester::Receive(std::string_view bytes) {
    std::vector<TSimAction> actions;
    auto abandon = [&] {
        if (frame_.empty()) return;
        TSimAction action;
        action.Log.push_back("RX ? " + EscapeBytes(frame_));
        actions.push_back(std::move(action));
        frame_.clear();
    };
    for (char c : bytes) {
        if (c == '!') {
            abandon();  // a new frame starts: the one before was cut off
            frame_ = "!";
        } else if (!frame_.empty()) {
            frame_ += c;
            if (c == kCR) {
                actions.push_back(Answer(frame_));
                frame_.clear();
            } else if (frame_.size() >= kLongestFrame) {
                abandon();
            }
        }
        // Bytes outside a frame are line noise.
    }
    return actions;
}

TSimAction TSimTester::Answer(const std::string& frame) {
    TSimAction action;
    const std::size_t n = frame.size();
    const bool prefix = frame.compare(0, 5, "!0000") == 0;
    const char command = n > 5 ? frame[5] : 0;
    const int address = n == 11 || n == 27 ? AddressField(frame) : -1;
    auto unknown = [&] {
        action.Log.push_back("RX ? " + EscapeBytes(frame));
        return action;
    };
    if (!prefix) return unknown();

    if (command == 'D' && n == 21) {
        const std::string digits = frame.substr(6, 14);
        for (char c : digits)
            if (!IsDigit(c)) return unknown();
        action.Log.push_back("RX D " + digits);
        const TFate fate = Fate(action);
        if (fate == TFate::Dead) return action;
        if (state_.Clock != digits) {
            state_.Clock = digits;
            action.Changed = true;
        }
        if (fate == TFate::Answered) action.Reply = ReplyFrame("0000" + PadToCell(digits));
        return action;
    }
    const bool wellFormed =
        ((command == '1' || command == '3') && n == 11) || (command == '2' && n == 27);
    if (address < 0 || !wellFormed) return unknown();
    const auto a = static_cast<uint16_t>(address);
    const std::string addressText = AddressText(a);
    const std::string data = frame.substr(10, n - 11);
    action.Log.push_back(std::string("RX ") + command + " " + addressText +
                         (command == '2' ? " " + EscapeBytes(data) : std::string()));

    const bool known = command == '1'
                           ? a == kIdentificationAddress || a == kSecondIdentificationAddress
                           : IsSimCellAddress(a);
    if (!known) {
        action.Log.push_back("NOREPLY address");
        return action;
    }
    const TFate fate = Fate(action);
    if (fate == TFate::Dead) return action;
    if (command == '2') {
        auto [it, inserted] = state_.Cells.try_emplace(a, data);
        if (inserted || it->second != data) {
            it->second = data;
            action.Changed = true;
        }
    }
    if (fate == TFate::Lost) return action;
    if (command == '1') {
        std::string payload = "0000";
        if (a == kIdentificationAddress)
            payload += HexWords(options_.Instrument) + options_.VersionCode;
        payload.resize(4 + 64, '0');
        action.Reply = ReplyFrame(payload);
    } else if (command == '2') {
        action.Reply = ReplyFrame("0000" + data);
    } else {
        const auto it = state_.Cells.find(a);
        action.Reply = ReplyFrame("0000" + (it == state_.Cells.end() ? PadToCell("") : it->second));
    }
    return action;
}

TSimTester::TFate TSimTester::Fate(TSimAction& action) {
    ++commands_;
    if (options_.Silent) {
        action.Log.push_back("NOREPLY silent");
        return TFate::Dead;
    }
    if (options_.FailAfter && replies_ >= *options_.FailAfter) {
        action.Log.push_back("NOREPLY fail-after");
        return TFate::Dead;
    }
    if (options_.DropEvery && commands_ % options_.DropEvery == 0) {
        action.Log.push_back("NOREPLY drop");
        return TFate::Lost;
    }
    return TFate::Answered;
}

std::string TSimTester::ReplyFrame(std::string payload) {
    ++replies_;
    if (options_.LowercaseChecksum) {
        // Payload position 1 is not examined; pick it so that the checksum has a letter.
        for (char c = '0'; c <= '?'; ++c) {
            payload[0] = c;
            if (ChecksumText(payload).find_first_of("ABCDEF") != std::string::npos) break;
        }
    }
    std::string checksum = ChecksumText(payload);
    if (options_.BadChecksum) {
        std::string sum(1, static_cast<char>(HexPairValue(checksum[0], checksum[1]) + 1));
        checksum = ChecksumText(sum);
    }
    if (options_.LowercaseChecksum)
        for (char& c : checksum) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string frame = ":00000" + payload + checksum + kCR;
    if (options_.ShortFrames) frame.pop_back();
    if (options_.GarbageEvery && replies_ % options_.GarbageEvery == 0) frame = kNoise + frame;
    return frame;
}
