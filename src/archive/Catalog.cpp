#include "archive/Catalog.h"

#include "exceptions/exceptions_Veltrane.h"
#include "loader/FileAccess.h"

namespace veltrane {
namespace {

std::int32_t ReadFileCount(WindowsApi& api, Handle archive) {
    std::uint8_t bytes[4];
    if (ReadBytes(api, archive, bytes, sizeof bytes) != sizeof bytes) {
        throw Exception("LOADER: Could not read the number of files in the archive from SETUP.1");
    }
    return ReadInt32(bytes);
}

void CheckFileCountLimit(std::int32_t fileCount) {
    if (fileCount > MaxFiles) {
        throw Exception(
            "LOADER: Sorry... You can only have 49 files in the PresetupFiles property of the "
            "RUveriru. If you want to have more you can modify the MaxFiles constant in the "
            "VeltraneLoadProgram project in the Veltrane directory");
    }
}

// The flag's value means nothing to the loader, but the byte must be there.
void SkipMultiPartitionFlag(WindowsApi& api, Handle archive) {
    std::uint8_t flag;
    if (ReadBytes(api, archive, &flag, 1) != 1) {
        throw Exception("LOADER: Could not read the multi-partition flag in the archive file from SETUP.1");
    }
}

void ReadHeader(WindowsApi& api, Handle archive, ArchiveFileHeader& header) {
    if (ReadBytes(api, archive, header.bytes.data(), ArchiveFileHeader::Size) != ArchiveFileHeader::Size) {
        throw Exception("LOADER: Cannot read a file header in the archive file from SETUP.1");
    }
}

}  // namespace

void ReadArchiveCatalog(WindowsApi& api, Handle archive, std::int32_t archiveStart,
                        ArchiveCatalog& catalog) {
    catalog.Count = 0;
    api.SetFilePointer(archive, archiveStart, win::FileBegin);
    const std::int32_t fileCount = ReadFileCount(api, archive);
    CheckFileCountLimit(fileCount);
    SkipMultiPartitionFlag(api, archive);

    auto headerPosition = static_cast<std::int32_t>(api.SetFilePointer(archive, 0, win::FileCurrent));
    for (std::int32_t i = 0; i < fileCount; ++i) {
        api.SetFilePointer(archive, headerPosition, win::FileBegin);
        ArchiveFileHeader& header = catalog.Headers[catalog.Count++];
        ReadHeader(api, archive, header);
        headerPosition = AddWrapping(archiveStart, header.NextHeader());
    }
}

}  // namespace veltrane
