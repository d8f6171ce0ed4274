#pragma once
// The error codes of the serial port and its device layer, and the exceptions that the
// port object raises for them. Each code is negative; its absolute value names its
// text in the message table. An operating-system error is given as its negated number.
#include <stdexcept>
#include <string>

// Operating-system numbers with a meaning of their own to the layers above.
constexpr int kVarnNotFound = -2;          // file not found: no such device
constexpr int kVarnPathNotFound = -3;      // path not found: no such device either
constexpr int kVarnTooManyFiles = -4;      // no descriptor or handle left
constexpr int kVarnAccessDenied = -5;      // the device is held by another
constexpr int kVarnBadHandle = -6;         // the device layer has no device open
constexpr int kVarnOutOfMemory = -8;       // events, rings or workers could not be made
constexpr int kVarnNotPermitted = -13;     // POSIX: this user may not open the device
constexpr int kVarnGeneralFailure = -162;  // a number the table would misname
// The port's own codes.
constexpr int kVarnBadArgument = -1002;     // flow-control marks out of order
constexpr int kVarnBadId = -2001;           // no such port
constexpr int kVarnNotOpen = -2007;         // an operation on a closed port
constexpr int kVarnAlreadyOpen = -2008;     // the port is in use
constexpr int kVarnNoPortSelected = -2011;  // no port number chosen
constexpr int kVarnNullApi = -3001;         // no such device layer
constexpr int kVarnOutputFull = -3006;      // the output ring has too little room
constexpr int kVarnBufferEmpty = -3007;     // fewer characters waiting than asked

// An error that carries a number beside its text.
class ENumberedError : public std::runtime_error {
public:
    ENumberedError(const std::string& message, int number)
        : std::runtime_error(message), number_(number) {}

protected:
    int Number() const { return number_; }

private:
    int number_;
};

class EVarnException : public ENumberedError {
public:
    using ENumberedError::ENumberedError;
    int Code() const { return Number(); }  // negative
};

class EGeneral : public EVarnException {
    using EVarnException::EVarnException;
};
class EBadArgument : public EGeneral {
    using EGeneral::EGeneral;
};

class EOpenComm : public EVarnException {
    using EVarnException::EVarnException;
};
class EBadId : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class ECommNotOpen : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class EAlreadyOpen : public EOpenComm {
    using EOpenComm::EOpenComm;
};
class ENoPortSelected : public EOpenComm {
    using EOpenComm::EOpenComm;
};

class ESerialIO : public EVarnException {
    using EVarnException::EVarnException;
};
class ENullApi : public ESerialIO {
    using ESerialIO::ESerialIO;
};
class EOutputBufferTooSmall : public ESerialIO {
    using ESerialIO::ESerialIO;
};
class EBufferIsEmpty : public ESerialIO {
    using ESerialIO::ESerialIO;
};

// The system-wide input/output error; not a EVarnException.
class EInOutError : public ENumberedError {
public:
    using ENumberedError::ENumberedError;
    int ErrorCode() const { return Number(); }  // the operating system's, positive
};

// Exhausted memory; not a EVarnException.
class EOutOfMemory : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Raises the exception that the message table gives for a negative code.
[[noreturn]] void RaiseVarnError(int code);
// The message text for a code's absolute value.
std::string VarnErrorText(int code);
// Whether the message table holds a text of its own for an operating-system number.
bool VarnTableNames(int number);
// A system message made fit for one line: control characters become blanks, runs of
// blanks one blank, at most 255 characters.
std::string TidyMessageText(const std::string& raw);
