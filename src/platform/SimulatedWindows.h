// An in-memory Windows for unit tests and fuzzing.
//
// One facade over four parts: the file system (SimFileSystem), the user interface
// (SimDesktop), the process (SimProcess), and the bookkeeping of calls (CallRecorder). Each call
// of WindowsApi is counted, may be made to fail by a test (FailCall), counts towards the call
// limit, and is written to the call log as one line:
//
//     CreateFileA("C:\x\a.exe", 0xC0000000, 0, 2, 0x80) -> h8
//     ReadFile(h8, 65536) -> true, 65536
//     DeleteFileA("C:\x\b") -> false, error 2
//
// Knobs read as the test's premise ("the third WriteFile fails with error 112", "drive C: has
// 7999999 bytes free", "code page 932"); observation reads back what the program did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimulatedCalls.h"
#include "platform/SimulatedDesktop.h"
#include "platform/SimulatedFileSystem.h"
#include "platform/SimulatedKernel.h"
#include "platform/SimulatedProcess.h"
#include "platform/WindowsApi.h"

namespace veltrane {

class SimulatedWindows : public WindowsApi {
public:
    // The module's instance handle, which GetModuleHandleA returns and resources are found by.
    static constexpr Handle ModuleInstance = SimDesktop::ModuleInstance;

    // Drive C: with plenty of room, the temporary directory and the system directory exist;
    // the module's file does not until a test adds it.
    SimulatedWindows();
    // Its parts refer to one another; a copy would refer to the original's.
    SimulatedWindows(const SimulatedWindows&) = delete;
    SimulatedWindows& operator=(const SimulatedWindows&) = delete;

    // ---- knobs: files, directories, drives ----
    void AddFile(std::string_view path, std::string_view bytes = {},
                 std::optional<FileTime> lastWriteTime = std::nullopt);  // makes parents
    void AddDirectory(std::string_view path);                            // makes parents
    void RemovePath(std::string_view path);  // a file, or a directory and all it holds
    void SetCurrentDirectory(std::string_view path) { files_.SetCurrentDirectory(path); }
    void SetCurrentTime(FileTime now) { kernel_.SetNow(now); }  // stamps creations and writes
    // -1 makes GetDiskFreeSpaceA fail; a finite value is used up by writes to that drive.
    void SetDriveFreeBytes(char drive, std::int64_t freeBytes) {
        files_.SetDriveFreeBytes(drive, freeBytes);
    }
    // Another process holds the file open with this access and share mode until EndHold.
    void HoldOpenByAnotherProcess(std::string_view path, std::uint32_t access,
                                  std::uint32_t shareMode) {
        files_.HoldOpen(path, access, shareMode);
    }
    void EndHoldByAnotherProcess(std::string_view path) { files_.EndHold(path); }
    void SetTempPath(std::string path) { process_.SetTempPath(std::move(path)); }  // not created
    void SetTempFileCounter(std::uint16_t next) { files_.SetTempFileCounter(next); }
    void SetSystemDirectory(std::string path) {
        process_.SetSystemDirectory(std::move(path));
    }  // not created

    // ---- knobs: process ----
    void SetModuleFileName(std::string path) { process_.SetModuleFileName(std::move(path)); }
    void SetCommandLine(std::string commandLine) {
        process_.SetCommandLine(std::move(commandLine));
    }
    void SetStartupInfo(std::uint32_t flags, std::uint16_t showWindow) {
        process_.SetStartupInfo(flags, showWindow);
    }
    void SetCodePage(std::uint32_t codePage) {
        process_.SetCodePage(codePage);
        files_.SetLeadByteTest([this](std::uint8_t byte) { return process_.IsDBCSLeadByte(byte); });
    }
    void SetTimeZoneBias(std::int32_t minutes) {
        process_.SetTimeZoneBias(minutes);
    }  // UTC = local + bias
    void SetWinExecResult(std::uint32_t result) { process_.SetWinExecResult(result); }
    void SetLastErrorValue(std::uint32_t errorCode) { kernel_.SetLastError(errorCode); }

