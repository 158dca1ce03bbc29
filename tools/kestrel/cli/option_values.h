// SPDX-License-Identifier: Apache-2.0
// Numbers given on the command line, read with messages that name the
// option and the range it takes ("--levels must be above 0 (got -1)"),
// instead of a conversion error or a range ending in a 300-digit number.
#pragma once

#include <string>
#include <vector>

namespace kestrel::tool {

// A whole number from `min` to `max`.
bool parseWholeNumber(const std::string& option, const std::string& text, unsigned min,
                      unsigned max, unsigned& value, std::string& error);

// A finite number above 0.
bool parsePositiveNumber(const std::string& option, const std::string& text, double& value,
                         std::string& error);

// Lists: every item read as above; items may also be separated by commas.
bool parseWholeNumbers(const std::string& option, const std::vector<std::string>& texts,
                       unsigned min, unsigned max, std::vector<unsigned>& values,
                       std::string& error);
// Peaks of target displays, 1 to 10000 cd/m², each at most once: a table or a
// page section per target, so the same one twice is a slip of the keyboard.
bool parseTargetPeaks(const std::string& option, const std::vector<std::string>& texts,
                      std::vector<unsigned>& values, std::string& error);
bool parsePositiveNumbers(const std::string& option, const std::vector<std::string>& texts,
                          std::vector<double>& values, std::string& error);

}  // namespace kestrel::tool
