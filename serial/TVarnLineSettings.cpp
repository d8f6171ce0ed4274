#include "serial/TVarnLineSettings.h"

namespace {

constexpr int kKeepParity = 5;
constexpr uint16_t kKeepDataBits = 9;
constexpr uint16_t kKeepStopBits = 3;

}  // namespace

TVarnLineSettings RequestedFormat(const TVarnLineSettings& current, int32_t baud, int parity,
                                  uint16_t stopBits, uint16_t dataBits) {
    using S = TVarnLineSettings;
    S wanted = current;
    wanted.baud = baud == 0 ? current.baud : baud;
    wanted.parity = parity == kKeepParity ? current.parity : parity;
    wanted.dataBits = dataBits == kKeepDataBits ? current.dataBits : dataBits;
    if (stopBits != kKeepStopBits) {
        const int stops = stopBits == 0 ? 1 : stopBits > 2 ? 2 : stopBits;
        wanted.stopBits = stops == 1 ? S::OneStop : S::TwoStop;
    }
    if (wanted.dataBits == 5) wanted.stopBits = S::OneAndHalfStop;
    return wanted;
}

void PutFormat(TVarnLineSettings& block, const TVarnLineSettings& format) {
    block.baud = format.baud;
    block.parity = format.parity;
    block.dataBits = format.dataBits;
    block.stopBits = format.stopBits;
    block.binary = true;
    block.parityCheck = false;
    block.dsrSensitivity = false;
    block.nullStrip = false;
    block.txContinueOnXoff = true;
}

// In units of 100 ns: (10000000 div rate) x bits x 18, doubled when below 1 ms; then
// rounded up to whole milliseconds. No rate, no pause.
int SettleMilliseconds(const TVarnLineSettings& current, int32_t lastRate) {
    if (lastRate <= 0) return 0;
    const int bits = current.dataBits + 2 + (current.parity != 0 ? 1 : 0) +
                     (current.stopBits != TVarnLineSettings::OneStop ? 1 : 0);
    int64_t t = static_cast<int64_t>(10000000 / lastRate) * bits * 18;
    if (t < 10000) t *= 2;
    return static_cast<int>((t + 9999) / 10000);
}

TVarnLineSettings::TControl LineControlOf(bool handshake, bool level) {
    if (handshake) return TVarnLineSettings::ControlHandshake;
    return level ? TVarnLineSettings::ControlOn : TVarnLineSettings::ControlOff;
}
