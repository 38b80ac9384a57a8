// veltrane-pack: builds archives and self-extracting loaders for VeltraneLoadProgram, and lists
// and verifies them. Exit codes: 0 success, 1 refused, failed or not sound, 2 wrong usage.
#include <iostream>
#include <string>
#include <vector>

#include "Build.h"
#include "CommandLine.h"
#include "Files.h"
#include "Report.h"

namespace {

using namespace veltrane;
using namespace veltrane::pack;

constexpr int ExitUsage = 2;

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// clang 14 deduces an aggregate's template arguments only through a guide.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

int Run(const Command& command) {
    return std::visit(
        Overloaded{
            [](const ShowHelp& help) {
                std::cout << help.text;
                return 0;
            },
            [](const ShowVersion&) {
                std::cout << "veltrane-pack " << VELTRANE_VERSION << "\n";
                return 0;
            },
            [](const BuildOptions& options) { return RunBuild(options, std::cout, std::cerr); },
            [](const ListOptions& options) { return RunList(options, std::cout, std::cerr); },
            [](const VerifyOptions& options) { return RunVerify(options, std::cout); },
        },
        command);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc)));
    } catch (const UsageError& error) {
        std::cerr << "veltrane-pack: " << error.what() << "\n"
                  << "Run \"veltrane-pack --help\" for the commands and their options.\n";
        return ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << "veltrane-pack: " << error.what() << "\n";
        return 1;
    }
}
