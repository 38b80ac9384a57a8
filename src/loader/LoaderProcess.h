// The process-wide state of one run of the loader, beside the Windows interface it runs on.
//
// Windows gives the loader one process, and these values live as long as it does; holding
// them in one object rather than in globals lets every test start from zero. The entry point
// makes the one instance of a real run. The window procedure, which Windows calls with a fixed
// signature, finds it through ActiveLoaderProcess.
#pragma once

#include <cstdint>

#include "archive/ArchiveFormat.h"
#include "platform/WindowsApi.h"

namespace veltrane {

struct LoaderProcess {
    explicit LoaderProcess(WindowsApi& windows) : api(windows) {}

    WindowsApi& api;

    SelfExtractTrailer Trailer{};            // read once at start, read-only afterwards
    WindowHandle MainWindowHandle = 0;       // the progress window; null in quiet mode
    Handle SetupBitmap = NullHandle;         // BITMAP1, never released
    WindowHandle ProgressBarHandle = 0;      // the bar; null whenever there is no bar
    // Counted in 64 bits, so that installations of 2 GiB and more still move the bar to 100.
    std::int64_t BytesWritten = 0;
    std::int64_t TotalBytes = 0;
};

// The run the window procedure belongs to; set by the entry point before any window exists.
extern LoaderProcess* ActiveLoaderProcess;

}  // namespace veltrane
