#include "platform/SimulatedDesktop.h"

#include <algorithm>
#include <stdexcept>

#include "platform/SimulatedPath.h"

namespace veltrane {

namespace {

constexpr std::uint32_t ErrorInvalidWindowHandle = 1400;
constexpr std::uint32_t ErrorTopLevelWithChildStyle = 1406;
constexpr std::uint32_t ErrorCannotFindWindowClass = 1407;
constexpr std::uint32_t ErrorClassAlreadyExists = 1410;
constexpr std::uint32_t ErrorResourceNameNotFound = 1814;
constexpr int SwHide = 0;

constexpr std::uint32_t PbmDeltaPos = win::WmUser + 3;
constexpr std::uint32_t PbmStepIt = win::WmUser + 5;
constexpr std::uint32_t PbmSetRange32 = win::WmUser + 6;
constexpr std::uint32_t PbmGetRange = win::WmUser + 7;
constexpr std::uint32_t PbmGetPos = win::WmUser + 8;

// Standard cursors and icons are numbered from 32512 (IDC_ARROW, IDI_APPLICATION) to 32651.
constexpr std::uint32_t FirstStandardResource = 32512;
constexpr std::uint32_t LastStandardResource = 32651;

bool IsResourceNumber(const char* name) { return reinterpret_cast<std::uintptr_t>(name) < 0x10000; }

std::intptr_t MakeLong(std::int32_t low, std::int32_t high) {
    return static_cast<std::intptr_t>((static_cast<std::uint32_t>(low) & 0xFFFF) |
                                      ((static_cast<std::uint32_t>(high) & 0xFFFF) << 16));
}

}  // namespace

SimDesktop::SimDesktop(SimKernel& kernel)
    : kernel_(kernel),
      metrics_{{win::SmCxMaximized, 1032}, {win::SmCyMaximized, 776}},
      stockBitmap_(kernel.NewHandle()),
      mainIcon_(kernel.NewHandle()) {}

// ---- knobs and observation ----

void SimDesktop::SetNonClientSize(int horizontal, int vertical) {
    nonClient_ = {horizontal, vertical};
}

void SimDesktop::SetClientSize(WindowHandle window, int width, int height) {
    if (!Window(window)) throw std::invalid_argument("no such window");
    clientSizes_[window] = {width, height};
}

void SimDesktop::SetClassClientSize(const std::string& className, int width, int height) {
    classClientSizes_[UpperAscii(className)] = {width, height};
}

const SimWindow* SimDesktop::Window(WindowHandle window) const {
    const auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

SimWindow* SimDesktop::FindWindow(WindowHandle window) {
    const auto found = windows_.find(window);
    return found == windows_.end() ? nullptr : &found->second;
}

std::vector<SimWindow> SimDesktop::Windows() const {
    std::vector<SimWindow> windows;
    for (WindowHandle handle : creationOrder_) windows.push_back(windows_.at(handle));
    return windows;
}

std::vector<SimWindow> SimDesktop::WindowsOfClass(const std::string& className) const {
    std::vector<SimWindow> windows = Windows();
    std::erase_if(windows, [&](const SimWindow& window) {
        return UpperAscii(window.className) != UpperAscii(className);
    });
    return windows;
}

std::vector<SimMessage> SimDesktop::MessagesSentTo(WindowHandle window) const {
    std::vector<SimMessage> messages;
    std::copy_if(sent_.begin(), sent_.end(), std::back_inserter(messages),
                 [&](const SimMessage& message) { return message.window == window; });
    return messages;
}

std::vector<std::string> SimDesktop::OpenHandles() const {
    std::vector<std::string> open;
    for (const auto& [handle, context] : deviceContexts_) {
        open.push_back(context.paint ? "paint h" + std::to_string(handle) + " of window h" +
                                           std::to_string(context.window)
                                     : "memory DC h" + std::to_string(handle));
    }
    return open;
}

// ---- classes and windows ----

std::uint16_t SimDesktop::RegisterClass(const WindowClass& windowClass) {
    if (windowClass.className == nullptr || IsResourceNumber(windowClass.className) ||
        windowClass.windowProcedure == nullptr) {
        return kernel_.Fail(win::ErrorInvalidParameter, std::uint16_t{0});
    }
    const std::string key = UpperAscii(windowClass.className);
    const bool taken = key == UpperAscii(win::ProgressClass) ||
                       std::any_of(registered_.begin(), registered_.end(), [&](const auto& known) {
                           return UpperAscii(known.className) == key;
                       });
    if (taken) return kernel_.Fail(ErrorClassAlreadyExists, std::uint16_t{0});
    std::optional<std::string> menuName;
    if (windowClass.menuName != nullptr && !IsResourceNumber(windowClass.menuName)) {
        menuName = windowClass.menuName;
    }
    registered_.push_back(SimRegisteredClass{
        nextAtom_, windowClass.style, windowClass.windowProcedure, windowClass.classExtraBytes,
        windowClass.windowExtraBytes, windowClass.instance, windowClass.icon, windowClass.cursor,
        windowClass.background, menuName, windowClass.className});
    return nextAtom_++;
}

const SimRegisteredClass* SimDesktop::ClassOf(const SimWindow& window) const {
    const std::string key = UpperAscii(window.className);
    const auto found = std::find_if(registered_.begin(), registered_.end(), [&](const auto& known) {
        return UpperAscii(known.className) == key;
    });
    return found == registered_.end() ? nullptr : &*found;
}

WindowHandle SimDesktop::CreateWindowEx(std::uint32_t exStyle, const char* className,
                                        const char* windowName, std::uint32_t style, int x, int y,
                                        int width, int height, WindowHandle parent, Handle menu,
                                        Handle instance, void* param) {
    if (className == nullptr || IsResourceNumber(className)) {
        return kernel_.Fail(ErrorCannotFindWindowClass, WindowHandle{0});
    }
    SimWindow window{
        0,     exStyle,     className, std::nullopt, style,    x,     y,
        width, height,      parent,    menu,         instance, param, (style & win::WsVisible) != 0,
        false, std::nullopt};
    const bool progress = UpperAscii(className) == UpperAscii(win::ProgressClass);
    if (!progress && ClassOf(window) == nullptr) {
        return kernel_.Fail(ErrorCannotFindWindowClass, WindowHandle{0});
    }
    if (parent == 0 && (style & win::WsChild) != 0) {
        return kernel_.Fail(ErrorTopLevelWithChildStyle, WindowHandle{0});
    }
    if (parent != 0 && Window(parent) == nullptr) {
        return kernel_.Fail(ErrorInvalidWindowHandle, WindowHandle{0});
    }
    if (windowName != nullptr) window.text = windowName;
    if (progress) window.progressBar = SimProgressBar{};
    window.needsPaint = window.visible;
    window.handle = kernel_.NewHandle();
    windows_[window.handle] = window;
    creationOrder_.push_back(window.handle);
    return window.handle;
}

bool SimDesktop::ShowWindow(WindowHandle window, int showCommand) {
    showWindow_.push_back({window, showCommand});
    SimWindow* found = FindWindow(window);
    if (found == nullptr) return kernel_.Fail(ErrorInvalidWindowHandle, false);
    const bool wasVisible = found->visible;
    found->visible = showCommand != SwHide;
    if (found->visible && !wasVisible) found->needsPaint = true;
    return wasVisible;
}

bool SimDesktop::IsShownOnScreen(const SimWindow& window) const {
    if (!window.visible) return false;
    const SimWindow* parent = Window(window.parent);
    return parent == nullptr || IsShownOnScreen(*parent);
}

bool SimDesktop::UpdateWindow(WindowHandle window) {
    updateWindow_.push_back(window);
    SimWindow* found = FindWindow(window);
    if (found == nullptr) return kernel_.Fail(ErrorInvalidWindowHandle, false);
    if (!found->needsPaint || !IsShownOnScreen(*found)) return true;
    if (ClassOf(*found) == nullptr) {
        found->needsPaint = false;  // a system control paints itself
        return true;
    }
    Deliver(*found, win::WmPaint, 0, 0);
    return true;
}

std::intptr_t SimDesktop::Deliver(const SimWindow& window, std::uint32_t message,
                                  std::uintptr_t wParam, std::intptr_t lParam) {
    delivered_.push_back({window.handle, message, wParam, lParam});
    const WindowProcedure procedure = ClassOf(window)->windowProcedure;
    // The procedure may call back into this desktop; it gets nothing but the handle.
    return procedure(window.handle, message, wParam, lParam);
}

std::intptr_t SimDesktop::SendMessage(WindowHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam) {
    sent_.push_back({window, message, wParam, lParam});
    SimWindow* found = FindWindow(window);
    if (found == nullptr) return kernel_.Fail(ErrorInvalidWindowHandle, std::intptr_t{0});
    if (found->progressBar) return ProgressMessage(*found->progressBar, message, wParam, lParam);
    if (ClassOf(*found) == nullptr) return 0;
    return Deliver(*found, message, wParam, lParam);
}

// The progress control's answers, as comctl32 gives them: each setter returns the old value.
std::intptr_t SimDesktop::ProgressMessage(SimProgressBar& bar, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam) {
    const auto clamp = [&](std::int64_t position) {
        return static_cast<std::int32_t>(std::clamp<std::int64_t>(position, bar.low, bar.high));
    };
    const std::intptr_t oldRange = MakeLong(bar.low, bar.high);
    const std::int32_t oldPosition = bar.position;
    const auto wValue = static_cast<std::int32_t>(wParam);
    switch (message) {
        case win::PbmSetRange:
            bar.low = static_cast<std::int32_t>(lParam & 0xFFFF);
            bar.high = static_cast<std::int32_t>((lParam >> 16) & 0xFFFF);
            return oldRange;
        case PbmSetRange32:
            bar.low = wValue;
            bar.high = static_cast<std::int32_t>(lParam);
            return oldRange;
        case win::PbmSetPos:
            bar.position = clamp(wValue);
            return oldPosition;
        case PbmDeltaPos:
            bar.position = clamp(std::int64_t{bar.position} + wValue);
            return oldPosition;
        case win::PbmSetStep:
            return std::exchange(bar.step, wValue);
        case PbmStepIt:
            bar.position += bar.step;
            if (bar.position > bar.high && bar.high > bar.low) {
                bar.position = bar.low + (bar.position - bar.low) % (bar.high - bar.low);
            }
            return oldPosition;
        case PbmGetRange:
            return wParam != 0 ? bar.low : bar.high;
        case PbmGetPos:
            return bar.position;
        default:
            return 0;
    }
}

std::intptr_t SimDesktop::DefWindowProc(WindowHandle window, std::uint32_t message,
                                        std::uintptr_t wParam, std::intptr_t lParam) {
    defWindowProc_.push_back({window, message, wParam, lParam});
    SimWindow* found = FindWindow(window);
    if (found != nullptr && message == win::WmPaint) found->needsPaint = false;
    return 0;
}

std::optional<SimDesktop::ClientSize> SimDesktop::ClientSizeOverride(
    const SimWindow& window) const {
    if (const auto found = clientSizes_.find(window.handle); found != clientSizes_.end()) {
        return found->second;
    }
    if (const auto found = classClientSizes_.find(UpperAscii(window.className));
        found != classClientSizes_.end()) {
        return found->second;
    }
    return std::nullopt;
}

bool SimDesktop::GetClientRect(WindowHandle window, Rect* rect) {
    const SimWindow* found = Window(window);
    if (found == nullptr) return kernel_.Fail(ErrorInvalidWindowHandle, false);
    ClientSize size{found->width, found->height};
    if (const auto given = ClientSizeOverride(*found)) {
        size = *given;
    } else if ((found->style & win::WsChild) == 0) {
        size = {std::max(0, found->width - nonClient_.width),
                std::max(0, found->height - nonClient_.height)};
    }
    *rect = Rect{0, 0, size.width, size.height};
    return true;
}

int SimDesktop::GetSystemMetrics(int index) const {
    const auto found = metrics_.find(index);
    return found == metrics_.end() ? 0 : found->second;
}

int SimDesktop::MessageBox(WindowHandle owner, const char* text, const char* caption,
                           std::uint32_t type) {
    if (owner != 0 && Window(owner) == nullptr) return kernel_.Fail(ErrorInvalidWindowHandle, 0);
    messageBoxes_.push_back(
        {owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type});
    return messageBoxResult_;
}

// ---- resources ----

Handle SimDesktop::LoadBitmap(Handle instance, const char* name) {
    if (instance != ModuleInstance || name == nullptr || IsResourceNumber(name) ||
        UpperAscii(name) != "BITMAP1") {
        return kernel_.Fail(ErrorResourceNameNotFound, NullHandle);
    }
    // Every load makes a new bitmap object, as Windows does.
    bitmapsLoaded_.push_back(kernel_.NewHandle());
    return bitmapsLoaded_.back();
}

Handle SimDesktop::LoadIcon(Handle instance, const char* name) {
    if (instance == ModuleInstance && name != nullptr && !IsResourceNumber(name) &&
        UpperAscii(name) == "MAINICON") {
        return mainIcon_;
    }
    const auto number = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(name));
    if (instance == NullHandle && IsResourceNumber(name) && number >= FirstStandardResource &&
        number <= LastStandardResource) {
        auto [entry, added] = standardIcons_.try_emplace(number, NullHandle);
        if (added) entry->second = kernel_.NewHandle();
        return entry->second;
    }
    return kernel_.Fail(ErrorResourceNameNotFound, NullHandle);
}

Handle SimDesktop::LoadCursor(Handle instance, std::uint16_t resourceId) {
    if (instance != NullHandle || resourceId < FirstStandardResource ||
        resourceId > LastStandardResource) {
        return kernel_.Fail(ErrorResourceNameNotFound, NullHandle);
    }
    auto [entry, added] = standardCursors_.try_emplace(resourceId, NullHandle);
    if (added) entry->second = kernel_.NewHandle();
    return entry->second;
}

// ---- painting ----

Handle SimDesktop::BeginPaint(WindowHandle window, PaintStruct* paint) {
    SimWindow* found = FindWindow(window);
    if (found == nullptr || paint == nullptr)
        return kernel_.Fail(ErrorInvalidWindowHandle, NullHandle);
    const Handle context = kernel_.NewHandle();
    deviceContexts_[context] = DeviceContext{true, window, NullHandle};
    found->needsPaint = false;
    paint->deviceContext = context;
    return context;
}

bool SimDesktop::EndPaint(WindowHandle window, const PaintStruct* paint) {
    // EndPaint always reports success; a paint it cannot match stays open for OpenHandles.
    if (paint == nullptr) return true;
    const auto found = deviceContexts_.find(paint->deviceContext);
    if (found != deviceContexts_.end() && found->second.paint && found->second.window == window) {
        deviceContexts_.erase(found);
    }
    return true;
}

Handle SimDesktop::CreateCompatibleDC(Handle deviceContext) {
    if (deviceContext != NullHandle && !deviceContexts_.contains(deviceContext)) {
        return kernel_.Fail(win::ErrorInvalidHandle, NullHandle);
    }
    const Handle context = kernel_.NewHandle();
    deviceContexts_[context] = DeviceContext{false, 0, stockBitmap_};
    return context;
}

bool SimDesktop::IsBitmap(Handle object) const {
    return object == stockBitmap_ ||
           std::find(bitmapsLoaded_.begin(), bitmapsLoaded_.end(), object) != bitmapsLoaded_.end();
}

Handle SimDesktop::SelectObject(Handle deviceContext, Handle object) {
    const auto found = deviceContexts_.find(deviceContext);
    if (found == deviceContexts_.end() || !IsBitmap(object)) {
        return kernel_.Fail(win::ErrorInvalidHandle, NullHandle);
    }
    // A bitmap goes only into a memory context, and into one at a time.
    const bool elsewhere =
        object != stockBitmap_ &&
        std::any_of(deviceContexts_.begin(), deviceContexts_.end(), [&](const auto& entry) {
            return entry.first != deviceContext && entry.second.selectedBitmap == object;
        });
    if (found->second.paint || elsewhere)
        return kernel_.Fail(win::ErrorInvalidParameter, NullHandle);
    return std::exchange(found->second.selectedBitmap, object);
}

bool SimDesktop::BitBlt(Handle destination, int x, int y, int width, int height, Handle source,
                        int sourceX, int sourceY, std::uint32_t rasterOperation) {
    const auto sourceContext = deviceContexts_.find(source);
    const Handle sourceBitmap =
        sourceContext == deviceContexts_.end() ? NullHandle : sourceContext->second.selectedBitmap;
    bitBlts_.push_back({destination, x, y, width, height, source, sourceX, sourceY, rasterOperation,
                        sourceBitmap});
    if (!deviceContexts_.contains(destination) || sourceContext == deviceContexts_.end()) {
        return kernel_.Fail(win::ErrorInvalidHandle, false);
    }
    return true;
}

bool SimDesktop::DeleteDC(Handle deviceContext) {
    const auto found = deviceContexts_.find(deviceContext);
    // A paint's context belongs to EndPaint.
    if (found == deviceContexts_.end() || found->second.paint) {
        return kernel_.Fail(win::ErrorInvalidHandle, false);
    }
    deviceContexts_.erase(found);
    return true;
}

}  // namespace veltrane
