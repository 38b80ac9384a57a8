#include "BadInputs.h"

#include <algorithm>
#include <limits>
#include <random>
#include <stdexcept>

namespace veltrane::fixtures {
namespace {

using Fields = ArchiveFileHeader::Fields;
constexpr std::int32_t HeaderAndGap = ArchiveFileHeader::DataOffsetFromHeader;

// mt19937's sequence is fixed by the standard, so the fixtures come out the same everywhere.
Bytes Pseudorandom(std::size_t size) {
    std::mt19937 generator(20240517);
    Bytes bytes(size);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(generator());
    return bytes;
}

Bytes Text(std::size_t lines) {
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) text += "Line " + std::to_string(i) + " of the read-me file.\r\n";
    return ToBytes(text);
}

ArchiveEntry Renamed(ArchiveEntry entry, std::string storedName) {
    entry.storedName = std::move(storedName);
    return entry;
}

ArchiveEntry Redated(ArchiveEntry entry, double fileDate) {
    entry.fileDate = fileDate;
    return entry;
}

// Where header i begins, following the chain of a sound archive.
std::size_t HeaderOffset(const Bytes& archive, int index) {
    std::size_t offset = FirstHeaderOffset;
    for (int i = 0; i < index; ++i) offset = static_cast<std::size_t>(ReadInt32(&archive.at(offset + 124)));
    return offset;
}

std::size_t DataStartOf(const Bytes& archive, int index) {
    return static_cast<std::size_t>(ReadInt32(&archive.at(HeaderOffset(archive, index) + 132)));
}

Bytes WithCount(Bytes archive, std::int32_t count) {
    WriteInt32(archive.data(), count);
    return archive;
}

Bytes WithByte(Bytes bytes, std::size_t offset, std::uint8_t value) {
    bytes.at(offset) = value;
    return bytes;
}

Bytes Prefix(const Bytes& bytes, std::size_t length) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
}

Bytes SelfExtracting(std::span<const std::uint8_t> image, const Bytes& archive) {
    return AssembleSelfExtracting(image, archive, WriteArchive({}), "Sample Product");
}

std::size_t TrailerOffset(const Bytes& file) { return file.size() - SelfExtractTrailer::Size; }

Bytes WithTrailerInt32(Bytes file, std::size_t field, std::int32_t value) {
    WriteInt32(&file.at(TrailerOffset(file) + field), value);
    return file;
}

class FixtureList {
public:
    void Sound(std::string name, std::string what, Bytes bytes) {
        Add(std::move(name), std::move(what), true, std::move(bytes));
    }
    void Broken(std::string name, std::string what, Bytes bytes) {
        Add(std::move(name), std::move(what), false, std::move(bytes));
    }
    void Add(std::string name, std::string what, bool sound, Bytes bytes) {
        list_.push_back({std::move(name), std::move(what), sound, std::move(bytes)});
    }
    std::vector<Fixture> Take() { return std::move(list_); }

private:
    std::vector<Fixture> list_;
};

struct Entries {
    double date = MakeFileDate({2024, 5, 17, 19, 13, 22});
    ArchiveEntry installer{"C:\\Build\\INSTALL.EXE", ToBytes("MZ: the installation program"), date};
    ArchiveEntry library{"C:\\Build\\app.dll", Pseudorandom(3000), date};
    ArchiveEntry readme{"C:\\Build\\readme.txt", Text(200), date};
    // A first file whose stream is long enough to be cut in two.
    ArchiveEntry bigInstaller = Renamed(library, "C:\\Build\\INSTALL.EXE");

    std::vector<ArchiveEntry> Fifty() const {
        std::vector<ArchiveEntry> entries{installer};
        for (int i = 1; i < MaxFiles; ++i) {
            entries.emplace_back("C:\\Build\\part" + std::to_string(i) + ".dat", ToBytes(std::to_string(i)), date);
        }
        return entries;
    }
};

void AddSoundArchives(const Entries& e, FixtureList& list) {
    list.Sound("one-file", "the installation program alone", WriteArchive({e.installer}));
    list.Sound("three-files", "the installation program, a library and a text",
               WriteArchive({e.installer, e.library, e.readme}));
    list.Sound("stored", "three files stored, compression level 0",
               WriteArchive({e.installer, e.library, e.readme}, MinCompressionLevel));
    list.Sound("empty-file", "a second file of no bytes",
               WriteArchive({e.installer, ArchiveEntry("C:\\Build\\empty.dat", {}, e.date)}));
    list.Sound("fifty-files", "50 files, the most the loader takes", WriteArchive(e.Fifty()));
}

