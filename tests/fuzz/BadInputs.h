// Named inputs for the loader, sound and broken: the fuzzers' seeds, and the fixtures of any
// suite that feeds the loader hostile files (a self-extracting .exe or a "setup.1").
//
//   for (const Fixture& f : SelfExtractingFixtures(ReadWholeFile("VeltraneLoadProgram.exe")))
//       WriteFile(dir / (f.name + ".exe"), f.bytes);
//
// Every fixture is made by the archive writer and then damaged in one place, so that its name
// says everything that is wrong with it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "archive/writer/ArchiveWriter.h"

namespace veltrane::fixtures {

struct Fixture {
    std::string name;   // usable as a file name: "nextheader-self", "sfx-cut-in-trailer"
    std::string what;   // the fault, in one line
    bool sound = false;  // as the builder writes it, nothing wrong
    Bytes bytes;
};

// The smallest image that passes for a Windows executable: an MZ header whose e_lfanew points
// at "PE\0\0". Keeps the seeds small; a suite under Wine passes the real loader instead.
Bytes TinyLoaderImage();

// Archives as "setup.1" holds them: the sound ones first, then one per fault.
std::vector<Fixture> ArchiveFixtures();

// Self-extracting loaders made of the loader image: every archive of ArchiveFixtures carried
// as the first archive ("sfx-" and its name), then the faults of the file as a whole: a trailer
// that points wrongly, and the file cut short inside its trailer, its catalog or a stream.
std::vector<Fixture> SelfExtractingFixtures(std::span<const std::uint8_t> loaderImage);

// The fixture of that name in the list; std::out_of_range when there is none.
const Fixture& Named(const std::vector<Fixture>& fixtures, const std::string& name);

}  // namespace veltrane::fixtures
