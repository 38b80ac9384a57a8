// The one place that includes <windows.h>. Only the Win32 backend and the entry point include
// this header; the loader's own code talks to the WindowsApi interface and never sees it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>

#include <commctrl.h>