void AddBrokenCatalogs(const Entries& e, FixtureList& list) {
    const Bytes one = WriteArchive({e.installer});
    list.Broken("count-zero", "FileCount is 0", WithCount(one, 0));
    list.Broken("count-negative", "FileCount is -1", WithCount(one, -1));
    list.Broken("count-51", "FileCount is 51, one more than the loader takes", WithCount(WriteArchive(e.Fifty()), 51));
    list.Broken("count-0x7fffffff", "FileCount is 0x7FFFFFFF", WithCount(one, 0x7FFFFFFF));
    list.Broken("nextheader-wrong", "the first NextHeader points 3 bytes into the first file's data",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.nextHeader = f.dataStart + 3; }),
                              e.readme}));
    list.Broken("nextheader-self", "the first NextHeader points at its own header, so every header read is the first",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.nextHeader = f.dataStart - HeaderAndGap; }),
                              e.library, e.readme}));
    list.Broken("nextheader-past-end", "the first NextHeader points far beyond the end of the file",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.nextHeader = 0x7FFFFF00; }), e.readme}));
    list.Broken("cut-in-count", "the archive cut after 2 bytes, inside FileCount", Prefix(one, 2));
    const Bytes three = WriteArchive({e.installer, e.library, e.readme});
    list.Broken("cut-in-header", "the archive cut inside the first header", Prefix(three, FirstHeaderOffset + 60));
    list.Broken("cut-in-stream", "the archive cut half way through the second file's stream",
                Prefix(three, DataStartOf(three, 1) + 1500));
}

void AddBrokenNames(const Entries& e, FixtureList& list) {
    const Bytes one = WriteArchive({e.installer});
    list.Broken("name-length-255", "the stored name's length byte is 255, more than its 103 characters",
                WithByte(one, FirstHeaderOffset + 20, 255));
    list.Broken("name-dotdot", "the installation program stored as ..\\..\\Windows\\system32\\evil.exe",
                WriteArchive({Renamed(e.installer, "..\\..\\Windows\\system32\\evil.exe"), e.readme}));
    list.Broken("name-slash", "stored names with \"/\": C:/Build/../../INSTALL.EXE and ../readme.txt",
                WriteArchive({Renamed(e.installer, "C:/Build/../../INSTALL.EXE"), Renamed(e.readme, "../readme.txt")}));
    list.Broken("name-device", "a second file stored as C:\\Build\\CON",
                WriteArchive({e.installer, Renamed(e.readme, "C:\\Build\\CON")}));
    list.Broken("name-device-extension", "a second file stored as C:\\Build\\com1.dll",
                WriteArchive({e.installer, Renamed(e.readme, "C:\\Build\\com1.dll")}));
    list.Broken("name-stream", "the installation program stored as C:\\Build\\INSTALL.EXE:evil.exe, a stream",
                WriteArchive({Renamed(e.installer, "C:\\Build\\INSTALL.EXE:evil.exe"), e.readme}));
    list.Broken("name-empty", "a second file stored as C:\\Build\\, with no file-name part",
                WriteArchive({e.installer, Renamed(e.readme, "C:\\Build\\")}));
    list.Broken("name-dotdot-only", "a second file stored as C:\\Build\\..",
                WriteArchive({e.installer, Renamed(e.readme, "C:\\Build\\..")}));
}

void AddBrokenStreams(const Entries& e, FixtureList& list) {
    list.Broken("preset-dictionary", "the installation program's stream asks for a preset dictionary",
                WriteArchive({e.installer.WithStreamDamage(damage::RequirePresetDictionary), e.readme}));
    list.Broken("bytes-after-stream", "bytes follow the end of the first stream inside its span",
                WriteArchive({e.installer.WithStreamDamage(damage::AppendTrailingBytes), e.readme}));
    list.Broken("span-short", "the first span ends half way through its stream",
                WriteArchive({e.bigInstaller.WithHeaderDamage(
                                  [](Fields& f) { f.dataLast = f.dataStart + f.compressedSize / 2 - 1; }),
                              e.readme}));
    list.Broken("inflates-beyond-original", "a stream of 1 MiB of zeros whose OriginalSize says 16",
                WriteArchive({ArchiveEntry("C:\\Build\\INSTALL.EXE", Bytes(1 << 20, 0), e.date)
                                  .WithHeaderDamage([](Fields& f) { f.originalSize = 16; })}));
    list.Broken("corrupt-block", "the second stream's first block has the reserved type 3",
                WriteArchive({e.installer, e.library.WithStreamDamage(damage::CorruptFirstBlock)}));
    list.Broken("corrupt-checksum", "the second stream's Adler-32 is wrong",
                WriteArchive({e.installer, e.library.WithStreamDamage(damage::CorruptChecksum)}));
    list.Broken("datastart-beyond-end", "the first DataStart points far beyond the end of the file",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.dataStart = 0x7FFFFF00; })}));
    list.Broken("datalast-before-datastart", "the first DataLast lies 10 bytes before its DataStart",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.dataLast = f.dataStart - 10; })}));
    list.Broken("originalsize-negative", "the first OriginalSize is -1000",
                WriteArchive({e.installer.WithHeaderDamage([](Fields& f) { f.originalSize = -1000; }), e.readme}));
}

