// SPDX-License-Identifier: Apache-2.0
// What the plug-in did with each layer. Its block cannot say: every flag
// word is always 1, so a pass-through, a conversion and a missing preset
// entry look alike. The plug-in's own command writer runs here in the
// tool's process beside the loaded plug-in, over a store loaded from the
// preset file the plug-in uses, and is given the same calls; its store
// lookups are therefore the plug-in's, and it reports the entries they
// returned. Its block is kept to compare with the plug-in's: a plug-in
// built from other code (--plugin) may differ, and then the report says so.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plugin/DPUHdr10CommandWriter.h"
#include "preset/Hdr10Lut.h"

namespace kestrel::tool {

// One layer of one getParams() call.
struct LayerReport {
    int index = 0;
    bool reached = false;  // false: an earlier layer failed and the call stopped there
    LayerOutcome outcome;  // meaningful when reached; points into the explainer's store
    // A layer passed through although it is not a gamma layer and is
    // brighter than the target: it needed tables and got none.
    bool neededTables = false;
};

class ConversionExplainer {
public:
    ConversionExplainer();
    ~ConversionExplainer();
    ConversionExplainer(const ConversionExplainer&) = delete;
    ConversionExplainer& operator=(const ConversionExplainer&) = delete;

    // Loads `presetPath` into the store as the plug-in loads its own (an
    // empty path leaves the store empty, as a build without a preset has
    // it). False when the file could not be loaded; the store is then as
    // empty as the plug-in's would be.
    bool loadPreset(const std::string& presetPath);

    // Gives the writer every call the plug-in's writer is given (its lines
    // go nowhere).
    void feed(const std::function<void(IDPUHdr10CommandWriter&)>& calls);

    // getParams() on the writer, and what it did with each layer selected
    // (`selected`: the indexes the frame set static metadata for, accepted).
    hdrCoef* getParams(const std::vector<int>& selected, std::vector<LayerReport>& layers);

private:
    std::unique_ptr<Hdr10Lut> mStore;
    DPUHdr10CommandWriter::Outcomes mOutcomes;
    std::unique_ptr<DPUHdr10CommandWriter> mWriter;
};

// Which layers need tables: see LayerReport::neededTables.
bool neededTables(const LayerOutcome& outcome);

}  // namespace kestrel::tool
