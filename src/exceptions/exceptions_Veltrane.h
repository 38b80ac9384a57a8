// The exception family of the loader. Every failure is one of these; the entry point catches
// Exception and shows its message in the error box.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace veltrane {

// The base of everything the top-level handler catches: a message for the user.
class Exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    virtual ~Exception() = default;
    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

class ECustomVeltraneAbnormal : public Exception {
    using Exception::Exception;
};

class EVeltraneAbnormal : public ECustomVeltraneAbnormal {
    using ECustomVeltraneAbnormal::ECustomVeltraneAbnormal;
};

// Raised by routines_API when Windows cannot give what it was asked for.
class EAPIRoutines : public EVeltraneAbnormal {
    using EVeltraneAbnormal::EVeltraneAbnormal;
};

// The run time's failure of buffered text output, carrying the operating system's error code.
class EInOutError : public Exception {
public:
    explicit EInOutError(std::uint32_t errorCode);
    std::uint32_t ErrorCode() const { return errorCode_; }

private:
    std::uint32_t errorCode_;
};

// The run time's failure to allocate memory.
class EOutOfMemory : public Exception {
public:
    EOutOfMemory() : Exception("Out of memory") {}
};

}  // namespace veltrane
