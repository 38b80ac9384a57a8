// The archive writer: the layout field by field, the self-extracting assembly, what it refuses,
// the deliberate damage and the date values.
#include "archive/writer/ArchiveWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <limits>

namespace veltrane {
namespace {

struct Inflated {
    int result = Z_OK;
    Bytes output;
    std::size_t unusedInput = 0;
};

// Inflates the way the loader does: plain zlib, zlib format, default window.
Inflated InflateWithZlib(std::span<const std::uint8_t> stream) {
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    Inflated inflated;
    inflated.output.resize(1 << 20);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = inflated.output.data();
    z.avail_out = static_cast<uInt>(inflated.output.size());
    inflated.result = inflate(&z, Z_FINISH);
    inflated.output.resize(z.total_out);
    inflated.unusedInput = z.avail_in;
    inflateEnd(&z);
    return inflated;
}

std::span<const std::uint8_t> Span(const Bytes& bytes, std::int32_t first, std::int32_t last) {
    return std::span<const std::uint8_t>(bytes).subspan(first, last - first + 1);
}

TEST(ArchiveWriterLayout, EveryFieldAtItsOffsetAsAWriterPutsIt) {
    const double date = MakeFileDate({2024, 5, 17, 19, 13, 22});
    const Bytes setupExe = ToBytes("MZ the installation program");
    const Bytes readme = ToBytes(std::string(3000, 'r'));
    const Bytes archive = WriteArchive({
        {"C:\\App\\setup.exe", setupExe, date},
        {"C:\\App\\\\readme.txt", readme, date + 1, "1.0.0.0"},
    });
    const auto firstStream = CompressToZlib(setupExe);
    const auto secondStream = CompressToZlib(readme);

    ASSERT_GE(archive.size(), 5u);
    EXPECT_EQ(ReadInt32(&archive[0]), 2) << "FileCount";
    EXPECT_EQ(archive[4], 0) << "MultiPartitionFlag";

    const std::int32_t first = 5;
    const std::int32_t firstLast = first + 172 + static_cast<std::int32_t>(firstStream.size()) - 1;
    const std::int32_t second = firstLast + 1;
    const std::int32_t secondLast = second + 172 + static_cast<std::int32_t>(secondStream.size()) - 1;
    ASSERT_EQ(archive.size(), static_cast<std::size_t>(secondLast + 1));

    struct Expected {
        std::int32_t header;
        std::string storedName;
        double fileDate;
        std::int32_t dataLast;
        std::int32_t originalSize;
        std::int32_t compressedSize;
        std::int32_t smallNumber;
        std::string versionText;
        const Bytes* content;
    };
    const Expected files[] = {
        {first, "C:\\App\\setup.exe", date, firstLast, static_cast<std::int32_t>(setupExe.size()),
         static_cast<std::int32_t>(firstStream.size()), 0, "", &setupExe},
        {second, "C:\\App\\\\readme.txt", date + 1, secondLast,
         static_cast<std::int32_t>(readme.size()), static_cast<std::int32_t>(secondStream.size()),
         1, "1.0.0.0", &readme},
    };
    for (const Expected& file : files) {
        SCOPED_TRACE(file.storedName);
        const std::uint8_t* h = &archive[file.header];
        EXPECT_EQ(ReadInt32(h + 0), 1);
        EXPECT_EQ(ReadDouble(h + 4), file.fileDate);
        EXPECT_EQ(ReadInt32(h + 12), 0);
        EXPECT_EQ(ReadInt32(h + 16), file.dataLast) << "DataLast";
        EXPECT_EQ(h[20], file.storedName.size()) << "StoredName length byte";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 21), file.storedName.size()),
                  file.storedName);
        for (std::size_t i = 21 + file.storedName.size(); i < 124; ++i) {
            EXPECT_EQ(h[i], 0) << "behind the stored name, at +" << i;
        }
        EXPECT_EQ(ReadInt32(h + 124), file.dataLast + 1) << "NextHeader";
        EXPECT_EQ(ReadInt32(h + 128), file.originalSize) << "OriginalSize";
        EXPECT_EQ(ReadInt32(h + 132), file.header + 172) << "DataStart";
        EXPECT_EQ(ReadInt32(h + 136), file.compressedSize) << "CompressedSize";
        EXPECT_EQ(ReadInt32(h + 140), 0);
        EXPECT_EQ(ReadInt32(h + 144), file.smallNumber);
        EXPECT_EQ(h[148], file.versionText.size()) << "version text length byte";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(h + 149), file.versionText.size()),
                  file.versionText);
        for (std::size_t i = 149 + file.versionText.size(); i < 172; ++i) {
            EXPECT_EQ(h[i], 0) << "behind the version text or in the 8 bytes after the header, at +"
                               << i;
        }
        const Inflated inflated = InflateWithZlib(Span(archive, file.header + 172, file.dataLast));
        EXPECT_EQ(inflated.result, Z_STREAM_END);
        EXPECT_EQ(inflated.unusedInput, 0u);
        EXPECT_EQ(inflated.output, *file.content);
    }
}

