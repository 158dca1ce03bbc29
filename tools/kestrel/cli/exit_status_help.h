// SPDX-License-Identifier: Apache-2.0
// The "Exit status:" part of a command's --help: statuses 0 and 2 are the
// same for every command (main() gives 2 for a wrong command line), status
// 1 and any further ones are the command's own, so that each --help lists
// only what that command can return.
#pragma once

#include <string>

namespace kestrel::tool {

// `failedWhen` and `more` are wrapped by the caller: continuation lines
// start with five spaces, `more` with "\n  3  ...".
inline std::string exitStatusHelp(const std::string& failedWhen, const std::string& more = "") {
    return "Exit status:\n"
           "  0  all went well\n"
           "  1  " +
           failedWhen +
           "\n"
           "  2  the command line was wrong" +
           more;
}

}  // namespace kestrel::tool
