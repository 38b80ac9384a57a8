// The loader's main program: what runs between the entry point and the exit code.
#pragma once

#include "loader/LoaderProcess.h"

namespace veltrane {

// Runs the whole sequence once and returns the exit code: 0 once the installation executable
// has been started, 1 after a failure was shown in the error box.
int VeltraneLoadProgram(LoaderProcess& process);

}  // namespace veltrane
