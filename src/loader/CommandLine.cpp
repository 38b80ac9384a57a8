#include "loader/CommandLine.h"

namespace veltrane {
namespace {

bool IsBlank(char c) {
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

void SkipBlanks(std::string_view text, std::size_t& i) {
    while (i < text.size() && IsBlank(text[i])) ++i;
}

std::string NextToken(std::string_view text, std::size_t& i) {
    std::string token;
    bool quoted = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && IsBlank(c)) {
            break;
        } else {
            token += c;
        }
    }
    return token;
}

char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> FirstArgument(std::string_view commandLine) {
    std::size_t i = 0;
    SkipBlanks(commandLine, i);
    NextToken(commandLine, i);  // the program's own name
    SkipBlanks(commandLine, i);
    if (i >= commandLine.size()) return std::nullopt;
    return NextToken(commandLine, i);
}

bool IsSwitch(std::string_view commandLine, std::string_view keyword) {
    const std::optional<std::string> argument = FirstArgument(commandLine);
    if (!argument || argument->empty() || argument->front() != '*') return false;
    return EqualsIgnoringAsciiCase(std::string_view(*argument).substr(1), keyword);
}

bool IsQuietSwitch(WindowsApi& api) {
    const char* commandLine = api.GetCommandLineA();
    return IsSwitch(commandLine ? commandLine : "", "QUIET");
}

bool IsToDiskSwitch(WindowsApi& api) {
    const char* commandLine = api.GetCommandLineA();
    return IsSwitch(commandLine ? commandLine : "", "TODISK");
}

}  // namespace veltrane
