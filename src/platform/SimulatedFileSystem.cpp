#include "platform/SimulatedFileSystem.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace veltrane {

namespace {

constexpr std::uint32_t CreateNew = 1;
constexpr std::uint32_t OpenAlways = 4;
constexpr std::uint32_t TruncateExisting = 5;
constexpr std::uint32_t FileShareDelete = 0x4;
constexpr std::uint32_t DeleteAccess = 0x00010000u;
constexpr std::uint32_t GenericAll = 0x10000000u;
constexpr std::uint32_t GenericExecute = 0x20000000u;
constexpr std::uint32_t FileWriteAttributes = 0x100;
constexpr std::uint32_t FileAttributeArchive = 0x20;
constexpr std::uint32_t ErrorInvalidName = 123;
constexpr std::uint32_t ErrorBufferOverflow = 111;
constexpr std::uint32_t ErrorSuccess = 0;

// What a drive without a configured free space reports: plenty.
constexpr std::int64_t PlentyOfBytes = std::int64_t{1} << 36;
// No file grows beyond this, whatever the drive holds: a seek far past the end followed by a
// write must not make a fuzzing run allocate gigabytes.
constexpr std::uint64_t LargestFile = std::uint64_t{1} << 28;

// The rights an access mask asks for, in the terms the sharing rules use.
struct Rights {
    bool read = false;
    bool write = false;
    bool remove = false;
};

Rights RightsOf(std::uint32_t access) {
    return Rights{
        (access & (win::GenericRead | GenericExecute | GenericAll | 0x1 | 0x20)) != 0,
        (access & (win::GenericWrite | GenericAll | 0x2 | 0x4)) != 0,
        (access & (GenericAll | DeleteAccess)) != 0,
    };
}

// Whether a holder's share mode lets another open have these rights.
bool ShareAllows(std::uint32_t shareMode, Rights wanted) {
    return (!wanted.read || (shareMode & win::FileShareRead)) &&
           (!wanted.write || (shareMode & win::FileShareWrite)) &&
           (!wanted.remove || (shareMode & FileShareDelete));
}

bool AsksForData(Rights rights) { return rights.read || rights.write || rights.remove; }

// An open that asks for neither reading, writing nor deleting takes no part in sharing, on
// either side: its share mode is not even recorded.
bool Compatible(std::uint32_t heldAccess, std::uint32_t heldShare, std::uint32_t access,
                std::uint32_t shareMode) {
    const Rights held = RightsOf(heldAccess);
    const Rights wanted = RightsOf(access);
    if (!AsksForData(held) || !AsksForData(wanted)) return true;
    return ShareAllows(heldShare, wanted) && ShareAllows(shareMode, held);
}

bool IsUnchangedTime(const FileTime* time) {
    return time == nullptr || ToU64(*time) == 0 || ToU64(*time) == ~std::uint64_t{0};
}

// Sectors per cluster, bytes per sector and clusters whose product is the free space: exact
// whenever the value has a divisor in reach, else rounded down to whole clusters.
struct DiskGeometry {
    std::uint32_t sectorsPerCluster = 1;
    std::uint32_t bytesPerSector = 1;
    std::uint32_t clusters = 0;
};

DiskGeometry GeometryFor(std::int64_t freeBytes) {
    const auto bytes = static_cast<std::uint64_t>(freeBytes);
    constexpr std::uint64_t maxClusters = 0xFFFFFFFFu;
    if (bytes <= maxClusters) return {1, 1, static_cast<std::uint32_t>(bytes)};
    const std::uint64_t smallest = (bytes + maxClusters - 1) / maxClusters;
    for (std::uint64_t cluster = smallest; cluster < smallest + (1u << 22); ++cluster) {
        if (bytes % cluster == 0) {
            return {static_cast<std::uint32_t>(cluster), 1,
                    static_cast<std::uint32_t>(bytes / cluster)};
        }
    }
    return {static_cast<std::uint32_t>(smallest), 1, static_cast<std::uint32_t>(bytes / smallest)};
}

char DriveLetterOf(std::string_view path) {
    const bool drive = path.size() >= 2 && path[1] == ':';
    return drive ? UpperAscii(path.substr(0, 1))[0] : '\0';
}

}  // namespace

SimFileSystem::SimFileSystem(SimKernel& kernel)
    : kernel_(kernel), currentDirectory_{"C:\\", {}, false} {
    AddDirectory("C:\\");
}

