// The loader's working sequence: find the archive, stage every file in a fresh directory under
// the user's temporary directory, and start the installation executable.
#pragma once

#include <cstdint>
#include <string>

#include "archive/ArchiveFormat.h"
#include "loader/LoaderProcess.h"

namespace veltrane {

// The least free space accepted on the drive of the staging directory.
inline constexpr std::int64_t MinTempFreeBytes = 8000000;

// Free bytes on the drive named by the path's first character; -1 when the path is empty or
// the system cannot tell (a network path, for one).
std::int64_t FreeSpaceOfPath(WindowsApi& api, const std::string& path);

// What the installation executable is told: where it is, and where the loader is.
struct LaunchDetails {
    std::string installerPath;     // the staged installation executable
    std::string loaderName;        // the file-name part of the loader's own path
    std::string loaderDirectory;   // without a trailing "\"
    bool toDisk = false;           // the "*TODISK" switch
    bool selfExtracting = false;   // the archive is inside the loader's own file
};

// The installation executable's command line in its to-disk, self-extracting or
// separate-archive form. The executable's path is quoted when it holds a space, so that
// Windows cannot take a shorter path for the program.
std::string InstallationCommandLine(const LaunchDetails& launch);

// Runs the whole sequence; raises Exception on any failure. What it staged stays in place.
void RunInstallation(LoaderProcess& process, SelfExtractTrailer trailer);

}  // namespace veltrane
