// Windows queries that raise EAPIRoutines when the system cannot answer.
#pragma once

#include <string>

#include "platform/WindowsApi.h"

namespace veltrane {

// The system directory, exactly as GetSystemDirectoryA writes it.
std::string GetSystemDirectoryPath(WindowsApi& api);

}  // namespace veltrane
