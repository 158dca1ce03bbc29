// SPDX-License-Identifier: Apache-2.0
// What the plug-in did with a layer, in words and as JSON, and the block in
// the forms `frame` writes it: JSON sections and a C array.
#pragma once

#include <json/value.h>

#include <ostream>
#include <string>
#include <vector>

#include "plugin/hdrCoef.h"
#include "tools/kestrel/host/conversion_explainer.h"

namespace kestrel::tool {

// "converted (conversion 1): EOTF[st2084-pq] 1000 nit, GM bt2020 -> bt709,
// OETF[srgb] 500 nit <- 1000 nit", with a note wherever a lookup took an
// entry other than the one asked for. `frame` holds every layer of the
// call, so that a repeated conversion can name the layer it repeats.
std::string describeOutcome(const LayerReport& layer, const std::vector<LayerReport>& frame);

// The same as an object: "layer", "outcome" (pass-through, converted,
// repeated, tone-table, failed, not-reached), "conversion", "reason", the
// entries taken ("eotf", "gamut", "oetf") and "needed_tables".
Json::Value outcomeJson(const LayerReport& layer);

// The block by sections: flags, tables as x and y arrays, the matrix.
Json::Value blockJson(const hdrCoef& block);

// The block as a C initializer of its 354 words, in the order of hdrCoef's
// fields, each field's first word commented with its name.
void writeBlockCArray(std::ostream& out, const hdrCoef& block, const std::string& name);

}  // namespace kestrel::tool
