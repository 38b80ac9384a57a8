// "files.inf": the list of four installed-file paths the loader leaves in the system directory
// for the installation program.
#pragma once

#include <string>

#include "archive/ArchiveFormat.h"
#include "platform/WindowsApi.h"

namespace veltrane {

// The product title as the list uses it: the trailer's title without the spaces and control
// characters at its end.
std::string TrimmedProductTitle(const SelfExtractTrailer& trailer);

// Writes the four lines, each ending in CR LF, into the system directory's "files.inf",
// replacing any earlier one. Raises EAPIRoutines when the system directory cannot be had and
// EInOutError when the file cannot be created, written or closed.
void WriteFilesInf(WindowsApi& api, const SelfExtractTrailer& trailer);

}  // namespace veltrane
