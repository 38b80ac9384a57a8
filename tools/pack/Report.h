// `list` and `verify`: what Inspect finds, for a person or, with --json, for a script.
#pragma once

#include <ostream>

#include "CommandLine.h"

namespace veltrane::pack {

// Exit code 0 when the layout could be walked without a problem, 1 otherwise.
int RunList(const ListOptions& options, std::ostream& out, std::ostream& err);

// Exit code 0 only for a sound file (and, with --strict, one without warnings).
int RunVerify(const VerifyOptions& options, std::ostream& out);

}  // namespace veltrane::pack
