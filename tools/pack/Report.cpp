#include "Report.h"

#include <cmath>
#include <cstdio>
#include <iomanip>

#include "Files.h"
#include "Inspect.h"
#include "WindowsNames.h"

namespace veltrane::pack {
namespace {

using Severity = Finding::Severity;

std::string DateText(double fileDate, char separator) {
    const auto time = CivilTimeOfFileDate(fileDate);
    if (!time) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d:%02d:%02d", time->year, time->month,
                  time->day, separator, time->hour, time->minute, time->second);
    return text;
}

std::string FormName(FileForm form) {
    return form == FileForm::SelfExtracting ? "self-extracting loader" : "archive";
}

std::size_t Count(const std::vector<Finding>& findings, Severity severity) {
    std::size_t count = 0;
    for (const Finding& finding : findings) count += finding.severity == severity;
    return count;
}

void PrintFindings(const std::vector<Finding>& findings, std::ostream& to) {
    for (const Finding& finding : findings) {
        to << (finding.severity == Severity::Problem ? "problem: " : "warning: ") << finding.where
           << ": " << finding.text << "\n";
    }
}

void PrintText(const std::string& fileName, const InspectedFile& inspected, std::ostream& out) {
    out << fileName << ": " << FormName(inspected.form) << ", " << inspected.size << " bytes\n";
    if (inspected.form == FileForm::SelfExtracting) {
        const SelfExtractTrailer& t = inspected.trailer;
        out << "trailer: first archive " << t.FirstArchiveStart() << " to " << t.FirstArchiveLast()
            << ", second archive " << t.SecondArchiveStart() << " to " << t.SecondArchiveLast()
            << ", title \"" << t.ProductTitle() << "\"\n";
    }
    for (const InspectedArchive& archive : inspected.archives) {
        out << "\n" << archive.name << " at " << archive.start << ", " << archive.length
            << " bytes: " << archive.fileCount << (archive.fileCount == 1 ? " file" : " files")
            << (archive.staged ? ", staged by the loader" : ", not read by the loader") << "\n";
        if (archive.headers.empty()) continue;
        out << "   #    original  compressed  date                 staged as             stored name\n";
        for (std::size_t i = 0; i < archive.headers.size(); ++i) {
            const ArchiveFileHeader& h = archive.headers[i].header;
            const std::string date = DateText(h.FileDate(), ' ');
            out << std::setw(4) << i + 1 << std::setw(12) << h.OriginalSize() << std::setw(12)
                << h.CompressedSize() << "  " << std::left << std::setw(19)
                << (date.empty() ? "(no date)" : date) << "  " << std::setw(20)
                << StagedName(h.StoredName()) << "  " << h.StoredName() << std::right << "\n";
        }
    }
}

// JSON strings are UTF-8; the names are bytes of a Windows code page, so bytes above 127 are
// written as the Latin-1 characters of the same value.
std::string Json(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void PrintJsonFile(const InspectedHeader& entry, std::ostream& out) {
    const ArchiveFileHeader& h = entry.header;
    const std::string date = DateText(h.FileDate(), 'T');
    out << "{\"storedName\": " << Json(h.StoredName())
        << ", \"stagedName\": " << Json(StagedName(h.StoredName()))
        << ", \"header\": " << entry.offset << ", \"dataStart\": " << h.DataStart()
        << ", \"dataLast\": " << h.DataLast() << ", \"nextHeader\": " << h.NextHeader()
        << ", \"originalSize\": " << h.OriginalSize()
        << ", \"compressedSize\": " << h.CompressedSize()
        << ", \"fileDate\": " << JsonNumber(h.FileDate())
        << ", \"date\": " << (date.empty() ? "null" : Json(date))
        << ", \"versionText\": " << Json(h.VersionText()) << "}";
}

void PrintJsonFindings(const std::vector<Finding>& findings, Severity severity, std::ostream& out) {
    const char* separator = "";
    out << "[";
    for (const Finding& finding : findings) {
        if (finding.severity != severity) continue;
        out << separator << "{\"where\": " << Json(finding.where)
            << ", \"text\": " << Json(finding.text) << "}";
        separator = ", ";
    }
    out << "]";
}

void PrintJson(const std::string& fileName, const InspectedFile& inspected, std::ostream& out) {
    out << "{\"file\": " << Json(fileName) << ",\n \"form\": "
        << (inspected.form == FileForm::SelfExtracting ? "\"self-extracting\"" : "\"archive\"")
        << ",\n \"size\": " << inspected.size << ",\n \"trailer\": ";
    if (inspected.form == FileForm::SelfExtracting) {
        const SelfExtractTrailer& t = inspected.trailer;
        out << "{\"firstArchiveStart\": " << t.FirstArchiveStart()
            << ", \"firstArchiveLast\": " << t.FirstArchiveLast()
            << ", \"secondArchiveStart\": " << t.SecondArchiveStart()
            << ", \"secondArchiveLast\": " << t.SecondArchiveLast()
            << ", \"productTitle\": " << Json(t.ProductTitle()) << "}";
    } else {
        out << "null";
    }
    out << ",\n \"archives\": [";
    for (std::size_t a = 0; a < inspected.archives.size(); ++a) {
        const InspectedArchive& archive = inspected.archives[a];
        out << (a ? ",\n  " : "\n  ") << "{\"name\": " << Json(archive.name)
            << ", \"staged\": " << (archive.staged ? "true" : "false")
            << ", \"start\": " << archive.start << ", \"length\": " << archive.length
            << ", \"fileCount\": " << archive.fileCount << ", \"flag\": " << int{archive.flag}
            << ", \"files\": [";
        for (std::size_t i = 0; i < archive.headers.size(); ++i) {
            out << (i ? ",\n    " : "\n    ");
            PrintJsonFile(archive.headers[i], out);
        }
        out << "]}";
    }
    out << "],\n \"problems\": ";
    PrintJsonFindings(inspected.findings, Severity::Problem, out);
    out << ",\n \"warnings\": ";
    PrintJsonFindings(inspected.findings, Severity::Warning, out);
    out << "}\n";
}

std::string Plural(std::size_t count, const char* noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace

int RunList(const ListOptions& options, std::ostream& out, std::ostream& err) {
    const Bytes file = ReadWholeFile(options.file);
    const InspectedFile inspected = Inspect(file);
    if (options.json) {
        PrintJson(options.file.string(), inspected, out);
    } else {
        PrintText(options.file.string(), inspected, out);
        PrintFindings(inspected.findings, err);
    }
    return Count(inspected.findings, Severity::Problem) == 0 ? 0 : 1;
}

int RunVerify(const VerifyOptions& options, std::ostream& out) {
    const Bytes file = ReadWholeFile(options.file);
    const InspectedFile inspected = Inspect(file);
    std::vector<Finding> findings = inspected.findings;
    const std::vector<Finding> more = CheckStreamsAndNames(inspected, file);
    findings.insert(findings.end(), more.begin(), more.end());

    std::size_t files = 0;
    for (const InspectedArchive& archive : inspected.archives) files += archive.headers.size();
    const std::string name = options.file.string();
    out << name << ": " << FormName(inspected.form) << ", " << Plural(files, "file") << "\n";
    PrintFindings(findings, out);
    const std::size_t problems = Count(findings, Severity::Problem);
    const std::size_t warnings = Count(findings, Severity::Warning);
    const bool sound = problems == 0 && (!options.strict || warnings == 0);
    out << name << ": " << (sound ? "sound" : "NOT sound") << " (" << Plural(problems, "problem")
        << ", " << Plural(warnings, "warning") << ")\n";
    return sound ? 0 : 1;
}

}  // namespace veltrane::pack
