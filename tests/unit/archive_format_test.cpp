// The records on disk: field offsets, little-endian integers, bounded texts, the magic.
#include <gtest/gtest.h>

#include <cstring>

#include "archive/ArchiveFormat.h"

namespace veltrane {
namespace {

SelfExtractTrailer TrailerWithMagic(std::uint8_t length, const char* text, std::uint8_t byte15 = 0) {
    SelfExtractTrailer trailer;
    trailer.bytes[0] = length;
    std::memcpy(&trailer.bytes[1], text, std::strlen(text));
    trailer.bytes[15] = byte15;
    return trailer;
}

TEST(Trailer, OnlyTheExactUpperCaseMagicMarksASelfExtractingFile) {
    EXPECT_TRUE(IsSelfExtracting(TrailerWithMagic(14, "SELFEXTRACTING")));
    EXPECT_TRUE(IsSelfExtracting(TrailerWithMagic(14, "SELFEXTRACTING", 0x7F)));  // +15 not looked at
    EXPECT_FALSE(IsSelfExtracting(TrailerWithMagic(14, "selfextracting")));
    EXPECT_FALSE(IsSelfExtracting(TrailerWithMagic(15, "SELFEXTRACTINGS")));
    EXPECT_FALSE(IsSelfExtracting(TrailerWithMagic(13, "SELFEXTRACTING")));
    EXPECT_FALSE(IsSelfExtracting(SelfExtractTrailer{}));
}

TEST(Trailer, FieldsStandAtTheirOffsetsLittleEndian) {
    const SelfExtractTrailer trailer = SelfExtractTrailer::Make(
        {0x01020304, 0x7FFFFFFF, -2, 0x10, std::string(82, 'T')});
    EXPECT_TRUE(IsSelfExtracting(trailer));
    EXPECT_EQ(trailer.bytes[16], 0x04);
    EXPECT_EQ(trailer.bytes[19], 0x01);
    EXPECT_EQ(trailer.FirstArchiveStart(), 0x01020304);
    EXPECT_EQ(trailer.FirstArchiveLast(), 0x7FFFFFFF);
    EXPECT_EQ(trailer.SecondArchiveStart(), -2);
    EXPECT_EQ(trailer.SecondArchiveLast(), 0x10);
    EXPECT_EQ(trailer.bytes[53], 82);
    EXPECT_EQ(trailer.bytes[135], 'T');  // an 82-character title fills the record
    for (std::size_t i = 32; i < 53; ++i) EXPECT_EQ(trailer.bytes[i], 0) << i;
}

TEST(Trailer, ATitleLengthBeyondTheRecordIsBoundedTo82) {
    SelfExtractTrailer trailer;
    std::memset(&trailer.bytes[54], 'x', 82);
    trailer.bytes[53] = 255;
    EXPECT_EQ(trailer.ProductTitle(), std::string(82, 'x'));
}

TEST(ArchiveFileHeader, FieldsStandAtTheirOffsets) {
    const ArchiveFileHeader header = ArchiveFileHeader::Make(
        {45429.5, 1000, "C:\\build\\setup.exe", 1001, 4097, 177, 824, 3, "1.0.0.0"});
    EXPECT_EQ(ReadInt32(&header.bytes[0]), 1);
    EXPECT_EQ(header.FileDate(), 45429.5);
    EXPECT_EQ(ReadInt32(&header.bytes[12]), 0);
    EXPECT_EQ(header.DataLast(), 1000);
    EXPECT_EQ(header.bytes[20], 18);
    EXPECT_EQ(header.StoredName(), "C:\\build\\setup.exe");
    EXPECT_EQ(header.NextHeader(), 1001);
    EXPECT_EQ(header.OriginalSize(), 4097);
    EXPECT_EQ(header.DataStart(), 177);
    EXPECT_EQ(header.CompressedSize(), 824);
    EXPECT_EQ(ReadInt32(&header.bytes[140]), 0);
    EXPECT_EQ(header.Sequence(), 3);
    EXPECT_EQ(header.VersionText(), "1.0.0.0");
}

TEST(ArchiveFileHeader, AStoredNameLengthBeyondItsFieldIsBoundedTo103) {
    ArchiveFileHeader header;
    std::memset(&header.bytes[21], 'n', 103);
    header.bytes[20] = 200;
    WriteInt32(&header.bytes[124], 0x41414141);
    EXPECT_EQ(header.StoredName(), std::string(103, 'n'));
}

}  // namespace
}  // namespace veltrane
