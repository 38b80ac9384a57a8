#include "Inspect.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "WindowsNames.h"
#include "archive/writer/ArchiveWriter.h"

namespace veltrane::pack {
namespace {

using Severity = Finding::Severity;
constexpr std::int32_t HeaderAndGap = ArchiveFileHeader::DataOffsetFromHeader;

class Findings {
public:
    explicit Findings(std::vector<Finding>& to) : to_(to) {}
    void Problem(std::string where, std::string text) {
        to_.push_back({Severity::Problem, std::move(where), std::move(text)});
    }
    void Warning(std::string where, std::string text) {
        to_.push_back({Severity::Warning, std::move(where), std::move(text)});
    }

private:
    std::vector<Finding>& to_;
};

std::string Number(std::int64_t value) { return std::to_string(value); }

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// The fields the loader does not read, as a writer puts them.
void CheckUnreadFields(const ArchiveFileHeader& header, const std::string& where,
                       Findings& findings) {
    const auto& b = header.bytes;
    const auto field = [&](std::size_t offset, std::int32_t expected) {
        const std::int32_t value = ReadInt32(&b[offset]);
        if (value != expected) {
            findings.Warning(where, "the field at +" + Number(offset) + " is " + Number(value) +
                                        ", a writer puts " + Number(expected));
        }
    };
    field(0, 1);
    field(12, 0);
    field(140, 0);
    const std::int32_t small = header.Sequence();
    if (small < 0 || small > 4) {
        findings.Warning(where, "the number at +144 is " + Number(small) + ", a writer puts 0 to 4");
    }
    if (b[148] > ArchiveFileHeader::MaxVersionTextLength) {
        findings.Warning(where, "the version text's length byte is " + Number(b[148]) +
                                    ", more than its 15 characters");
    }
}

void CheckGap(const std::uint8_t* gap, const std::string& where, Findings& findings) {
    if (std::any_of(gap, gap + 8, [](std::uint8_t x) { return x != 0; })) {
        findings.Warning(where, "the 8 bytes after the header are not zero");
    }
}

void CheckDate(double fileDate, const std::string& where, Findings& findings) {
    const auto time = CivilTimeOfFileDate(fileDate);
    if (!time || time->year < 1980 || time->year > 2099) {
        findings.Warning(where, "the date lies outside the years 1980 to 2099, so the loader "
                                "leaves the extracted file's write time as it is");
    }
}

// The header's own fields against each other and the archive: what a writer makes consistent.
void CheckHeader(const InspectedArchive& archive, const InspectedHeader& entry,
                 const std::string& where, Findings& findings) {
    const ArchiveFileHeader& h = entry.header;
    if (h.bytes[20] > ArchiveFileHeader::MaxStoredNameLength) {
        findings.Problem(where, "the stored name's length byte is " + Number(h.bytes[20]) +
                                    ", more than its 103 characters");
    }
    if (h.DataStart() != entry.offset + HeaderAndGap) {
        findings.Problem(where, "DataStart is " + Number(h.DataStart()) + ", but the data begin at " +
                                    Number(entry.offset + HeaderAndGap));
    }
    if (std::int64_t{h.NextHeader()} != std::int64_t{h.DataLast()} + 1) {
        findings.Problem(where, "NextHeader is " + Number(h.NextHeader()) +
                                    ", but DataLast + 1 is " + Number(std::int64_t{h.DataLast()} + 1));
    }
    const std::int64_t span = std::int64_t{h.DataLast()} - h.DataStart() + 1;
    if (span < 0) {
        findings.Problem(where, "DataLast " + Number(h.DataLast()) + " lies before DataStart " +
                                    Number(h.DataStart()));
    } else if (h.CompressedSize() != span) {
        findings.Problem(where, "CompressedSize is " + Number(h.CompressedSize()) +
                                    ", but the span holds " + Number(span) + " bytes");
    }
    if (h.DataLast() >= archive.length) {
        findings.Problem(where, "the data run to +" + Number(h.DataLast()) + ", past the end of " +
                                    archive.name + " at +" + Number(archive.length - 1));
    }
    if (h.OriginalSize() < 0) {
        findings.Problem(where, "OriginalSize is negative: " + Number(h.OriginalSize()));
    }
}

// The walk of the loader: FileCount headers, each where the one before points.
InspectedArchive WalkArchive(std::string name, bool staged, std::span<const std::uint8_t> file,
                             std::int64_t start, std::int64_t length, Findings& findings) {
    InspectedArchive archive{.name = std::move(name), .staged = staged, .start = start,
                             .length = length, .fileCount = 0, .flag = 0, .headers = {}};
    const std::uint8_t* base = file.data() + start;
    if (length < 4) {
        findings.Problem(archive.name, "too short to hold the file count");
        return archive;
    }
    archive.fileCount = ReadInt32(base);
    if (archive.fileCount > MaxFiles) {
        findings.Problem(archive.name, "holds " + Number(archive.fileCount) +
                                           " files; the loader takes at most " + Number(MaxFiles));
    }
    if (length < FirstHeaderOffset) {
        findings.Problem(archive.name, "ends before the multi-partition flag");
        return archive;
    }
    archive.flag = base[4];
    if (archive.flag != 0) {
        findings.Warning(archive.name, "the multi-partition flag is " + Number(archive.flag) +
                                           ", a writer puts 0");
    }
    if (archive.fileCount < 0 || (archive.fileCount == 0 && staged)) {
        findings.Problem(archive.name, "holds " + Number(archive.fileCount) +
                                           " files; the loader refuses an archive without files");
    }

    std::int64_t position = FirstHeaderOffset;
    for (std::int32_t i = 0; i < archive.fileCount; ++i) {
        const std::string where = archive.name + ", file " + Number(i + 1);
        if (position + static_cast<std::int64_t>(ArchiveFileHeader::Size) > length) {
            findings.Problem(where, "its header at +" + Number(position) +
                                        " does not fit before the end of " + archive.name +
                                        " at +" + Number(length - 1));
            return archive;
        }
        InspectedHeader entry{.offset = static_cast<std::int32_t>(position), .header = {}};
        std::memcpy(entry.header.bytes.data(), base + position, ArchiveFileHeader::Size);
        archive.headers.push_back(entry);
        const std::string label = FileLabel(archive, archive.headers.size() - 1);
        CheckHeader(archive, entry, label, findings);
        CheckUnreadFields(entry.header, label, findings);
        if (position + HeaderAndGap <= length) {
            CheckGap(base + position + ArchiveFileHeader::Size, label, findings);
        }
        CheckDate(entry.header.FileDate(), label, findings);
        const std::int32_t next = entry.header.NextHeader();
        if (next <= position) {
            findings.Problem(label, "NextHeader " + Number(next) +
                                        " points back, so the loader would read a header again");
            return archive;
        }
        position = next;
    }
    if (archive.fileCount >= 0 && position < length) {
        findings.Problem(archive.name,
                         Number(length - position) + " bytes follow the last file's data");
    } else if (archive.fileCount >= 0 && position > length) {
        findings.Problem(archive.name, "the last NextHeader points to +" + Number(position) +
                                           ", past the end at +" + Number(length - 1));
    }
    return archive;
}

void CheckTrailer(const SelfExtractTrailer& t, std::span<const std::uint8_t> file,
                  Findings& findings) {
    const auto trailerStart = static_cast<std::int64_t>(file.size() - SelfExtractTrailer::Size);
    const std::int64_t firstStart = t.FirstArchiveStart();
    const std::int64_t firstLast = t.FirstArchiveLast();
    if (firstStart < 0 || firstStart > trailerStart || firstLast < firstStart - 1 ||
        firstLast >= trailerStart) {
        findings.Problem("trailer", "the first archive's bounds " + Number(firstStart) + " to " +
                                        Number(firstLast) + " do not lie before the trailer at " +
                                        Number(trailerStart));
    } else if (!IsWindowsExecutable(file.first(static_cast<std::size_t>(firstStart)))) {
        findings.Problem("trailer", "the bytes before the first archive are no Windows executable");
    }
    if (t.SecondArchiveStart() != firstLast + 1) {
        findings.Problem("trailer", "SecondArchiveStart is " + Number(t.SecondArchiveStart()) +
                                        ", but FirstArchiveLast + 1 is " + Number(firstLast + 1));
    }
    if (t.SecondArchiveLast() != trailerStart - 1) {
        findings.Problem("trailer", "SecondArchiveLast is " + Number(t.SecondArchiveLast()) +
                                        ", but the trailer begins at " + Number(trailerStart));
    }
    if (t.bytes[53] > SelfExtractTrailer::MaxTitleLength) {
        findings.Problem("trailer", "the title's length byte is " + Number(t.bytes[53]) +
                                        ", more than its 82 characters");
    }
    if (std::any_of(&t.bytes[32], &t.bytes[53], [](std::uint8_t b) { return b != 0; })) {
        findings.Warning("trailer", "the 21 bytes at +32 are not zero");
    }
}

// The archive bounds the trailer gives, cut to the file, so that a broken trailer still shows
// what can be read.
void WalkSelfExtracting(InspectedFile& inspected, std::span<const std::uint8_t> file,
                        Findings& findings) {
    const SelfExtractTrailer& t = inspected.trailer;
    CheckTrailer(t, file, findings);
    const auto trailerStart = static_cast<std::int64_t>(file.size() - SelfExtractTrailer::Size);
    const auto walk = [&](std::string name, bool staged, std::int64_t start, std::int64_t last) {
        if (start < 0 || start > trailerStart) return;
        const std::int64_t end = std::clamp<std::int64_t>(last + 1, start, trailerStart);
        inspected.archives.push_back(
            WalkArchive(std::move(name), staged, file, start, end - start, findings));
    };
    walk("first archive", true, t.FirstArchiveStart(), t.FirstArchiveLast());
    walk("second archive", false, t.SecondArchiveStart(), t.SecondArchiveLast());
}

struct InflateResult {
    int result = Z_OK;
    std::int64_t output = 0;
    std::size_t unusedInput = 0;
    std::string message;
};

// Inflates as the loader does, with plain zlib, counting the output instead of keeping it.
InflateResult InflateSpan(std::span<const std::uint8_t> span) {
    z_stream z{};
    inflateInit(&z);
    std::array<std::uint8_t, 65536> scratch;
    z.next_in = const_cast<Bytef*>(span.data());
    z.avail_in = static_cast<uInt>(span.size());
    InflateResult result;
    do {
        z.next_out = scratch.data();
        z.avail_out = scratch.size();
        result.result = inflate(&z, Z_NO_FLUSH);
    } while (result.result == Z_OK);
    result.output = static_cast<std::int64_t>(z.total_out);
    result.unusedInput = z.avail_in;
    if (z.msg) result.message = z.msg;
    inflateEnd(&z);
    return result;
}

void CheckStream(const InspectedArchive& archive, const InspectedHeader& entry,
                 std::span<const std::uint8_t> file, const std::string& where,
                 Findings& findings) {
    const ArchiveFileHeader& h = entry.header;
    // A span that CheckHeader found outside the archive cannot be inflated.
    if (h.DataStart() < entry.offset + HeaderAndGap ||
        std::int64_t{h.DataLast()} < std::int64_t{h.DataStart()} - 1 ||
        h.DataLast() >= archive.length) {
        return;
    }
    const auto span = file.subspan(static_cast<std::size_t>(archive.start + h.DataStart()),
                                   static_cast<std::size_t>(h.DataLast() - h.DataStart() + 1));
    const InflateResult inflated = InflateSpan(span);
    switch (inflated.result) {
        case Z_STREAM_END:
            if (inflated.output != h.OriginalSize()) {
                findings.Problem(where, "the stream inflates to " + Number(inflated.output) +
                                            " bytes, but OriginalSize is " + Number(h.OriginalSize()));
            }
            if (inflated.unusedInput > 0) {
                findings.Problem(where, Number(static_cast<std::int64_t>(inflated.unusedInput)) +
                                            " bytes follow the end of the stream inside its span");
            }
            break;
        case Z_NEED_DICT:
            findings.Problem(where, "the stream asks for a preset dictionary, which the loader "
                                    "does not have");
            break;
        case Z_BUF_ERROR:
            findings.Problem(where, "the span ends before the stream does, after " +
                                        Number(inflated.output) + " bytes of output");
            break;
        default:
            if (inflated.message == "incorrect data check") {
                findings.Problem(where, "the stream's Adler-32 does not match its " +
                                            Number(inflated.output) + " bytes of data");
            } else {
                findings.Problem(where, "the stream is corrupt after " + Number(inflated.output) +
                                            " bytes of output (zlib: " + inflated.message + ")");
            }
    }
}

void CheckStagedNames(const InspectedArchive& archive, Findings& findings) {
    for (std::size_t i = 0; i < archive.headers.size(); ++i) {
        const std::string staged = StagedName(archive.headers[i].header.StoredName());
        if (const auto why = WhyNotCreatable(staged)) {
            findings.Warning(FileLabel(archive, i),
                             "Windows cannot create a file named " + Quoted(staged) + ": " + *why);
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (SameWindowsName(staged, StagedName(archive.headers[j].header.StoredName()))) {
                findings.Warning(FileLabel(archive, i),
                                 "staged as " + Quoted(staged) + ", like file " + Number(j + 1) +
                                     ", which it replaces");
                break;
            }
        }
    }
}

}  // namespace

bool IsWindowsExecutable(std::span<const std::uint8_t> image) {
    constexpr std::size_t NewHeaderPointer = 0x3C;
    if (image.size() < NewHeaderPointer + 4 || image[0] != 'M' || image[1] != 'Z') return false;
    const std::int64_t peOffset = ReadInt32(&image[NewHeaderPointer]);
    if (peOffset < 0 || static_cast<std::uint64_t>(peOffset) + 4 > image.size()) return false;
    return std::memcmp(&image[static_cast<std::size_t>(peOffset)], "PE\0\0", 4) == 0;
}

std::string FileLabel(const InspectedArchive& archive, std::size_t index) {
    return archive.name + ", file " + Number(static_cast<std::int64_t>(index) + 1) + " (" +
           archive.headers[index].header.StoredName() + ")";
}

InspectedFile Inspect(std::span<const std::uint8_t> file) {
    InspectedFile inspected;
    inspected.size = static_cast<std::int64_t>(file.size());
    Findings findings(inspected.findings);
    if (inspected.size >= MaxArchiveBytes) {
        findings.Problem("file", "it is 2 GiB or more; the loader's offsets are 32-bit signed");
        return inspected;
    }
    if (file.size() >= SelfExtractTrailer::Size) {
        std::copy_n(file.end() - SelfExtractTrailer::Size, SelfExtractTrailer::Size,
                    inspected.trailer.bytes.begin());
    }
    if (IsSelfExtracting(inspected.trailer)) {
        inspected.form = FileForm::SelfExtracting;
        WalkSelfExtracting(inspected, file, findings);
    } else if (IsWindowsExecutable(file)) {
        findings.Problem("file", "a Windows executable without a self-extracting trailer: it "
                                 "carries no archive");
    } else {
        inspected.archives.push_back(
            WalkArchive("archive", true, file, 0, inspected.size, findings));
    }
    return inspected;
}

std::vector<Finding> CheckStreamsAndNames(const InspectedFile& inspected,
                                          std::span<const std::uint8_t> file) {
    std::vector<Finding> found;
    Findings findings(found);
    for (const InspectedArchive& archive : inspected.archives) {
        for (std::size_t i = 0; i < archive.headers.size(); ++i) {
            CheckStream(archive, archive.headers[i], file, FileLabel(archive, i), findings);
        }
        if (archive.staged) CheckStagedNames(archive, findings);
    }
    return found;
}

}  // namespace veltrane::pack
