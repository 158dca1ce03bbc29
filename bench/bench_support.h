// SPDX-License-Identifier: Apache-2.0
// What several benchmark files share: where the example presets are, the
// global store filled from the example preset, and the run-time options of
// kestrel_bench.
#pragma once

#include <string>

namespace bench {

// examples/presets/example_preset.json, the store the static cases use.
std::string examplePresetPath();
// The largest .json file under examples/presets/ ("" when there is none).
std::string largestExamplePresetPath();

// Loads the example preset into the library's global store once; false
// (with a message in *why) when the file is missing or gives no tables.
bool loadExamplePresetIntoGlobalStore(std::string* why);

// Frames of the writer-churn run (--kestrel_churn_frames, default 100000).
long churnFrames();
void setChurnFrames(long frames);

}  // namespace bench
