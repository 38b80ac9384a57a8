// The archive writer: lays out archives ("setup.1") and self-extracting loaders exactly as the
// builder ships them, every header field included. veltrane-pack is its command-line front;
// the tests make their fixtures with it, broken ones included.
//
//   Bytes setup1 = WriteArchive({{"C:\\App\\setup.exe", ToBytes("MZ"),
//                                 MakeFileDate({2024, 5, 17, 19, 13, 22})}});
//   Bytes broken = WriteArchive({ArchiveEntry("C:\\a.dll", ToBytes("a"))
//                                    .WithStreamDamage(damage::CorruptChecksum)});
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace veltrane {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(std::string_view text);

// What the writer refuses because the layout cannot hold it: a text longer than its field, or
// an offset that would not fit in 32 signed bits. The message names the file or the title.
class ArchiveWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Deliberate faults for tests of the reader, extraction and verify. Both hooks are empty for a
// sound archive.
struct Damage {
    // Edits the file's zlib stream before the layout; the span is sized to what it leaves.
    std::function<void(Bytes& stream)> stream;
    // Edits the header's fields after the layout, so that the header says what the hook leaves
    // while the bytes stay where a sound layout put them.
    std::function<void(ArchiveFileHeader::Fields& fields)> header;
};

struct ArchiveEntry {
    ArchiveEntry(std::string storedName, Bytes content, double fileDate = 0,
                 std::string versionText = {})
        : storedName(std::move(storedName)), content(std::move(content)), fileDate(fileDate),
          versionText(std::move(versionText)) {}

    // The same entry with a fault, for a broken fixture in one expression.
    ArchiveEntry WithStreamDamage(std::function<void(Bytes& stream)> edit) const;
    ArchiveEntry WithHeaderDamage(std::function<void(ArchiveFileHeader::Fields& fields)> edit) const;

    std::string storedName;          // a Windows path, at most 103 bytes
    Bytes content;
    double fileDate = 0;             // days since 30 December 1899, local time
    std::string versionText;         // at most 15 bytes; usually empty
    Damage damage;
};

// A file compressed and ready to be laid out; what the builder keeps instead of its content.
struct PackedFile {
    std::string storedName;
    double fileDate = 0;
    std::string versionText;
    std::int32_t originalSize = 0;
    Bytes stream;                    // one zlib-format stream
    std::function<void(ArchiveFileHeader::Fields&)> damageHeader;
};

// libdeflate's levels: 0 stores, 12 compresses hardest. 10 is the first of its near-optimal
// levels: on the benchmark's payload it makes archives as small as 7-Zip's best zip in a sixth
// of its time, where 9 is 3 % larger and 12 takes twice as long again for little more.
inline constexpr int MinCompressionLevel = 0;
inline constexpr int MaxCompressionLevel = 12;
inline constexpr int DefaultCompressionLevel = 10;

// Files of this size or more cannot be carried: the offsets and sizes are 32-bit signed.
inline constexpr std::int64_t MaxArchiveBytes = std::int64_t{1} << 31;

// The data as one zlib-format stream (2-byte header, deflate data, Adler-32), which plain zlib
// inflates with its default window.
Bytes CompressToZlib(std::span<const std::uint8_t> data, int level = DefaultCompressionLevel);

// Compresses the entry's content and applies its stream damage.
PackedFile PackFile(const ArchiveEntry& entry, int level = DefaultCompressionLevel);

// FileCount, the flag byte 0, then for each file its 164-byte header, 8 zero bytes and its
// stream. Header i carries i mod 5 as its small number at +144.
Bytes LayOutArchive(std::span<const PackedFile> files);

Bytes WriteArchive(std::span<const ArchiveEntry> entries, int level = DefaultCompressionLevel);
inline Bytes WriteArchive(std::initializer_list<ArchiveEntry> entries,
                          int level = DefaultCompressionLevel) {
    return WriteArchive(std::span<const ArchiveEntry>(entries.begin(), entries.size()), level);
}

// The self-extracting loader: the loader image, the first archive (what the loader stages),
// the second archive (carried for the installation program) and the 136-byte trailer.
Bytes AssembleSelfExtracting(std::span<const std::uint8_t> loaderImage,
                             std::span<const std::uint8_t> firstArchive,
                             std::span<const std::uint8_t> secondArchive,
                             std::string_view productTitle);

// Stream damage for Damage::stream.
namespace damage {
// Bytes after the end of the stream, inside its span.
void AppendTrailingBytes(Bytes& stream);
// A first deflate block of the reserved type 3: inflate fails before producing anything.
void CorruptFirstBlock(Bytes& stream);
// A wrong Adler-32: inflate produces all the data, then fails its check.
void CorruptChecksum(Bytes& stream);
// The header's FDICT bit set and a dictionary id inserted: inflate asks for a dictionary.
void RequirePresetDictionary(Bytes& stream);
}  // namespace damage

// A local date and time as the calendar writes it.
struct CivilTime {
    CivilTime() = default;
    CivilTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
              int millisecond = 0)
        : year(year), month(month), day(day), hour(hour), minute(minute), second(second),
          millisecond(millisecond) {}

    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    bool operator==(const CivilTime&) const = default;
};

// Days since 30 December 1899 with the time of day as the fraction. Before that day the value
// is negative and the fraction still counts forwards into the day (-1.25 is 29 December, 6:00).
double MakeFileDate(const CivilTime& time);
// The inverse, to the nearest millisecond; nothing for a value that is not a finite number or
// lies outside the years 1 to 9999.
std::optional<CivilTime> CivilTimeOfFileDate(double fileDate);

}  // namespace veltrane
