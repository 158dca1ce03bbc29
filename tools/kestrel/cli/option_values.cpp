// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/option_values.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace kestrel::tool {

namespace {

std::vector<std::string> splitCommas(const std::vector<std::string>& texts) {
    std::vector<std::string> items;
    for (const std::string& text : texts) {
        size_t start = 0;
        for (;;) {
            const size_t comma = text.find(',', start);
            items.push_back(text.substr(start, comma - start));
            if (comma == std::string::npos) break;
            start = comma + 1;
        }
    }
    return items;
}

}  // namespace

bool parseWholeNumber(const std::string& option, const std::string& text, unsigned min,
                      unsigned max, unsigned& value, std::string& error) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    bool digits = !text.empty();
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    errno = 0;
    const unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || errno == ERANGE || v < min || v > max) {
        error = option + " must be a whole number from " + range + " (got \"" + text + "\")";
        return false;
    }
    value = static_cast<unsigned>(v);
    return true;
}

bool parsePositiveNumber(const std::string& option, const std::string& text, double& value,
                         std::string& error) {
    char* end = nullptr;
    const double v = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || std::isnan(v) || std::isinf(v)) {
        error = option + " must be a number (got \"" + text + "\")";
        return false;
    }
    if (!(v > 0)) {
        error = option + " must be above 0 (got " + text + ")";
        return false;
    }
    value = v;
    return true;
}

bool parseWholeNumbers(const std::string& option, const std::vector<std::string>& texts,
                       unsigned min, unsigned max, std::vector<unsigned>& values,
                       std::string& error) {
    values.clear();
    for (const std::string& item : splitCommas(texts)) {
        unsigned v = 0;
        if (!parseWholeNumber(option, item, min, max, v, error)) return false;
        values.push_back(v);
    }
    return true;
}

bool parseTargetPeaks(const std::string& option, const std::vector<std::string>& texts,
                      std::vector<unsigned>& values, std::string& error) {
    if (!parseWholeNumbers(option, texts, 1, 10000, values, error)) return false;
    for (size_t i = 0; i < values.size(); i++) {
        for (size_t k = 0; k < i; k++) {
            if (values[k] == values[i]) {
                error = option + " lists " + std::to_string(values[i]) + " twice";
                return false;
            }
        }
    }
    return true;
}

bool parsePositiveNumbers(const std::string& option, const std::vector<std::string>& texts,
                          std::vector<double>& values, std::string& error) {
    values.clear();
    for (const std::string& item : splitCommas(texts)) {
        double v = 0;
        if (!parsePositiveNumber(option, item, v, error)) return false;
        values.push_back(v);
    }
    return true;
}

}  // namespace kestrel::tool
