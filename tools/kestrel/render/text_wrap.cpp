// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/text_wrap.h"

namespace kestrel::tool {

namespace {

// Where a piece that does not fit may end: just after a space, else just
// after a '/', else before any character that does not continue a UTF-8
// sequence. Returns the longest prefix of `rest` that fits, 0 when none does.
size_t fittingLength(const std::string& rest, double maxWidth,
                     const std::function<double(const std::string&)>& widthOf) {
    auto longest = [&](auto isBreak) -> size_t {
        size_t best = 0;
        for (size_t i = 1; i <= rest.size(); i++) {
            if (!isBreak(i)) continue;
            if (widthOf(rest.substr(0, i)) > maxWidth) break;
            best = i;
        }
        return best;
    };
    const auto afterSpace = [&](size_t i) { return rest[i - 1] == ' '; };
    const auto afterSlash = [&](size_t i) { return rest[i - 1] == '/'; };
    const auto charBoundary = [&](size_t i) {
        return i == rest.size() || (static_cast<unsigned char>(rest[i]) & 0xC0) != 0x80;
    };
    if (size_t n = longest(afterSpace)) return n;
    if (size_t n = longest(afterSlash)) return n;
    return longest(charBoundary);
}

// Drops the space a line was broken after, so that lines do not end in one.
std::string trimmedEnd(std::string line) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::vector<std::string> wrapText(const std::string& text, double maxWidth,
                                  const std::function<double(const std::string&)>& widthOf) {
    std::vector<std::string> lines;
    std::string rest = text;
    while (widthOf(rest) > maxWidth) {
        size_t n = fittingLength(rest, maxWidth, widthOf);
        if (n == 0) {
            // Not even one character fits: one character (whole UTF-8
            // sequence) a line, so that the text still ends.
            n = 1;
            while (n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) n++;
        }
        lines.push_back(trimmedEnd(rest.substr(0, n)));
        rest.erase(0, n);
    }
    // A text cut up to its last character has nothing left for a last line.
    if (lines.empty() || !rest.empty()) lines.push_back(rest);
    return lines;
}

}  // namespace kestrel::tool
