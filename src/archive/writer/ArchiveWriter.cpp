#include "archive/writer/ArchiveWriter.h"

#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cmath>
#include <memory>

namespace veltrane {
namespace {

struct CompressorDeleter {
    void operator()(libdeflate_compressor* compressor) const {
        libdeflate_free_compressor(compressor);
    }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorDeleter>;

void RequireFits(std::string_view what, std::string_view text, std::size_t maxLength,
                 std::string_view owner) {
    if (text.size() > maxLength) {
        throw ArchiveWriteError(std::string(owner) + ": " + std::string(what) + " of " +
                                std::to_string(text.size()) + " bytes is longer than " +
                                std::to_string(maxLength));
    }
}

void RequireBelow2GiB(std::int64_t size, std::string_view what) {
    if (size >= MaxArchiveBytes) {
        throw ArchiveWriteError(std::string(what) + " would be " + std::to_string(size) +
                                " bytes; offsets are 32-bit signed, so it must stay below 2 GiB");
    }
}

void Append(Bytes& to, std::span<const std::uint8_t> bytes) {
    to.insert(to.end(), bytes.begin(), bytes.end());
}

constexpr std::size_t ZlibHeaderSize = 2;
constexpr std::uint8_t PresetDictionaryFlag = 0x20;

// The second header byte makes the 16-bit header a multiple of 31; its low five bits carry the
// difference.
void SetHeaderCheckBits(Bytes& stream) {
    stream[1] &= 0xE0;
    const unsigned remainder = (stream[0] * 256u + stream[1]) % 31u;
    if (remainder != 0) stream[1] = static_cast<std::uint8_t>(stream[1] + 31 - remainder);
}

using std::chrono::days;
using std::chrono::sys_days;
constexpr sys_days FileDateEpoch = std::chrono::year{1899} / 12 / 30;
constexpr std::int64_t MillisecondsPerDay = 86'400'000;

}  // namespace

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }

ArchiveEntry ArchiveEntry::WithStreamDamage(std::function<void(Bytes&)> edit) const {
    ArchiveEntry damaged = *this;
    damaged.damage.stream = std::move(edit);
    return damaged;
}

ArchiveEntry ArchiveEntry::WithHeaderDamage(
    std::function<void(ArchiveFileHeader::Fields&)> edit) const {
    ArchiveEntry damaged = *this;
    damaged.damage.header = std::move(edit);
    return damaged;
}

Bytes CompressToZlib(std::span<const std::uint8_t> data, int level) {
    if (level < MinCompressionLevel || level > MaxCompressionLevel) {
        throw ArchiveWriteError("compression level " + std::to_string(level) + " is not between " +
                                std::to_string(MinCompressionLevel) + " and " +
                                std::to_string(MaxCompressionLevel));
    }
    const Compressor compressor(libdeflate_alloc_compressor(level));
    if (!compressor) throw std::bad_alloc();
    Bytes stream(libdeflate_zlib_compress_bound(compressor.get(), data.size()));
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), data.data(), data.size(),
                                                      stream.data(), stream.size());
    // The bound is what libdeflate promises to need, so a zero size cannot happen.
    stream.resize(size);
    return stream;
}

PackedFile PackFile(const ArchiveEntry& entry, int level) {
    RequireBelow2GiB(static_cast<std::int64_t>(entry.content.size()), entry.storedName);
    PackedFile file{.storedName = entry.storedName,
                    .fileDate = entry.fileDate,
                    .versionText = entry.versionText,
                    .originalSize = static_cast<std::int32_t>(entry.content.size()),
                    .stream = CompressToZlib(entry.content, level),
                    .damageHeader = entry.damage.header};
    if (entry.damage.stream) entry.damage.stream(file.stream);
    return file;
}

Bytes LayOutArchive(std::span<const PackedFile> files) {
    std::int64_t size = FirstHeaderOffset;
    for (const PackedFile& file : files) {
        RequireFits("stored name", file.storedName, ArchiveFileHeader::MaxStoredNameLength,
                    file.storedName);
        RequireFits("version text", file.versionText, ArchiveFileHeader::MaxVersionTextLength,
                    file.storedName);
        size += ArchiveFileHeader::DataOffsetFromHeader + static_cast<std::int64_t>(file.stream.size());
    }
    RequireBelow2GiB(size, "the archive");

    Bytes archive(FirstHeaderOffset, 0);
    WriteInt32(archive.data(), static_cast<std::int32_t>(files.size()));
    for (std::size_t i = 0; i < files.size(); ++i) {
        const PackedFile& file = files[i];
        const auto headerOffset = static_cast<std::int32_t>(archive.size());
        const auto streamSize = static_cast<std::int32_t>(file.stream.size());
        const std::int32_t dataStart = headerOffset + ArchiveFileHeader::DataOffsetFromHeader;
        const std::int32_t dataLast = dataStart + streamSize - 1;
        ArchiveFileHeader::Fields fields{.fileDate = file.fileDate,
                                         .dataLast = dataLast,
                                         .storedName = file.storedName,
                                         .nextHeader = dataLast + 1,
                                         .originalSize = file.originalSize,
                                         .dataStart = dataStart,
                                         .compressedSize = streamSize,
                                         .sequence = static_cast<std::int32_t>(i % 5),
                                         .versionText = file.versionText};
        if (file.damageHeader) file.damageHeader(fields);
        Append(archive, ArchiveFileHeader::Make(fields).bytes);
        archive.resize(archive.size() + 8, 0);
        Append(archive, file.stream);
    }
    return archive;
}

