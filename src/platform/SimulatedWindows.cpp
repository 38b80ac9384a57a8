#include "platform/SimulatedWindows.h"

#include <stdexcept>
#include <type_traits>

namespace veltrane {

namespace {

using simlog::Hex;
using simlog::Hnd;
using simlog::Line;
using simlog::Str;

// ReadFile and WriteFile report the bytes moved in the log rather than their Boolean.
struct Transfer {
    bool succeeded = false;
    std::uint32_t bytes = 0;
};

std::string ResultText(bool value) { return value ? "true" : "false"; }
std::string ResultText(Handle value) { return simlog::Text(Hnd{value}); }
std::string ResultText(std::intptr_t value) { return std::to_string(value); }
std::string ResultText(std::uint32_t value) { return std::to_string(value); }
std::string ResultText(int value) { return std::to_string(value); }
std::string ResultText(std::uint16_t value) { return std::to_string(value); }
std::string ResultText(const char* value) { return simlog::Text(Str{value}); }
std::string ResultText(void* value) { return value != nullptr ? "block" : "NULL"; }
std::string ResultText(Transfer value) {
    return value.succeeded ? std::to_string(value.bytes) : "false";
}

// The calls whose failure Windows never reports: a fault for them would test nothing.
bool CannotFail(SimCall call) {
    switch (call) {
        case SimCall::GetCommandLineA:
        case SimCall::GetStartupInfoA:
        case SimCall::GetLastError:
        case SimCall::IsDBCSLeadByte:
        case SimCall::ReleaseMemory:
        case SimCall::InitCommonControls:
        case SimCall::DefWindowProcA:
        case SimCall::PostQuitMessage:
        case SimCall::EndPaint:
            return true;
        default:
            return false;
    }
}

// What a call returns when a fault makes it fail: its failure value, but for WinExec, whose
// result is the error code itself.
template <typename Result>
Result FailureValue(SimCall call, Result failure, std::uint32_t errorCode) {
    if constexpr (std::is_same_v<Result, std::uint32_t>) {
        if (call == SimCall::WinExec) return errorCode;
    }
    return failure;
}

bool Releases(SimCall call) {
    return call == SimCall::CloseHandle || call == SimCall::FindClose || call == SimCall::DeleteDC;
}

}  // namespace

SimulatedWindows::SimulatedWindows() {
    files_.AddDirectory(process_.TempPath());
    files_.AddDirectory(process_.SystemDirectory());
}

// Counts the call, applies a fault or runs the call, and logs it. The line is written before
// the call runs, so that calls a window procedure makes inside it come after it, and a call
// that throws still shows; its result is added when it returns.
template <typename Result, typename Body, typename Arguments>
Result SimulatedWindows::Run(SimCall call, Result failure, Body&& body, Arguments&& arguments) {
    const std::optional<InjectedFault> fault = calls_.Enter(call);
    const std::optional<std::size_t> line = calls_.LogEnabled()
                                                ? std::optional(calls_.AddLogLine(arguments()))
                                                : std::nullopt;
    const bool outerFailed = kernel_.ExchangeFailed(false);
    Result result = failure;
    if (!fault) {
        result = body();
    } else {
        if (Releases(call)) body();
        result = kernel_.Fail(fault->errorCode, FailureValue(call, failure, fault->errorCode));
    }
    const bool failed = kernel_.ExchangeFailed(outerFailed);
    if (line) {
        std::string outcome = " -> " + ResultText(result);
        if (failed) {
            outcome += ", error " + std::to_string(kernel_.LastError());
            if (fault) outcome += " (injected)";
        }
        calls_.AppendToLogLine(*line, outcome);
    }
    return result;
}

template <typename Body, typename Arguments>
void SimulatedWindows::RunVoid(SimCall call, Body&& body, Arguments&& arguments) {
    calls_.Enter(call);
    if (calls_.LogEnabled()) calls_.AddLogLine(arguments());
    body();
}

// ---- fault injection and observation ----

void SimulatedWindows::Fail(std::string_view call, std::uint64_t nth, std::uint32_t errorCode,
                            bool everyLater) {
    const SimCall which = SimCallFromName(call);
    if (CannotFail(which)) {
        throw std::invalid_argument(std::string(call) + " cannot fail in Windows");
    }
    calls_.FailCall(which, nth, errorCode, everyLater);
}

void SimulatedWindows::FailCall(std::string_view call, std::uint64_t nth, std::uint32_t errorCode) {
    Fail(call, nth, errorCode, false);
}

void SimulatedWindows::FailCallsFrom(std::string_view call, std::uint64_t nth,
                                     std::uint32_t errorCode) {
    Fail(call, nth, errorCode, true);
}

std::vector<std::string> SimulatedWindows::OpenHandles() const {
    std::vector<std::string> open = files_.OpenHandles();
    const std::vector<std::string> contexts = desktop_.OpenHandles();
    open.insert(open.end(), contexts.begin(), contexts.end());
    return open;
}

void SimulatedWindows::AddFile(std::string_view path, std::string_view bytes,
                               std::optional<FileTime> lastWriteTime) {
    files_.AddFile(path, bytes, lastWriteTime);
}

void SimulatedWindows::AddDirectory(std::string_view path) { files_.AddDirectory(path); }

void SimulatedWindows::RemovePath(std::string_view path) { files_.Remove(path); }

// ---- process and module ----

std::uint32_t SimulatedWindows::GetModuleFileNameA(char* buffer, std::uint32_t size) {
    return Run(
        SimCall::GetModuleFileNameA, 0u, [&] { return process_.GetModuleFileName(buffer, size); },
        [&] { return Line("GetModuleFileNameA", size); });
}

Handle SimulatedWindows::GetModuleHandleA() {
    return Run(
        SimCall::GetModuleHandleA, NullHandle, [&] { return ModuleInstance; },
        [&] { return Line("GetModuleHandleA"); });
}

const char* SimulatedWindows::GetCommandLineA() {
    return Run(
        SimCall::GetCommandLineA, static_cast<const char*>(nullptr),
        [&] { return process_.GetCommandLine(); }, [&] { return Line("GetCommandLineA"); });
}

void SimulatedWindows::GetStartupInfoA(StartupInfo& info) {
    RunVoid(
        SimCall::GetStartupInfoA, [&] { process_.GetStartupInfo(info); },
        [&] { return Line("GetStartupInfoA"); });
}

std::uint32_t SimulatedWindows::GetLastError() {
    return Run(
        SimCall::GetLastError, 0u, [&] { return kernel_.LastError(); },
        [&] { return Line("GetLastError"); });
}

bool SimulatedWindows::IsDBCSLeadByte(std::uint8_t byte) {
    return Run(
        SimCall::IsDBCSLeadByte, false, [&] { return process_.IsDBCSLeadByte(byte); },
        [&] { return Line("IsDBCSLeadByte", Hex{byte}); });
}

void* SimulatedWindows::AllocateMemory(std::size_t size) {
    return Run(
        SimCall::AllocateMemory, static_cast<void*>(nullptr),
        [&] { return process_.AllocateMemory(size); },
        [&] { return Line("AllocateMemory", size); });
}

void SimulatedWindows::ReleaseMemory(void* block) {
    RunVoid(
        SimCall::ReleaseMemory, [&] { process_.ReleaseMemory(block); },
        [&] { return Line("ReleaseMemory", std::string(ResultText(block))); });
}

// ---- files ----

Handle SimulatedWindows::CreateFileA(const char* name, std::uint32_t access,
                                     std::uint32_t shareMode, std::uint32_t creationDisposition,
                                     std::uint32_t flags) {
    return Run(
        SimCall::CreateFileA, InvalidHandleValue,
        [&] { return files_.CreateFile(name, access, shareMode, creationDisposition); },
        [&] {
            return Line("CreateFileA", Str{name}, Hex{access}, shareMode, creationDisposition,
                        Hex{flags});
        });
}

bool SimulatedWindows::ReadFile(Handle file, void* buffer, std::uint32_t toRead,
                                std::uint32_t* read) {
    const Transfer transfer = Run(
        SimCall::ReadFile, Transfer{},
        [&] {
            std::uint32_t moved = 0;
            const bool ok = files_.ReadFile(file, buffer, toRead, &moved, calls_.ReadLimit(toRead));
            return Transfer{ok, moved};
        },
        [&] { return Line("ReadFile", Hnd{file}, toRead); });
    if (read != nullptr) *read = transfer.bytes;
    return transfer.succeeded;
}

bool SimulatedWindows::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite,
                                 std::uint32_t* written) {
    const Transfer transfer = Run(
        SimCall::WriteFile, Transfer{},
        [&] {
            std::uint32_t moved = 0;
            const bool ok =
                files_.WriteFile(file, buffer, toWrite, &moved, calls_.WriteLimit(toWrite));
            return Transfer{ok, moved};
        },
        [&] { return Line("WriteFile", Hnd{file}, toWrite); });
    if (written != nullptr) *written = transfer.bytes;
    return transfer.succeeded;
}

