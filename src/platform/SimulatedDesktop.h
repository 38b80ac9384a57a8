// The simulated Windows' user interface: window classes, windows and the progress control,
// messages, message boxes, the module's resources, and the device contexts of painting.
//
// Nothing is drawn. What a test can see is what the program asked for: every class registered,
// every window created with its arguments, every message sent and every message that reached a
// window procedure, and every BitBlt with its arguments.
//
// Painting follows Windows: a window needs painting once it is shown (or created visible);
// UpdateWindow sends WM_PAINT to its window procedure only while it is visible and needs
// painting; BeginPaint, or DefWindowProcA with WM_PAINT, marks it painted.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/SimulatedKernel.h"
#include "platform/WindowsApi.h"

namespace veltrane {

struct SimRegisteredClass {
    std::uint16_t atom = 0;
    std::uint32_t style = 0;
    WindowProcedure windowProcedure = nullptr;
    std::int32_t classExtraBytes = 0;
    std::int32_t windowExtraBytes = 0;
    Handle instance = NullHandle;
    Handle icon = NullHandle;
    Handle cursor = NullHandle;
    Handle background = NullHandle;
    std::optional<std::string> menuName;  // none for a null pointer
    std::string className;
};

struct SimProgressBar {
    std::int32_t low = 0;
    std::int32_t high = 100;
    std::int32_t position = 0;
    std::int32_t step = 10;
};

struct SimWindow {
    WindowHandle handle = 0;
    std::uint32_t exStyle = 0;
    std::string className;
    std::optional<std::string> text;  // none for a null pointer
    std::uint32_t style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    WindowHandle parent = 0;
    Handle menu = NullHandle;
    Handle instance = NullHandle;
    void* param = nullptr;
    bool visible = false;
    bool needsPaint = false;
    std::optional<SimProgressBar> progressBar;  // for a window of "msctls_progress32"
};

struct SimMessage {
    WindowHandle window = 0;
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
    bool operator==(const SimMessage&) const = default;
};

struct SimShowWindowCall {
    WindowHandle window = 0;
    int showCommand = 0;
    bool operator==(const SimShowWindowCall&) const = default;
};

struct SimMessageBox {
    WindowHandle owner = 0;
    std::string text;
    std::string caption;
    std::uint32_t type = 0;
};

struct SimBitBlt {
    Handle destination = NullHandle;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    Handle source = NullHandle;
    int sourceX = 0;
    int sourceY = 0;
    std::uint32_t rasterOperation = 0;
    Handle sourceBitmap = NullHandle;  // what the source context held at the time
};

class SimDesktop {
public:
    static constexpr Handle ModuleInstance = 0x400000;

    explicit SimDesktop(SimKernel& kernel);

    // Knobs.
    void SetSystemMetric(int index, int value) { metrics_[index] = value; }
    // What the frame and caption of a top-level window take from its size, both sides together.
    void SetNonClientSize(int horizontal, int vertical);
    void SetClientSize(WindowHandle window, int width, int height);
    void SetClassClientSize(const std::string& className, int width, int height);
    void SetMessageBoxResult(int result) { messageBoxResult_ = result; }

    // Observation.
    const SimWindow* Window(WindowHandle window) const;
    std::vector<SimWindow> Windows() const;  // in the order of creation
    std::vector<SimWindow> WindowsOfClass(const std::string& className) const;
    const std::vector<SimRegisteredClass>& RegisteredClasses() const { return registered_; }
    const std::vector<SimMessage>& SentMessages() const { return sent_; }
    std::vector<SimMessage> MessagesSentTo(WindowHandle window) const;
    const std::vector<SimMessage>& DeliveredMessages() const { return delivered_; }
    const std::vector<SimMessage>& DefWindowProcCalls() const { return defWindowProc_; }
    const std::vector<SimShowWindowCall>& ShowWindowCalls() const { return showWindow_; }
    const std::vector<WindowHandle>& UpdateWindowCalls() const { return updateWindow_; }
    const std::vector<int>& QuitMessages() const { return quitMessages_; }
    const std::vector<SimMessageBox>& MessageBoxes() const { return messageBoxes_; }
    const std::vector<SimBitBlt>& BitBlts() const { return bitBlts_; }
    int CommonControlsInitialisations() const { return commonControlsInitialisations_; }
    std::vector<Handle> BitmapsLoaded() const { return bitmapsLoaded_; }
    std::vector<std::string> OpenHandles() const;

