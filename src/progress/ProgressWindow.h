// The progress window: class "Setup", caption "Initializing...", the loader's 32 x 32 bitmap
// near the left edge and a progress bar filling the rest of its width. The loader never runs a
// message loop: the window is painted through direct calls, and never destroyed.
#pragma once

#include <cstdint>

#include "loader/LoaderProcess.h"

namespace veltrane {

inline constexpr int SetupWindowWidth = 400;
inline constexpr int SetupWindowHeight = 90;

// Registers the class "Setup"; true when the system gave it an atom.
bool RegisterSetupWindowClass(LoaderProcess& process);

// Creates the hidden window, centred on the area a maximised window covers, and its bar, whose
// handle goes to ProgressBarHandle (null when the bar cannot be made). Null on failure.
WindowHandle CreateSetupWindow(LoaderProcess& process);

// Creates the bar in the parent's client area, with the range 0 to 100, and shows it.
WindowHandle CreateProgressBar(LoaderProcess& process, WindowHandle parent);

// The class's window procedure; it finds its run through ActiveLoaderProcess.
std::intptr_t SetupWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam);

// Unless the quiet switch is given: loads the bitmap, registers the class and makes the window.
// Nothing here is reported: without a window the run goes on as in quiet mode.
void PrepareProgressWindow(LoaderProcess& process);

}  // namespace veltrane
