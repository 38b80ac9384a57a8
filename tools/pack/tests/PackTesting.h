// Helpers for the builder's tests: a scratch directory, the tool run as a user runs it, and a
// loader image small enough to write inline.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/writer/ArchiveWriter.h"

namespace veltrane::pack::packtest {

// A fresh directory, removed with everything in it when the test ends.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
    // Writes a file (making its folders) and returns its path.
    std::filesystem::path Write(const std::string& name, const Bytes& content) const;
    // The names of the entries directly inside the directory, sorted.
    std::vector<std::string> Entries() const;

private:
    std::filesystem::path path_;
};

Bytes ReadFile(const std::filesystem::path& path);

struct Outcome {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs veltrane-pack with the arguments in the directory, with SOURCE_DATE_EPOCH and TZ removed
// from the environment unless set here.
Outcome RunPack(const std::vector<std::string>& arguments,
                const std::filesystem::path& workingDirectory,
                const std::map<std::string, std::string>& environment = {});

// The smallest file that passes as a Windows executable: "MZ", e_lfanew, "PE\0\0".
Bytes MinimalWindowsExecutable();

// The header of file `index` (from 0) of the archive at `start`, following NextHeader.
ArchiveFileHeader HeaderAt(const Bytes& file, std::size_t start, int index);

}  // namespace veltrane::pack::packtest