    // ---- knobs: windows ----
    void SetSystemMetric(int index, int value) { desktop_.SetSystemMetric(index, value); }
    void SetNonClientSize(int horizontal, int vertical) {
        desktop_.SetNonClientSize(horizontal, vertical);
    }
    void SetClientSize(WindowHandle window, int width, int height) {
        desktop_.SetClientSize(window, width, height);
    }
    void SetClassClientSize(const std::string& className, int width, int height) {
        desktop_.SetClassClientSize(className, width, height);
    }
    void SetMessageBoxResult(int result) { desktop_.SetMessageBoxResult(result); }

    // ---- fault injection ----
    // The nth use (1-based) of the call fails with the error code, the way that call fails in
    // Windows (InvalidHandleValue, false, 0, nullptr; WinExec returns the code itself). A call
    // that cannot fail in Windows (GetLastError, GetCommandLineA, ...) is refused with
    // std::invalid_argument. A failing release (CloseHandle, FindClose, DeleteDC) still releases.
    void FailCall(std::string_view call, std::uint64_t nth, std::uint32_t errorCode);
    void FailCallsFrom(std::string_view call, std::uint64_t nth, std::uint32_t errorCode);
    // The nth ReadFile (WriteFile) moves at most maxBytes and still succeeds.
    void ShortenRead(std::uint64_t nth, std::uint32_t maxBytes) {
        calls_.ShortenReads(nth, maxBytes, false);
    }
    void ShortenReadsFrom(std::uint64_t nth, std::uint32_t maxBytes) {
        calls_.ShortenReads(nth, maxBytes, true);
    }
    void ShortenWrite(std::uint64_t nth, std::uint32_t maxBytes) {
        calls_.ShortenWrites(nth, maxBytes, false);
    }
    void ShortenWritesFrom(std::uint64_t nth, std::uint32_t maxBytes) {
        calls_.ShortenWrites(nth, maxBytes, true);
    }
    // After this many calls in all, every further call throws CallLimitExceeded (releases
    // excepted, since they run in destructors while it unwinds).
    void SetCallLimit(std::uint64_t calls) { calls_.SetCallLimit(calls); }
    void RemoveCallLimit() { calls_.SetCallLimit(std::nullopt); }

    // ---- observation: calls ----
    void SetCallLogEnabled(bool enabled) { calls_.SetLogEnabled(enabled); }
    const std::vector<std::string>& CallLog() const { return calls_.Log(); }
    std::vector<std::string> CallLog(std::string_view call) const {
        return calls_.LogOf(SimCallFromName(call));
    }
    void ClearCallLog() { calls_.ClearLog(); }
    std::uint64_t CallCount(std::string_view call) const {
        return calls_.Count(SimCallFromName(call));
    }
    std::uint64_t TotalCallCount() const { return calls_.TotalCount(); }
    // Every file, find handle, device, device context and paint still open, one line each.
    std::vector<std::string> OpenHandles() const;

    // ---- observation: files ----
    bool Exists(std::string_view path) const { return files_.Exists(path); }
    bool IsDirectory(std::string_view path) const { return files_.IsDirectory(path); }
    std::string FileBytes(std::string_view path) const { return files_.FileBytes(path); }
    FileTime LastWriteTime(std::string_view path) const { return files_.LastWriteTime(path); }
    std::vector<std::string> Files() const { return files_.Files(); }
    std::vector<std::string> Directories() const { return files_.Directories(); }
    std::optional<std::int64_t> DriveFreeBytes(char drive) const {
        return files_.DriveFreeBytes(drive);
    }
    const std::vector<std::string>& DevicesOpened() const { return files_.DevicesOpened(); }

    // ---- observation: process ----
    std::size_t OutstandingMemoryBlocks() const { return process_.OutstandingBlocks(); }
    std::size_t InvalidMemoryReleases() const { return process_.InvalidReleases(); }
    const std::vector<SimWinExecCall>& WinExecCalls() const { return process_.WinExecCalls(); }

