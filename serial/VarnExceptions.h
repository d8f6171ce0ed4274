#pragma once
// Exceptions of the serial port object. Each carries the negative error code and
// the text that the message table holds for it.
#include <stdexcept>
#include <string>

class EVarnException : public std::runtime_error {
public:
    EVarnException(const std::string& message, int code)
        : std::runtime_error(message), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
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
class EInOutError : public std::runtime_error {
public:
    EInOutError(const std::string& message, int errorNumber)
        : std::runtime_error(message), errorCode_(errorNumber) {}
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
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
// A system message made fit for one line: control characters become blanks, runs of
// blanks one blank, at most 255 characters.
std::string TidyMessageText(const std::string& raw);