// ---- knobs ----

std::optional<SimPath> SimFileSystem::Normalise(std::string_view path) const {
    return NormalisePath(path, currentDirectory_, isLeadByte_);
}

SimPath SimFileSystem::NormaliseOrThrow(std::string_view path) const {
    auto normalised = Normalise(path);
    if (!normalised) throw std::invalid_argument("not a usable path: " + std::string(path));
    return *normalised;
}

void SimFileSystem::AddDirectory(std::string_view path) { MakeDirectories(NormaliseOrThrow(path)); }

void SimFileSystem::AddFile(std::string_view path, std::string_view bytes,
                            std::optional<FileTime> lastWrite) {
    const SimPath file = NormaliseOrThrow(path);
    if (file.IsRoot()) throw std::invalid_argument("a root is no file: " + std::string(path));
    MakeDirectories(file.Parent());
    std::shared_ptr<Node> node = Find(file);
    if (node && node->directory) {
        throw std::invalid_argument("a directory is there already: " + std::string(path));
    }
    if (!node) node = MakeNode(file, false);
    node->bytes = bytes;
    node->lastWrite = lastWrite.value_or(kernel_.Now());
}

void SimFileSystem::Remove(std::string_view path) {
    const std::string key = NormaliseOrThrow(path).Key();
    const std::string below = key.ends_with('\\') ? key : key + '\\';
    std::erase_if(nodes_, [&](const auto& entry) {
        return entry.first == key || entry.first.starts_with(below);
    });
}

void SimFileSystem::SetCurrentDirectory(std::string_view path) {
    currentDirectory_ = NormaliseOrThrow(path);
}

void SimFileSystem::SetDriveFreeBytes(char drive, std::int64_t freeBytes) {
    const char letter = UpperAscii(std::string(1, drive))[0];
    if (letter < 'A' || letter > 'Z') throw std::invalid_argument("no drive letter");
    AddDirectory(std::string(1, letter) + ":\\");
    drives_[letter].freeBytes = freeBytes;
}

void SimFileSystem::HoldOpen(std::string_view path, std::uint32_t access, std::uint32_t shareMode) {
    std::shared_ptr<Node> node = Find(NormaliseOrThrow(path));
    if (!node || node->directory)
        throw std::invalid_argument("no file to hold: " + std::string(path));
    holders_.push_back(Holder{node, access, shareMode});
}

void SimFileSystem::EndHold(std::string_view path) {
    const std::shared_ptr<Node> node = Find(NormaliseOrThrow(path));
    std::erase_if(holders_, [&](const Holder& holder) { return holder.node == node; });
}

// ---- observation ----

bool SimFileSystem::Exists(std::string_view path) const {
    const auto normalised = Normalise(path);
    return normalised && Find(*normalised) != nullptr;
}

bool SimFileSystem::IsDirectory(std::string_view path) const {
    const auto normalised = Normalise(path);
    const std::shared_ptr<Node> node = normalised ? Find(*normalised) : nullptr;
    return node && node->directory;
}

std::string SimFileSystem::FileBytes(std::string_view path) const {
    const std::shared_ptr<Node> node = Find(NormaliseOrThrow(path));
    if (!node || node->directory) throw std::invalid_argument("no file at " + std::string(path));
    return node->bytes;
}

FileTime SimFileSystem::LastWriteTime(std::string_view path) const {
    const std::shared_ptr<Node> node = Find(NormaliseOrThrow(path));
    if (!node) throw std::invalid_argument("nothing at " + std::string(path));
    return node->lastWrite;
}

std::vector<std::string> SimFileSystem::Files() const {
    std::vector<std::string> paths;
    for (const auto& [key, node] : nodes_) {
        if (!node->directory) paths.push_back(node->path);
    }
    return paths;
}

std::vector<std::string> SimFileSystem::Directories() const {
    std::vector<std::string> paths;
    for (const auto& [key, node] : nodes_) {
        if (node->directory) paths.push_back(node->path);
    }
    return paths;
}

std::optional<std::int64_t> SimFileSystem::DriveFreeBytes(char drive) const {
    const auto found = drives_.find(UpperAscii(std::string(1, drive))[0]);
    return found == drives_.end() ? std::nullopt : found->second.freeBytes;
}