std::uint32_t SimulatedWindows::SetFilePointer(Handle file, std::int32_t distance,
                                               std::uint32_t moveMethod) {
    return Run(
        SimCall::SetFilePointer, win::InvalidSetFilePointer,
        [&] { return files_.SetFilePointer(file, distance, moveMethod); },
        [&] { return Line("SetFilePointer", Hnd{file}, distance, moveMethod); });
}

bool SimulatedWindows::CloseHandle(Handle object) {
    return Run(
        SimCall::CloseHandle, false, [&] { return files_.CloseHandle(object); },
        [&] { return Line("CloseHandle", Hnd{object}); });
}

Handle SimulatedWindows::FindFirstFileA(const char* name, FindData& data) {
    return Run(
        SimCall::FindFirstFileA, InvalidHandleValue,
        [&] { return files_.FindFirstFile(name, data); },
        [&] { return Line("FindFirstFileA", Str{name}); });
}

bool SimulatedWindows::FindClose(Handle find) {
    return Run(
        SimCall::FindClose, false, [&] { return files_.FindClose(find); },
        [&] { return Line("FindClose", Hnd{find}); });
}

bool SimulatedWindows::DeleteFileA(const char* name) {
    return Run(
        SimCall::DeleteFileA, false, [&] { return files_.DeleteFile(name); },
        [&] { return Line("DeleteFileA", Str{name}); });
}

