// Reading back what the builder writes: the form of a file, its trailer and the header chain of
// each archive, walked as the loader walks it, and every departure from the layout a writer
// makes. `list` shows the result; `verify` adds the streams and the names.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace veltrane::pack {

struct Finding {
    enum class Severity { Problem, Warning };
    Severity severity;
    std::string where;  // "trailer", "first archive", "first archive, file 2 (C:\App\x.dll)"
    std::string text;
};

struct InspectedHeader {
    std::int32_t offset = 0;  // relative to the archive's start
    ArchiveFileHeader header;
};

struct InspectedArchive {
    std::string name;         // "archive", "first archive" or "second archive"
    bool staged = false;      // whether the loader extracts it
    std::int64_t start = 0;   // absolute offset of the first byte
    std::int64_t length = 0;  // bytes up to the archive's last byte
    std::int32_t fileCount = 0;
    std::uint8_t flag = 0;
    std::vector<InspectedHeader> headers;
};

enum class FileForm { Archive, SelfExtracting };

struct InspectedFile {
    std::int64_t size = 0;
    FileForm form = FileForm::Archive;
    SelfExtractTrailer trailer;
    std::vector<InspectedArchive> archives;
    std::vector<Finding> findings;
};

// The structure of the file: trailer, counts and header chains, with the problems of layout.
InspectedFile Inspect(std::span<const std::uint8_t> file);

// Inflates every span the walk found and checks it against its header; checks the names the
// loader stages under. Returns the findings beyond Inspect's.
std::vector<Finding> CheckStreamsAndNames(const InspectedFile& inspected,
                                          std::span<const std::uint8_t> file);

// An MZ header whose e_lfanew points at a "PE\0\0" signature.
bool IsWindowsExecutable(std::span<const std::uint8_t> image);

// "where" of a file in an archive, for findings and listings.
std::string FileLabel(const InspectedArchive& archive, std::size_t index);

}  // namespace veltrane::pack
