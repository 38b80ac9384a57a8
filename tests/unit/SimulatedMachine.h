// A fresh simulated Windows set up as a user's machine, with one run of the loader on it:
// the loader at C:\dist\setup.exe, a temporary directory, a system directory, plenty of space.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "archive/Trailer.h"
#include "archive/writer/ArchiveWriter.h"
#include "loader/LoaderProcess.h"
#include "platform/SimulatedWindows.h"

namespace veltrane::testing_support {

inline constexpr const char* LoaderPath = "C:\\dist\\setup.exe";
inline constexpr const char* Setup1Path = "C:\\dist\\setup.1";
inline constexpr const char* TempPath = "C:\\Temp\\";
inline constexpr const char* SystemDirectory = "C:\\Windows\\system32";
// What the staging directory is named when the temporary-name counter starts at 0x1A.
inline constexpr const char* StagingDir = "C:\\Temp\\vlr1A";

inline std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// A stand-in for the loader's executable image.
inline Bytes LoaderImage() { return ToBytes(std::string("MZ") + std::string(998, '\x90')); }

class SimulatedMachine : public ::testing::Test {
protected:
    SimulatedMachine() {
        windows.AddDirectory(TempPath);
        windows.SetTempPath(TempPath);
        windows.SetTempFileCounter(0x1A);
        windows.AddDirectory(SystemDirectory);
        windows.SetSystemDirectory(SystemDirectory);
        windows.SetModuleFileName(LoaderPath);
        windows.SetCommandLine(LoaderPath);
        windows.AddFile(LoaderPath, AsString(LoaderImage()));
        ActiveLoaderProcess = &process;
    }
    ~SimulatedMachine() override { ActiveLoaderProcess = nullptr; }

    // A plain loader with its archive beside it.
    void PutSetup1(const Bytes& archive) { windows.AddFile(Setup1Path, AsString(archive)); }

    // The loader's own file as a self-extracting loader carrying the archive.
    void MakeSelfExtracting(const Bytes& archive, std::string_view title = "Sample") {
        windows.AddFile(LoaderPath, AsString(AssembleSelfExtracting(LoaderImage(), archive, WriteArchive({}), title)));
        ReadTrailer(windows, process.Trailer);
    }

    std::string Staged(const std::string& name) const { return std::string(StagingDir) + "\\" + name; }

    SimulatedWindows windows;
    LoaderProcess process{windows};
};

}  // namespace veltrane::testing_support
