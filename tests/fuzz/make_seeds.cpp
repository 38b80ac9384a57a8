// Writes the fuzzers' seed corpus, a few named inputs per target, from the fixtures of
// BadInputs; with --fixtures, every fixture, for a suite that runs the real loader on them.
//
//   make_seeds tests/fuzz/corpus
//   make_seeds --fixtures DIR [--loader VeltraneLoadProgram.exe]
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "BadInputs.h"

namespace {

using namespace veltrane;
using namespace veltrane::fixtures;
namespace fs = std::filesystem;

// Sound inputs and one of each kind of fault, so that the fuzzers start from every branch of
// the reading without a corpus that takes long to replay.
const std::vector<std::string> Setup1Seeds = {
    "one-file", "three-files", "stored", "fifty-files", "count-0x7fffffff", "nextheader-self",
    "nextheader-wrong", "name-length-255", "name-dotdot", "name-device", "name-stream",
    "preset-dictionary", "bytes-after-stream", "span-short", "inflates-beyond-original", "filedate-nan"};
const std::vector<std::string> LoaderFileSeeds = {
    "sfx-one-file", "sfx-three-files", "sfx-empty-file", "sfx-truncated-in-trailer", "sfx-truncated-in-catalog",
    "sfx-truncated-in-stream", "sfx-first-start-beyond-file", "sfx-first-start-in-trailer",
    "sfx-archive-cut-trailer-kept", "sfx-title-length-255", "sfx-nextheader-self", "sfx-name-slash",
    "sfx-count-0x7fffffff", "sfx-corrupt-checksum", "sfx-filedate-nan", "sfx-datalast-before-datastart"};
const std::vector<std::string> PackReaderSeeds = {
    "three-files", "stored", "nextheader-self", "nextheader-wrong", "name-device", "name-length-255",
    "corrupt-block", "datalast-before-datastart", "sfx-three-files", "sfx-first-start-negative",
    "sfx-magic-lower-case", "sfx-title-length-255", "sfx-truncated-in-trailer"};

void Write(const fs::path& path, const Bytes& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fixture of either list, by its name.
const Fixture& Find(const std::vector<Fixture>& archives, const std::vector<Fixture>& selfExtracting,
                    const std::string& name) {
    return name.starts_with("sfx-") ? Named(selfExtracting, name) : Named(archives, name);
}

void WriteSeeds(const fs::path& corpus) {
    const std::vector<Fixture> archives = ArchiveFixtures();
    const std::vector<Fixture> selfExtracting = SelfExtractingFixtures(TinyLoaderImage());
    const auto writeAll = [&](const std::string& target, const std::vector<std::string>& names) {
        fs::remove_all(corpus / target);
        for (const std::string& name : names) Write(corpus / target / name, Find(archives, selfExtracting, name).bytes);
    };
    writeAll("setup1", Setup1Seeds);
    writeAll("loader_file", LoaderFileSeeds);
    writeAll("pack_reader", PackReaderSeeds);
}

// Archives as NAME.1 (to be put beside a loader as "setup.1"), self-extracting loaders as
// NAME.exe, and an index of what each one is.
void WriteFixtures(const fs::path& directory, const Bytes& loaderImage) {
    std::ofstream index;
    fs::create_directories(directory);
    index.open(directory / "index.txt", std::ios::trunc);
    const auto writeAll = [&](const std::vector<Fixture>& fixtures, const char* extension) {
        for (const Fixture& f : fixtures) {
            Write(directory / (f.name + extension), f.bytes);
            index << f.name << extension << "\t" << (f.sound ? "sound" : "broken") << "\t" << f.what << "\n";
        }
    };
    writeAll(ArchiveFixtures(), ".1");
    writeAll(SelfExtractingFixtures(loaderImage), ".exe");
    if (!index.flush()) throw std::runtime_error("cannot write the index in " + directory.string());
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const std::vector<std::string> args(argv + 1, argv + argc);
        if (args.size() == 1 && !args[0].starts_with("-")) {
            WriteSeeds(args[0]);
        } else if ((args.size() == 2 || args.size() == 4) && args[0] == "--fixtures" &&
                   (args.size() == 2 || args[2] == "--loader")) {
            WriteFixtures(args[1], args.size() == 4 ? ReadAll(args[3]) : TinyLoaderImage());
        } else {
            std::fprintf(stderr, "usage: make_seeds CORPUS-DIR\n       make_seeds --fixtures DIR [--loader EXE]\n");
            return 2;
        }
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "make_seeds: %s\n", failure.what());
        return 1;
    }
    return 0;
}