TEST(ArchiveWriterLayout, AnArchiveWithoutFilesIsTheCountAndTheFlag) {
    EXPECT_EQ(WriteArchive({}), Bytes({0, 0, 0, 0, 0}));
}

TEST(ArchiveWriterLayout, TheSmallNumberRunsFrom0To4AndOver) {
    std::vector<ArchiveEntry> entries(7, ArchiveEntry("C:\\f", {}));
    const Bytes archive = WriteArchive(entries);
    std::int32_t header = 5;
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(ReadInt32(&archive[header + 144]), i % 5) << "file " << i;
        header = ReadInt32(&archive[header + 124]);
    }
    EXPECT_EQ(header, static_cast<std::int32_t>(archive.size()));
}

TEST(ArchiveWriterLayout, AnEmptyFileStillHasAStreamThatInflatesToNothing) {
    const Bytes archive = WriteArchive({{"C:\\empty.dat", {}}});
    const ArchiveFileHeader header = [&] {
        ArchiveFileHeader h;
        std::copy_n(&archive[5], ArchiveFileHeader::Size, h.bytes.begin());
        return h;
    }();
    EXPECT_EQ(header.OriginalSize(), 0);
    const Inflated inflated = InflateWithZlib(Span(archive, header.DataStart(), header.DataLast()));
    EXPECT_EQ(inflated.result, Z_STREAM_END);
    EXPECT_TRUE(inflated.output.empty());
}

TEST(ArchiveWriterLayout, EveryLevelWritesAStreamThatZlibReadsBack) {
    const Bytes content = ToBytes(std::string(5000, 'a') + "tail");
    for (int level = MinCompressionLevel; level <= MaxCompressionLevel; ++level) {
        const Inflated inflated = InflateWithZlib(CompressToZlib(content, level));
        EXPECT_EQ(inflated.result, Z_STREAM_END) << "level " << level;
        EXPECT_EQ(inflated.output, content) << "level " << level;
    }
}

TEST(ArchiveWriterSelfExtracting, LoaderImageArchivesAndTrailerInThatOrder) {
    const Bytes loader = ToBytes("MZ loader image");
    const Bytes first = WriteArchive({{"C:\\setup.exe", ToBytes("x")}});
    const Bytes second = WriteArchive({});
    const Bytes file = AssembleSelfExtracting(loader, first, second, "Product");

    ASSERT_EQ(file.size(), loader.size() + first.size() + second.size() + 136);
    EXPECT_TRUE(std::equal(loader.begin(), loader.end(), file.begin()));
    EXPECT_TRUE(std::equal(first.begin(), first.end(), file.begin() + loader.size()));
    EXPECT_TRUE(std::equal(second.begin(), second.end(),
                           file.begin() + loader.size() + first.size()));

    const std::uint8_t* t = &file[file.size() - 136];
    EXPECT_EQ(t[0], 14);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 1), 14), "SELFEXTRACTING");
    EXPECT_EQ(t[15], 0);
    const auto firstStart = static_cast<std::int32_t>(loader.size());
    const auto secondStart = firstStart + static_cast<std::int32_t>(first.size());
    EXPECT_EQ(ReadInt32(t + 16), firstStart) << "FirstArchiveStart";
    EXPECT_EQ(ReadInt32(t + 20), secondStart - 1) << "FirstArchiveLast";
    EXPECT_EQ(ReadInt32(t + 24), secondStart) << "SecondArchiveStart";
    EXPECT_EQ(ReadInt32(t + 28), static_cast<std::int32_t>(file.size()) - 137)
        << "SecondArchiveLast";
    for (int i = 32; i < 53; ++i) EXPECT_EQ(t[i], 0) << "+" << i;
    EXPECT_EQ(t[53], 7);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(t + 54), 7), "Product");
    for (int i = 61; i < 136; ++i) EXPECT_EQ(t[i], 0) << "+" << i;
}

TEST(ArchiveWriterLimits, TextsThatFillTheirFieldAreKeptLongerOnesRefused) {
    struct Case {
        const char* what;
        std::function<void()> write;
        bool refused;
    };
    const auto archiveWith = [](std::string name, std::string version) {
        return [=] { WriteArchive({{name, {}, 0, version}}); };
    };
    const auto sfxWithTitle = [](std::string title) {
        return [=] { AssembleSelfExtracting({}, {}, {}, title); };
    };
    const Case cases[] = {
        {"stored name of 103 bytes", archiveWith(std::string(103, 'n'), ""), false},
        {"stored name of 104 bytes", archiveWith(std::string(104, 'n'), ""), true},
        {"version text of 15 bytes", archiveWith("C:\\f", std::string(15, 'v')), false},
        {"version text of 16 bytes", archiveWith("C:\\f", std::string(16, 'v')), true},
        {"title of 82 bytes", sfxWithTitle(std::string(82, 't')), false},
        {"title of 83 bytes", sfxWithTitle(std::string(83, 't')), true},
        {"level -1", [] { CompressToZlib({}, -1); }, true},
        {"level 13", [] { CompressToZlib({}, 13); }, true},
    };
    for (const Case& c : cases) {
        if (c.refused) {
            EXPECT_THROW(c.write(), ArchiveWriteError) << c.what;
        } else {
            EXPECT_NO_THROW(c.write()) << c.what;
        }
    }
}

