#pragma once
// The serial port object: keeps the settings, orders opening and closing, and turns
// the device layer's negative codes into exceptions. Calls come from one thread
// (the GUI thread); none of them waits for the line.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/TVarnBaseComponent.h"

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

    uint16_t ComNumber() const;
    void SetComNumber(uint16_t n);
    int32_t Baud() const;
    void SetBaud(int32_t baud);
    TParity Parity() const;
    void SetParity(TParity parity);
    uint16_t DataBits() const;
    void SetDataBits(uint16_t bits);
    uint16_t StopBits() const;
    void SetStopBits(uint16_t bits);
    uint16_t InSize() const;
    void SetInSize(uint16_t size);
    uint16_t OutSize() const;
    void SetOutSize(uint16_t size);
    bool Open() const;
    void SetOpen(bool open);
    bool AutoOpen() const;
    void SetAutoOpen(bool autoOpen);
    bool PromptForPort() const;
    void SetPromptForPort(bool prompt);
    bool DTR() const;
    void SetDTR(bool on);
    bool RTS() const;
    void SetRTS(bool on);
    THWFlowOptions HWFlowOptions() const;
    void SetHWFlowOptions(THWFlowOptions options);
    TSWFlowOptions SWFlowOptions() const;
    void SetSWFlowOptions(TSWFlowOptions options);
    char XOnChar() const;
    void SetXOnChar(char c);
    char XOffChar() const;
    void SetXOffChar(char c);
    uint16_t BufferFull() const;
    void SetBufferFull(uint16_t mark);
    uint16_t BufferResume() const;
    void SetBufferResume(uint16_t mark);
    TDeviceLayer DeviceLayer() const;
    void SetDeviceLayer(TDeviceLayer layer);
    TTapiMode TapiMode() const;
    void SetTapiMode(TTapiMode mode);

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
    void OpenPort();
    bool ReadyForUse();

    struct Impl;
    std::unique_ptr<Impl> d;
};

// The component placed on a window; the defaults are those of the table of properties.
class TVarnComPort : public TVarnCustomComPort {
public:
    using TVarnCustomComPort::TVarnCustomComPort;
};