bool SimulatedWindows::CreateDirectoryA(const char* name) {
    return Run(
        SimCall::CreateDirectoryA, false, [&] { return files_.CreateDirectory(name); },
        [&] { return Line("CreateDirectoryA", Str{name}); });
}

bool SimulatedWindows::DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime,
                                             FileTime* fileTime) {
    return Run(
        SimCall::DosDateTimeToFileTime, false,
        [&] { return process_.DosDateTimeToFileTime(fatDate, fatTime, fileTime); },
        [&] { return Line("DosDateTimeToFileTime", Hex{fatDate}, Hex{fatTime}); });
}

bool SimulatedWindows::LocalFileTimeToFileTime(const FileTime* local, FileTime* utc) {
    return Run(
        SimCall::LocalFileTimeToFileTime, false,
        [&] { return process_.LocalFileTimeToFileTime(local, utc); },
        [&] { return Line("LocalFileTimeToFileTime", ToU64(*local)); });
}

bool SimulatedWindows::SetFileTime(Handle file, const FileTime* creation,
                                   const FileTime* lastAccess, const FileTime* lastWrite) {
    const auto time = [](const FileTime* value) {
        return value != nullptr ? std::to_string(ToU64(*value)) : std::string("NULL");
    };
    return Run(
        SimCall::SetFileTime, false,
        [&] { return files_.SetFileTime(file, creation, lastAccess, lastWrite); },
        [&] {
            return Line("SetFileTime", Hnd{file}, time(creation), time(lastAccess),
                        time(lastWrite));
        });
}

// ---- directories and drives ----

std::uint32_t SimulatedWindows::GetTempPathA(std::uint32_t size, char* buffer) {
    return Run(
        SimCall::GetTempPathA, 0u, [&] { return process_.GetTempPath(size, buffer); },
        [&] { return Line("GetTempPathA", size); });
}

