#include "loader/Staging.h"

#include <cstring>
#include <memory>

#include "archive/Catalog.h"
#include "archive/Extraction.h"
#include "exceptions/exceptions_Veltrane.h"
#include "loader/CommandLine.h"
#include "loader/FileAccess.h"
#include "loader/Paths.h"

namespace veltrane {
namespace {

constexpr std::uint32_t PathBufferSize = 261;
constexpr const char* NoTemporaryDirectory = "LOADER: Could not find the temporary directory on this computer";

struct ArchiveSource {
    std::string path;
    std::int32_t start = 0;
};

ArchiveSource ChooseArchiveSource(WindowsApi& api, const SelfExtractTrailer& trailer,
                                  const std::string& loaderDirectory) {
    if (IsSelfExtracting(trailer)) {
        const std::string path = LoaderFileName(api);
        if (!FileExists(api, path)) throw Exception("LOADER: Could not open the file, " + path);
        return {path, trailer.FirstArchiveStart()};
    }
    const std::string path = AddTrailingBackslash(loaderDirectory) + "setup.1";
    if (!FileExists(api, path)) {
        throw Exception(
            "LOADER: Setup.1 must be in the same directory as the the loader program. Directory is " +
            loaderDirectory);
    }
    return {path, 0};
}

FileHandle OpenArchive(WindowsApi& api, const ArchiveSource& source) {
    FileHandle archive = OpenForSharedReading(api, source.path);
    if (!archive) throw Exception("The file " + source.path + " could not be opened for reading");
    return archive;
}

std::string TemporaryDirectory(WindowsApi& api) {
    char buffer[PathBufferSize] = {};
    const std::uint32_t length = api.GetTempPathA(PathBufferSize, buffer);
    // A path that needs more room than the buffer has is reported as its size, with nothing filled.
    if (length == 0 || length >= PathBufferSize) throw Exception(NoTemporaryDirectory);
    return std::string(buffer, length);
}

// A fresh name in the temporary directory. The system creates an empty file under it, which is
// deleted at once: only the name serves.
std::string FreshTemporaryName(WindowsApi& api, const std::string& temporaryDirectory) {
    char buffer[PathBufferSize] = {};
    if (api.GetTempFileNameA(temporaryDirectory.c_str(), "vlr", 0, buffer) == 0) {
        throw Exception(NoTemporaryDirectory);
    }
    const std::string name(buffer, strnlen(buffer, sizeof buffer));
    api.DeleteFileA(name.c_str());
    return name;
}

// The name without its extension: everything from a "." on, when that "." comes after the last
// "\" and ":".
std::string WithoutExtension(const std::string& name) {
    const std::size_t last = name.find_last_of(".\\:");
    if (last != std::string::npos && name[last] == '.') return name.substr(0, last);
    return name;
}

bool IsBlankText(const std::string& text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) > 32) return false;
    }
    return true;
}

// The staging directory: the fresh name as a directory, or, when that cannot be created, the
// temporary directory itself.
std::string MakeStagingDirectory(WindowsApi& api, const std::string& temporaryDirectory,
                                 const std::string& temporaryName) {
    const std::string stagingDir = WithoutExtension(temporaryName);
    if (IsBlankText(stagingDir)) throw Exception(NoTemporaryDirectory);
    if (!api.CreateDirectoryA(stagingDir.c_str())) return temporaryDirectory;
    return stagingDir;
}

void CheckFreeSpace(WindowsApi& api, const std::string& stagingDir) {
    const std::int64_t freeBytes = FreeSpaceOfPath(api, stagingDir);
    if (freeBytes != -1 && freeBytes < MinTempFreeBytes) {
        throw Exception("You should have at least " + std::to_string(MinTempFreeBytes) +
                        " bytes free on the disk where your temporary directory, " + stagingDir +
                        ", is located. Please clear off some space and then run the install again");
    }
}

const char* WinExecResultDescription(std::uint32_t result) {
    switch (result) {
        case 2: return "The specified file was not found";
        case 3: return "The specified path was not found";
        case 11: return "The .EXE file is invalid";
        default: return "Unknown";
    }
}

void Launch(WindowsApi& api, const std::string& commandLine) {
    const std::uint32_t result = api.WinExec(commandLine.c_str(), win::SwShow);
    if (result < 32) {
        throw Exception("LOADER: Could not run the installation executable file " + commandLine +
                        ". The WinExec return was " + std::to_string(static_cast<std::int32_t>(result)) +
                        " - " + WinExecResultDescription(result));
    }
}

}  // namespace

std::int64_t FreeSpaceOfPath(WindowsApi& api, const std::string& path) {
    if (path.empty()) return -1;
    char drive = path[0];
    if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
    const std::string root = std::string(1, drive) + ":\\";
    std::uint32_t sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!api.GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                               &totalClusters)) {
        return -1;
    }
    return std::int64_t{sectorsPerCluster} * bytesPerSector * freeClusters;
}

std::string InstallationCommandLine(const LaunchDetails& launch) {
    const std::string& p = launch.installerPath;
    const std::string program = p.find(' ') == std::string::npos ? p : '"' + p + '"';
    const std::string& n = launch.loaderName;
    const std::string& d = launch.loaderDirectory;
    if (launch.toDisk) return program + " -c -f \"-e" + n + "\" -s\"" + d + '"';
    if (launch.selfExtracting) return program + " -c \"-e" + n + "\" \"-s" + d + '"';
    return program + " -c \"-s" + d + '"';
}

void RunInstallation(LoaderProcess& process, SelfExtractTrailer trailer) {
    WindowsApi& api = process.api;
    const std::string loaderPath = LoaderFileName(api);
    const std::string loaderDirectory = RemoveTrailingBackslash(DirectoryPart(api, loaderPath));

    const ArchiveSource source = ChooseArchiveSource(api, trailer, loaderDirectory);
    FileHandle archive = OpenArchive(api, source);
    const std::string temporaryDirectory = TemporaryDirectory(api);
    const std::string temporaryName = FreshTemporaryName(api, temporaryDirectory);
    const std::string stagingDir = MakeStagingDirectory(api, temporaryDirectory, temporaryName);
    CheckFreeSpace(api, stagingDir);

    const auto catalog = std::make_unique<ArchiveCatalog>();
    api.SetFilePointer(archive.Get(), source.start, win::FileBegin);
    ReadArchiveCatalog(api, archive.Get(), source.start, *catalog);
    if (catalog->Count == 0) {
        throw Exception(
            "There are no files in the archive in SETUP.1. There should at least be your "
            "installation project executable");
    }
    ExtractArchiveFiles(process, archive.Get(), source.start, *catalog, stagingDir);

    const std::string installerPath = OutputPathOf(api, stagingDir, catalog->Headers[0]);
    if (!FileExists(api, installerPath)) {
        throw Exception("LOADER: Cannot find the installation executable file in the temporary directory: " +
                        installerPath);
    }
    Launch(api, InstallationCommandLine({installerPath, FileNamePart(api, loaderPath), loaderDirectory,
                                         IsToDiskSwitch(api), IsSelfExtracting(trailer)}));
    archive.Reset();
    api.DeleteFileA(temporaryName.c_str());
}

}  // namespace veltrane
