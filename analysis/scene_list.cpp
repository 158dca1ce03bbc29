// SPDX-License-Identifier: Apache-2.0
#include "analysis/scene_list.h"

#include <cctype>
#include <sstream>

namespace kestrel::analysis {

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A whole decimal number below 2^32, or false.
bool frameNumber(const std::string& field, unsigned& value) {
    if (field.empty() || field.size() > 10) return false;
    unsigned long long n = 0;
    for (char c : field) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n > 0xffffffffull) return false;
    value = static_cast<unsigned>(n);
    return true;
}

Status lineFailure(unsigned line, const std::string& what) {
    Location where;
    where.key = "line " + std::to_string(line);
    return Status::failure(ErrorKind::Invalid, where.key + ": " + what, where);
}

}  // namespace

Result<std::vector<unsigned>> parseSceneList(const std::string& text, unsigned frameCount) {
    std::vector<unsigned> frames;
    std::istringstream lines(text);
    std::string line;
    unsigned number = 0;
    bool sawContent = false;
    while (std::getline(lines, line)) {
        number++;
        const std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        const std::string field = trimmed(content.substr(0, content.find(',')));
        const bool first = !sawContent;
        sawContent = true;
        unsigned frame = 0;
        if (!frameNumber(field, frame)) {
            if (first) continue;  // a header
            return lineFailure(number, "\"" + field + "\" is not a frame number");
        }
        if (frame >= frameCount) {
            return lineFailure(number, "frame " + std::to_string(frame) +
                                           " is beyond the clip, whose last frame is " +
                                           (frameCount == 0 ? std::string("none")
                                                            : std::to_string(frameCount - 1)));
        }
        if (!frames.empty() && frame <= frames.back()) {
            return lineFailure(number, "frame " + std::to_string(frame) +
                                           " does not come after frame " +
                                           std::to_string(frames.back()) + ": the list must rise");
        }
        frames.push_back(frame);
    }
    if (frames.empty()) return Status::failure(ErrorKind::Invalid, "no frame numbers");
    return frames;
}

}  // namespace kestrel::analysis