    // ---- observation: windows ----
    const SimDesktop& Desktop() const { return desktop_; }
    const SimWindow* Window(WindowHandle window) const { return desktop_.Window(window); }
    std::vector<SimWindow> Windows() const { return desktop_.Windows(); }
    std::vector<SimWindow> WindowsOfClass(const std::string& className) const {
        return desktop_.WindowsOfClass(className);
    }
    const std::vector<SimRegisteredClass>& RegisteredClasses() const {
        return desktop_.RegisteredClasses();
    }
    const std::vector<SimMessage>& SentMessages() const { return desktop_.SentMessages(); }
    std::vector<SimMessage> MessagesSentTo(WindowHandle window) const {
        return desktop_.MessagesSentTo(window);
    }
    const std::vector<SimMessage>& DeliveredMessages() const {
        return desktop_.DeliveredMessages();
    }
    const std::vector<SimMessage>& DefWindowProcCalls() const {
        return desktop_.DefWindowProcCalls();
    }
    const std::vector<SimShowWindowCall>& ShowWindowCalls() const {
        return desktop_.ShowWindowCalls();
    }
    const std::vector<WindowHandle>& UpdateWindowCalls() const {
        return desktop_.UpdateWindowCalls();
    }
    const std::vector<int>& QuitMessages() const { return desktop_.QuitMessages(); }
    const std::vector<SimMessageBox>& MessageBoxes() const { return desktop_.MessageBoxes(); }
    const std::vector<SimBitBlt>& BitBlts() const { return desktop_.BitBlts(); }
    std::vector<Handle> BitmapsLoaded() const { return desktop_.BitmapsLoaded(); }
    int CommonControlsInitialisations() const { return desktop_.CommonControlsInitialisations(); }

    // ---- WindowsApi ----
    std::uint32_t GetModuleFileNameA(char* buffer, std::uint32_t size) override;
    Handle GetModuleHandleA() override;
    const char* GetCommandLineA() override;
    void GetStartupInfoA(StartupInfo& info) override;
    std::uint32_t GetLastError() override;
    bool IsDBCSLeadByte(std::uint8_t byte) override;
    void* AllocateMemory(std::size_t size) override;
    void ReleaseMemory(void* block) override;
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
    std::uint32_t GetTempPathA(std::uint32_t size, char* buffer) override;
    std::uint32_t GetTempFileNameA(const char* path, const char* prefix, std::uint32_t unique,
                                   char* tempFileName) override;
    bool GetDiskFreeSpaceA(const char* rootPath, std::uint32_t* sectorsPerCluster,
                           std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                           std::uint32_t* totalClusters) override;
    std::uint32_t GetSystemDirectoryA(char* buffer, std::uint32_t size) override;
    std::uint32_t WinExec(const char* commandLine, std::uint32_t showCommand) override;
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
    std::intptr_t DefWindowProcA(WindowHandle window, std::uint32_t message, std::uintptr_t wParam,
                                 std::intptr_t lParam) override;
    void PostQuitMessage(int exitCode) override;
    bool GetClientRect(WindowHandle window, Rect* rect) override;
    int GetSystemMetrics(int index) override;
    int MessageBoxA(WindowHandle owner, const char* text, const char* caption,
                    std::uint32_t type) override;
    Handle LoadBitmapA(Handle instance, const char* name) override;
    Handle LoadIconA(Handle instance, const char* name) override;
    Handle LoadCursorA(Handle instance, std::uint16_t resourceId) override;
    Handle BeginPaint(WindowHandle window, PaintStruct* paint) override;
    bool EndPaint(WindowHandle window, const PaintStruct* paint) override;
    Handle CreateCompatibleDC(Handle deviceContext) override;
    Handle SelectObject(Handle deviceContext, Handle object) override;
    bool BitBlt(Handle destination, int x, int y, int width, int height, Handle source, int sourceX,
                int sourceY, std::uint32_t rasterOperation) override;
    bool DeleteDC(Handle deviceContext) override;

private:
    template <typename Result, typename Body, typename Arguments>
    Result Run(SimCall call, Result failure, Body&& body, Arguments&& arguments);
    template <typename Body, typename Arguments>
    void RunVoid(SimCall call, Body&& body, Arguments&& arguments);
    void Fail(std::string_view call, std::uint64_t nth, std::uint32_t errorCode, bool everyLater);

    SimKernel kernel_;
    CallRecorder calls_;
    SimFileSystem files_{kernel_};
    SimDesktop desktop_{kernel_};
    SimProcess process_{kernel_};
};

}  // namespace veltrane
