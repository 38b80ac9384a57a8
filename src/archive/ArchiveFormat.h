// The byte layout of the records on disk, used by the loader to read them and by the builder
// to write them. Integers are 32-bit signed little-endian; texts are a length byte followed by
// the characters. Every field is decoded at its offset from a byte buffer, never by casting the
// buffer to a struct, so that every target reads the same.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace veltrane {

std::int32_t ReadInt32(const std::uint8_t* bytes);
void WriteInt32(std::uint8_t* bytes, std::int32_t value);
double ReadDouble(const std::uint8_t* bytes);
void WriteDouble(std::uint8_t* bytes, double value);
// A length-prefixed text of at most maxLength characters; a larger length byte is taken as
// maxLength, so that a text never reaches past its field.
std::string ReadShortText(const std::uint8_t* field, std::size_t maxLength);
void WriteShortText(std::uint8_t* field, std::size_t maxLength, std::string_view text);

// The last 136 bytes of a self-extracting loader: where its two archives lie, and the title.
//   +0   Magic: length byte and up to 15 characters ("SELFEXTRACTING")
//   +16  FirstArchiveStart    +20 FirstArchiveLast
//   +24  SecondArchiveStart   +28 SecondArchiveLast
//   +32  21 bytes, zero
//   +53  ProductTitle: length byte and up to 82 characters, to the record's last byte
struct SelfExtractTrailer {
    static constexpr std::size_t Size = 136;
    static constexpr std::string_view SelfExtractingMagic = "SELFEXTRACTING";
    static constexpr std::size_t MaxTitleLength = 82;

    std::array<std::uint8_t, Size> bytes{};

    std::int32_t FirstArchiveStart() const { return ReadInt32(&bytes[16]); }
    std::int32_t FirstArchiveLast() const { return ReadInt32(&bytes[20]); }
    std::int32_t SecondArchiveStart() const { return ReadInt32(&bytes[24]); }
    std::int32_t SecondArchiveLast() const { return ReadInt32(&bytes[28]); }
    std::string ProductTitle() const { return ReadShortText(&bytes[53], MaxTitleLength); }

    struct Fields {
        std::int32_t firstArchiveStart = 0;
        std::int32_t firstArchiveLast = 0;
        std::int32_t secondArchiveStart = 0;
        std::int32_t secondArchiveLast = 0;
        std::string productTitle;
    };
    // A trailer as the builder writes it, magic included.
    static SelfExtractTrailer Make(const Fields& fields);
};

// True when the magic is exactly length 14 and "SELFEXTRACTING", upper case; the byte after the
// magic is not looked at.
bool IsSelfExtracting(SelfExtractTrailer trailer);

// One file's header in an archive, 164 bytes, kept exactly as stored.
//   +0   1 (not read)             +4   FileDate, a double: days since 30 December 1899
//   +12  0 (not read)             +16  DataLast, inclusive, relative to the archive start
//   +20  StoredName: length byte and up to 103 characters
//   +124 NextHeader               +128 OriginalSize
//   +132 DataStart                +136 CompressedSize (not read)
//   +140 0 (not read)             +144 a small number, 0 to 4 (not read)
//   +148 version text: length byte and up to 15 characters (not read)
struct ArchiveFileHeader {
    static constexpr std::size_t Size = 164;
    static constexpr std::size_t MaxStoredNameLength = 103;
    static constexpr std::size_t MaxVersionTextLength = 15;
    // The header and the 8 zero bytes that follow it come before the data.
    static constexpr std::int32_t DataOffsetFromHeader = 172;

    std::array<std::uint8_t, Size> bytes{};

    double FileDate() const { return ReadDouble(&bytes[4]); }
    std::int32_t DataLast() const { return ReadInt32(&bytes[16]); }
    std::string StoredName() const { return ReadShortText(&bytes[20], MaxStoredNameLength); }
    std::int32_t NextHeader() const { return ReadInt32(&bytes[124]); }
    std::int32_t OriginalSize() const { return ReadInt32(&bytes[128]); }
    std::int32_t DataStart() const { return ReadInt32(&bytes[132]); }
    std::int32_t CompressedSize() const { return ReadInt32(&bytes[136]); }
    std::int32_t Sequence() const { return ReadInt32(&bytes[144]); }
    std::string VersionText() const { return ReadShortText(&bytes[148], MaxVersionTextLength); }

    struct Fields {
        double fileDate = 0;
        std::int32_t dataLast = 0;
        std::string storedName;
        std::int32_t nextHeader = 0;
        std::int32_t originalSize = 0;
        std::int32_t dataStart = 0;
        std::int32_t compressedSize = 0;
        std::int32_t sequence = 0;
        std::string versionText;
    };
    // A header as a writer lays it out, with 1 at +0 and zeros at +12 and +140.
    static ArchiveFileHeader Make(const Fields& fields);
};

// An archive: FileCount (int32) at +0, MultiPartitionFlag (one byte) at +4, the first header
// at +5; each header is followed by 8 zero bytes and its file's compressed data, and points
// through NextHeader at the header after it.
inline constexpr std::int32_t MaxFiles = 50;
inline constexpr std::int32_t FirstHeaderOffset = 5;

struct ArchiveCatalog {
    std::int32_t Count = 0;
    std::array<ArchiveFileHeader, MaxFiles> Headers{};
};

}  // namespace veltrane
