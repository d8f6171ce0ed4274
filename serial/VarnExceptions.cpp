#include "serial/VarnExceptions.h"

#include <cstdlib>
#include <system_error>

namespace {

// Codes from kVarnNotFound down to kVarnGeneralFailure are operating-system numbers:
// the table may name them, and EInOutError carries them.
bool IsSystemNumber(int number) {
    return number >= -kVarnNotFound && number <= -kVarnGeneralFailure;
}

const char* TableText(int number) {
    switch (number) {
        case 2:
            return "File not found";
        case 3:
            return "Path not found";
        case 4:
            return "Too many open files";
        case 5:
            return "File access denied";
        case 6:
            return "Invalid file handle";
        case 8:
            return "Insufficient memory";
        case 15:
            return "Invalid drive";
        case 18:
            return "No more files";
        case 100:
            return "Attempt to read beyond end of file";
        case 101:
            return "Disk is full";
        case 102:
            return "File/device not assigned";
        case 103:
            return "File/device not open";
        case 104:
            return "File/device not open for input";
        case 105:
            return "File/device not open for output";
        case 150:
            return "Disk is write-protected";
        case 151:
            return "Unknown disk unit";
        case 152:
            return "Drive is not ready";
        case 153:
            return "Unknown command";
        case 154:
            return "Data error";
        case 155:
            return "Bad request structure length";
        case 156:
            return "Seek error";
        case 157:
            return "Unknown media type";
        case 158:
            return "Disk sector not found";
        case 159:
            return "Printer is out of paper";
        case 160:
            return "Device write error";
        case 161:
            return "Device read error";
        case 162:
            return "General failure";
        case 1002:
            return "Bad argument passed to function";
        case 2001:
            return "ie_BadId - Specified comport doesn't exist";
        case 2007:
            return "ie_NOpen - device not open";
        case 2008:
            return "ie_Open - device already open";
        case 2011:
            return "The ComNumber property of the TVarnComPort has not been set";
        case 3001:
            return "No device layer specified";
        case 3006:
            return "Output buffer too small for block";
        case 3007:
            return "Buffer is empty";
        default:
            return nullptr;
    }
}

template <class E>
[[noreturn]] void Raise(int code) {
    throw E(VarnErrorText(code), code);
}

// The port's own codes and the exceptions they raise.
struct TRaiser {
    int code;
    void (*raise)(int code);
};

constexpr TRaiser kRaisers[] = {
    {kVarnBadArgument, Raise<EBadArgument>},
    {kVarnBadId, Raise<EBadId>},
    {kVarnNotOpen, Raise<ECommNotOpen>},
    {kVarnAlreadyOpen, Raise<EAlreadyOpen>},
    {kVarnNoPortSelected, Raise<ENoPortSelected>},
    {kVarnNullApi, Raise<ENullApi>},
    {kVarnOutputFull, Raise<EOutputBufferTooSmall>},
    {kVarnBufferEmpty, Raise<EBufferIsEmpty>},
};

}  // namespace

std::string TidyMessageText(const std::string& raw) {
    std::string text;
    for (char c : raw) {
        const unsigned char u = static_cast<unsigned char>(c);
        const char put = (u < 32 || u == 127) ? ' ' : c;
        if (put == ' ' && !text.empty() && text.back() == ' ') continue;
        text.push_back(put);
        if (text.size() == 255) break;
    }
    return text;
}

std::string VarnErrorText(int code) {
    const int number = std::abs(code);
    if (const char* text = TableText(number)) return text;
    if (IsSystemNumber(number)) return TidyMessageText(std::system_category().message(number));
    return "Varn exception";
}

bool VarnTableNames(int number) {
    return IsSystemNumber(number) && TableText(number) != nullptr;
}

void RaiseVarnError(int code) {
    for (const TRaiser& raiser : kRaisers)
        if (raiser.code == code) raiser.raise(code);
    if (code == kVarnOutOfMemory) throw EOutOfMemory("Out of memory");
    if (code <= kVarnNotFound && code >= kVarnGeneralFailure)
        throw EInOutError(VarnErrorText(code), -code);
    throw EVarnException("Varn exception", code);
}
