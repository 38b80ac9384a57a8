#include "loader/FileAccess.h"

namespace veltrane {

bool FileExists(WindowsApi& api, const std::string& path) {
    FindData found;
    FindHandle find(api, api.FindFirstFileA(path.c_str(), found));
    return find.IsValid() && (found.fileAttributes & win::FileAttributeDirectory) == 0;
}

FileHandle OpenForSharedReading(WindowsApi& api, const std::string& path) {
    return FileHandle(api, api.CreateFileA(path.c_str(), win::GenericRead,
                                           win::FileShareRead | win::FileShareWrite,
                                           win::OpenExisting, win::FileAttributeNormal));
}

std::uint32_t ReadBytes(WindowsApi& api, Handle file, void* buffer, std::uint32_t count) {
    std::uint32_t read = 0;
    if (!api.ReadFile(file, buffer, count, &read)) return 0;
    return read;
}

}  // namespace veltrane