std::vector<std::string> SimFileSystem::OpenHandles() const {
    std::vector<std::string> open;
    for (const auto& [handle, file] : files_) {
        open.push_back("file h" + std::to_string(handle) + " " + file.node->path);
    }
    for (const auto& [handle, device] : devices_) {
        open.push_back("device h" + std::to_string(handle) + " " + device);
    }
    for (const auto& [handle, path] : finds_) {
        open.push_back("find h" + std::to_string(handle) + " " + path);
    }
    return open;
}

bool SimFileSystem::OwnsHandle(Handle handle) const {
    return files_.contains(handle) || devices_.contains(handle) || finds_.contains(handle);
}

// ---- the tree ----

std::shared_ptr<SimFileSystem::Node> SimFileSystem::Find(const SimPath& path) const {
    const auto found = nodes_.find(path.Key());
    return found == nodes_.end() ? nullptr : found->second;
}

bool SimFileSystem::ParentIsDirectory(const SimPath& path) const {
    if (path.IsRoot()) return false;
    const std::shared_ptr<Node> parent = Find(path.Parent());
    return parent && parent->directory;
}

std::shared_ptr<SimFileSystem::Node> SimFileSystem::MakeNode(const SimPath& path, bool directory) {
    const FileTime now = kernel_.Now();
    auto node = std::make_shared<Node>(Node{path.Text(), directory, {}, now, now, now});
    nodes_[path.Key()] = node;
    const char letter = DriveLetterOf(node->path);
    if (path.IsRoot() && letter != '\0') drives_.try_emplace(letter);
    return node;
}

void SimFileSystem::MakeDirectories(const SimPath& path) {
    SimPath step{path.root, {}, false};
    for (std::size_t i = 0; i <= path.components.size(); ++i) {
        if (i > 0) step.components.push_back(path.components[i - 1]);
        const std::shared_ptr<Node> node = Find(step);
        if (node && !node->directory) {
            throw std::invalid_argument("a file stands in the way: " + node->path);
        }
        if (!node) MakeNode(step, true);
    }
}

bool SimFileSystem::SharingAllows(const Node& node, std::uint32_t access,
                                  std::uint32_t shareMode) const {
    const bool openHandlesAllow = std::all_of(files_.begin(), files_.end(), [&](const auto& entry) {
        const OpenFile& open = entry.second;
        return open.node.get() != &node ||
               Compatible(open.access, open.shareMode, access, shareMode);
    });
    const bool holdersAllow =
        std::all_of(holders_.begin(), holders_.end(), [&](const Holder& holder) {
            return holder.node.get() != &node ||
                   Compatible(holder.access, holder.shareMode, access, shareMode);
        });
    return openHandlesAllow && holdersAllow;
}

SimFileSystem::Drive* SimFileSystem::DriveOf(const Node& node) {
    const auto found = drives_.find(DriveLetterOf(node.path));
    return found == drives_.end() ? nullptr : &found->second;
}

// Takes the growth of a file from its drive's free space; false when the drive has too little.
bool SimFileSystem::ReserveSpace(const Node& node, std::uint64_t newSize) {
    if (newSize > LargestFile) return false;
    Drive* drive = DriveOf(node);
    if (drive == nullptr || !drive->freeBytes || *drive->freeBytes < 0) return true;
    const std::uint64_t growth = newSize > node.bytes.size() ? newSize - node.bytes.size() : 0;
    if (growth > static_cast<std::uint64_t>(*drive->freeBytes)) return false;
    *drive->freeBytes -= static_cast<std::int64_t>(growth);
    return true;
}

bool SimFileSystem::Truncate(Node& node) {
    Drive* drive = DriveOf(node);
    if (drive != nullptr && drive->freeBytes && *drive->freeBytes >= 0) {
        *drive->freeBytes += static_cast<std::int64_t>(node.bytes.size());
    }
    node.bytes.clear();
    node.lastWrite = kernel_.Now();
    return true;
}

// ---- the calls ----

