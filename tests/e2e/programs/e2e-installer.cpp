// Stands in for the installation executable in the end-to-end tests. It appends to the file
// named by VELTRANE_E2E_REPORT what the loader handed it: its command line exactly as the
// system gives it, and every file of its own directory with size and last-write time, as one
// record (InstallerRecord.h) that ParseInstallerReports (WineRunner.h) reads.
#include "InstallerRecord.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return veltrane::sample::AppendRecordTo("VELTRANE_E2E_REPORT") ? 0 : 3;
}
