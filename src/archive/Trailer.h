// Reading the trailer at the end of the loader's own file.
#pragma once

#include "archive/ArchiveFormat.h"
#include "platform/WindowsApi.h"

namespace veltrane {

// Fills the record from the last 136 bytes of the loader's own executable. A file that cannot
// supply 136 bytes leaves the record all zero, which makes the loader a plain loader. Raises
// Exception when the file is missing or cannot be opened.
void ReadTrailer(WindowsApi& api, SelfExtractTrailer& trailer);

}  // namespace veltrane
