// The simulated Windows' process: its module, command line and start-up information, the
// directories the system names, the code page and time zone, the memory it allocates, and the
// programs it starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/SimulatedKernel.h"
#include "platform/WindowsApi.h"

namespace veltrane {

struct SimWinExecCall {
    std::string commandLine;
    std::uint32_t showCommand = 0;
};

class SimProcess {
public:
    explicit SimProcess(SimKernel& kernel) : kernel_(kernel) {}
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Knobs.
    void SetModuleFileName(std::string path) { moduleFileName_ = std::move(path); }
    void SetCommandLine(std::string commandLine) { commandLine_ = std::move(commandLine); }
    void SetStartupInfo(std::uint32_t flags, std::uint16_t showWindow) {
        startup_ = {flags, showWindow};
    }
    void SetTempPath(std::string path) { tempPath_ = std::move(path); }  // "": GetTempPathA fails
    void SetSystemDirectory(std::string path) { systemDirectory_ = std::move(path); }  // "": fails
    void SetCodePage(std::uint32_t codePage) { codePage_ = codePage; }
    void SetTimeZoneBias(std::int32_t minutes) { biasMinutes_ = minutes; }  // UTC = local + bias
    void SetWinExecResult(std::uint32_t result) { winExecResult_ = result; }

    // Observation.
    const std::string& ModuleFileName() const { return moduleFileName_; }
    const std::string& TempPath() const { return tempPath_; }
    const std::string& SystemDirectory() const { return systemDirectory_; }
    std::size_t OutstandingBlocks() const { return blocks_.size(); }
    std::size_t InvalidReleases() const { return invalidReleases_; }
    const std::vector<SimWinExecCall>& WinExecCalls() const { return winExecCalls_; }

    // The calls of the interface.
    std::uint32_t GetModuleFileName(char* buffer, std::uint32_t size);
    const char* GetCommandLine() const { return commandLine_.c_str(); }
    void GetStartupInfo(StartupInfo& info) const { info = startup_; }
    bool IsDBCSLeadByte(std::uint8_t byte) const;
    void* AllocateMemory(std::size_t size);
    void ReleaseMemory(void* block);
    bool DosDateTimeToFileTime(std::uint16_t fatDate, std::uint16_t fatTime, FileTime* fileTime);
    bool LocalFileTimeToFileTime(const FileTime* local, FileTime* utc);
    std::uint32_t GetTempPath(std::uint32_t size, char* buffer);
    std::uint32_t GetSystemDirectory(char* buffer, std::uint32_t size);
    std::uint32_t WinExec(const char* commandLine, std::uint32_t showCommand);

private:
    SimKernel& kernel_;
    std::string moduleFileName_ = "C:\\Program Files\\Product\\VeltraneLoadProgram.exe";
    std::string commandLine_ = "\"C:\\Program Files\\Product\\VeltraneLoadProgram.exe\"";
    StartupInfo startup_;
    std::string tempPath_ = "C:\\Users\\User\\AppData\\Local\\Temp\\";
    std::string systemDirectory_ = "C:\\Windows\\system32";
    std::uint32_t codePage_ = 1252;
    std::int32_t biasMinutes_ = 0;
    std::uint32_t winExecResult_ = 33;
    std::set<void*> blocks_;
    std::size_t invalidReleases_ = 0;
    std::vector<SimWinExecCall> winExecCalls_;
};

}  // namespace veltrane
