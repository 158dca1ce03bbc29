// SPDX-License-Identifier: Apache-2.0
// Numbers given on the command line, read with messages that name the
// option and the range it takes ("--levels must be above 0 (got -1)"),
// instead of a conversion error or a range ending in a 300-digit number.
// A wrong value is an ErrorKind::Invalid failure whose location key is the
// option's name.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/status.h"

namespace kestrel::tool {

// A whole number from `min` to `max`.
Result<unsigned> parseWholeNumber(const std::string& option, const std::string& text,
                                  unsigned min, unsigned max);

// A finite number above 0.
Result<double> parsePositiveNumber(const std::string& option, const std::string& text);

// Lists: every item read as above; items may also be separated by commas.
Result<std::vector<unsigned>> parseWholeNumbers(const std::string& option,
                                                const std::vector<std::string>& texts,
                                                unsigned min, unsigned max);
// Peaks of target displays, 1 to 10000 cd/m², each at most once: a table or a
// page section per target, so the same one twice is a slip of the keyboard.
Result<std::vector<unsigned>> parseTargetPeaks(const std::string& option,
                                               const std::vector<std::string>& texts);
Result<std::vector<double>> parsePositiveNumbers(const std::string& option,
                                                 const std::vector<std::string>& texts);

// Moves a value that was read into `into`, which a failure leaves as it
// was: options read in a row stop at the first wrong one.
template <class T>
Status store(Result<T> read, T& into) {
    if (!read) return read.status();
    into = std::move(read).value();
    return {};
}

}  // namespace kestrel::tool
