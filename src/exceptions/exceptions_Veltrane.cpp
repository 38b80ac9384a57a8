#include "exceptions/exceptions_Veltrane.h"

namespace veltrane {
namespace {

// The run time's texts for the input/output error codes; any other code is shown by number.
std::string InOutErrorMessage(std::uint32_t code) {
    switch (code) {
        case 2: return "File not found";
        case 3: return "Invalid filename";
        case 4: return "Too many open files";
        case 5: return "File access denied";
        case 100: return "Read beyond end of file";
        case 101: return "Disk full";
        case 106: return "Invalid numeric input";
        default: return "I/O error " + std::to_string(static_cast<std::int32_t>(code));
    }
}

}  // namespace

EInOutError::EInOutError(std::uint32_t errorCode)
    : Exception(InOutErrorMessage(errorCode)), errorCode_(errorCode) {}

}  // namespace veltrane
