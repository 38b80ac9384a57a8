#include "progress/ProgressAccounting.h"

#include <limits>

#include "progress/Rounding.h"

namespace veltrane {

std::int32_t ProgressPosition(std::int64_t bytesWritten, std::int64_t totalBytes) {
    if (totalBytes == 0) return 0;
    const double percent =
        RoundHalfToEven(static_cast<double>(bytesWritten) / static_cast<double>(totalBytes) * 100.0);
    if (!(percent >= std::numeric_limits<std::int32_t>::min() &&
          percent <= std::numeric_limits<std::int32_t>::max())) {
        return 0;
    }
    return static_cast<std::int32_t>(percent);
}

void AdvanceProgress(LoaderProcess& process, std::int32_t count) {
    if (process.ProgressBarHandle == 0) return;
    process.BytesWritten += count;
    const std::int32_t position = ProgressPosition(process.BytesWritten, process.TotalBytes);
    process.api.SendMessageA(process.ProgressBarHandle, win::PbmSetPos,
                             static_cast<std::uintptr_t>(static_cast<std::intptr_t>(position)), 0);
}

}  // namespace veltrane
