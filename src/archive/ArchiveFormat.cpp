#include "archive/ArchiveFormat.h"

#include <algorithm>
#include <cstring>

namespace veltrane {

std::int32_t ReadInt32(const std::uint8_t* bytes) {
    const std::uint32_t value = std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24;
    return static_cast<std::int32_t>(value);
}

void WriteInt32(std::uint8_t* bytes, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

double ReadDouble(const std::uint8_t* bytes) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void WriteDouble(std::uint8_t* bytes, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

std::string ReadShortText(const std::uint8_t* field, std::size_t maxLength) {
    const std::size_t length = std::min<std::size_t>(field[0], maxLength);
    return std::string(reinterpret_cast<const char*>(field + 1), length);
}

void WriteShortText(std::uint8_t* field, std::size_t maxLength, std::string_view text) {
    const std::size_t length = std::min(text.size(), maxLength);
    field[0] = static_cast<std::uint8_t>(length);
    std::memcpy(field + 1, text.data(), length);
}

SelfExtractTrailer SelfExtractTrailer::Make(const Fields& fields) {
    SelfExtractTrailer trailer;
    WriteShortText(&trailer.bytes[0], 15, SelfExtractingMagic);
    WriteInt32(&trailer.bytes[16], fields.firstArchiveStart);
    WriteInt32(&trailer.bytes[20], fields.firstArchiveLast);
    WriteInt32(&trailer.bytes[24], fields.secondArchiveStart);
    WriteInt32(&trailer.bytes[28], fields.secondArchiveLast);
    WriteShortText(&trailer.bytes[53], MaxTitleLength, fields.productTitle);
    return trailer;
}

bool IsSelfExtracting(SelfExtractTrailer trailer) {
    const auto& magic = SelfExtractTrailer::SelfExtractingMagic;
    return trailer.bytes[0] == magic.size() &&
           std::memcmp(&trailer.bytes[1], magic.data(), magic.size()) == 0;
}

ArchiveFileHeader ArchiveFileHeader::Make(const Fields& fields) {
    ArchiveFileHeader header;
    WriteInt32(&header.bytes[0], 1);
    WriteDouble(&header.bytes[4], fields.fileDate);
    WriteInt32(&header.bytes[16], fields.dataLast);
    WriteShortText(&header.bytes[20], MaxStoredNameLength, fields.storedName);
    WriteInt32(&header.bytes[124], fields.nextHeader);
    WriteInt32(&header.bytes[128], fields.originalSize);
    WriteInt32(&header.bytes[132], fields.dataStart);
    WriteInt32(&header.bytes[136], fields.compressedSize);
    WriteInt32(&header.bytes[144], fields.sequence);
    WriteShortText(&header.bytes[148], MaxVersionTextLength, fields.versionText);
    return header;
}

}  // namespace veltrane
