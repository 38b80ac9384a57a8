#include "platform/Win32Windows.h"

#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/WindowsHeader.h"

namespace veltrane {
namespace {

static_assert(sizeof(PAINTSTRUCT) <= sizeof(PaintStruct::systemData),
              "the system's PAINTSTRUCT must fit into PaintStruct::systemData");
static_assert(alignof(PAINTSTRUCT) <= alignof(PaintStruct),
              "PaintStruct::systemData must be aligned for the system's PAINTSTRUCT");

template <typename SystemHandle>
SystemHandle ToSystem(std::uintptr_t handle) {
    return reinterpret_cast<SystemHandle>(handle);
}

std::uintptr_t FromSystem(const void* handle) { return reinterpret_cast<std::uintptr_t>(handle); }

FILETIME ToSystem(const FileTime& time) { return {time.lowDateTime, time.highDateTime}; }
FileTime FromSystem(const FILETIME& time) { return {time.dwLowDateTime, time.dwHighDateTime}; }

// The loader's window procedures have a portable signature; Windows calls a CALLBACK (stdcall
// on i386) with its own types. Every class is registered with the trampoline below, which finds
// the portable procedure by the window's class atom.
std::vector<std::pair<ATOM, WindowProcedure>>& RegisteredProcedures() {
    static std::vector<std::pair<ATOM, WindowProcedure>> procedures;
    return procedures;
}

WindowProcedure ProcedureOfClass(ATOM atom) {
    for (const auto& [registered, procedure] : RegisteredProcedures()) {
        if (registered == atom) return procedure;
    }
    return nullptr;
}

// noexcept: an exception must never unwind through the system's frames that called us.
LRESULT CALLBACK WindowProcedureTrampoline(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) noexcept {
    const auto atom = static_cast<ATOM>(::GetClassWord(window, GCW_ATOM));
    if (const WindowProcedure procedure = ProcedureOfClass(atom)) {
        return procedure(FromSystem(window), message, wParam, lParam);
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

// Process and module

std::uint32_t Win32Windows::GetModuleFileNameA(char* buffer, std::uint32_t size) {
    return ::GetModuleFileNameA(nullptr, buffer, size);
}

Handle Win32Windows::GetModuleHandleA() { return FromSystem(::GetModuleHandleA(nullptr)); }

const char* Win32Windows::GetCommandLineA() { return ::GetCommandLineA(); }

void Win32Windows::GetStartupInfoA(StartupInfo& info) {
    STARTUPINFOA system{};
    system.cb = sizeof system;
    ::GetStartupInfoA(&system);
    info.flags = system.dwFlags;
    info.showWindow = system.wShowWindow;
}

std::uint32_t Win32Windows::GetLastError() { return ::GetLastError(); }

bool Win32Windows::IsDBCSLeadByte(std::uint8_t byte) { return ::IsDBCSLeadByte(byte) != FALSE; }

void* Win32Windows::AllocateMemory(std::size_t size) { return std::malloc(size); }

void Win32Windows::ReleaseMemory(void* block) { std::free(block); }

// Files

Handle Win32Windows::CreateFileA(const char* name, std::uint32_t access, std::uint32_t shareMode,
                                 std::uint32_t creationDisposition, std::uint32_t flags) {
    return FromSystem(
        ::CreateFileA(name, access, shareMode, nullptr, creationDisposition, flags, nullptr));
}

bool Win32Windows::ReadFile(Handle file, void* buffer, std::uint32_t toRead,
                            std::uint32_t* read) {
    DWORD done = 0;
    const BOOL ok = ::ReadFile(ToSystem<HANDLE>(file), buffer, toRead, &done, nullptr);
    if (read != nullptr) *read = done;
    return ok != FALSE;
}

bool Win32Windows::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite,
                             std::uint32_t* written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(ToSystem<HANDLE>(file), buffer, toWrite, &done, nullptr);
    if (written != nullptr) *written = done;
    return ok != FALSE;
}

std::uint32_t Win32Windows::SetFilePointer(Handle file, std::int32_t distance,
                                           std::uint32_t moveMethod) {
    return ::SetFilePointer(ToSystem<HANDLE>(file), distance, nullptr, moveMethod);
}

bool Win32Windows::CloseHandle(Handle object) {
    return ::CloseHandle(ToSystem<HANDLE>(object)) != FALSE;
}

Handle Win32Windows::FindFirstFileA(const char* name, FindData& data) {
    WIN32_FIND_DATAA system{};
    const HANDLE find = ::FindFirstFileA(name, &system);
    data.fileAttributes = system.dwFileAttributes;
    static_assert(sizeof data.fileName == sizeof system.cFileName);
    std::memcpy(data.fileName, system.cFileName, sizeof data.fileName);
    return FromSystem(find);
}

bool Win32Windows::FindClose(Handle find) { return ::FindClose(ToSystem<HANDLE>(find)) != FALSE; }

bool Win32Windows::DeleteFileA(const char* name) { return ::DeleteFileA(name) != FALSE; }

bool Win32Windows::CreateDirectoryA(const char* name) {
    return ::CreateDirectoryA(name, nullptr) != FALSE;
}

bool Win32Windows::DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime,
                                         FileTime* fileTime) {
    FILETIME system{};
    const BOOL ok = ::DosDateTimeToFileTime(fatDate, fatTime, &system);
    if (fileTime != nullptr) *fileTime = FromSystem(system);
    return ok != FALSE;
}

bool Win32Windows::LocalFileTimeToFileTime(const FileTime* local, FileTime* utc) {
    const FILETIME systemLocal = ToSystem(*local);
    FILETIME systemUtc{};
    const BOOL ok = ::LocalFileTimeToFileTime(&systemLocal, &systemUtc);
    if (utc != nullptr) *utc = FromSystem(systemUtc);
    return ok != FALSE;
}

bool Win32Windows::SetFileTime(Handle file, const FileTime* creation, const FileTime* lastAccess,
                               const FileTime* lastWrite) {
    // A null time leaves that time of the file as it is.
    FILETIME times[3];
    const FileTime* given[3] = {creation, lastAccess, lastWrite};
    const FILETIME* system[3] = {};
    for (int i = 0; i < 3; ++i) {
        if (given[i] != nullptr) {
            times[i] = ToSystem(*given[i]);
            system[i] = &times[i];
        }
    }
    return ::SetFileTime(ToSystem<HANDLE>(file), system[0], system[1], system[2]) != FALSE;
}

// Directories and drives

std::uint32_t Win32Windows::GetTempPathA(std::uint32_t size, char* buffer) {
    return ::GetTempPathA(size, buffer);
}

std::uint32_t Win32Windows::GetTempFileNameA(const char* path, const char* prefix,
                                             std::uint32_t unique, char* tempFileName) {
    return ::GetTempFileNameA(path, prefix, unique, tempFileName);
}

bool Win32Windows::GetDiskFreeSpaceA(const char* rootPath, std::uint32_t* sectorsPerCluster,
                                     std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                                     std::uint32_t* totalClusters) {
    DWORD values[4] = {};
    const BOOL ok = ::GetDiskFreeSpaceA(rootPath, &values[0], &values[1], &values[2], &values[3]);
    std::uint32_t* results[4] = {sectorsPerCluster, bytesPerSector, freeClusters, totalClusters};
    for (int i = 0; i < 4; ++i) {
        if (results[i] != nullptr) *results[i] = values[i];
    }
    return ok != FALSE;
}

std::uint32_t Win32Windows::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
    return ::GetSystemDirectoryA(buffer, size);
}

// Programs

std::uint32_t Win32Windows::WinExec(const char* commandLine, std::uint32_t showCommand) {
    return ::WinExec(commandLine, showCommand);
}

// Windows and messages

void Win32Windows::InitCommonControls() { ::InitCommonControls(); }

std::uint16_t Win32Windows::RegisterClassA(const WindowClass& windowClass) {
    WNDCLASSA system{};
    system.style = windowClass.style;
    system.lpfnWndProc = WindowProcedureTrampoline;
    system.cbClsExtra = windowClass.classExtraBytes;
    system.cbWndExtra = windowClass.windowExtraBytes;
    system.hInstance = ToSystem<HINSTANCE>(windowClass.instance);
    system.hIcon = ToSystem<HICON>(windowClass.icon);
    system.hCursor = ToSystem<HCURSOR>(windowClass.cursor);
    system.hbrBackground = ToSystem<HBRUSH>(windowClass.background);
    system.lpszMenuName = windowClass.menuName;
    system.lpszClassName = windowClass.className;
    const ATOM atom = ::RegisterClassA(&system);
    if (atom != 0) RegisteredProcedures().emplace_back(atom, windowClass.windowProcedure);
    return atom;
}

WindowHandle Win32Windows::CreateWindowExA(std::uint32_t exStyle, const char* className,
                                           const char* windowName, std::uint32_t style, int x,
                                           int y, int width, int height, WindowHandle parent,
                                           Handle menu, Handle instance, void* param) {
    return FromSystem(::CreateWindowExA(exStyle, className, windowName, style, x, y, width,
                                        height, ToSystem<HWND>(parent), ToSystem<HMENU>(menu),
                                        ToSystem<HINSTANCE>(instance), param));
}

bool Win32Windows::ShowWindow(WindowHandle window, int showCommand) {
    return ::ShowWindow(ToSystem<HWND>(window), showCommand) != FALSE;
}

bool Win32Windows::UpdateWindow(WindowHandle window) {
    return ::UpdateWindow(ToSystem<HWND>(window)) != FALSE;
}

std::intptr_t Win32Windows::SendMessageA(WindowHandle window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam) {
    return ::SendMessageA(ToSystem<HWND>(window), message, wParam, lParam);
}

std::intptr_t Win32Windows::DefWindowProcA(WindowHandle window, std::uint32_t message,
                                           std::uintptr_t wParam, std::intptr_t lParam) {
    return ::DefWindowProcA(ToSystem<HWND>(window), message, wParam, lParam);
}

void Win32Windows::PostQuitMessage(int exitCode) { ::PostQuitMessage(exitCode); }

bool Win32Windows::GetClientRect(WindowHandle window, Rect* rect) {
    RECT system{};
    const BOOL ok = ::GetClientRect(ToSystem<HWND>(window), &system);
    if (rect != nullptr) *rect = {system.left, system.top, system.right, system.bottom};
    return ok != FALSE;
}

int Win32Windows::GetSystemMetrics(int index) { return ::GetSystemMetrics(index); }

int Win32Windows::MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                              std::uint32_t type) {
    return ::MessageBoxA(ToSystem<HWND>(owner), text, caption, type);
}

