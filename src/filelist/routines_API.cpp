#include "filelist/routines_API.h"

#include "exceptions/exceptions_Veltrane.h"

namespace veltrane {

std::string GetSystemDirectoryPath(WindowsApi& api) {
    constexpr std::uint32_t BufferSize = 261;
    char buffer[BufferSize] = {};
    const std::uint32_t length = api.GetSystemDirectoryA(buffer, BufferSize);
    // A directory longer than the buffer is reported as its size, with nothing filled in:
    // as much a failure as a result of 0.
    if (length == 0 || length >= BufferSize) {
        throw EAPIRoutines("Could not retrieve the system directroy from windows");
    }
    return std::string(buffer, length);
}

}  // namespace veltrane
