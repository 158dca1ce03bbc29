// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/analyze_output.h"

#include <cstdio>

#include "clip/json_file.h"
#include "hdr10plus/internal/json_value.h"
#include "tools/kestrel/library_names.h"
#include "tools/kestrel/render/version.h"

namespace kestrel::tool {

namespace {

// A code of 0.1 cd/m² as cd/m² with its one decimal, exactly.
std::string nits(uint32_t code) {
    return std::to_string(code / 10) + "." + std::to_string(code % 10);
}

const char* kCsvHeader =
    "picture,shot,measured,cut_distance,maxscl_r,maxscl_g,maxscl_b,average_maxrgb,p1,p5,p10,p25,"
    "p50,p75,p90,p95,p99,p99_9,p99_98\n";

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string analysisJson(const ClipMeasurement& clip, const authoring::MetadataOptions& options) {
    std::vector<authoring::MeasuredPicture> pictures;
    pictures.reserve(clip.pictures.size());
    for (const MeasuredPictureInfo& p : clip.pictures) pictures.push_back({p.statistics, p.shot});
    std::vector<hdr10plus::Frame> frames = authoring::metadataFrames(pictures, clip.shots, options);
    return prettyJson(hdr10plus::writeJsonDocument(frames, {"kestrel analyze", projectVersion()}));
}

std::string analysisCsv(const ClipMeasurement& clip) {
    std::string out = kCsvHeader;
    char distance[32];
    for (size_t i = 0; i < clip.pictures.size(); ++i) {
        const MeasuredPictureInfo& p = clip.pictures[i];
        const measure::LuminanceStatistics& s = p.statistics;
        std::snprintf(distance, sizeof distance, "%.4f", static_cast<double>(p.cutDistance));
        out += std::to_string(i) + "," + std::to_string(p.shot) + "," + (p.measured ? "1" : "0") +
               "," + distance;
        for (uint32_t v : s.maxscl) out += "," + nits(v);
        out += "," + nits(s.averageMaxRgb);
        for (uint32_t v : s.percentiles) out += "," + nits(v);
        out += "," + nits(s.highlightPercentile) + "," + nits(s.brightPercentile) + "\n";
    }
    return out;
}

std::string analysisSummary(const std::string& path, const ClipMeasurement& clip,
                            const MeasureOptions& options) {
    size_t measured = 0, keyFrames = 0;
    for (const MeasuredPictureInfo& p : clip.pictures) {
        measured += p.measured;
        keyFrames += p.keyFrame;
    }
    std::string out = path + ": " + plural(clip.pictures.size(), "picture", "pictures") + ", " +
                      std::to_string(clip.width) + "x" + std::to_string(clip.height) + ", " +
                      std::to_string(clip.bitDepth) + "-bit PQ; " +
                      plural(clip.shots.size(), "shot", "shots") + " found in the pictures; ";
    const unsigned every = options.every == 0 ? 1 : options.every;
    if (options.keyFramesOnly) {
        out += std::to_string(measured) + " measured (" +
               (every <= 1 ? std::string("the key frames")
                           : "one key frame in " + std::to_string(every)) +
               " and the first of each shot; " + plural(keyFrames, "key frame", "key frames") +
               ")\n";
    } else {
        out += every <= 1 ? "every picture measured\n"
                          : std::to_string(measured) + " measured (one in " +
                                std::to_string(every) + " and the first of each shot)\n";
    }
    for (size_t s = 0; s < clip.shots.size(); ++s) {
        const measure::LuminanceStatistics& st = clip.shots[s];
        const unsigned first = clip.shotStarts[s];
        const unsigned last = s + 1 < clip.shotStarts.size()
                                  ? clip.shotStarts[s + 1] - 1
                                  : static_cast<unsigned>(clip.pictures.size() - 1);
        out += "shot " + std::to_string(s) + ", pictures " + std::to_string(first) + " to " +
               std::to_string(last) + ": MaxScl " + nits(st.maxscl[0]) + " " +
               nits(st.maxscl[1]) + " " + nits(st.maxscl[2]) + ", average maxRGB " +
               nits(st.averageMaxRgb) + ", 50 % " + nits(st.percentiles[4]) + ", 99 % " +
               nits(st.percentiles[8]) + ", 99.98 % " + nits(st.brightPercentile) +
               " (cd/m²)\n";
    }
    return out;
}

}  // namespace kestrel::tool
