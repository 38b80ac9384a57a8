// The builder's command line: four commands and their options, read in order so that an option
// for one file (--stored-name, --version-text) applies to the FILE after it.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "archive/writer/ArchiveWriter.h"

namespace veltrane::pack {

// A command line the builder cannot follow; main prints it with a pointer to --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct InputFile {
    std::filesystem::path path;
    std::optional<std::string> storedName;
    std::string versionText;
};

struct BuildOptions {
    bool selfExtracting = false;
    std::filesystem::path output;
    std::filesystem::path base = ".";
    std::optional<CivilTime> date;
    int level = DefaultCompressionLevel;
    bool quiet = false;
    std::filesystem::path loader;
    std::optional<std::string> title;
    std::vector<InputFile> first;   // the installation executable, then the other files
    std::vector<InputFile> second;  // sfx only: carried for the installation program
};

struct ListOptions {
    std::filesystem::path file;
    bool json = false;
};

struct VerifyOptions {
    std::filesystem::path file;
    bool strict = false;
};

struct ShowHelp {
    std::string text;
};

struct ShowVersion {};

using Command = std::variant<ShowHelp, ShowVersion, BuildOptions, ListOptions, VerifyOptions>;

Command ParseCommandLine(const std::vector<std::string>& arguments);

// "2024-05-17", "2024-05-17 19:13", "2024-05-17T19:13:22"; nothing when it is none of these or
// no date of the calendar.
std::optional<CivilTime> ParseDate(const std::string& text);

}  // namespace veltrane::pack
