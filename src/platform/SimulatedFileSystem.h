// The simulated Windows' drives, directories and files, and the handles open on them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SimulatedKernel.h"
#include "platform/SimulatedPath.h"
#include "platform/WindowsApi.h"

namespace veltrane {

class SimFileSystem {
public:
    explicit SimFileSystem(SimKernel& kernel);

    // Knobs. They create missing parent directories and never fail the way a call does:
    // a path that is no usable path throws std::invalid_argument.
    void AddDirectory(std::string_view path);
    void AddFile(std::string_view path, std::string_view bytes, std::optional<FileTime> lastWrite);
    void Remove(std::string_view path);  // a file, or a directory with all it holds
    void SetCurrentDirectory(std::string_view path);
    void SetDriveFreeBytes(char drive, std::int64_t freeBytes);  // -1: the drive cannot tell
    void HoldOpen(std::string_view path, std::uint32_t access, std::uint32_t shareMode);
    void EndHold(std::string_view path);
    void SetTempFileCounter(std::uint16_t next) { tempCounter_ = next; }
    // The code page's lead bytes, so that paths are split as Windows splits them.
    void SetLeadByteTest(SimLeadByteTest isLeadByte) { isLeadByte_ = std::move(isLeadByte); }

    // Observation.
    bool Exists(std::string_view path) const;
    bool IsDirectory(std::string_view path) const;
    std::string FileBytes(std::string_view path) const;  // throws when no file is there
    FileTime LastWriteTime(std::string_view path) const;
    std::vector<std::string> Files() const;        // every file's path, sorted by key
    std::vector<std::string> Directories() const;  // every directory's, roots included
    std::optional<std::int64_t> DriveFreeBytes(char drive) const;
    const std::vector<std::string>& DevicesOpened() const { return devicesOpened_; }
    std::vector<std::string> OpenHandles() const;

    // The calls of the interface.
    Handle CreateFile(const char* name, std::uint32_t access, std::uint32_t shareMode,
                      std::uint32_t disposition);
    bool ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read,
                  std::uint32_t readLimit);
    bool WriteFile(Handle file, const void* buffer, std::uint32_t toWrite, std::uint32_t* written,
                   std::uint32_t writeLimit);
    std::uint32_t SetFilePointer(Handle file, std::int32_t distance, std::uint32_t moveMethod);
    bool CloseHandle(Handle object);
    Handle FindFirstFile(const char* name, FindData& data);
    bool FindClose(Handle find);
    bool DeleteFile(const char* name);
    bool CreateDirectory(const char* name);
    bool SetFileTime(Handle file, const FileTime* creation, const FileTime* lastAccess,
                     const FileTime* lastWrite);
    std::uint32_t GetTempFileName(const char* path, const char* prefix, std::uint32_t unique,
                                  char* tempFileName);
    bool GetDiskFreeSpace(const char* rootPath, std::uint32_t* sectorsPerCluster,
                          std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                          std::uint32_t* totalClusters);

    // Whether the handle is one this file system gave out and still holds open.
    bool OwnsHandle(Handle handle) const;

private:
    struct Node {
        std::string path;  // as first written; the map's key is its upper-case form
        bool directory = false;
        std::string bytes;
        FileTime creation, lastAccess, lastWrite;
    };
    struct OpenFile {
        std::shared_ptr<Node> node;
        std::uint32_t access = 0;
        std::uint32_t shareMode = 0;
        std::uint64_t position = 0;
    };
    struct Holder {
        std::shared_ptr<Node> node;
        std::uint32_t access = 0;
        std::uint32_t shareMode = 0;
    };
    struct Drive {
        std::optional<std::int64_t> freeBytes;  // none: plenty, and writes take nothing
    };

    std::optional<SimPath> Normalise(std::string_view path) const;
    SimPath NormaliseOrThrow(std::string_view path) const;
    std::shared_ptr<Node> Find(const SimPath& path) const;
    bool ParentIsDirectory(const SimPath& path) const;
    std::shared_ptr<Node> MakeNode(const SimPath& path, bool directory);
    void MakeDirectories(const SimPath& path);
    bool SharingAllows(const Node& node, std::uint32_t access, std::uint32_t shareMode) const;
    bool Truncate(Node& node);
    Handle OpenDevice(const std::string& device, std::string_view name);
    Handle OpenNode(const std::shared_ptr<Node>& node, std::uint32_t access,
                    std::uint32_t shareMode);
    Handle CreateNewFile(const SimPath& path, std::uint32_t access, std::uint32_t shareMode);
    bool ReserveSpace(const Node& node, std::uint64_t newSize);
    Drive* DriveOf(const Node& node);
    std::string TempFileName(std::string_view path, std::string_view prefix,
                             std::uint32_t number) const;
    enum class TempCreation { Created, Taken, Failed };
    TempCreation CreateTempFile(const std::string& name);

    SimKernel& kernel_;
    SimPath currentDirectory_;
    std::map<std::string, std::shared_ptr<Node>> nodes_;  // by key
    std::map<char, Drive> drives_;                        // by upper-case letter
    std::map<Handle, OpenFile> files_;
    std::map<Handle, std::string> devices_;
    std::map<Handle, std::string> finds_;
    std::vector<Holder> holders_;
    std::vector<std::string> devicesOpened_;
    std::uint16_t tempCounter_ = 1;
    SimLeadByteTest isLeadByte_;
};

}  // namespace veltrane
