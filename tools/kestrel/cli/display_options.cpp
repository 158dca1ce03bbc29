// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/cli/display_options.h"

#include <cstdio>

#include "tools/kestrel/cli/option_values.h"

namespace kestrel::tool {

void DisplayOptionGroup::addTargets(CLI::App& command, const std::string& targetHelp) {
    command.add_option("--target-nits", mTargetTexts, targetHelp)
        ->expected(1)
        ->take_all()
        ->allow_extra_args(false)  // the next word is the input, not a second peak
        ->type_name("N[,N...]");
    command
        .add_option("--layer-nits", mLayerText,
                    "Maximum luminance of the layer, passed on as a host would (default " +
                        std::to_string(kDefaultLayerNits) +
                        "). It changes nothing here: the library's table depends on the target "
                        "only")
        ->type_name("N");
}

void DisplayOptionGroup::addMaxError(CLI::App& command) {
    char help[160];
    std::snprintf(help, sizeof help,
                  "Warn when the table's largest interpolation error exceeds this, of unit "
                  "gain (default %g)",
                  kDefaultMaxError);
    command.add_option("--max-error", mMaxErrorText, help)->type_name("E");
    char ratioHelp[240];
    std::snprintf(ratioHelp, sizeof ratioHelp,
                  "Warn when the table shows any input up to the source peak more than R times "
                  "as bright as mastered (default %g: one photographic stop); a source peak "
                  "under %g cd/m² is a fade, warned about whatever R",
                  kDefaultMaxRatio, kFadePeakFloor);
    command.add_option("--max-ratio", mMaxRatioText, ratioHelp)->type_name("R");
}

Status DisplayOptionGroup::readTargets(DisplayOptions& options) const {
    Status status;
    if (!mTargetTexts.empty())
        status = store(parseTargetPeaks("--target-nits", mTargetTexts), options.targets);
    if (status && !mLayerText.empty())
        status = store(parseWholeNumber("--layer-nits", mLayerText, 0, 10000), options.layerNits);
    return status;
}

Status DisplayOptionGroup::readMaxError(DisplayOptions& options) const {
    Status status;
    if (!mMaxErrorText.empty())
        status = store(parsePositiveNumber("--max-error", mMaxErrorText), options.maxError);
    if (status && !mMaxRatioText.empty())
        status = store(parsePositiveNumber("--max-ratio", mMaxRatioText), options.maxRatio);
    return status;
}

}  // namespace kestrel::tool
