// What verify finds in files broken on purpose by the archive writer: every problem, each once,
// and nothing in a sound file.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "Inspect.h"
#include "PackTesting.h"

using veltrane::pack::packtest::MinimalWindowsExecutable;

namespace veltrane::pack {
namespace {

using Severity = Finding::Severity;
constexpr Severity P = Severity::Problem;
constexpr Severity W = Severity::Warning;

std::vector<Finding> Verify(const Bytes& file) {
    const InspectedFile inspected = Inspect(file);
    std::vector<Finding> findings = inspected.findings;
    const std::vector<Finding> more = CheckStreamsAndNames(inspected, file);
    findings.insert(findings.end(), more.begin(), more.end());
    return findings;
}

struct Expected {
    Severity severity;
    std::string where;
    std::string says;  // a part of the text
};

struct Case {
    const char* what;
    Bytes file;
    std::vector<Expected> findings;
};

const double Date = MakeFileDate({2024, 5, 17, 19, 13, 22});
const std::string SetupName = "C:\\App\\setup.exe";
const std::string DllName = "C:\\App\\b.dll";
const ArchiveEntry SetupExe(SetupName, ToBytes(std::string(3000, 'a')), Date);
const ArchiveEntry Dll1(DllName, ToBytes("bbbb"), Date);
const std::string First = "archive, file 1 (" + SetupName + ")";
const std::string Second = "archive, file 2 (" + DllName + ")";

// The archive of SetupExe and Dll1 with some bytes changed.
Bytes Poked(const std::function<void(Bytes&)>& poke, std::vector<ArchiveEntry> entries = {SetupExe, Dll1}) {
    Bytes file = WriteArchive(entries);
    poke(file);
    return file;
}

// The header of the second file lies right after the first file's span.
std::size_t SecondHeader(const Bytes& file) { return static_cast<std::size_t>(ReadInt32(&file[5 + 124])); }

ArchiveEntry WithHeader(const ArchiveEntry& entry, std::function<void(ArchiveFileHeader::Fields&)> edit) {
    return entry.WithHeaderDamage(std::move(edit));
}

void ExpectFindings(const Case& c) {
    SCOPED_TRACE(c.what);
    const std::vector<Finding> found = Verify(c.file);
    std::string all;
    for (const Finding& f : found) {
        all += (f.severity == P ? "problem: " : "warning: ") + f.where + ": " + f.text + "\n";
    }
    ASSERT_EQ(found.size(), c.findings.size()) << all;
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].severity, c.findings[i].severity) << all;
        EXPECT_EQ(found[i].where, c.findings[i].where) << all;
        EXPECT_NE(found[i].text.find(c.findings[i].says), std::string::npos)
            << "expected \"" << c.findings[i].says << "\" in\n" << all;
    }
}

TEST(PackVerify, BrokenSpansAndStreams) {
    const auto dataLast = [](const ArchiveEntry& e) {
        return ReadInt32(&WriteArchive({e})[5 + 16]);
    };
    const Case cases[] = {
        {"a sound archive", WriteArchive({SetupExe, Dll1}), {}},
        {"the last NextHeader one too far",
         WriteArchive({SetupExe, WithHeader(Dll1, [](auto& f) { f.nextHeader += 1; })}),
         {{P, Second, "NextHeader is "}, {P, "archive", "the last NextHeader points to"}}},
        {"a NextHeader pointing back",
         WriteArchive({WithHeader(SetupExe, [](auto& f) { f.nextHeader = 5; }), Dll1}),
         {{P, First, "NextHeader is 5, but DataLast + 1 is " + std::to_string(dataLast(SetupExe) + 1)},
          {P, First, "points back"}}},
        {"a short span",
         WriteArchive({SetupExe, WithHeader(Dll1, [](auto& f) { f.dataLast -= 3; })}),
         {{P, Second, "NextHeader is "},
          {P, Second, "CompressedSize is "},
          {P, Second, "the span ends before the stream does"}}},
        {"a span past the end of the archive",
         WriteArchive({SetupExe, WithHeader(Dll1, [](auto& f) { f.dataLast += 100; })}),
         {{P, Second, "NextHeader is "},
          {P, Second, "CompressedSize is "},
          {P, Second, "past the end of archive"}}},
        {"a DataStart one byte late",
         WriteArchive({WithHeader(SetupExe, [](auto& f) { f.dataStart += 1; }), Dll1}),
         {{P, First, "DataStart is 178, but the data begin at 177"},
          {P, First, "CompressedSize is "},
          {P, First, "the stream"}}},
        {"bytes after the stream inside its span",
         WriteArchive({SetupExe.WithStreamDamage(damage::AppendTrailingBytes), Dll1}),
         {{P, First, "7 bytes follow the end of the stream inside its span"}}},
        {"a corrupt stream", WriteArchive({SetupExe.WithStreamDamage(damage::CorruptFirstBlock), Dll1}),
         {{P, First, "the stream is corrupt after 0 bytes of output (zlib: invalid block type)"}}},
        {"a wrong Adler-32", WriteArchive({SetupExe.WithStreamDamage(damage::CorruptChecksum), Dll1}),
         {{P, First, "Adler-32 does not match its 3000 bytes"}}},
        {"a preset dictionary",
         WriteArchive({SetupExe.WithStreamDamage(damage::RequirePresetDictionary), Dll1}),
         {{P, First, "asks for a preset dictionary"}}},
        {"a wrong OriginalSize",
         WriteArchive({WithHeader(SetupExe, [](auto& f) { f.originalSize += 1; }), Dll1}),
         {{P, First, "inflates to 3000 bytes, but OriginalSize is 3001"}}},
        {"a problem in each of three files, all reported",
         WriteArchive({SetupExe.WithStreamDamage(damage::AppendTrailingBytes),
                       Dll1.WithStreamDamage(damage::CorruptChecksum),
                       WithHeader(ArchiveEntry("C:\\c", ToBytes("c"), Date),
                                  [](auto& f) { f.originalSize = 5; })}),
         {{P, First, "follow the end of the stream"},
          {P, Second, "Adler-32"},
          {P, "archive, file 3 (C:\\c)", "inflates to 1 bytes, but OriginalSize is 5"}}},
    };
    for (const Case& c : cases) ExpectFindings(c);
}