Handle SimFileSystem::CreateFile(const char* name, std::uint32_t access, std::uint32_t shareMode,
                                 std::uint32_t disposition) {
    if (name == nullptr || *name == '\0')
        return kernel_.Fail(win::ErrorPathNotFound, InvalidHandleValue);
    if (const std::string device = DeviceName(name, isLeadByte_); !device.empty())
        return OpenDevice(device, name);
    const auto path = Normalise(name);
    if (!path) return kernel_.Fail(ErrorInvalidName, InvalidHandleValue);
    if (disposition < CreateNew || disposition > TruncateExisting) {
        return kernel_.Fail(win::ErrorInvalidParameter, InvalidHandleValue);
    }
    const std::shared_ptr<Node> node = Find(*path);
    if (!node) {
        if (!ParentIsDirectory(*path))
            return kernel_.Fail(win::ErrorPathNotFound, InvalidHandleValue);
        if (path->trailingSeparator) return kernel_.Fail(ErrorInvalidName, InvalidHandleValue);
        if (disposition == win::OpenExisting || disposition == TruncateExisting) {
            return kernel_.Fail(win::ErrorFileNotFound, InvalidHandleValue);
        }
        return CreateNewFile(*path, access, shareMode);
    }
    if (node->directory) return kernel_.Fail(win::ErrorAccessDenied, InvalidHandleValue);
    if (path->trailingSeparator) return kernel_.Fail(ErrorInvalidName, InvalidHandleValue);
    if (disposition == CreateNew) return kernel_.Fail(win::ErrorFileExists, InvalidHandleValue);
    if (!SharingAllows(*node, access, shareMode)) {
        return kernel_.Fail(win::ErrorSharingViolation, InvalidHandleValue);
    }
    if (disposition == TruncateExisting && !RightsOf(access).write) {
        return kernel_.Fail(win::ErrorInvalidParameter, InvalidHandleValue);
    }
    if (disposition == win::CreateAlways || disposition == TruncateExisting) Truncate(*node);
    if (disposition == win::CreateAlways || disposition == OpenAlways) {
        kernel_.SetLastError(win::ErrorAlreadyExists);
    }
    return OpenNode(node, access, shareMode);
}

Handle SimFileSystem::CreateNewFile(const SimPath& path, std::uint32_t access,
                                    std::uint32_t shareMode) {
    kernel_.SetLastError(ErrorSuccess);
    return OpenNode(MakeNode(path, false), access, shareMode);
}

Handle SimFileSystem::OpenNode(const std::shared_ptr<Node>& node, std::uint32_t access,
                               std::uint32_t shareMode) {
    const Handle handle = kernel_.NewHandle();
    files_[handle] = OpenFile{node, access, shareMode, 0};
    return handle;
}

Handle SimFileSystem::OpenDevice(const std::string& device, std::string_view name) {
    const Handle handle = kernel_.NewHandle();
    devices_[handle] = device;
    devicesOpened_.emplace_back(name);
    return handle;
}

bool SimFileSystem::ReadFile(Handle file, void* buffer, std::uint32_t toRead, std::uint32_t* read,
                             std::uint32_t readLimit) {
    if (read != nullptr) *read = 0;
    if (devices_.contains(file)) return true;
    const auto found = files_.find(file);
    if (found == files_.end()) return kernel_.Fail(win::ErrorInvalidHandle, false);
    OpenFile& open = found->second;
    if (!RightsOf(open.access).read) return kernel_.Fail(win::ErrorAccessDenied, false);
    const std::uint64_t size = open.node->bytes.size();
    const std::uint64_t available = open.position < size ? size - open.position : 0;
    const auto count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>({toRead, readLimit, available}));
    if (count > 0) std::memcpy(buffer, open.node->bytes.data() + open.position, count);
    open.position += count;
    if (read != nullptr) *read = count;
    return true;
}

bool SimFileSystem::WriteFile(Handle file, const void* buffer, std::uint32_t toWrite,
                              std::uint32_t* written, std::uint32_t writeLimit) {
    if (written != nullptr) *written = 0;
    if (devices_.contains(file)) {
        if (written != nullptr) *written = toWrite;
        return true;
    }
    const auto found = files_.find(file);
    if (found == files_.end()) return kernel_.Fail(win::ErrorInvalidHandle, false);
    OpenFile& open = found->second;
    if (!RightsOf(open.access).write) return kernel_.Fail(win::ErrorAccessDenied, false);
    const std::uint32_t count = std::min(toWrite, writeLimit);
    if (count == 0) return true;
    Node& node = *open.node;
    const std::uint64_t end = open.position + count;
    if (!ReserveSpace(node, end)) return kernel_.Fail(win::ErrorDiskFull, false);
    if (end > node.bytes.size()) node.bytes.resize(end, '\0');
    std::memcpy(node.bytes.data() + open.position, buffer, count);
    open.position = end;
    node.lastWrite = kernel_.Now();
    if (written != nullptr) *written = count;
    return true;
}

