// The loader's entry point on Windows: the real backend, the one LoaderProcess of this run,
// and the main program's result as the process's exit code.
#include "loader/LoaderProcess.h"
#include "loader/VeltraneLoadProgram.h"
#include "platform/Win32Windows.h"
#include "platform/WindowsHeader.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    veltrane::Win32Windows windows;
    veltrane::LoaderProcess process(windows);
    // Before any window exists: the window procedure finds the run through this pointer.
    veltrane::ActiveLoaderProcess = &process;
    return veltrane::VeltraneLoadProgram(process);
}