std::uint32_t SimulatedWindows::GetTempFileNameA(const char* path, const char* prefix,
                                                 std::uint32_t unique, char* tempFileName) {
    return Run(
        SimCall::GetTempFileNameA, 0u,
        [&] { return files_.GetTempFileName(path, prefix, unique, tempFileName); },
        [&] { return Line("GetTempFileNameA", Str{path}, Str{prefix}, unique); });
}

bool SimulatedWindows::GetDiskFreeSpaceA(const char* rootPath, std::uint32_t* sectorsPerCluster,
                                         std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                                         std::uint32_t* totalClusters) {
    return Run(
        SimCall::GetDiskFreeSpaceA, false,
        [&] {
            return files_.GetDiskFreeSpace(rootPath, sectorsPerCluster, bytesPerSector,
                                           freeClusters, totalClusters);
        },
        [&] { return Line("GetDiskFreeSpaceA", Str{rootPath}); });
}

std::uint32_t SimulatedWindows::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
    return Run(
        SimCall::GetSystemDirectoryA, 0u, [&] { return process_.GetSystemDirectory(buffer, size); },
        [&] { return Line("GetSystemDirectoryA", size); });
}

// ---- programs ----

std::uint32_t SimulatedWindows::WinExec(const char* commandLine, std::uint32_t showCommand) {
    return Run(
        SimCall::WinExec, 0u, [&] { return process_.WinExec(commandLine, showCommand); },
        [&] { return Line("WinExec", Str{commandLine}, showCommand); });
}

// ---- windows and messages ----

void SimulatedWindows::InitCommonControls() {
    RunVoid(
        SimCall::InitCommonControls, [&] { desktop_.InitCommonControls(); },
        [&] { return Line("InitCommonControls"); });
}

std::uint16_t SimulatedWindows::RegisterClassA(const WindowClass& windowClass) {
    return Run(
        SimCall::RegisterClassA, std::uint16_t{0},
        [&] { return desktop_.RegisterClass(windowClass); },
        [&] { return Line("RegisterClassA", Str{windowClass.className}); });
}

WindowHandle SimulatedWindows::CreateWindowExA(std::uint32_t exStyle, const char* className,
                                               const char* windowName, std::uint32_t style, int x,
                                               int y, int width, int height, WindowHandle parent,
                                               Handle menu, Handle instance, void* param) {
    return Run(
        SimCall::CreateWindowExA, WindowHandle{0},
        [&] {
            return desktop_.CreateWindowEx(exStyle, className, windowName, style, x, y, width,
                                           height, parent, menu, instance, param);
        },
        [&] {
            return Line("CreateWindowExA", Hex{exStyle}, Str{className}, Str{windowName},
                        Hex{style}, x, y, width, height, Hnd{parent}, Hnd{menu}, Hnd{instance});
        });
}

bool SimulatedWindows::ShowWindow(WindowHandle window, int showCommand) {
    return Run(
        SimCall::ShowWindow, false, [&] { return desktop_.ShowWindow(window, showCommand); },
        [&] { return Line("ShowWindow", Hnd{window}, showCommand); });
}

bool SimulatedWindows::UpdateWindow(WindowHandle window) {
    return Run(
        SimCall::UpdateWindow, false, [&] { return desktop_.UpdateWindow(window); },
        [&] { return Line("UpdateWindow", Hnd{window}); });
}

std::intptr_t SimulatedWindows::SendMessageA(WindowHandle window, std::uint32_t message,
                                             std::uintptr_t wParam, std::intptr_t lParam) {
    return Run(
        SimCall::SendMessageA, std::intptr_t{0},
        [&] { return desktop_.SendMessage(window, message, wParam, lParam); },
        [&] { return Line("SendMessageA", Hnd{window}, Hex{message}, wParam, lParam); });
}

std::intptr_t SimulatedWindows::DefWindowProcA(WindowHandle window, std::uint32_t message,
                                               std::uintptr_t wParam, std::intptr_t lParam) {
    return Run(
        SimCall::DefWindowProcA, std::intptr_t{0},
        [&] { return desktop_.DefWindowProc(window, message, wParam, lParam); },
        [&] { return Line("DefWindowProcA", Hnd{window}, Hex{message}, wParam, lParam); });
}

