// Counting the bytes extraction writes, and moving the progress bar with them.
#pragma once

#include <cstdint>

#include "loader/LoaderProcess.h"

namespace veltrane {

// The bar's position for a share of the total, in percent, rounded halves to even; 0 when it
// cannot be computed (no total, or a result beyond 32 bits). Above 100 when more was written
// than announced.
std::int32_t ProgressPosition(std::int64_t bytesWritten, std::int64_t totalBytes);

// Adds count written bytes and sends the bar its position. Does nothing at all when there is
// no bar (quiet mode, or the window or the bar could not be made).
void AdvanceProgress(LoaderProcess& process, std::int32_t count);

}  // namespace veltrane
