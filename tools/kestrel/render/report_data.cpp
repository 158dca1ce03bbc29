#include "tools/kestrel/render/report_data.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <set>

#include "analysis/pq.h"
#include "tools/kestrel/render/row_formats.h"
#include "tools/kestrel/render/version.h"

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The page's curves: inputs from the shadows the curve charts start at to
// the brightest source peak, evenly spaced on a log scale. 16 samples a
// decade draw the curves smoothly at the page's size.
constexpr int kCurveSamplesPerDecade = 16;

Json::Value number(double v) { return std::isfinite(v) ? Json::Value(v) : Json::Value(); }

const char* sceneSourceName(SceneSource s) {
    switch (s) {
        case SceneSource::SceneFields:
            return "scene fields";
        case SceneSource::SceneList:
            return "scene list";
        case SceneSource::MetadataChanges:
            break;
    }
    return "metadata changes";
}

// What the jump check could look at, said plainly: the page's badges and the
// command's notice are made from it.
Json::Value jumpCheckJson(const Report& report) {
    Json::Value c;
    const bool inside = jumpsInsideScenesChecked(report.scenes);
    c["jumps_inside_scenes"] = inside;
    c["short_runs"] = true;
    c["max_short_run_frames"] = kMaxGlitchFrames;
    c["said"] =
        inside ? "jumps inside scenes, and short runs of " + std::to_string(kMaxGlitchFrames) +
                     " frames or fewer that stand out from both neighbours"
               : "only short runs of " + std::to_string(kMaxGlitchFrames) +
                     " frames or fewer that stand out from both neighbours: every scene is one "
                     "run of identical metadata, so no jump inside a scene can be found "
                     "(give the cuts with --scenes FILE)";
    return c;
}

// A target's badge: red with flagged frames; green only when jumps inside
// scenes could be looked for; otherwise amber, saying what was checked.
Json::Value badgeJson(const Report& report, size_t t) {
    Json::Value b;
    const size_t flagged = flaggedFrameCount(report, t);
    if (flagged > 0) {
        b["kind"] = "bad";
        b["text"] = std::to_string(flagged) + " flagged frame" + (flagged > 1 ? "s" : "");
    } else if (!jumpsInsideScenesChecked(report.scenes)) {
        b["kind"] = "partial";
        b["text"] = "no glitch in short runs; jumps inside scenes not checked";
    } else {
        b["kind"] = "good";
        b["text"] = "no jumps";
    }
    return b;
}

// The largest |table - curve| gain of each of the table's segments, as a
// fraction of unit gain, with the input (cd/m²) where it occurs.
Json::Value segmentErrors(const LutAnalysis& a) {
    Json::Value list(Json::arrayValue);
    if (a.firstDecrease >= 0) return list;
    for (const SegmentError& s : segmentInterpolationErrors(a.points, toneCurveOf(a.adapted))) {
        Json::Value e(Json::arrayValue);
        e.append(inputNits(a, s.at));
        e.append(s.error / kUnitGain);
        list.append(e);
    }
    return list;
}

Json::Value curvesJson(const FrameRow& row, const std::vector<double>& grid) {
    const LutAnalysis& a = row.lut;
    Json::Value c;
    c["points"] = Json::Value(Json::arrayValue);
    for (const TablePoint& p : a.points) {
        Json::Value point(Json::arrayValue);
        point.append(inputNits(a, p.x));
        point.append(p.gain / kUnitGain);
        c["points"].append(point);
    }
    // The curve is defined up to the frame's own source peak.
    c["adapted_nits"] = Json::Value(Json::arrayValue);
    const ToneCurve adapted = toneCurveOf(a.adapted);
    for (double nits : grid) {
        const bool inside = a.sourcePeak > 0 && nits <= a.sourcePeak * (1 + 1e-12);
        c["adapted_nits"].append(
            number(inside ? evaluate(adapted, nits / a.sourcePeak) * a.targetNits : kNaN));
    }
    c["segment_errors"] = segmentErrors(a);
    return c;
}

std::vector<double> curveGrid(const Report& report) {
    // Frames without statistics have no curve in cd/m² and do not count.
    double from = kPqMaxNits, peak = 0;
    for (const FrameRow& row : report.clip.targets.front().frames) {
        if (!(row.lut.sourcePeak > 0)) continue;
        double rowFrom = 0, rowTo = 0;
        defaultCurveRange(row.lut, rowFrom, rowTo);
        from = std::min(from, rowFrom);
        peak = std::max(peak, rowTo);
    }
    if (!(peak > from)) from = 0.01, peak = kPqMaxNits;
    const double decades = std::log10(peak / from);
    const int count = std::max(1, static_cast<int>(std::ceil(decades * kCurveSamplesPerDecade)));
    std::vector<double> grid;
    for (int i = 0; i <= count; i++)
        grid.push_back(from * std::pow(peak / from, static_cast<double>(i) / count));
    grid.back() = peak;
    return grid;
}