void SimulatedWindows::PostQuitMessage(int exitCode) {
    RunVoid(
        SimCall::PostQuitMessage, [&] { desktop_.PostQuitMessage(exitCode); },
        [&] { return Line("PostQuitMessage", exitCode); });
}

bool SimulatedWindows::GetClientRect(WindowHandle window, Rect* rect) {
    return Run(
        SimCall::GetClientRect, false, [&] { return desktop_.GetClientRect(window, rect); },
        [&] { return Line("GetClientRect", Hnd{window}); });
}

int SimulatedWindows::GetSystemMetrics(int index) {
    return Run(
        SimCall::GetSystemMetrics, 0, [&] { return desktop_.GetSystemMetrics(index); },
        [&] { return Line("GetSystemMetrics", index); });
}

int SimulatedWindows::MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                                  std::uint32_t type) {
    return Run(
        SimCall::MessageBoxA, 0, [&] { return desktop_.MessageBox(owner, text, caption, type); },
        [&] { return Line("MessageBoxA", Hnd{owner}, Str{text}, Str{caption}, Hex{type}); });
}

// ---- resources ----

Handle SimulatedWindows::LoadBitmapA(Handle instance, const char* name) {
    return Run(
        SimCall::LoadBitmapA, NullHandle, [&] { return desktop_.LoadBitmap(instance, name); },
        [&] { return Line("LoadBitmapA", Hnd{instance}, Str{name}); });
}

Handle SimulatedWindows::LoadIconA(Handle instance, const char* name) {
    return Run(
        SimCall::LoadIconA, NullHandle, [&] { return desktop_.LoadIcon(instance, name); },
        [&] { return Line("LoadIconA", Hnd{instance}, Str{name}); });
}

Handle SimulatedWindows::LoadCursorA(Handle instance, std::uint16_t resourceId) {
    return Run(
        SimCall::LoadCursorA, NullHandle, [&] { return desktop_.LoadCursor(instance, resourceId); },
        [&] { return Line("LoadCursorA", Hnd{instance}, resourceId); });
}

// ---- painting ----

Handle SimulatedWindows::BeginPaint(WindowHandle window, PaintStruct* paint) {
    return Run(
        SimCall::BeginPaint, NullHandle, [&] { return desktop_.BeginPaint(window, paint); },
        [&] { return Line("BeginPaint", Hnd{window}); });
}

bool SimulatedWindows::EndPaint(WindowHandle window, const PaintStruct* paint) {
    return Run(
        SimCall::EndPaint, true, [&] { return desktop_.EndPaint(window, paint); },
        [&] {
            return Line("EndPaint", Hnd{window},
                        Hnd{paint != nullptr ? paint->deviceContext : NullHandle});
        });
}

Handle SimulatedWindows::CreateCompatibleDC(Handle deviceContext) {
    return Run(
        SimCall::CreateCompatibleDC, NullHandle,
        [&] { return desktop_.CreateCompatibleDC(deviceContext); },
        [&] { return Line("CreateCompatibleDC", Hnd{deviceContext}); });
}

Handle SimulatedWindows::SelectObject(Handle deviceContext, Handle object) {
    return Run(
        SimCall::SelectObject, NullHandle,
        [&] { return desktop_.SelectObject(deviceContext, object); },
        [&] { return Line("SelectObject", Hnd{deviceContext}, Hnd{object}); });
}

bool SimulatedWindows::BitBlt(Handle destination, int x, int y, int width, int height,
                              Handle source, int sourceX, int sourceY,
                              std::uint32_t rasterOperation) {
    return Run(
        SimCall::BitBlt, false,
        [&] {
            return desktop_.BitBlt(destination, x, y, width, height, source, sourceX, sourceY,
                                   rasterOperation);
        },
        [&] {
            return Line("BitBlt", Hnd{destination}, x, y, width, height, Hnd{source}, sourceX,
                        sourceY, Hex{rasterOperation});
        });
}

bool SimulatedWindows::DeleteDC(Handle deviceContext) {
    return Run(
        SimCall::DeleteDC, false, [&] { return desktop_.DeleteDC(deviceContext); },
        [&] { return Line("DeleteDC", Hnd{deviceContext}); });
}

}  // namespace veltrane
