// The Windows interface the loader sees.
//
// Every routine of the loader reaches the operating system through this one interface, passed
// by reference from the entry point down. Its calls keep the shapes of the Win32 calls they
// stand for (a handle or InvalidHandleValue, a BOOL as bool, a byte count, GetLastError), so
// the loader's algorithms read in the terms Windows itself uses. Two backends implement it: the
// real one over kernel32, user32, gdi32 and comctl32 (Win32Windows), and an in-memory Windows
// for tests and fuzzing (SimulatedWindows).
//
// Types and constants are our own, taken from the documented values, so that this header never
// needs <windows.h>; their names differ from the SDK's macros so that the real backend can
// include both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veltrane {

// Kernel objects, GDI objects, modules and device contexts alike; 0 is the null handle.
using Handle = std::uintptr_t;
using WindowHandle = std::uintptr_t;

inline constexpr Handle NullHandle = 0;
inline constexpr Handle InvalidHandleValue = ~Handle{0};

// The signature of a window procedure; the real backend bridges it to the system's.
using WindowProcedure = std::intptr_t (*)(WindowHandle window, std::uint32_t message,
                                          std::uintptr_t wParam, std::intptr_t lParam);

struct FileTime {
    std::uint32_t lowDateTime = 0;
    std::uint32_t highDateTime = 0;
};

struct FindData {
    std::uint32_t fileAttributes = 0;
    char fileName[260] = {};
};

struct StartupInfo {
    std::uint32_t flags = 0;
    std::uint16_t showWindow = 0;
};

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// BeginPaint's record: the device context, and room for the system's own PAINTSTRUCT, which
// the real backend keeps here between BeginPaint and EndPaint.
struct PaintStruct {
    Handle deviceContext = NullHandle;
    alignas(8) unsigned char systemData[96] = {};
};

struct WindowClass {
    std::uint32_t style = 0;
    WindowProcedure windowProcedure = nullptr;
    std::int32_t classExtraBytes = 0;
    std::int32_t windowExtraBytes = 0;
    Handle instance = NullHandle;
    Handle icon = NullHandle;
    Handle cursor = NullHandle;
    Handle background = NullHandle;
    const char* menuName = nullptr;
    const char* className = nullptr;
};

namespace win {
// kernel32
inline constexpr std::uint32_t GenericRead = 0x80000000u;
inline constexpr std::uint32_t GenericWrite = 0x40000000u;
inline constexpr std::uint32_t FileShareRead = 0x1;
inline constexpr std::uint32_t FileShareWrite = 0x2;
inline constexpr std::uint32_t CreateAlways = 2;
inline constexpr std::uint32_t OpenExisting = 3;
inline constexpr std::uint32_t FileAttributeNormal = 0x80;
inline constexpr std::uint32_t FileAttributeDirectory = 0x10;
inline constexpr std::uint32_t FileBegin = 0;
inline constexpr std::uint32_t FileCurrent = 1;
inline constexpr std::uint32_t FileEnd = 2;
inline constexpr std::uint32_t InvalidSetFilePointer = 0xFFFFFFFFu;
inline constexpr std::uint32_t StartfUseShowWindow = 0x1;

// Error codes
inline constexpr std::uint32_t ErrorFileNotFound = 2;
inline constexpr std::uint32_t ErrorPathNotFound = 3;
inline constexpr std::uint32_t ErrorAccessDenied = 5;
inline constexpr std::uint32_t ErrorInvalidHandle = 6;
inline constexpr std::uint32_t ErrorNotEnoughMemory = 8;
inline constexpr std::uint32_t ErrorSharingViolation = 32;
inline constexpr std::uint32_t ErrorHandleEof = 38;
inline constexpr std::uint32_t ErrorFileExists = 80;
inline constexpr std::uint32_t ErrorInvalidParameter = 87;
inline constexpr std::uint32_t ErrorDiskFull = 112;
inline constexpr std::uint32_t ErrorNegativeSeek = 131;
inline constexpr std::uint32_t ErrorAlreadyExists = 183;

// user32
inline constexpr int SwShow = 5;
inline constexpr int SwShowDefault = 10;
inline constexpr std::uint32_t CsVRedraw = 0x1;
inline constexpr std::uint32_t CsHRedraw = 0x2;
inline constexpr std::uint32_t WsBorder = 0x00800000u;
inline constexpr std::uint32_t WsChild = 0x40000000u;
inline constexpr std::uint32_t WsClipSiblings = 0x04000000u;
inline constexpr std::uint32_t WsVisible = 0x10000000u;
inline constexpr std::uint32_t WmDestroy = 0x0002;
inline constexpr std::uint32_t WmPaint = 0x000F;
inline constexpr std::uint32_t WmUser = 0x0400;
inline constexpr std::uint32_t MbOk = 0x0;
inline constexpr std::uint32_t MbIconError = 0x10;
inline constexpr int SmCxMaximized = 61;
inline constexpr int SmCyMaximized = 62;
inline constexpr std::uint16_t IdcArrow = 32512;
inline constexpr Handle ColorMenuBrush = 4 + 1;  // COLOR_MENU + 1

// comctl32: the progress bar
inline constexpr const char* ProgressClass = "msctls_progress32";
inline constexpr std::uint32_t PbmSetRange = WmUser + 1;
inline constexpr std::uint32_t PbmSetPos = WmUser + 2;
inline constexpr std::uint32_t PbmSetStep = WmUser + 4;

// gdi32
inline constexpr std::uint32_t SrcCopy = 0x00CC0020u;
}  // namespace win