TEST(PackVerify, BrokenCountsAndChains) {
    const Bytes sound = WriteArchive({SetupExe, Dll1});
    const std::string end = std::to_string(sound.size());
    const Case cases[] = {
        {"51 files", Poked([](Bytes& f) { WriteInt32(&f[0], 51); }),
         {{P, "archive", "holds 51 files; the loader takes at most 50"},
          {P, "archive, file 3", "its header at +" + end + " does not fit"}}},
        {"no files, with files behind the count", Poked([](Bytes& f) { WriteInt32(&f[0], 0); }),
         {{P, "archive", "holds 0 files; the loader refuses an archive without files"},
          {P, "archive", std::to_string(sound.size() - 5) + " bytes follow the last file's data"}}},
        {"a count of -1 and a flag", Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0},
         {{P, "archive", "holds -1 files"}}},
        {"an empty file", Bytes{}, {{P, "archive", "too short to hold the file count"}}},
        {"a count without flag", Bytes{1, 0, 0, 0}, {{P, "archive", "ends before the multi-partition flag"}}},
        {"an end inside the second header",
         Bytes(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(SecondHeader(sound) + 100)),
         {{P, "archive, file 2", "does not fit before the end of archive"}}},
        {"bytes after the last file", Poked([](Bytes& f) { f.insert(f.end(), {1, 2, 3}); }),
         {{P, "archive", "3 bytes follow the last file's data"}}},
        // The loader stages it as setup.exe all the same: it reads the name up to its first NUL.
        {"a stored name's length byte of 200", Poked([](Bytes& f) { f[5 + 20] = 200; }),
         {{P, First.substr(0, First.find('(')) + "(" + SetupName + std::string(103 - SetupName.size(), '\0') + ")",
           "the stored name's length byte is 200"}}},
        {"a Windows executable without a trailer", MinimalWindowsExecutable(),
         {{P, "file", "a Windows executable without a self-extracting trailer"}}},
    };
    for (const Case& c : cases) ExpectFindings(c);
}

