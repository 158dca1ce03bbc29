#include "tools/kestrel/cli/display_options.h"

#include <cstdio>

#include "tools/kestrel/cli/option_values.h"

namespace kestrel::tool {

void DisplayOptionGroup::addTargets(CLI::App& command, const std::string& targetHelp) {
    command.add_option("--target-nits", mTargetTexts, targetHelp)
        ->expected(1)
        ->take_all()
        ->type_name("N[,N...]");
    command
        .add_option("--layer-nits", mLayerText,
                    "Maximum luminance of the layer, passed on as a host would (default " +
                        std::to_string(kDefaultLayerNits) + ")")
        ->type_name("N");
}

void DisplayOptionGroup::addMaxError(CLI::App& command) {
    char help[160];
    std::snprintf(help, sizeof help,
                  "Warn when the table's largest interpolation error exceeds this, of unit "
                  "gain (default %g)",
                  kDefaultMaxError);
    command.add_option("--max-error", mMaxErrorText, help)->type_name("E");
}

bool DisplayOptionGroup::readTargets(DisplayOptions& options, std::string& error) const {
    if (!mTargetTexts.empty() &&
        !parseTargetPeaks("--target-nits", mTargetTexts, options.targets, error))
        return false;
    if (!mLayerText.empty() &&
        !parseWholeNumber("--layer-nits", mLayerText, 0, 10000, options.layerNits, error))
        return false;
    return true;
}

bool DisplayOptionGroup::readMaxError(DisplayOptions& options, std::string& error) const {
    return mMaxErrorText.empty() ||
           parsePositiveNumber("--max-error", mMaxErrorText, options.maxError, error);
}

}  // namespace kestrel::tool
