// Turning every entry of the catalog into a file in the staging directory.
#pragma once

#include <cstdint>
#include <string>

#include "archive/ArchiveFormat.h"
#include "loader/LoaderProcess.h"

namespace veltrane {

// The sum of the first count headers' OriginalSize, in 64 bits; 0 for a count of 0 or below.
std::int64_t SumOriginalSizes(const ArchiveCatalog& catalog, std::int32_t count);

// The name an entry is staged under: the file-name part of its stored name (up to a NUL byte),
// where "/" counts as a separator as well as "\" and ":".
std::string StagedFileName(WindowsApi& api, const ArchiveFileHeader& header);

// Where an entry is staged: the staging directory and the file-name part of its stored name.
std::string OutputPathOf(WindowsApi& api, const std::string& stagingDir,
                         const ArchiveFileHeader& header);

// Creates each entry's file in the staging directory, in catalog order, decompresses its span
// into it, stamps it with its date and closes it. Stops at the first failure, raising its
// Exception; the files made so far stay, the one in progress closed and unstamped.
void ExtractArchiveFiles(LoaderProcess& process, Handle archive, std::int32_t archiveStart,
                         const ArchiveCatalog& catalog, const std::string& stagingDir);

// Decompresses one entry's span into the open output file, 4096 bytes per write, reading at
// most 65536 bytes at a time and never past the span's last byte.
void InflateFileTo(LoaderProcess& process, Handle archive, Handle output, std::int32_t archiveStart,
                   const ArchiveFileHeader& header, const std::string& stagingDir);

}  // namespace veltrane
