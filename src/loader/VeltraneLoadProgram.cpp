#include "loader/VeltraneLoadProgram.h"

#include <new>

#include "archive/Trailer.h"
#include "exceptions/exceptions_Veltrane.h"
#include "filelist/FilesInf.h"
#include "loader/CommandLine.h"
#include "loader/Staging.h"
#include "loader/StartupShowState.h"
#include "progress/ProgressWindow.h"

namespace veltrane {

LoaderProcess* ActiveLoaderProcess = nullptr;

namespace {

constexpr const char* ErrorCaption = "There was an error when trying to load the installation program";

// One modal box owned by the progress window (none in quiet mode), then exit code 1.
int ReportError(LoaderProcess& process, const std::string& message) {
    process.api.MessageBoxA(process.MainWindowHandle, message.c_str(), ErrorCaption,
                            win::MbIconError | win::MbOk);
    return 1;
}

void RunGuardedSteps(LoaderProcess& process) {
    WindowsApi& api = process.api;
    if (!IsQuietSwitch(api)) PrepareProgressWindow(process);
    ReadTrailer(api, process.Trailer);
    WriteFilesInf(api, process.Trailer);
    api.ShowWindow(process.MainWindowHandle, StartupShowState(api));
    api.UpdateWindow(process.MainWindowHandle);
    RunInstallation(process, process.Trailer);
}

}  // namespace

int VeltraneLoadProgram(LoaderProcess& process) {
    process.api.InitCommonControls();
    try {
        RunGuardedSteps(process);
    } catch (const Exception& failure) {
        return ReportError(process, failure.Message());
    } catch (const std::bad_alloc&) {
        // Memory the C++ run time could not have is the same failure as zlib's.
        return ReportError(process, EOutOfMemory().Message());
    }
    return 0;
}

}  // namespace veltrane
