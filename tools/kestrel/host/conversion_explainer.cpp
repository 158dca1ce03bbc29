// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/host/conversion_explainer.h"

#include <algorithm>

#include "common/diagnostic_sink.h"
#include "plugin/dataspace.h"

namespace kestrel::tool {

namespace {

// The explainer's library lines repeat the plug-in's, which are shown.
void discard(const diag::Record&) {}

}  // namespace

ConversionExplainer::ConversionExplainer() {
    diag::DiagnosticScope quiet(discard);
    mStore = std::make_unique<Hdr10Lut>();
    mWriter = std::make_unique<DPUHdr10CommandWriter>(*mStore, &mOutcomes);
}

ConversionExplainer::~ConversionExplainer() {
    diag::DiagnosticScope quiet(discard);
    mWriter.reset();
    mStore.reset();
}

bool ConversionExplainer::loadPreset(const std::string& presetPath) {
    if (presetPath.empty()) return true;
    diag::DiagnosticScope quiet(discard);
    return mStore->load(presetPath.c_str());
}

void ConversionExplainer::feed(const std::function<void(IDPUHdr10CommandWriter&)>& calls) {
    diag::DiagnosticScope quiet(discard);
    calls(*mWriter);
}

bool neededTables(const LayerOutcome& outcome) {
    return outcome.kind == LayerOutcome::Kind::kPassThrough &&
           !isGammaTransfer(outcome.layerDataspace) && outcome.layerPeak > outcome.targetPeak;
}

hdrCoef* ConversionExplainer::getParams(const std::vector<int>& selected,
                                        std::vector<LayerReport>& layers) {
    hdrCoef* block = nullptr;
    {
        diag::DiagnosticScope quiet(discard);
        block = mWriter->getParams();
    }
    // The writer goes through the layers by index; the ones after a failure
    // are not reached.
    std::vector<int> order = selected;
    std::sort(order.begin(), order.end());
    order.erase(std::unique(order.begin(), order.end()), order.end());
    layers.clear();
    for (int index : order) {
        LayerReport report;
        report.index = index;
        for (const auto& [layer, outcome] : mOutcomes) {
            if (layer != index) continue;
            report.reached = true;
            report.outcome = outcome;
            report.neededTables = neededTables(outcome);
        }
        layers.push_back(report);
    }
    return block;
}

}  // namespace kestrel::tool
