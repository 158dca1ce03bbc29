// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/report_video.h"

#include "tools/kestrel/render/report_curves.h"

#include <algorithm>
#include <cmath>

namespace kestrel::tool {

namespace {

Json::Value unsignedArray(const std::vector<unsigned>& values) {
    Json::Value a(Json::arrayValue);
    for (unsigned v : values) a.append(v);
    return a;
}

Json::Value stringArray(const std::vector<std::string>& values) {
    Json::Value a(Json::arrayValue);
    for (const std::string& v : values) a.append(v);
    return a;
}

}  // namespace

std::string jpegDataUrl(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out = "data:image/jpeg;base64,";
    out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 2 == bytes.size();
        const unsigned v = (bytes[i] << 16) | (two ? bytes[i + 1] << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

Json::Value reportVideoJson(const ReportVideo& video, bool withPictures) {
    Json::Value v;
    v["pictures"] = video.pictures;
    v["width"] = video.width;
    v["height"] = video.height;
    v["shot_first_frames"] = unsignedArray(video.shotStarts);
    std::vector<double> peaks, averages;
    std::vector<double> percentiles[std::size(kShownPercentages)];
    for (const MeasuredFrame& m : video.measured) {
        peaks.push_back(m.sourcePeakNits);
        averages.push_back(m.averageMaxRgbNits);
        for (size_t k = 0; k < std::size(kShownPercentages); k++)
            percentiles[k].push_back(m.percentileNits[k]);
    }
    Json::Value& measured = v["measured"];
    measured["source_peak_nits"] = nitsArray(peaks);
    measured["source_peak_pq_codes"] = pqCodeArray(peaks);
    measured["average_maxrgb_nits"] = nitsArray(averages);
    measured["average_maxrgb_pq_codes"] = pqCodeArray(averages);
    // The entries without their PQ codes: they are shown for one frame at a
    // time, not drawn, and a film's 173,000 codes per entry would take 2 MB
    // of a page whose pictures get what the data leaves of its bound.
    for (size_t k = 0; k < std::size(kShownPercentages); k++)
        measured["percentile_" + std::to_string(kShownPercentages[k]) + "_nits"] =
            nitsArray(percentiles[k]);
    // The smallest positive and the largest, for the timelines' axes.
    double lo = 0, hi = 0;
    for (const std::vector<double>* values : {&peaks, &averages}) {
        for (double x : *values) {
            if (!(std::isfinite(x) && x > 0)) continue;
            lo = lo > 0 ? std::min(lo, x) : x;
            hi = std::max(hi, x);
        }
    }
    measured["range_nits"]["min"] = jsonNumber(lo > 0 ? lo : std::nan(""));
    measured["range_nits"]["max"] = jsonNumber(hi > 0 ? hi : std::nan(""));

    if (!withPictures) return v;
    Json::Value& pictured = v["pictured"];
    pictured["frame"] = Json::Value(Json::arrayValue);
    pictured["shot_start"] = Json::Value(Json::arrayValue);
    pictured["refused"] = Json::Value(Json::arrayValue);
    pictured["table"] = Json::Value(Json::arrayValue);
    pictured["curve"] = Json::Value(Json::arrayValue);
    pictured["thumbnail"] = Json::Value(Json::arrayValue);
    for (const PicturedFrame& p : video.pictured) {
        pictured["frame"].append(p.frame);
        pictured["shot_start"].append(p.shotStart);
        pictured["refused"].append(stringArray(p.refused));
        pictured["table"].append(stringArray(p.table));
        pictured["curve"].append(stringArray(p.curve));
        pictured["thumbnail"].append(p.thumbnail);
    }
    v["shown_width"] = video.shownWidth;
    v["shown_height"] = video.shownHeight;
    v["picture_bytes"] = static_cast<Json::UInt64>(video.pictureBytes);
    v["picture_budget_bytes"] = static_cast<Json::UInt64>(video.pictureBudgetBytes);
    v["frames_left_out_for_size"] = video.framesLeftOut;
    return v;
}

}  // namespace kestrel::tool
