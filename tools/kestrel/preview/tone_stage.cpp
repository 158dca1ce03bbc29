// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/tone_stage.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "picture/row_threads.h"
#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

const char* tonePathName(TonePath path) {
    switch (path) {
        case TonePath::Source:
            return "source";
        case TonePath::Table:
            return "table";
        case TonePath::Curve:
            return "curve";
    }
    return "source";
}

Result<ToneStage> makeToneStage(const _VelmorHdrDynamicInfo& record, unsigned targetNits,
                                unsigned layerNits, double sourcePeak) {
    ToneStage stage;
    stage.lut = analyseLut(record, targetNits, layerNits);
    if (sourcePeak > 0) {
        stage.lut.sourcePeak = sourcePeak;
        stage.peakGiven = true;
    } else if (!(stage.lut.sourcePeak > 0)) {
        return Status::failure(ErrorKind::Invalid,
                               "its metadata gives a source peak of 0 cd/m² (the brightest "
                               "MaxScl component, capped by a last distribution entry at 99 %), "
                               "so the table's input scale is unknown; give one with "
                               "--source-peak");
    }
    if (stage.lut.firstDecrease >= 0) {
        return Status::failure(ErrorKind::Invalid,
                               "the table for " + std::to_string(targetNits) +
                                   " cd/m² cannot be used: entry " +
                                   std::to_string(stage.lut.firstDecrease) +
                                   " has an abscissa below the entry before it");
    }
    stage.curve = toneCurveOf(stage.lut.adapted);
    return stage;
}

double tableOutput(const ToneStage& stage, double maxRgb) {
    return outputAtLevel(stage.lut, maxRgb);
}

double curveOutput(const ToneStage& stage, double maxRgb) {
    const double t = std::min(maxRgb / stage.lut.sourcePeak, 1.0);
    return evaluate(stage.curve, t) * stage.lut.targetNits;
}

picture::RgbImage applyToneStage(const ToneStage& stage, TonePath path,
                                 const picture::RgbImage& in, unsigned threads) {
    picture::RgbImage out;
    out.width = in.width;
    out.height = in.height;
    out.r.resize(in.r.size());
    out.g.resize(in.g.size());
    out.b.resize(in.b.size());
    const float peak = static_cast<float>(stage.lut.targetNits);
    picture::forEachRowBlock(in.height, threads, [&](unsigned from, unsigned to) {
        const size_t begin = static_cast<size_t>(from) * in.width;
        const size_t end = static_cast<size_t>(to) * in.width;
        for (size_t i = begin; i < end; i++) {
            const float r = in.r[i], g = in.g[i], b = in.b[i];
            float scale = 1.0f;
            if (path != TonePath::Source) {
                const double m = std::max({r, g, b});
                // A black pixel stays black (the table's gain at 0 has no light to scale).
                const double light = m > 0 ? (path == TonePath::Table ? tableOutput(stage, m)
                                                                      : curveOutput(stage, m))
                                           : 0.0;
                scale = m > 0 ? static_cast<float>(light / m) : 0.0f;
            }
            out.r[i] = std::min(r * scale, peak);
            out.g[i] = std::min(g * scale, peak);
            out.b[i] = std::min(b * scale, peak);
        }
    });
    return out;
}

}  // namespace kestrel::tool