std::uint32_t SimFileSystem::SetFilePointer(Handle file, std::int32_t distance,
                                            std::uint32_t moveMethod) {
    if (devices_.contains(file)) return 0;
    const auto found = files_.find(file);
    if (found == files_.end())
        return kernel_.Fail(win::ErrorInvalidHandle, win::InvalidSetFilePointer);
    OpenFile& open = found->second;
    std::int64_t base = 0;
    if (moveMethod == win::FileCurrent) {
        base = static_cast<std::int64_t>(open.position);
    } else if (moveMethod == win::FileEnd) {
        base = static_cast<std::int64_t>(open.node->bytes.size());
    } else if (moveMethod != win::FileBegin) {
        return kernel_.Fail(win::ErrorInvalidParameter, win::InvalidSetFilePointer);
    }
    const std::int64_t target = base + distance;
    if (target < 0) return kernel_.Fail(win::ErrorNegativeSeek, win::InvalidSetFilePointer);
    open.position = static_cast<std::uint64_t>(target);
    const auto low = static_cast<std::uint32_t>(target);
    // A position whose low half looks like the failure value: Windows clears the error code.
    if (low == win::InvalidSetFilePointer) kernel_.SetLastError(ErrorSuccess);
    return low;
}

bool SimFileSystem::CloseHandle(Handle object) {
    if (files_.erase(object) > 0 || devices_.erase(object) > 0) return true;
    return kernel_.Fail(win::ErrorInvalidHandle, false);
}

Handle SimFileSystem::FindFirstFile(const char* name, FindData& data) {
    const auto path = name != nullptr ? Normalise(name) : std::nullopt;
    if (!path || path->IsRoot() || path->trailingSeparator) {
        return kernel_.Fail(win::ErrorFileNotFound, InvalidHandleValue);
    }
    const std::shared_ptr<Node> node = Find(*path);
    if (!node) {
        const std::uint32_t error =
            ParentIsDirectory(*path) ? win::ErrorFileNotFound : win::ErrorPathNotFound;
        return kernel_.Fail(error, InvalidHandleValue);
    }
    data = FindData{};
    data.fileAttributes = node->directory ? win::FileAttributeDirectory : FileAttributeArchive;
    const std::string fileName = node->path.substr(node->path.rfind('\\') + 1);
    std::snprintf(data.fileName, sizeof data.fileName, "%s", fileName.c_str());
    const Handle handle = kernel_.NewHandle();
    finds_[handle] = node->path;
    return handle;
}

bool SimFileSystem::FindClose(Handle find) {
    if (finds_.erase(find) > 0) return true;
    return kernel_.Fail(win::ErrorInvalidHandle, false);
}

bool SimFileSystem::DeleteFile(const char* name) {
    const auto path = name != nullptr ? Normalise(name) : std::nullopt;
    if (!path) return kernel_.Fail(ErrorInvalidName, false);
    const std::shared_ptr<Node> node = Find(*path);
    if (!node) {
        return kernel_.Fail(
            ParentIsDirectory(*path) ? win::ErrorFileNotFound : win::ErrorPathNotFound, false);
    }
    if (node->directory) return kernel_.Fail(win::ErrorAccessDenied, false);
    if (path->trailingSeparator) return kernel_.Fail(ErrorInvalidName, false);
    const std::uint32_t shareAll = win::FileShareRead | win::FileShareWrite | FileShareDelete;
    if (!SharingAllows(*node, DeleteAccess, shareAll)) {
        return kernel_.Fail(win::ErrorSharingViolation, false);
    }
    Truncate(*node);  // gives its space back; handles still open keep an empty, nameless file
    nodes_.erase(path->Key());
    return true;
}

bool SimFileSystem::CreateDirectory(const char* name) {
    if (name == nullptr || *name == '\0') return kernel_.Fail(win::ErrorPathNotFound, false);
    const auto path = Normalise(name);
    if (!path) return kernel_.Fail(ErrorInvalidName, false);
    if (Find(*path)) return kernel_.Fail(win::ErrorAlreadyExists, false);
    if (!ParentIsDirectory(*path)) return kernel_.Fail(win::ErrorPathNotFound, false);
    MakeNode(*path, true);
    return true;
}

