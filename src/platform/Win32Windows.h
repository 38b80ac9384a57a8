// The real backend of the Windows interface: each call goes straight to kernel32, user32,
// gdi32 or comctl32. It holds no logic of the loader; what the loader decides stays above the
// interface, where the simulated Windows can test it.
#pragma once

#include "platform/WindowsApi.h"

namespace veltrane {

class Win32Windows final : public WindowsApi {
public:
    // Process and module
    std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) override;
    Handle GetModuleHandleA() override;
    const char* GetCommandLineA() override;
    void GetStartupInfoA(StartupInfo& info) override;
    std::uint32_t GetLastError() override;
    bool IsDBCSLeadByte(std::uint8_t byte) override;

    void* AllocateMemory(std::size_t size) override;
    void ReleaseMemory(void* block) override;

    // Files
    Handle CreateFileA(const char* name, std::uint32_t access, std::uint32_t shareMode,
                       std::uint32_t creationDisposition, std::uint32_t flags) override;
    bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read) override;
    bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite,
                   std::uint32_t* written) override;
    std::uint32_t SetFilePointer(Handle file, std::int32_t distance,
                                 std::uint32_t moveMethod) override;
    bool CloseHandle(Handle object) override;
    Handle FindFirstFileA(const char* name, FindData& data) override;
    bool FindClose(Handle find) override;
    bool DeleteFileA(const char* name) override;
    bool CreateDirectoryA(const char* name) override;
    bool DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime,
                               FileTime* fileTime) override;
    bool LocalFileTimeToFileTime(const FileTime* local, FileTime* utc) override;
    bool SetFileTime(Handle file, const FileTime* creation, const FileTime* lastAccess,
                     const FileTime* lastWrite) override;

    // Directories and drives
    std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override;
    std::uint32_t GetTempFileNameA(const char* path, const char* prefix, std::uint32_t unique,
                                   char* tempFileName) override;
    bool GetDiskFreeSpaceA(const char* rootPath, std::uint32_t* sectorsPerCluster,
                           std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                           std::uint32_t* totalClusters) override;
    std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;

    // Programs
    std::uint32_t WinExec(const char* commandLine, std::uint32_t showCommand) override;

    // Windows and messages
    void InitCommonControls() override;
    std::uint16_t RegisterClassA(const WindowClass& windowClass) override;
    WindowHandle CreateWindowExA(std::uint32_t exStyle, const char* className,
                                 const char* windowName, std::uint32_t style, int x, int y,
                                 int width, int height, WindowHandle parent, Handle menu,
                                 Handle instance, void* param) override;
    bool ShowWindow(WindowHandle window, int showCommand) override;
    bool UpdateWindow(WindowHandle window) override;
    std::intptr_t SendMessageA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                               std::intptr_t lParam) override;
    std::intptr_t DefWindowProcA(WindowHandle window, std::uint32_t message,
                                 std::uintptr_t wParam, std::intptr_t lParam) override;
    void PostQuitMessage(int exitCode) override;
    bool GetClientRect(WindowHandle window, Rect* rect) override;
    int GetSystemMetrics(int index) override;
    int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                    std::uint32_t type) override;

    // Resources
    Handle LoadBitmapA(Handle instance, const char* name) override;
    Handle LoadIconA(Handle instance, const char* name) override;
    Handle LoadCursorA(Handle instance, std::uint16_t resourceId) override;

    // Painting
    Handle BeginPaint(WindowHandle window, PaintStruct* paint) override;
    bool EndPaint(WindowHandle window, const PaintStruct* paint) override;
    Handle CreateCompatibleDC(Handle deviceContext) override;
    Handle SelectObject(Handle deviceContext, Handle object) override;
    bool BitBlt(Handle destination, int x, int y, int width, int height, Handle source,
                int sourceX, int sourceY, std::uint32_t rasterOperation) override;
    bool DeleteDC(Handle deviceContext) override;
};

}  // namespace veltrane
