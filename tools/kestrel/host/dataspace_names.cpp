// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/dataspace_names.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "preset/Hdr10Lut.h"

namespace kestrel::tool {

namespace {

constexpr uint32_t kStandardShift = 16;
constexpr uint32_t kStandardMask = 0x3Fu << kStandardShift;
constexpr uint32_t kTransferShift = 22;
constexpr uint32_t kTransferMask = 0x1Fu << kTransferShift;
constexpr uint32_t kRangeShift = 27;
constexpr uint32_t kRangeMask = 0x7u << kRangeShift;

const DataspaceName kRangeNames[] = {
    {1u << kRangeShift, "full"},
    {2u << kRangeShift, "limited"},
    {3u << kRangeShift, "extended"},
};

enum Field { kStandard, kTransfer, kRange, kNumFields };

struct Word {
    std::vector<std::string> tokens;  // "adobe rgb" is two tokens
    uint32_t value;
    Field field;
};

std::vector<std::string> splitTokens(const std::string& text) {
    std::vector<std::string> tokens;
    std::istringstream in(text);
    std::string token;
    while (in >> token) tokens.push_back(token);
    return tokens;
}

const std::vector<Word>& vocabulary() {
    static const std::vector<Word> words = [] {
        std::vector<Word> all;
        for (const DataspaceName& n : standardNames) {
            all.push_back({splitTokens(n.name), n.value, kStandard});
        }
        for (const DataspaceName& n : transferNames) {
            all.push_back({splitTokens(n.name), n.value, kTransfer});
        }
        for (const DataspaceName& n : kRangeNames) {
            all.push_back({splitTokens(n.name), n.value, kRange});
        }
        return all;
    }();
    return words;
}

std::string knownNames() {
    std::string list;
    for (const Word& w : vocabulary()) {
        std::string name;
        for (const std::string& t : w.tokens) name += (name.empty() ? "" : " ") + t;
        if (list.find("\"" + name + "\"") != std::string::npos) continue;  // "unspecified"
        list += (list.empty() ? "\"" : ", \"") + name + "\"";
    }
    return list;
}

bool parseNumber(const std::string& text, uint32_t& out) {
    errno = 0;
    char* end = nullptr;
    // Hexadecimal with 0x, decimal otherwise (a leading 0 is not octal).
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == text.c_str() || *end != '\0') return false;
    if (v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

}  // namespace

Result<uint32_t> parseDataspaceText(const std::string& text) {
    std::vector<std::string> tokens = splitTokens(text);
    if (tokens.empty()) return Status::failure(ErrorKind::Invalid, "empty dataspace");
    if (tokens.size() == 1 &&
        (tokens[0][0] == '-' || (tokens[0][0] >= '0' && tokens[0][0] <= '9'))) {
        uint32_t number = 0;
        if (parseNumber(tokens[0], number)) return number;
        return Status::failure(ErrorKind::Invalid, "\"" + text + "\" is not a 32-bit number");
    }

    uint32_t value = 0;
    bool given[kNumFields] = {false, false, false};
    const char* fieldNames[kNumFields] = {"colour standard", "transfer", "range"};
    size_t at = 0;
    while (at < tokens.size()) {
        // Longest match first, so that "bt601-625 unadjusted" is one name.
        const Word* best = nullptr;
        for (const Word& w : vocabulary()) {
            if (w.tokens.size() > tokens.size() - at) continue;
            bool match = true;
            for (size_t k = 0; k < w.tokens.size() && match; k++) {
                match = w.tokens[k] == tokens[at + k];
            }
            if (match && (best == nullptr || w.tokens.size() > best->tokens.size())) best = &w;
        }
        if (best == nullptr) {
            return Status::failure(ErrorKind::Invalid, "unknown dataspace name \"" + tokens[at] +
                                                           "\" in \"" + text +
                                                           "\" (names: " + knownNames() + ")");
        }
        at += best->tokens.size();
        // "unspecified" is 0 in both tables: it sets no bit and claims no field.
        if (best->value == 0) continue;
        if (given[best->field]) {
            return Status::failure(ErrorKind::Invalid, "\"" + text + "\" names the " +
                                                           fieldNames[best->field] + " twice");
        }
        given[best->field] = true;
        value |= best->value;
    }
    return value;
}

Result<uint32_t> parseDataspace(const Json::Value& value) {
    if (value.isString()) return parseDataspaceText(value.asString());
    if (value.isIntegral() && value.asDouble() >= INT32_MIN && value.asDouble() <= UINT32_MAX)
        return value.isUInt() ? value.asUInt() : static_cast<uint32_t>(value.asInt());
    return Status::failure(
        ErrorKind::Invalid,
        "a dataspace is a 32-bit number or a string of names such as \"bt2020 st2084-pq\"");
}

std::string describeDataspace(uint32_t dataspace) {
    std::string words;
    auto add = [&words](const std::string& w) { words += (words.empty() ? "" : " ") + w; };

    uint32_t standard = (dataspace & kStandardMask) >> kStandardShift;
    uint32_t transfer = (dataspace & kTransferMask) >> kTransferShift;
    uint32_t range = (dataspace & kRangeMask) >> kRangeShift;
    if (standard < kNumStandards) {
        add(standardNames[standard].name);
    } else {
        add("standard " + std::to_string(standard));
    }
    if (transfer < kNumTransfers) {
        add(transferNames[transfer].name);
    } else {
        add("transfer " + std::to_string(transfer));
    }
    if (range >= 1 && range <= 3) add(kRangeNames[range - 1].name);
    if (range > 3) add("range " + std::to_string(range));

    char hex[16];
    std::snprintf(hex, sizeof hex, "%#x", dataspace);
    words += std::string(" (") + hex + ")";
    if ((dataspace & ~(kStandardMask | kTransferMask | kRangeMask)) != 0) {
        words += ", other bits set";
    }
    return words;
}

}  // namespace kestrel::tool
