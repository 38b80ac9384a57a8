#include "progress/ProgressWindow.h"

#include "platform/Handles.h"
#include "loader/StartupShowState.h"
#include "progress/Rounding.h"

namespace veltrane {
namespace {

constexpr const char* SetupClassName = "Setup";
constexpr int BitmapLeft = 10;
constexpr int BitmapSize = 32;
constexpr int BarLeft = BitmapLeft + BitmapSize + 10;
constexpr int BarRightMargin = 10;
constexpr int BarHeight = 20;

// Centres a length within another: a/2 - b/2, rounded halves to even.
int Centred(int outer, int inner) { return static_cast<int>(RoundHalfToEven(outer / 2.0 - inner / 2.0)); }

std::uintptr_t MakeLParam(std::uint16_t low, std::uint16_t high) {
    return static_cast<std::uintptr_t>(std::uint32_t{high} << 16 | low);
}

void PaintSetupWindow(LoaderProcess& process, WindowHandle window) {
    WindowsApi& api = process.api;
    PaintBracket paint(api, window);
    Rect client;
    api.GetClientRect(window, &client);
    const int y = Centred(client.bottom - client.top, BitmapSize);
    MemoryDeviceContext memory(api, api.CreateCompatibleDC(NullHandle));
    // The bitmap stays selected into the memory context; it serves every later paint.
    api.SelectObject(memory.Get(), process.SetupBitmap);
    api.BitBlt(paint.DeviceContext(), BitmapLeft, y, BitmapSize, BitmapSize, memory.Get(), 0, 0,
               win::SrcCopy);
}

}  // namespace

bool RegisterSetupWindowClass(LoaderProcess& process) {
    WindowsApi& api = process.api;
    const Handle module = api.GetModuleHandleA();
    WindowClass setupClass;
    setupClass.style = win::CsVRedraw | win::CsHRedraw;
    setupClass.windowProcedure = SetupWindowProc;
    setupClass.instance = module;
    setupClass.icon = api.LoadIconA(module, "MAINICON");
    setupClass.cursor = api.LoadCursorA(NullHandle, win::IdcArrow);
    setupClass.background = win::ColorMenuBrush;
    setupClass.className = SetupClassName;
    return api.RegisterClassA(setupClass) != 0;
}

WindowHandle CreateSetupWindow(LoaderProcess& process) {
    WindowsApi& api = process.api;
    const int x = Centred(api.GetSystemMetrics(win::SmCxMaximized), SetupWindowWidth);
    const int y = Centred(api.GetSystemMetrics(win::SmCyMaximized), SetupWindowHeight);
    const WindowHandle window =
        api.CreateWindowExA(0, SetupClassName, "Initializing...", win::WsBorder, x, y, SetupWindowWidth,
                            SetupWindowHeight, 0, NullHandle, api.GetModuleHandleA(), nullptr);
    if (window == 0) return 0;
    process.ProgressBarHandle = CreateProgressBar(process, window);
    return window;
}

WindowHandle CreateProgressBar(LoaderProcess& process, WindowHandle parent) {
    if (parent == 0) return 0;
    WindowsApi& api = process.api;
    Rect client;
    api.GetClientRect(parent, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    const WindowHandle bar = api.CreateWindowExA(
        0, win::ProgressClass, nullptr, win::WsChild | win::WsClipSiblings, BarLeft,
        Centred(height, BarHeight), width - BarLeft - BarRightMargin, BarHeight, parent, NullHandle,
        api.GetModuleHandleA(), nullptr);
    if (bar == 0) return 0;
    api.SendMessageA(bar, win::PbmSetRange, 0, static_cast<std::intptr_t>(MakeLParam(0, 100)));
    api.SendMessageA(bar, win::PbmSetStep, 10, 0);
    api.ShowWindow(bar, StartupShowState(api));
    api.UpdateWindow(bar);
    return bar;
}

std::intptr_t SetupWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam) {
    LoaderProcess& process = *ActiveLoaderProcess;
    switch (message) {
        case win::WmDestroy:
            process.api.PostQuitMessage(0);
            return 0;
        case win::WmPaint:
            PaintSetupWindow(process, window);
            return process.api.DefWindowProcA(window, message, wParam, lParam);
        default:
            return process.api.DefWindowProcA(window, message, wParam, lParam);
    }
}

void PrepareProgressWindow(LoaderProcess& process) {
    WindowsApi& api = process.api;
    process.SetupBitmap = api.LoadBitmapA(api.GetModuleHandleA(), "BITMAP1");
    if (RegisterSetupWindowClass(process)) process.MainWindowHandle = CreateSetupWindow(process);
}

}  // namespace veltrane