Bytes WriteArchive(std::span<const ArchiveEntry> entries, int level) {
    std::vector<PackedFile> files;
    files.reserve(entries.size());
    for (const ArchiveEntry& entry : entries) files.push_back(PackFile(entry, level));
    return LayOutArchive(files);
}

Bytes AssembleSelfExtracting(std::span<const std::uint8_t> loaderImage,
                             std::span<const std::uint8_t> firstArchive,
                             std::span<const std::uint8_t> secondArchive,
                             std::string_view productTitle) {
    RequireFits("product title", productTitle, SelfExtractTrailer::MaxTitleLength,
                "the self-extracting loader");
    const auto firstStart = static_cast<std::int64_t>(loaderImage.size());
    const auto secondStart = firstStart + static_cast<std::int64_t>(firstArchive.size());
    const auto trailerStart = secondStart + static_cast<std::int64_t>(secondArchive.size());
    RequireBelow2GiB(trailerStart + static_cast<std::int64_t>(SelfExtractTrailer::Size),
                     "the self-extracting loader");

    const SelfExtractTrailer trailer = SelfExtractTrailer::Make(
        {.firstArchiveStart = static_cast<std::int32_t>(firstStart),
         .firstArchiveLast = static_cast<std::int32_t>(secondStart - 1),
         .secondArchiveStart = static_cast<std::int32_t>(secondStart),
         .secondArchiveLast = static_cast<std::int32_t>(trailerStart - 1),
         .productTitle = std::string(productTitle)});
    Bytes file;
    file.reserve(static_cast<std::size_t>(trailerStart) + SelfExtractTrailer::Size);
    Append(file, loaderImage);
    Append(file, firstArchive);
    Append(file, secondArchive);
    Append(file, trailer.bytes);
    return file;
}

namespace damage {

void AppendTrailingBytes(Bytes& stream) { Append(stream, ToBytes("surplus")); }

void CorruptFirstBlock(Bytes& stream) {
    // Bits 1 and 2 of the first deflate byte are the first block's type.
    stream.at(ZlibHeaderSize) |= 0x06;
}

void CorruptChecksum(Bytes& stream) { stream.at(stream.size() - 1) ^= 0xFF; }

void RequirePresetDictionary(Bytes& stream) {
    stream.at(1) |= PresetDictionaryFlag;
    SetHeaderCheckBits(stream);
    const auto dictionary = ToBytes("dictionary");
    const auto id = static_cast<std::uint32_t>(
        adler32(adler32(0, nullptr, 0), dictionary.data(), static_cast<uInt>(dictionary.size())));
    const std::uint8_t idBytes[4] = {static_cast<std::uint8_t>(id >> 24),
                                     static_cast<std::uint8_t>(id >> 16),
                                     static_cast<std::uint8_t>(id >> 8),
                                     static_cast<std::uint8_t>(id)};
    stream.insert(stream.begin() + ZlibHeaderSize, std::begin(idBytes), std::end(idBytes));
}

}  // namespace damage

double MakeFileDate(const CivilTime& time) {
    const sys_days day = std::chrono::year{time.year} / time.month / time.day;
    const auto wholeDays = static_cast<double>((day - FileDateEpoch).count());
    const double fraction =
        ((time.hour * 60.0 + time.minute) * 60.0 + time.second + time.millisecond / 1000.0) /
        86400.0;
    return wholeDays < 0 ? wholeDays - fraction : wholeDays + fraction;
}

std::optional<CivilTime> CivilTimeOfFileDate(double fileDate) {
    // 1 January 1 and 31 December 9999, counted from the epoch.
    if (!std::isfinite(fileDate) || fileDate < -693593.0 || fileDate >= 2958466.0) {
        return std::nullopt;
    }
    const double wholeDays = std::trunc(fileDate);
    auto milliseconds = static_cast<std::int64_t>(
        std::llround(std::fabs(fileDate - wholeDays) * MillisecondsPerDay));
    sys_days day = FileDateEpoch + days(static_cast<int>(wholeDays));
    if (milliseconds >= MillisecondsPerDay) {
        day += days(1);
        milliseconds -= MillisecondsPerDay;
    }
    const std::chrono::year_month_day date(day);
    const auto ms = static_cast<int>(milliseconds);
    return CivilTime{static_cast<int>(date.year()),
                     static_cast<int>(static_cast<unsigned>(date.month())),
                     static_cast<int>(static_cast<unsigned>(date.day())),
                     ms / 3'600'000,
                     ms / 60'000 % 60,
                     ms / 1000 % 60,
                     ms % 1000};
}

}  // namespace veltrane