class WindowsApi {
public:
    virtual ~WindowsApi() = default;

    // Process and module
    virtual std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) = 0;  // own module
    virtual Handle GetModuleHandleA() = 0;                                              // own module
    virtual const char* GetCommandLineA() = 0;
    virtual void GetStartupInfoA(StartupInfo& info) = 0;
    virtual std::uint32_t GetLastError() = 0;
    virtual bool IsDBCSLeadByte(std::uint8_t byte) = 0;

    // The run time's general memory allocator (malloc and free in the real backend).
    virtual void* AllocateMemory(std::size_t size) = 0;
    virtual void ReleaseMemory(void* block) = 0;

    // Files
    virtual Handle CreateFileA(const char* name, std::uint32_t access, std::uint32_t shareMode,
                               std::uint32_t creationDisposition, std::uint32_t flags) = 0;
    virtual bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) = 0;
    virtual bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite,
                           std::uint32_t* written) = 0;
    virtual std::uint32_t SetFilePointer(Handle file, std::int32_t distance,
                                         std::uint32_t moveMethod) = 0;
    virtual bool CloseHandle(Handle object) = 0;
    virtual Handle FindFirstFileA(const char* name, FindData& data) = 0;
    virtual bool FindClose(Handle find) = 0;
    virtual bool DeleteFileA(const char* name) = 0;
    virtual bool CreateDirectoryA(const char* name) = 0;  // no security attributes
    virtual bool DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime,
                                       FileTime* fileTime) = 0;
    virtual bool LocalFileTimeToFileTime(const FileTime* local, FileTime* utc) = 0;
    virtual bool SetFileTime(Handle file, const FileTime* creation, const FileTime* lastAccess,
                             const FileTime* lastWrite) = 0;

    // Directories and drives
    virtual std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) = 0;
    virtual std::uint32_t GetTempFileNameA(const char* path, const char* prefix,
                                           std::uint32_t unique, char* tempFileName) = 0;
    virtual bool GetDiskFreeSpaceA(const char* rootPath, std::uint32_t* sectorsPerCluster,
                                   std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                                   std::uint32_t* totalClusters) = 0;
    virtual std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) = 0;

    // Programs
    virtual std::uint32_t WinExec(const char* commandLine, std::uint32_t showCommand) = 0;

    // Windows and messages
    virtual void InitCommonControls() = 0;
    virtual std::uint16_t RegisterClassA(const WindowClass& windowClass) = 0;
    virtual WindowHandle CreateWindowExA(std::uint32_t exStyle, const char* className,
                                         const char* windowName, std::uint32_t style, int x,
                                         int y, int width, int height, WindowHandle parent,
                                         Handle menu, Handle instance, void* param) = 0;
    virtual bool ShowWindow(WindowHandle window, int showCommand) = 0;
    virtual bool UpdateWindow(WindowHandle window) = 0;
    virtual std::intptr_t SendMessageA(WindowHandle window, std::uint32_t message,
                                       std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual std::intptr_t DefWindowProcA(WindowHandle window, std::uint32_t message,
                                         std::uintptr_t wParam, std::intptr_t lParam) = 0;
    virtual void PostQuitMessage(int exitCode) = 0;
    virtual bool GetClientRect(WindowHandle window, Rect* rect) = 0;
    virtual int GetSystemMetrics(int index) = 0;
    virtual int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                            std::uint32_t type) = 0;

    // Resources
    virtual Handle LoadBitmapA(Handle instance, const char* name) = 0;
    virtual Handle LoadIconA(Handle instance, const char* name) = 0;
    virtual Handle LoadCursorA(Handle instance, std::uint16_t resourceId) = 0;

    // Painting
    virtual Handle BeginPaint(WindowHandle window, PaintStruct* paint) = 0;
    virtual bool EndPaint(WindowHandle window, const PaintStruct* paint) = 0;
    virtual Handle CreateCompatibleDC(Handle deviceContext) = 0;
    virtual Handle SelectObject(Handle deviceContext, Handle object) = 0;
    virtual bool BitBlt(Handle destination, int x, int y, int width, int height, Handle source,
                        int sourceX, int sourceY, std::uint32_t rasterOperation) = 0;
    virtual bool DeleteDC(Handle deviceContext) = 0;
};

}  // namespace veltrane