    // The calls of the interface.
    void InitCommonControls() { ++commonControlsInitialisations_; }
    std::uint16_t RegisterClass(const WindowClass& windowClass);
    WindowHandle CreateWindowEx(std::uint32_t exStyle, const char* className,
                                const char* windowName, std::uint32_t style, int x, int y,
                                int width, int height, WindowHandle parent, Handle menu,
                                Handle instance, void* param);
    bool ShowWindow(WindowHandle window, int showCommand);
    bool UpdateWindow(WindowHandle window);
    std::intptr_t SendMessage(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                              std::intptr_t lParam);
    std::intptr_t DefWindowProc(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                std::intptr_t lParam);
    void PostQuitMessage(int exitCode) { quitMessages_.push_back(exitCode); }
    bool GetClientRect(WindowHandle window, Rect* rect);
    int GetSystemMetrics(int index) const;
    int MessageBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t type);
    Handle LoadBitmap(Handle instance, const char* name);
    Handle LoadIcon(Handle instance, const char* name);
    Handle LoadCursor(Handle instance, std::uint16_t resourceId);
    Handle BeginPaint(WindowHandle window, PaintStruct* paint);
    bool EndPaint(WindowHandle window, const PaintStruct* paint);
    Handle CreateCompatibleDC(Handle deviceContext);
    Handle SelectObject(Handle deviceContext, Handle object);
    bool BitBlt(Handle destination, int x, int y, int width, int height, Handle source, int sourceX,
                int sourceY, std::uint32_t rasterOperation);
    bool DeleteDC(Handle deviceContext);

private:
    struct DeviceContext {
        bool paint = false;       // from BeginPaint; else a memory context
        WindowHandle window = 0;  // the window being painted
        Handle selectedBitmap = NullHandle;
    };
    struct ClientSize {
        int width = 0;
        int height = 0;
    };

    SimWindow* FindWindow(WindowHandle window);
    const SimRegisteredClass* ClassOf(const SimWindow& window) const;
    bool IsShownOnScreen(const SimWindow& window) const;
    std::intptr_t Deliver(const SimWindow& window, std::uint32_t message, std::uintptr_t wParam,
                          std::intptr_t lParam);
    static std::intptr_t ProgressMessage(SimProgressBar& bar, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam);
    bool IsBitmap(Handle object) const;
    std::optional<ClientSize> ClientSizeOverride(const SimWindow& window) const;

    SimKernel& kernel_;
    std::map<int, int> metrics_;
    ClientSize nonClient_{4, 27};  // a 2-pixel border on every side and a 23-pixel caption
    std::map<WindowHandle, ClientSize> clientSizes_;
    std::map<std::string, ClientSize> classClientSizes_;  // by upper-case class name
    int messageBoxResult_ = 1;                            // IDOK

    std::vector<SimRegisteredClass> registered_;
    std::map<WindowHandle, SimWindow> windows_;
    std::vector<WindowHandle> creationOrder_;
    std::vector<SimMessage> sent_;
    std::vector<SimMessage> delivered_;
    std::vector<SimMessage> defWindowProc_;
    std::vector<SimShowWindowCall> showWindow_;
    std::vector<WindowHandle> updateWindow_;
    std::vector<int> quitMessages_;
    std::vector<SimMessageBox> messageBoxes_;
    std::vector<SimBitBlt> bitBlts_;
    int commonControlsInitialisations_ = 0;

    Handle stockBitmap_;
    Handle mainIcon_;
    std::map<std::uint32_t, Handle> standardIcons_;    // by number, from 32512
    std::map<std::uint32_t, Handle> standardCursors_;  // by number: 32512 is the arrow
    std::vector<Handle> bitmapsLoaded_;
    std::map<Handle, DeviceContext> deviceContexts_;
    std::uint16_t nextAtom_ = 0xC000;
};

}  // namespace veltrane
