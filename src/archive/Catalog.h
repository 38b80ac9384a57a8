// Reading an archive's catalog: the file count, the flag and the chain of file headers.
#pragma once

#include "archive/ArchiveFormat.h"
#include "platform/WindowsApi.h"

namespace veltrane {

// Reads the catalog of the archive that starts at archiveStart (an absolute offset) in the open
// file. The walk follows NextHeader alone and reads exactly FileCount headers, wherever they
// point; a FileCount of 0 or below gives an empty catalog. Raises Exception when the archive
// is too short for the count, the flag or a header, or holds more than MaxFiles files.
void ReadArchiveCatalog(WindowsApi& api, Handle archive, std::int32_t archiveStart,
                        ArchiveCatalog& catalog);

}  // namespace veltrane
