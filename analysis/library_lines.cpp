// SPDX-License-Identifier: Apache-2.0
#include "analysis/library_lines.h"

#include "common/diagnostics.h"

namespace kestrel::analysis {

std::vector<LibraryLine> collectLibraryLines(const std::function<void()>& call) {
    std::vector<LibraryLine> lines;
    {
        diag::DiagnosticScope scope([&](const diag::Record& r) {
            lines.push_back({r.kind, r.priority, std::string(r.text), r.originLength});
        });
        call();
    }
    return lines;
}

std::string messageText(const LibraryLine& line) {
    if (line.kind == diag::RecordKind::kStdoutLine) return line.text.substr(line.originLength);
    return defaultSinkText(line);
}

bool isError(const LibraryLine& line) {
    return line.kind == diag::RecordKind::kLogLine && line.priority == diag::Priority::kError;
}

std::string defaultSinkText(const LibraryLine& line) {
    if (line.kind == diag::RecordKind::kStdoutLine) return line.text;
    // The letters of the log's priorities 3 to 6, as the stand-in log of a
    // host build prints them.
    char letter = '?';
    switch (line.priority) {
        case diag::Priority::kDebug:
            letter = 'D';
            break;
        case diag::Priority::kInfo:
            letter = 'I';
            break;
        case diag::Priority::kWarn:
            letter = 'W';
            break;
        case diag::Priority::kError:
            letter = 'E';
            break;
    }
    return std::string(1, letter) + "/" + diag::kLogTag + ": " + line.text;
}

}  // namespace kestrel::analysis
