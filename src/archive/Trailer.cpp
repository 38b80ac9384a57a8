#include "archive/Trailer.h"

#include "exceptions/exceptions_Veltrane.h"
#include "loader/FileAccess.h"
#include "loader/Paths.h"

namespace veltrane {

void ReadTrailer(WindowsApi& api, SelfExtractTrailer& trailer) {
    trailer = SelfExtractTrailer{};
    const std::string path = LoaderFileName(api);
    if (!FileExists(api, path)) {
        throw Exception("LOADER: Could not find the executable, " + path);
    }
    FileHandle file = OpenForSharedReading(api, path);
    if (!file) {
        throw Exception("The file " + path + " could not be opened for reading");
    }
    // A file shorter than the trailer asks for a negative position here; the seek fails, the
    // position stays at the end, and the read below comes back empty.
    const std::uint32_t size = api.SetFilePointer(file.Get(), 0, win::FileEnd);
    const auto trailerPosition = static_cast<std::int32_t>(size - SelfExtractTrailer::Size);
    api.SetFilePointer(file.Get(), trailerPosition, win::FileBegin);

    const std::uint32_t read = ReadBytes(api, file.Get(), trailer.bytes.data(), SelfExtractTrailer::Size);
    if (read != SelfExtractTrailer::Size) trailer = SelfExtractTrailer{};
}

}  // namespace veltrane