TEST(ArchiveWriterLimits, ATitleOf82BytesReachesTheTrailersLastByte) {
    const Bytes file = AssembleSelfExtracting({}, {}, {}, std::string(82, 't'));
    EXPECT_EQ(file[53], 82);
    EXPECT_EQ(file[135], 't');
}

TEST(ArchiveWriterDamage, StreamDamageIsWhatInflateMeets) {
    const Bytes content = ToBytes(std::string(2000, 'c') + "end");
    struct Case {
        const char* what;
        void (*damage)(Bytes&);
        int result;
        std::size_t output;
        std::size_t unusedInput;
    };
    const Case cases[] = {
        {"bytes after the stream", damage::AppendTrailingBytes, Z_STREAM_END, content.size(), 7},
        {"first block of the reserved type", damage::CorruptFirstBlock, Z_DATA_ERROR, 0, 0},
        {"wrong Adler-32", damage::CorruptChecksum, Z_DATA_ERROR, content.size(), 0},
        {"preset dictionary", damage::RequirePresetDictionary, Z_NEED_DICT, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Bytes archive =
            WriteArchive({ArchiveEntry("C:\\f", content).WithStreamDamage(c.damage)});
        const std::int32_t dataLast = ReadInt32(&archive[5 + 16]);
        EXPECT_EQ(dataLast, static_cast<std::int32_t>(archive.size()) - 1)
            << "the span holds the whole damaged stream";
        const Inflated inflated = InflateWithZlib(Span(archive, 5 + 172, dataLast));
        EXPECT_EQ(inflated.result, c.result);
        EXPECT_EQ(inflated.output.size(), c.output);
        if (c.result == Z_STREAM_END) {
            EXPECT_EQ(inflated.unusedInput, c.unusedInput);
        }
    }
}

TEST(ArchiveWriterDamage, HeaderDamageChangesTheHeaderButNotWhereTheBytesLie) {
    const ArchiveEntry first("C:\\a", ToBytes("first"));
    const ArchiveEntry second("C:\\b", ToBytes("second"));
    const Bytes sound = WriteArchive({first, second});
    const Bytes broken =
        WriteArchive({first.WithHeaderDamage([](ArchiveFileHeader::Fields& fields) {
                          fields.nextHeader += 3;
                          fields.dataLast -= 2;
                      }),
                      second});
    ASSERT_EQ(broken.size(), sound.size());
    EXPECT_EQ(ReadInt32(&broken[5 + 124]), ReadInt32(&sound[5 + 124]) + 3);
    EXPECT_EQ(ReadInt32(&broken[5 + 16]), ReadInt32(&sound[5 + 16]) - 2);
    for (std::size_t i = 0; i < sound.size(); ++i) {
        const bool inChangedField = (i >= 5 + 16 && i < 5 + 20) || (i >= 5 + 124 && i < 5 + 128);
        if (!inChangedField) {
            EXPECT_EQ(broken[i], sound[i]) << "byte " << i;
        }
    }
}

TEST(FileDateValues, CalendarAndDaysSince30December1899) {
    struct Case {
        CivilTime time;
        double fileDate;
    };
    const Case cases[] = {
        {{1899, 12, 30}, 0.0},
        {{1900, 1, 1}, 2.0},
        {{1899, 12, 29, 6, 0, 0}, -1.25},
        {{1980, 1, 1}, 29221.0},
        {{2024, 5, 17, 18, 0, 0}, 45429.75},
        {{2099, 12, 31, 12, 0, 0}, 73050.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fileDate);
        EXPECT_DOUBLE_EQ(MakeFileDate(c.time), c.fileDate);
        EXPECT_EQ(CivilTimeOfFileDate(c.fileDate), c.time);
    }
}

TEST(FileDateValues, ConversionBackRoundsToTheMillisecondAndRefusesNonDates) {
    const double oneMs = 1.0 / 86'400'000;
    EXPECT_EQ(CivilTimeOfFileDate(MakeFileDate({2024, 5, 17, 19, 13, 22, 999})),
              (CivilTime{2024, 5, 17, 19, 13, 22, 999}));
    EXPECT_EQ(CivilTimeOfFileDate(45429.0 - oneMs / 4), (CivilTime{2024, 5, 17}))
        << "a quarter millisecond before midnight is midnight of the next day";
    for (double notADate : {std::nan(""), std::numeric_limits<double>::infinity(), -1e308, 1e308}) {
        EXPECT_EQ(CivilTimeOfFileDate(notADate), std::nullopt) << notADate;
    }
}

}  // namespace
}  // namespace veltrane
