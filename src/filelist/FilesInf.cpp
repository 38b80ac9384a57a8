#include "filelist/FilesInf.h"

#include "filelist/TextFileWriter.h"
#include "filelist/routines_API.h"

namespace veltrane {

std::string TrimmedProductTitle(const SelfExtractTrailer& trailer) {
    std::string title = trailer.ProductTitle();
    while (!title.empty() && static_cast<unsigned char>(title.back()) <= 32) title.pop_back();
    return title;
}

void WriteFilesInf(WindowsApi& api, const SelfExtractTrailer& trailer) {
    TextFileWriter file(api, GetSystemDirectoryPath(api) + "\\files.inf");
    // The system directory is asked afresh for every line.
    const auto subdirectory = [&api] { return GetSystemDirectoryPath(api) + "\\~qmrtemp\\"; };
    file.WriteLine(subdirectory() + TrimmedProductTitle(trailer) + ".scr");
    file.WriteLine(subdirectory() + TrimmedProductTitle(trailer) + ".smf");
    file.WriteLine(subdirectory() + "\\mpegdll.dll");
    file.WriteLine(subdirectory() + "\\uninstall.exe");
    file.Close();
}

}  // namespace veltrane
