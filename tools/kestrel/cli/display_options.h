// SPDX-License-Identifier: Apache-2.0
// The options of every command that adapts curves to target displays
// (lut, report, and the commands to come): target peaks, the layer's peak
// and the interpolation error limit, put on each command by one group,
// parsed by it once, with one set of defaults (those of ClipRequest).
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "common/status.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

struct DisplayOptions {
    std::vector<unsigned> targets{kDefaultTargetNits};  // target peaks, cd/m²
    unsigned layerNits = kDefaultLayerNits;
    double maxError = kDefaultMaxError;  // of unit gain
    double maxRatio = kDefaultMaxRatio;  // luminance ratio, for the brightening warning
};

class DisplayOptionGroup {
public:
    // --target-nits (with the command's own help, which says what several
    // targets give) and --layer-nits.
    void addTargets(CLI::App& command, const std::string& targetHelp);
    // --max-error and --max-ratio.
    void addMaxError(CLI::App& command);

    // The texts given, read into `options`: on failure the option's message,
    // naming it and the range it takes, with the option as the key. Targets and layer are read first, then
    // whatever the command reads of its own, then the error limit, so that
    // of several wrong options the first in that order is named.
    Status readTargets(DisplayOptions& options) const;
    Status readMaxError(DisplayOptions& options) const;

private:
    std::vector<std::string> mTargetTexts;
    std::string mLayerText;
    std::string mMaxErrorText;
    std::string mMaxRatioText;
};

}  // namespace kestrel::tool
