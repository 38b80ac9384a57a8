// `archive` and `sfx`: refuse what cannot be built, compress, lay out, write, summarize.
#pragma once

#include <ostream>

#include "CommandLine.h"

namespace veltrane::pack {

// Exit code 0 when the output was written, 1 when refused; other failures raise PackError or
// ArchiveWriteError, and nothing is left behind.
int RunBuild(const BuildOptions& options, std::ostream& out, std::ostream& err);

}  // namespace veltrane::pack
