// Small file routines on top of the Windows interface, shared by every part of the loader.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Handles.h"

namespace veltrane {

// True when FindFirstFileA finds something at the path and it is not a directory.
bool FileExists(WindowsApi& api, const std::string& path);

// Opens an existing file for reading, letting other processes read and write it meanwhile.
// The handle is empty when the open failed.
FileHandle OpenForSharedReading(WindowsApi& api, const std::string& path);

// Reads are judged only by the number of bytes that come back: a failed read counts as 0.
std::uint32_t ReadBytes(WindowsApi& api, Handle file, void* buffer, std::uint32_t count);

// 32-bit offsets of the archive add with wrap-around, as the loader's 32-bit arithmetic does,
// without relying on signed overflow.
inline std::int32_t AddWrapping(std::int32_t a, std::int32_t b) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace veltrane