// Frames with the same record and target have the same table and curves:
// the page keeps one copy of each, which real clips (whose metadata changes
// per scene) shrink by orders of magnitude.
void addCurves(Json::Value& target, const TargetRows& rows, const std::vector<double>& grid) {
    target["curves"] = Json::Value(Json::arrayValue);
    target["curve_of_frame"] = Json::Value(Json::arrayValue);
    std::map<std::string, Json::UInt> distinct;  // record bytes -> index in "curves"
    for (const FrameRow& row : rows.frames) {
        const std::string key(reinterpret_cast<const char*>(&row.lut.source),
                              sizeof row.lut.source);
        auto found = distinct.find(key);
        if (found == distinct.end()) {
            found = distinct.emplace(key, static_cast<Json::UInt>(distinct.size())).first;
            target["curves"].append(curvesJson(row, grid));
        }
        const Json::UInt k = found->second;
        target["curve_of_frame"].append(static_cast<Json::UInt>(k));
    }
}

}  // namespace

const std::vector<double>& reportLevels() {
    static const std::vector<double> levels{1, 10, 100, 1000};
    return levels;
}

std::string levelKey(size_t l) {
    if (l >= reportLevels().size()) return "average";
    char text[32];
    std::snprintf(text, sizeof text, "%g", reportLevels()[l]);
    return text;
}

Report buildReport(const Hdr10PlusDocument& document, const ReportRequest& request,
                   const std::function<void(unsigned, unsigned)>& progress) {
    Report report;
    report.file = request.file;
    report.thresholdCodes = request.thresholdCodes;
    ClipRequest clipRequest;
    clipRequest.targets = request.targets;
    clipRequest.layerNits = request.layerNits;
    clipRequest.levels = reportLevels();
    clipRequest.maxError = request.maxError;
    report.clip = analyseClip(document, clipRequest, progress);
    for (TargetRows& rows : report.clip.targets) {
        for (FrameRow& row : rows.frames) {
            row.levelOutputs.push_back(
                row.averageMaxRgbNits >= 0 ? outputAtLevel(row.lut, row.averageMaxRgbNits) : kNaN);
        }
    }
    static const std::vector<FrameRow> kNoRows;
    const std::vector<FrameRow>& first =
        report.clip.targets.empty() ? kNoRows : report.clip.targets.front().frames;
    report.scenes = request.sceneList.empty() ? splitScenes(first)
                                              : scenesFromList(first, request.sceneList);
    for (const TargetRows& rows : report.clip.targets) {
        report.jumps.push_back(
            findJumps(rows.frames, report.scenes.sceneOf, report.thresholdCodes));
        report.glitches.push_back(findGlitches(rows.frames, report.thresholdCodes));
    }
    return report;
}

size_t flaggedFrameCount(const std::vector<Jump>& jumps) {
    std::set<unsigned> frames;
    for (const Jump& j : jumps) frames.insert(j.frame);
    return frames.size();
}

size_t flaggedFrameCount(const Report& report, size_t t) {
    std::set<unsigned> frames;
    if (t < report.jumps.size()) {
        for (const Jump& j : report.jumps[t]) frames.insert(j.frame);
    }
    if (t < report.glitches.size()) {
        for (const Glitch& g : report.glitches[t]) {
            for (unsigned f = g.firstFrame; f <= g.lastFrame; f++) frames.insert(f);
        }
    }
    return frames.size();
}

