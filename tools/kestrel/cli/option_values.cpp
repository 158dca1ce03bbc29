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

Status invalid(const std::string& option, std::string message) {
    Location where;
    where.key = option;
    return Status::failure(ErrorKind::Invalid, std::move(message), std::move(where));
}

}  // namespace

Result<unsigned> parseWholeNumber(const std::string& option, const std::string& text,
                                  unsigned min, unsigned max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    bool digits = !text.empty();
    for (char c : text) digits = digits && c >= '0' && c <= '9';
    errno = 0;
    const unsigned long long v = digits ? std::strtoull(text.c_str(), nullptr, 10) : 0;
    if (!digits || errno == ERANGE || v < min || v > max)
        return invalid(option,
                       option + " must be a whole number from " + range + " (got \"" + text + "\")");
    return static_cast<unsigned>(v);
}

Result<double> parsePositiveNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double v = text.empty() ? 0 : std::strtod(text.c_str(), &end);
    if (text.empty() || end == nullptr || *end != '\0' || std::isnan(v) || std::isinf(v))
        return invalid(option, option + " must be a number (got \"" + text + "\")");
    if (!(v > 0)) return invalid(option, option + " must be above 0 (got " + text + ")");
    return v;
}

Result<std::vector<unsigned>> parseWholeNumbers(const std::string& option,
                                                const std::vector<std::string>& texts,
                                                unsigned min, unsigned max) {
    std::vector<unsigned> values;
    for (const std::string& item : splitCommas(texts)) {
        Result<unsigned> v = parseWholeNumber(option, item, min, max);
        if (!v) return v.status();
        values.push_back(*v);
    }
    return values;
}

Result<std::vector<unsigned>> parseTargetPeaks(const std::string& option,
                                               const std::vector<std::string>& texts) {
    Result<std::vector<unsigned>> read = parseWholeNumbers(option, texts, 1, 10000);
    if (!read) return read;
    const std::vector<unsigned>& values = *read;
    for (size_t i = 0; i < values.size(); i++) {
        for (size_t k = 0; k < i; k++) {
            if (values[k] == values[i])
                return invalid(option, option + " lists " + std::to_string(values[i]) + " twice");
        }
    }
    return read;
}

Result<std::vector<double>> parsePositiveNumbers(const std::string& option,
                                                 const std::vector<std::string>& texts) {
    std::vector<double> values;
    for (const std::string& item : splitCommas(texts)) {
        Result<double> v = parsePositiveNumber(option, item);
        if (!v) return v.status();
        values.push_back(*v);
    }
    return values;
}

}  // namespace kestrel::tool