void AddBrokenDates(const Entries& e, FixtureList& list) {
    list.Broken("filedate-nan", "the installation program's FileDate is NaN",
                WriteArchive({Redated(e.installer, std::numeric_limits<double>::quiet_NaN())}));
    list.Broken("filedate-infinite", "the installation program's FileDate is +infinity",
                WriteArchive({Redated(e.installer, std::numeric_limits<double>::infinity())}));
    list.Broken("filedate-huge", "the installation program's FileDate is 1e300 days",
                WriteArchive({Redated(e.installer, 1e300)}));
    list.Broken("filedate-before-1980", "the installation program's FileDate is 31 December 1979, 23:59:59",
                WriteArchive({Redated(e.installer, MakeFileDate({1979, 12, 31, 23, 59, 59}))}));
}

void AddBrokenTrailers(std::span<const std::uint8_t> image, const Bytes& archive, FixtureList& list) {
    const Bytes file = SelfExtracting(image, archive);
    const std::size_t trailer = TrailerOffset(file);
    list.Broken("sfx-truncated-in-trailer", "the file cut 60 bytes before its end, inside the trailer",
                Prefix(file, file.size() - 60));
    list.Broken("sfx-truncated-in-catalog", "the file cut inside the first archive's first header",
                Prefix(file, image.size() + FirstHeaderOffset + 60));
    list.Broken("sfx-truncated-in-stream", "the file cut half way through the second file's stream",
                Prefix(file, image.size() + DataStartOf(archive, 1) + 1500));
    list.Broken("sfx-first-start-beyond-file", "FirstArchiveStart lies 4096 bytes beyond the end of the file",
                WithTrailerInt32(file, 16, static_cast<std::int32_t>(file.size() + 4096)));
    list.Broken("sfx-first-start-negative", "FirstArchiveStart is -1000", WithTrailerInt32(file, 16, -1000));
    list.Broken("sfx-first-start-in-trailer", "FirstArchiveStart points at the trailer itself",
                WithTrailerInt32(file, 16, static_cast<std::int32_t>(trailer)));
    Bytes cut = file;
    const auto cutFrom = static_cast<std::ptrdiff_t>(image.size() + archive.size() / 2);
    cut.erase(cut.begin() + cutFrom, cut.begin() + static_cast<std::ptrdiff_t>(image.size() + archive.size()));
    list.Broken("sfx-archive-cut-trailer-kept",
                "the second half of the first archive missing, the trailer still giving its full length", cut);
    list.Broken("sfx-title-length-255", "the product title's length byte is 255, more than its 82 characters",
                WithByte(file, trailer + 53, 255));
    Bytes lowerCase = file;
    const std::string magic = "selfextracting";
    std::copy(magic.begin(), magic.end(), lowerCase.begin() + static_cast<std::ptrdiff_t>(trailer + 1));
    list.Broken("sfx-magic-lower-case", "the trailer's magic in lower case, so the file is a plain loader", lowerCase);
}

}  // namespace

Bytes TinyLoaderImage() {
    constexpr std::size_t NewHeaderPointer = 0x3C;
    constexpr std::size_t NewHeader = 0x40;
    Bytes image(NewHeader + 8, 0);
    image[0] = 'M';
    image[1] = 'Z';
    WriteInt32(&image[NewHeaderPointer], static_cast<std::int32_t>(NewHeader));
    image[NewHeader] = 'P';
    image[NewHeader + 1] = 'E';
    return image;
}

std::vector<Fixture> ArchiveFixtures() {
    const Entries entries;
    FixtureList list;
    AddSoundArchives(entries, list);
    AddBrokenCatalogs(entries, list);
    AddBrokenNames(entries, list);
    AddBrokenStreams(entries, list);
    AddBrokenDates(entries, list);
    return list.Take();
}

std::vector<Fixture> SelfExtractingFixtures(std::span<const std::uint8_t> loaderImage) {
    const std::vector<Fixture> archives = ArchiveFixtures();
    FixtureList list;
    for (const Fixture& archive : archives) {
        list.Add("sfx-" + archive.name, archive.what + ", in a self-extracting loader", archive.sound,
                 SelfExtracting(loaderImage, archive.bytes));
    }
    AddBrokenTrailers(loaderImage, Named(archives, "three-files").bytes, list);
    return list.Take();
}

const Fixture& Named(const std::vector<Fixture>& fixtures, const std::string& name) {
    const auto found = std::find_if(fixtures.begin(), fixtures.end(), [&](const Fixture& f) { return f.name == name; });
    if (found == fixtures.end()) throw std::out_of_range("no fixture named " + name);
    return *found;
}

}  // namespace veltrane::fixtures