Json::Value reportJson(const Report& report, bool withCurves) {
    const ClipAnalysis& clip = report.clip;
    static const std::vector<FrameRow> kNoRows;
    const std::vector<FrameRow>& rows = clip.targets.empty() ? kNoRows : clip.targets[0].frames;

    Json::Value v;
    v["file"] = report.file;
    v["library_version"] = projectVersion();
    v["frame_count"] = clip.frameCount;
    v["frames_with_metadata"] = static_cast<Json::UInt>(rows.size());
    v["frames_rejected"] = static_cast<Json::UInt>(clip.rejected.size());
    unsigned withCurve = 0;
    double peakLo = kNaN, peakHi = kNaN;
    std::set<unsigned> targeted;
    for (const FrameRow& row : rows) {
        if (row.lut.source.tone_mapping_flag == 1) {
            withCurve++;
            targeted.insert(row.lut.source.targeted_system_display_maximum_luminance);
        }
        if (row.lut.sourcePeak > 0) {
            peakLo = std::isnan(peakLo) ? row.lut.sourcePeak : std::min(peakLo, row.lut.sourcePeak);
            peakHi = std::isnan(peakHi) ? row.lut.sourcePeak : std::max(peakHi, row.lut.sourcePeak);
        }
    }
    v["frames_with_tone_curve"] = withCurve;
    v["rejected"] = Json::Value(Json::arrayValue);
    for (const std::string& e : clip.rejected) v["rejected"].append(e);
    v["source_peak_nits"]["min"] = number(peakLo);
    v["source_peak_nits"]["max"] = number(peakHi);
    v["targeted_display_nits"] = Json::Value(Json::arrayValue);
    for (unsigned t : targeted) v["targeted_display_nits"].append(t);

    v["scene_source"] = sceneSourceName(report.scenes.source);
    v["scene_count"] = static_cast<Json::UInt>(report.scenes.firstFrames.size());
    v["scene_first_frames"] = Json::Value(Json::arrayValue);
    for (unsigned f : report.scenes.firstFrames) v["scene_first_frames"].append(f);
    v["scenes_are_metadata_runs"] = report.scenes.scenesAreMetadataRuns;
    v["jump_check"] = jumpCheckJson(report);
    v["jump_threshold_pq_codes"] = report.thresholdCodes;
    v["levels"] = Json::Value(Json::arrayValue);
    for (size_t l = 0; l <= reportLevels().size(); l++) v["levels"].append(levelKey(l));

    v["frames"] = Json::Value(Json::arrayValue);
    for (size_t i = 0; i < rows.size(); i++) {
        Json::Value f;
        f["frame"] = rows[i].frame;
        f["scene"] = report.scenes.sceneOf[i];
        f["source_peak_nits"] = number(rows[i].lut.sourcePeak > 0 ? rows[i].lut.sourcePeak : kNaN);
        f["average_maxrgb_nits"] =
            number(rows[i].averageMaxRgbNits >= 0 ? rows[i].averageMaxRgbNits : kNaN);
        v["frames"].append(f);
    }

    const std::vector<double> grid =
        withCurves && !rows.empty() ? curveGrid(report) : std::vector<double>{};
    if (withCurves) {
        v["curve_grid_nits"] = Json::Value(Json::arrayValue);
        for (double g : grid) v["curve_grid_nits"].append(g);
    }

    v["targets"] = Json::Value(Json::arrayValue);
    for (size_t t = 0; t < clip.targets.size(); t++) {
        const TargetRows& target = clip.targets[t];
        Json::Value tv;
        tv["target_nits"] = target.targetNits;
        tv["flagged_frame_count"] = static_cast<Json::UInt>(flaggedFrameCount(report, t));
        tv["badge"] = badgeJson(report, t);
        tv["frames"] = Json::Value(Json::arrayValue);
        for (const FrameRow& row : target.frames) {
            Json::Value f;
            f["frame"] = row.frame;
            for (size_t l = 0; l < row.levelOutputs.size(); l++)
                f["output_nits"][levelKey(l)] = number(row.levelOutputs[l]);
            const bool usable = row.lut.firstDecrease < 0;
            f["max_interpolation_error"] = number(usable ? row.lut.maxError / kUnitGain : kNaN);
            f["max_interpolation_error_at_nits"] = number(
                usable && row.lut.sourcePeak > 0 ? inputNits(row.lut, row.lut.maxErrorAt) : kNaN);
            f["warnings"] = warningsJson(row.warnings);  // as `kestrel lut` lists them
            tv["frames"].append(f);
        }
        tv["flagged"] = Json::Value(Json::arrayValue);
        for (const Jump& j : report.jumps[t]) {
            Json::Value f;
            f["frame"] = j.frame;
            f["previous_frame"] = j.previousFrame;
            f["scene"] = j.scene;
            f["level"] = levelKey(j.level);
            f["before_nits"] = j.beforeNits;
            f["after_nits"] = j.afterNits;
            f["before_pq_code"] = j.beforeCode;
            f["after_pq_code"] = j.afterCode;
            tv["flagged"].append(f);
        }
        tv["glitches"] = Json::Value(Json::arrayValue);
        for (const Glitch& g : report.glitches[t]) {
            Json::Value f;
            f["first_frame"] = g.firstFrame;
            f["last_frame"] = g.lastFrame;
            f["previous_frame"] = g.previousFrame;
            f["next_frame"] = g.nextFrame;
            f["level"] = levelKey(g.level);
            f["before_nits"] = g.beforeNits;
            f["run_nits"] = g.runNits;
            f["after_nits"] = g.afterNits;
            f["before_pq_code"] = g.beforeCode;
            f["run_pq_code"] = g.runCode;
            f["after_pq_code"] = g.afterCode;
            tv["glitches"].append(f);
        }
        if (withCurves) addCurves(tv, target, grid);
        v["targets"].append(tv);
    }
    return v;
}

}  // namespace kestrel::tool