// Resources

Handle Win32Windows::LoadBitmapA(Handle instance, const char* name) {
    return FromSystem(::LoadBitmapA(ToSystem<HINSTANCE>(instance), name));
}

Handle Win32Windows::LoadIconA(Handle instance, const char* name) {
    return FromSystem(::LoadIconA(ToSystem<HINSTANCE>(instance), name));
}

Handle Win32Windows::LoadCursorA(Handle instance, std::uint16_t resourceId) {
    return FromSystem(::LoadCursorA(ToSystem<HINSTANCE>(instance), MAKEINTRESOURCEA(resourceId)));
}

// Painting: the system's PAINTSTRUCT rides inside PaintStruct::systemData from BeginPaint to
// EndPaint, which needs it back unchanged.

Handle Win32Windows::BeginPaint(WindowHandle window, PaintStruct* paint) {
    PAINTSTRUCT system{};
    const HDC deviceContext = ::BeginPaint(ToSystem<HWND>(window), &system);
    std::memcpy(paint->systemData, &system, sizeof system);
    paint->deviceContext = FromSystem(deviceContext);
    return paint->deviceContext;
}

bool Win32Windows::EndPaint(WindowHandle window, const PaintStruct* paint) {
    PAINTSTRUCT system;
    std::memcpy(&system, paint->systemData, sizeof system);
    return ::EndPaint(ToSystem<HWND>(window), &system) != FALSE;
}

Handle Win32Windows::CreateCompatibleDC(Handle deviceContext) {
    return FromSystem(::CreateCompatibleDC(ToSystem<HDC>(deviceContext)));
}

Handle Win32Windows::SelectObject(Handle deviceContext, Handle object) {
    return FromSystem(::SelectObject(ToSystem<HDC>(deviceContext), ToSystem<HGDIOBJ>(object)));
}

bool Win32Windows::BitBlt(Handle destination, int x, int y, int width, int height, Handle source,
                          int sourceX, int sourceY, std::uint32_t rasterOperation) {
    return ::BitBlt(ToSystem<HDC>(destination), x, y, width, height, ToSystem<HDC>(source),
                    sourceX, sourceY, rasterOperation) != FALSE;
}

bool Win32Windows::DeleteDC(Handle deviceContext) {
    return ::DeleteDC(ToSystem<HDC>(deviceContext)) != FALSE;
}

}  // namespace veltrane
