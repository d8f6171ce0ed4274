#pragma once
// The settings block of a device, as last read from or written to it, and the rules by
// which a request for new line settings is read against the device's current ones.
#include <cstdint>

struct TVarnLineSettings {
    enum TStop { OneStop, OneAndHalfStop, TwoStop };
    enum TControl { ControlOff, ControlOn, ControlHandshake };
    static constexpr char kXon = 17;
    static constexpr char kXoff = 19;

    int32_t baud = 0;
    int parity = 0;  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    int dataBits = 8;
    TStop stopBits = OneStop;
    TControl dtrControl = ControlOn;
    TControl rtsControl = ControlOn;
    bool ctsOutFlow = false;  // hold output while CTS is low
    bool dsrOutFlow = false;  // hold output while DSR is low
    bool dsrSensitivity = false;
    bool outX = false;  // obey XOFF/XON from the other end
    bool inX = false;   // send XOFF/XON when the receive queue crosses the limits
    bool txContinueOnXoff = true;
    bool binary = true;  // no end-of-file character
    bool parityCheck = false;
    bool nullStrip = false;
    char xonChar = kXon;
    char xoffChar = kXoff;
    int xoffLimit = 0;  // free characters in the receive queue at which the sender stops
    int xonLimit = 0;   // characters in the receive queue at which it may go on

    bool SameFormat(const TVarnLineSettings& o) const {
        return baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits;
    }
};

// The format a request asks for: a rate of 0, parity 5, 9 data bits and 3 stop bits keep
// the device's own; other stop bits become 1 or 2; 5 data bits get one and a half.
TVarnLineSettings RequestedFormat(const TVarnLineSettings& current, int32_t baud, int parity,
                                  uint16_t stopBits, uint16_t dataBits);
// Puts the requested format into a block about to be written, with transparent transfer
// and no parity checking, DSR sensitivity or null stripping.
void PutFormat(TVarnLineSettings& block, const TVarnLineSettings& format);
// The pause before new settings are written: 18 character times of the device's current
// format at the last rate written, in whole milliseconds.
int SettleMilliseconds(const TVarnLineSettings& current, int32_t lastRate);
// How a line is controlled: by the handshake, or held at its level.
TVarnLineSettings::TControl LineControlOf(bool handshake, bool level);
