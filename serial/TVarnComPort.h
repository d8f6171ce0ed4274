#pragma once
// The serial port object: keeps the settings, orders opening and closing, and turns
// the device layer's negative codes into exceptions. Calls come from one thread
// (the GUI thread); none of them waits for the line.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/TVarnBaseComponent.h"
#include "serial/TVarnLineSettings.h"

class TVarnBaseDispatcher;

enum TParity { pNone, pOdd, pEven, pMark, pSpace };
enum THWFlowOption : unsigned {
    hwfUseDTR = 1,
    hwfUseRTS = 2,
    hwfRequireDSR = 4,
    hwfRequireCTS = 8
};
using THWFlowOptions = unsigned;  // a set of THWFlowOption bits
enum TSWFlowOptions { swfNone, swfReceive, swfTransmit, swfBoth };
enum TDeviceLayer { dlWin16, dlFossil, dlWin32, dlWinsock };
enum TTapiMode { tmNone, tmAuto, tmOn, tmOff };

class TVarnCustomComPort : public TVarnBaseComponent {
public:
    explicit TVarnCustomComPort(std::string name = "");
    ~TVarnCustomComPort() override;  // closes the port first when it is open

    // The stored properties. Line settings, flow control, the XON/XOFF characters and
    // the DTR and RTS levels reach an open device at once; the rest waits for an open.
    uint16_t ComNumber() const { return p_.comNumber; }
    void SetComNumber(uint16_t n);  // an open port is opened again on the new number
    int32_t Baud() const { return p_.baud; }
    void SetBaud(int32_t baud) { StoreLineSetting(p_.baud, baud); }
    TParity Parity() const { return p_.parity; }
    void SetParity(TParity parity) { StoreLineSetting(p_.parity, parity); }
    uint16_t DataBits() const { return p_.dataBits; }
    void SetDataBits(uint16_t bits) { StoreLineSetting(p_.dataBits, bits); }
    uint16_t StopBits() const { return p_.stopBits; }
    void SetStopBits(uint16_t bits) { StoreLineSetting(p_.stopBits, bits); }
    uint16_t InSize() const { return p_.inSize; }
    void SetInSize(uint16_t size) { p_.inSize = size; }
    uint16_t OutSize() const { return p_.outSize; }
    void SetOutSize(uint16_t size) { p_.outSize = size; }
    bool Open() const;
    void SetOpen(bool open);
    bool AutoOpen() const { return p_.autoOpen; }
    void SetAutoOpen(bool autoOpen) { p_.autoOpen = autoOpen; }
    bool PromptForPort() const { return p_.promptForPort; }
    void SetPromptForPort(bool prompt) { p_.promptForPort = prompt; }
    bool DTR() const { return p_.dtr; }
    void SetDTR(bool on) { Store(p_.dtr, on, &TVarnCustomComPort::ApplyDTR); }
    bool RTS() const { return p_.rts; }
    void SetRTS(bool on) { Store(p_.rts, on, &TVarnCustomComPort::ApplyRTS); }
    THWFlowOptions HWFlowOptions() const { return p_.hwFlow; }
    void SetHWFlowOptions(THWFlowOptions options) {
        Store(p_.hwFlow, options, &TVarnCustomComPort::ApplyHardwareFlow);
    }
    TSWFlowOptions SWFlowOptions() const { return p_.swFlow; }
    void SetSWFlowOptions(TSWFlowOptions options) {
        Store(p_.swFlow, options, &TVarnCustomComPort::ApplySoftwareFlow);
    }
    char XOnChar() const { return p_.xonChar; }
    void SetXOnChar(char c) { Store(p_.xonChar, c, &TVarnCustomComPort::ApplyFlowChars); }
    char XOffChar() const { return p_.xoffChar; }
    void SetXOffChar(char c) { Store(p_.xoffChar, c, &TVarnCustomComPort::ApplyFlowChars); }
    uint16_t BufferFull() const { return p_.bufferFull; }
    void SetBufferFull(uint16_t mark);
    uint16_t BufferResume() const { return p_.bufferResume; }
    void SetBufferResume(uint16_t mark);
    TDeviceLayer DeviceLayer() const { return p_.deviceLayer; }
    void SetDeviceLayer(TDeviceLayer layer) { p_.deviceLayer = layer; }
    TTapiMode TapiMode() const { return p_.tapiMode; }
    void SetTapiMode(TTapiMode mode) { p_.tapiMode = mode; }

    void FlushInput();
    void FlushOutput();
    int InputCount();                            // 0..8192; 0 when not open
    void ReadBlock(char* buffer, uint16_t n);    // exactly n, or EBufferIsEmpty
    void WriteString(const std::string& bytes);  // queues all, or EOutputBufferTooSmall

    // Asked when the port opens with ComNumber 0 and PromptForPort set; gives the
    // chosen number, or 0 when the user chose none. Without one, no port is chosen.
    void SetPortChooser(std::function<uint16_t()> chooser);

protected:
    // The class's virtual operations, in table order.
    virtual std::unique_ptr<TVarnBaseDispatcher> CreateDispatcher();
    virtual void OpenDispatcher();
    virtual void CreateNotifyWindow(bool create);
    virtual void ValidatePortNumber();
    virtual void ClosePort();

private:
    // The defaults are those of the table of properties.
    struct TProperties {
        uint16_t comNumber = 0;  // 0: none chosen
        int32_t baud = 19200;
        TParity parity = pNone;
        uint16_t dataBits = 8;
        uint16_t stopBits = 1;
        uint16_t inSize = 4096;   // the device's receive queue, asked for at open
        uint16_t outSize = 4096;  // its transmit queue and the output ring
        bool autoOpen = true;
        bool promptForPort = true;
        bool dtr = true;
        bool rts = true;
        THWFlowOptions hwFlow = 0;
        TSWFlowOptions swFlow = swfNone;
        char xonChar = TVarnLineSettings::kXon;
        char xoffChar = TVarnLineSettings::kXoff;
        uint16_t bufferFull = 0;    // receive flow control: stop mark
        uint16_t bufferResume = 0;  // resume mark
        TDeviceLayer deviceLayer = dlWin32;
        TTapiMode tapiMode = tmAuto;
    };

    // Stores a property; an open device gets it at once through apply.
    template <class T>
    void Store(T& property, T value, void (TVarnCustomComPort::*apply)()) {
        property = value;
        if (DeviceOpen()) (this->*apply)();
    }
    // The same for a line setting, which is not kept when the device refuses it, so
    // that the properties always tell what the device runs at.
    template <class T>
    void StoreLineSetting(T& property, T value) {
        const T old = property;
        try {
            Store(property, value, &TVarnCustomComPort::ApplyLine);
        } catch (...) {
            property = old;
            throw;
        }
    }
    bool DeviceOpen() const;
    // Each writes its properties to the open device.
    void ApplyLine();
    void ApplyHardwareFlow();
    void ApplySoftwareFlow();
    void ApplyMarks();
    void ApplyFlowChars();
    void ApplyDTR();
    void ApplyRTS();

    void OpenPort();
    bool ReadyForUse();

    TProperties p_;
    struct Impl;  // the state of the port and its device layer
    std::unique_ptr<Impl> d;
};

// The component placed on a window; the defaults are those of the table of properties.
class TVarnComPort : public TVarnCustomComPort {
public:
    using TVarnCustomComPort::TVarnCustomComPort;
};