TEST(PackVerify, FieldsTheLoaderIgnoresAndNamesItCannotStageAreWarnings) {
    const Case cases[] = {
        {"a multi-partition flag of 1", Poked([](Bytes& f) { f[4] = 1; }),
         {{W, "archive", "the multi-partition flag is 1"}}},
        {"2 at +0", Poked([](Bytes& f) { WriteInt32(&f[5], 2); }),
         {{W, First, "the field at +0 is 2, a writer puts 1"}}},
        {"7 at +12", Poked([](Bytes& f) { WriteInt32(&f[5 + 12], 7); }),
         {{W, First, "the field at +12 is 7, a writer puts 0"}}},
        {"-1 at +140", Poked([](Bytes& f) { WriteInt32(&f[5 + 140], -1); }),
         {{W, First, "the field at +140 is -1"}}},
        {"5 at +144", Poked([](Bytes& f) { WriteInt32(&f[5 + 144], 5); }),
         {{W, First, "the number at +144 is 5"}}},
        {"a version text's length of 16", Poked([](Bytes& f) { f[5 + 148] = 16; }),
         {{W, First, "the version text's length byte is 16"}}},
        {"a byte after the header", Poked([](Bytes& f) { f[5 + 164 + 7] = 1; }),
         {{W, First, "the 8 bytes after the header are not zero"}}},
        {"dates outside 1980 to 2099",
         WriteArchive({ArchiveEntry(SetupName, {}, MakeFileDate({1979, 12, 31, 23, 59, 59})),
                       ArchiveEntry(DllName, {}, std::nan(""))}),
         {{W, First, "outside the years 1980 to 2099"}, {W, Second, "outside the years 1980 to 2099"}}},
        {"the last day of 2099", WriteArchive({ArchiveEntry(SetupName, {}, MakeFileDate({2099, 12, 31, 23, 59, 58}))}), {}},
        {"two files staged under one name",
         WriteArchive({SetupExe, ArchiveEntry("D:\\other/SETUP.EXE", {}, Date)}),
         {{W, "archive, file 2 (D:\\other/SETUP.EXE)", "staged as \"SETUP.EXE\", like file 1"}}},
        {"names Windows cannot create",
         WriteArchive({ArchiveEntry("C:\\x\\Com1.log", {}, Date), ArchiveEntry("C:\\x\\", {}, Date),
                       ArchiveEntry("C:\\x\\a?.txt", {}, Date)}),
         {{W, "archive, file 1 (C:\\x\\Com1.log)", "cannot create a file named \"Com1.log\": it is the name of a device"},
          {W, "archive, file 2 (C:\\x\\)", "cannot create a file named \"\": the name is empty"},
          {W, "archive, file 3 (C:\\x\\a?.txt)", "it holds the character ?"}}},
    };
    for (const Case& c : cases) ExpectFindings(c);
}

TEST(PackVerify, SelfExtractingTrailers) {
    const Bytes image = MinimalWindowsExecutable();
    const Bytes first = WriteArchive({SetupExe});
    const Bytes second = WriteArchive({Dll1});
    const Bytes sound = AssembleSelfExtracting(image, first, second, "Product");
    const std::size_t trailer = sound.size() - 136;
    const auto poked = [&](std::function<void(Bytes&)> poke) {
        Bytes file = sound;
        poke(file);
        return file;
    };
    const Case cases[] = {
        {"a sound loader with two archives", sound, {}},
        {"a sound loader with an empty second archive",
         AssembleSelfExtracting(image, first, WriteArchive({}), "Product"), {}},
        {"SecondArchiveLast one short",
         poked([&](Bytes& f) { WriteInt32(&f[trailer + 28], ReadInt32(&f[trailer + 28]) - 1); }),
         {{P, "trailer", "SecondArchiveLast is " + std::to_string(trailer - 2)},
          {P, "second archive, file 1 (" + DllName + ")", "past the end of second archive"},
          {P, "second archive", "the last NextHeader points to"}}},
        {"SecondArchiveStart not after the first archive",
         poked([&](Bytes& f) { WriteInt32(&f[trailer + 24], ReadInt32(&f[trailer + 24]) + 1); }),
         {{P, "trailer", "SecondArchiveStart is "},
          {W, "second archive", "the multi-partition flag is 1"},
          {P, "second archive", "bytes follow the last file's data"}}},
        {"a first archive that starts inside the trailer",
         poked([&](Bytes& f) { WriteInt32(&f[trailer + 16], static_cast<std::int32_t>(trailer + 1)); }),
         {{P, "trailer", "do not lie before the trailer"}}},
        {"a title's length byte of 200", poked([&](Bytes& f) { f[trailer + 53] = 200; }),
         {{P, "trailer", "the title's length byte is 200"}}},
        {"a byte set among the 21 at +32", poked([&](Bytes& f) { f[trailer + 40] = 1; }),
         {{W, "trailer", "the 21 bytes at +32 are not zero"}}},
        {"no Windows executable before the first archive",
         AssembleSelfExtracting(ToBytes("not a loader"), first, second, "Product"),
         {{P, "trailer", "the bytes before the first archive are no Windows executable"}}},
        {"a corrupt stream in the second archive",
         AssembleSelfExtracting(image, first,
                                WriteArchive({Dll1.WithStreamDamage(damage::CorruptChecksum)}), "P"),
         {{P, "second archive, file 1 (" + DllName + ")", "Adler-32"}}},
        {"device names only matter where the loader stages",
         AssembleSelfExtracting(image, WriteArchive({ArchiveEntry("C:\\prn", {}, Date)}),
                                WriteArchive({ArchiveEntry("C:\\aux", {}, Date)}), "P"),
         {{W, "first archive, file 1 (C:\\prn)", "name of a device"}}},
    };
    for (const Case& c : cases) ExpectFindings(c);
}

}  // namespace
}  // namespace veltrane::pack
