#include "archive/Extraction.h"

#include <algorithm>
#include <memory>

#include "archive/FileDate.h"
#include "compression/routines_BareBonesCompression.h"
#include "exceptions/exceptions_Veltrane.h"
#include "loader/FileAccess.h"
#include "loader/Paths.h"
#include "progress/ProgressAccounting.h"

namespace veltrane {
namespace {

constexpr std::uint32_t InputBufferSize = 65536;
constexpr std::uint32_t OutputBlockSize = 4096;

// A stored name whose file-name part is empty, "." or "..", or a device, would not make a new
// file in the staging directory; such an entry is refused as a file that cannot be created.
bool IsStageableFileName(std::string_view fileName) {
    return !fileName.empty() && fileName != "." && fileName != ".." && !IsDeviceName(fileName);
}

FileHandle CreateOutputFile(WindowsApi& api, const std::string& stagingDir, const ArchiveFileHeader& header) {
    const std::string fileName = StagedFileName(api, header);
    const std::string outputPath = AddTrailingBackslash(stagingDir) + fileName;
    FileHandle output(api, InvalidHandleValue);
    if (IsStageableFileName(fileName)) {
        output = FileHandle(api, api.CreateFileA(outputPath.c_str(), win::GenericRead | win::GenericWrite,
                                                 0, win::CreateAlways, win::FileAttributeNormal));
    }
    if (!output) throw Exception("LOADER: Could not create the following file, " + outputPath);
    return output;
}

// The reads of one entry's span: each from where the last ended, none past the span's end.
class SpanReader {
public:
    SpanReader(WindowsApi& api, Handle archive, std::int32_t archiveStart, const ArchiveFileHeader& header)
        : api_(api), archive_(archive), lastByte_(AddWrapping(archiveStart, header.DataLast())) {
        api_.SetFilePointer(archive_, AddWrapping(archiveStart, header.DataStart()), win::FileBegin);
    }

    // Fills the buffer with the span's next bytes; 0 once the span or the file is used up.
    std::uint32_t Refill(std::uint8_t* buffer) {
        const auto position = static_cast<std::int32_t>(api_.SetFilePointer(archive_, 0, win::FileCurrent));
        const std::int64_t remaining = std::int64_t{lastByte_} - position + 1;
        const auto request = static_cast<std::uint32_t>(std::clamp<std::int64_t>(remaining, 0, InputBufferSize));
        std::uint32_t read = 0;
        if (!api_.ReadFile(archive_, buffer, request, &read)) {
            throw Exception(
                "LOADER: Could not read from this disk. The disk is probably defective. Please use "
                "another disk when you build the distributable files");
        }
        return read;
    }

private:
    WindowsApi& api_;
    Handle archive_;
    std::int32_t lastByte_;
};

void WriteBlock(LoaderProcess& process, Handle output, const std::uint8_t* block,
                std::uint32_t length, const std::string& outputPath) {
    std::uint32_t written = 0;
    if (!process.api.WriteFile(output, block, length, &written) || written != length) {
        throw Exception("LOADER: Could not write to the file " + outputPath +
                        ". This probably means that your disk is full");
    }
    AdvanceProgress(process, static_cast<std::int32_t>(written));
}

}  // namespace

std::int64_t SumOriginalSizes(const ArchiveCatalog& catalog, std::int32_t count) {
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < count; ++i) total += catalog.Headers[i].OriginalSize();
    return total;
}

std::string StagedFileName(WindowsApi& api, const ArchiveFileHeader& header) {
    // Windows reads a name up to its first NUL byte: so must the loader, or the command line
    // built from the name would end there too.
    const std::string storedName = header.StoredName();
    return FileNamePart(api, std::string_view(storedName).substr(0, storedName.find('\0')),
                        Separators::BackslashColonAndSlash);
}

std::string OutputPathOf(WindowsApi& api, const std::string& stagingDir, const ArchiveFileHeader& header) {
    return AddTrailingBackslash(stagingDir) + StagedFileName(api, header);
}

void ExtractArchiveFiles(LoaderProcess& process, Handle archive, std::int32_t archiveStart,
                         const ArchiveCatalog& catalog, const std::string& stagingDir) {
    process.BytesWritten = 0;
    process.TotalBytes = SumOriginalSizes(catalog, catalog.Count);
    for (std::int32_t i = 0; i < catalog.Count; ++i) {
        const ArchiveFileHeader& header = catalog.Headers[i];
        FileHandle output = CreateOutputFile(process.api, stagingDir, header);
        InflateFileTo(process, archive, output.Get(), archiveStart, header, stagingDir);
        StampFileDate(process.api, output.Get(), header.FileDate());
    }
}

// The loop of zlib's zpipe: one place refills the input, one drains each output block. A file
// ends when its span is used up, or as soon as its stream is complete: bytes behind the end of
// a stream inside its span are ignored, since inflate would never consume them.
void InflateFileTo(LoaderProcess& process, Handle archive, Handle output, std::int32_t archiveStart,
                   const ArchiveFileHeader& header, const std::string& stagingDir) {
    const std::string outputPath = OutputPathOf(process.api, stagingDir, header);
    SpanReader span(process.api, archive, archiveStart, header);
    InflateStream stream(process.api);
    z_stream& z = stream.Record();
    const auto input = std::make_unique<std::uint8_t[]>(InputBufferSize);
    std::uint8_t block[OutputBlockSize];

    bool endOfFile = false;
    while (!endOfFile) {
        z.next_out = block;
        z.avail_out = OutputBlockSize;
        while (z.avail_out > 0 && !endOfFile) {
            if (z.avail_in == 0) {
                z.avail_in = span.Refill(input.get());
                z.next_in = input.get();
                if (z.avail_in == 0) {
                    endOfFile = true;
                    break;
                }
            }
            const uInt inputBefore = z.avail_in;
            const uInt outputBefore = z.avail_out;
            const int result = stream.Inflate();
            // A stream that asks for a preset dictionary, or a call that moved nothing, would
            // make this loop spin for ever: such data is as corrupt as any other.
            if (result == Z_NEED_DICT || (z.avail_in == inputBefore && z.avail_out == outputBefore &&
                                          result != Z_STREAM_END)) {
                CheckZResult(Z_DATA_ERROR);
            }
            endOfFile = result == Z_STREAM_END;
        }
        const std::uint32_t length = OutputBlockSize - z.avail_out;
        if (length > 0) WriteBlock(process, output, block, length, outputPath);
    }
}

}  // namespace veltrane