bool SimFileSystem::SetFileTime(Handle file, const FileTime* creation, const FileTime* lastAccess,
                                const FileTime* lastWrite) {
    const auto found = files_.find(file);
    if (found == files_.end()) return kernel_.Fail(win::ErrorInvalidHandle, false);
    const std::uint32_t access = found->second.access;
    if (!RightsOf(access).write && (access & FileWriteAttributes) == 0) {
        return kernel_.Fail(win::ErrorAccessDenied, false);
    }
    Node& node = *found->second.node;
    if (!IsUnchangedTime(creation)) node.creation = *creation;
    if (!IsUnchangedTime(lastAccess)) node.lastAccess = *lastAccess;
    if (!IsUnchangedTime(lastWrite)) node.lastWrite = *lastWrite;
    return true;
}

std::string SimFileSystem::TempFileName(std::string_view path, std::string_view prefix,
                                        std::uint32_t number) const {
    std::string name(path);
    if (name.empty() || name.back() != '\\') name += '\\';
    char digits[8];
    std::snprintf(digits, sizeof digits, "%X", number);
    return name + std::string(prefix.substr(0, 3)) + digits + ".TMP";
}

// Creates the empty file as CREATE_NEW would. A name that is taken is no failure: the caller
// tries the next number.
SimFileSystem::TempCreation SimFileSystem::CreateTempFile(const std::string& name) {
    const auto path = Normalise(name);
    if (!path) return kernel_.Fail(ErrorInvalidName, TempCreation::Failed);
    if (Find(*path)) return TempCreation::Taken;
    if (!ParentIsDirectory(*path))
        return kernel_.Fail(win::ErrorPathNotFound, TempCreation::Failed);
    MakeNode(*path, false);
    return TempCreation::Created;
}

std::uint32_t SimFileSystem::GetTempFileName(const char* path, const char* prefix,
                                             std::uint32_t unique, char* tempFileName) {
    if (path == nullptr) return kernel_.Fail(win::ErrorInvalidParameter, 0);
    // Windows keeps room in MAX_PATH for the prefix, four digits and ".TMP".
    if (std::strlen(path) > 260 - 14) return kernel_.Fail(ErrorBufferOverflow, 0);
    const std::string_view prefixText = prefix != nullptr ? prefix : "";
    if ((unique & 0xFFFF) != 0) {
        const std::string name = TempFileName(path, prefixText, unique & 0xFFFF);
        std::memcpy(tempFileName, name.c_str(), name.size() + 1);
        return unique & 0xFFFF;
    }
    for (std::uint32_t tries = 0; tries < 0xFFFF; ++tries) {
        const std::uint16_t number = tempCounter_ != 0 ? tempCounter_ : 1;
        tempCounter_ = static_cast<std::uint16_t>(number + 1);
        const std::string name = TempFileName(path, prefixText, number);
        const TempCreation creation = CreateTempFile(name);
        if (creation == TempCreation::Failed) return 0;
        if (creation == TempCreation::Created) {
            std::memcpy(tempFileName, name.c_str(), name.size() + 1);
            return number;
        }
    }
    return kernel_.Fail(win::ErrorFileExists, 0u);
}

bool SimFileSystem::GetDiskFreeSpace(const char* rootPath, std::uint32_t* sectorsPerCluster,
                                     std::uint32_t* bytesPerSector, std::uint32_t* freeClusters,
                                     std::uint32_t* totalClusters) {
    const std::string root = rootPath != nullptr ? std::string(rootPath) : currentDirectory_.root;
    const bool driveRoot = root.size() == 3 && root[1] == ':' && root[2] == '\\';
    const auto drive = driveRoot ? drives_.find(UpperAscii(root.substr(0, 1))[0]) : drives_.end();
    if (drive == drives_.end() || drive->second.freeBytes.value_or(0) < 0) {
        return kernel_.Fail(win::ErrorPathNotFound, false);
    }
    const DiskGeometry geometry = GeometryFor(drive->second.freeBytes.value_or(PlentyOfBytes));
    if (sectorsPerCluster != nullptr) *sectorsPerCluster = geometry.sectorsPerCluster;
    if (bytesPerSector != nullptr) *bytesPerSector = geometry.bytesPerSector;
    if (freeClusters != nullptr) *freeClusters = geometry.clusters;
    if (totalClusters != nullptr) *totalClusters = geometry.clusters;
    return true;
}

}  // namespace veltrane
