// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/report_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <set>

#include "analysis/pq.h"
#include "tools/kestrel/render/distribution_entry.h"
#include "tools/kestrel/render/report_curves.h"
#include "tools/kestrel/render/row_formats.h"
#include "tools/kestrel/render/table_origin.h"
#include "tools/kestrel/render/version.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

const char* sceneSourceName(SceneSource s) {
    switch (s) {
        case SceneSource::SceneFields:
            return "scene fields";
        case SceneSource::SceneList:
            return "scene list";
        case SceneSource::PictureCuts:
            return "picture cuts";
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
// scenes could be looked for and no frame has a warning; otherwise amber,
// saying what was checked and what was found.
Json::Value badgeJson(const Report& report, size_t t) {
    Json::Value b;
    const size_t flagged = flaggedFrameCount(report, t);
    const size_t warned = framesWithWarnings(report.clip.targets[t]);
    const std::string warnings =
        warned > 0 ? "; " + std::to_string(warned) + " frame" + (warned > 1 ? "s" : "") +
                         " with warnings"
                   : "";
    if (flagged > 0) {
        b["kind"] = "bad";
        b["text"] = std::to_string(flagged) + " flagged frame" + (flagged > 1 ? "s" : "") + warnings;
    } else if (!jumpsInsideScenesChecked(report.scenes)) {
        b["kind"] = "partial";
        b["text"] = "no glitch in short runs; jumps inside scenes not checked" + warnings;
    } else if (warned > 0) {
        b["kind"] = "partial";
        b["text"] = "no jumps" + warnings;
    } else {
        b["kind"] = "good";
        b["text"] = "no jumps";
    }
    return b;
}

// Per warning kind, the frames of a target that have it.
Json::Value warningCountsJson(const TargetRows& rows) {
    Json::Value counts(Json::objectValue);
    for (const FrameRow& row : rows.frames) {
        std::set<WarningKind> kinds;
        for (const FrameWarning& w : row.warnings) kinds.insert(w.kind);
        for (WarningKind k : kinds) {
            Json::Value& n = counts[warningKindName(k)];
            n = n.asUInt() + 1;
        }
    }
    return counts;
}

// A list of records as columns: one array per key, entry i of each being
// record i's. A film flags ten thousand jumps per target; as objects their
// keys alone made up half of its page.
class Columns {
public:
    explicit Columns(std::initializer_list<const char*> keys) {
        for (const char* k : keys) mValue[k] = Json::Value(Json::arrayValue);
    }
    Json::Value& operator[](const char* key) { return mValue[key]; }
    Json::Value take() { return std::move(mValue); }

private:
    Json::Value mValue{Json::objectValue};
};

Json::Value glitchColumns(const std::vector<Glitch>& glitches) {
    Columns c{"first_frame", "last_frame",     "previous_frame", "next_frame",
              "level",       "before_nits",    "run_nits",       "after_nits",
              "before_pq_code", "run_pq_code", "after_pq_code"};
    for (const Glitch& g : glitches) {
        c["first_frame"].append(g.firstFrame);
        c["last_frame"].append(g.lastFrame);
        c["previous_frame"].append(g.previousFrame);
        c["next_frame"].append(g.nextFrame);
        c["level"].append(levelKey(g.level));
        c["before_nits"].append(g.beforeNits);
        c["run_nits"].append(g.runNits);
        c["after_nits"].append(g.afterNits);
        c["before_pq_code"].append(g.beforeCode);
        c["run_pq_code"].append(g.runCode);
        c["after_pq_code"].append(g.afterCode);
    }
    return c.take();
}

// The smallest positive and the largest of some luminances (null when none
// is positive): the page rounds them out to whole decades for its axes.
struct Extent {
    double lo = kNaN, hi = kNaN;
    void add(double v) {
        if (!(std::isfinite(v) && v > 0)) return;
        lo = std::isnan(lo) ? v : std::min(lo, v);
        hi = std::isnan(hi) ? v : std::max(hi, v);
    }
    Json::Value json() const {
        Json::Value e;
        e["min"] = jsonNumber(lo);
        e["max"] = jsonNumber(hi);
        return e;
    }
};

double averageNits(const FrameRow& row) {
    return row.averageMaxRgbNits >= 0 ? row.averageMaxRgbNits : kNaN;
}

double peakNits(const FrameRow& row) { return row.lut().sourcePeak > 0 ? row.lut().sourcePeak : kNaN; }

// What a target's analysis of one record holds for a script: the outputs at
// the levels, the table's largest interpolation error, the warnings.
Json::Value analysisJson(const FrameRow& row) {
    Json::Value a;
    for (size_t l = 0; l < row.levelOutputs.size(); l++) {
        a["output_nits"][levelKey(l)] = jsonNumber(row.levelOutputs[l]);
        a["output_pq_codes"][levelKey(l)] = jsonNumber(
            std::isfinite(row.levelOutputs[l]) ? pqCodeOfNits(row.levelOutputs[l]) : kNaN);
    }
    const bool usable = row.lut().firstDecrease < 0;
    a["max_interpolation_error"] = jsonNumber(usable ? row.lut().maxError / kUnitGain : kNaN);
    a["max_interpolation_error_at_nits"] = jsonNumber(
        usable && row.lut().sourcePeak > 0 ? inputNits(row.lut(), row.lut().maxErrorAt) : kNaN);
    a["warnings"] = warningsJson(row.warnings);  // as `kestrel lut` lists them
    return a;
}

Json::Value flaggedColumns(const std::vector<Jump>& jumps) {
    Columns c{"frame",      "previous_frame", "scene",          "level",         "before_nits",
              "after_nits", "output_ratio",   "before_pq_code", "after_pq_code", "pq_code_change"};
    for (const Jump& j : jumps) {
        c["frame"].append(j.frame);
        c["previous_frame"].append(j.previousFrame);
        c["scene"].append(j.scene);
        c["level"].append(levelKey(j.level));
        c["before_nits"].append(j.beforeNits);
        c["after_nits"].append(j.afterNits);
        c["output_ratio"].append(jsonNumber(j.afterNits / j.beforeNits));
        c["before_pq_code"].append(j.beforeCode);
        c["after_pq_code"].append(j.afterCode);
        c["pq_code_change"].append(j.afterCode - j.beforeCode);
    }
    return c.take();
}

// The summary of a target's adapted curves, each line with its PQ codes.
Json::Value summaryJson(const CurveSummary& s) {
    Json::Value v;
    v["lowest_nits"] = nitsArray(s.lowest);
    v["lowest_pq_codes"] = pqCodeArray(s.lowest);
    v["median_nits"] = nitsArray(s.median);
    v["median_pq_codes"] = pqCodeArray(s.median);
    v["highest_nits"] = nitsArray(s.highest);
    v["highest_pq_codes"] = pqCodeArray(s.highest);
    return v;
}

// The whole decades a luminance axis can be labelled at, with their codes.
Json::Value pqCodesOfDecades() {
    Json::Value list(Json::arrayValue);
    for (int e = -6; e <= 4; e++) {
        const double nits = std::pow(10.0, e);
        Json::Value d(Json::arrayValue);
        d.append(nits);
        d.append(pqCodeOfNits(nits));
        list.append(d);
    }
    return list;
}

}  // namespace

std::string levelKey(size_t l) {
    if (l >= reportLevels().size()) return "average";
    char text[32];
    std::snprintf(text, sizeof text, "%g", reportLevels()[l]);
    return text;
}

Json::Value reportJson(const Report& report, bool withCurves) {
    const ClipAnalysis& clip = report.clip;
    static const std::vector<FrameRow> kNoRows;
    const std::vector<FrameRow>& rows = clip.targets.empty() ? kNoRows : clip.targets[0].frames;
    // Every target analyses the same frames; their records are told apart once.
    const DistinctRecords records = distinctRecords(rows);

    Json::Value v;
    v["schema_version"] = kReportSchemaVersion;
    v["file"] = report.file;
    v["library_version"] = projectVersion();
    v["tables_from"] = tableOriginJson(report.tablesFrom);
    v["frame_count"] = clip.frameCount;
    v["frames_with_metadata"] = static_cast<Json::UInt>(rows.size());
    v["frames_rejected"] = static_cast<Json::UInt>(clip.rejected.size());
    unsigned withCurve = 0;
    Extent peaks;
    std::set<unsigned> targeted;
    for (const FrameRow& row : rows) {
        if (row.lut().source.tone_mapping_flag == 1) {
            withCurve++;
            targeted.insert(row.lut().source.targeted_system_display_maximum_luminance);
        }
        peaks.add(peakNits(row));
    }
    v["frames_with_tone_curve"] = withCurve;
    v["rejected"] = Json::Value(Json::arrayValue);
    for (const std::string& e : clip.rejected) v["rejected"].append(e);
    v["source_peak_nits"] = peaks.json();
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

    // The frames as columns: a film's 10^5 frames stay a few bytes each.
    Json::Value& frames = v["frames"];
    frames["frame"] = Json::Value(Json::arrayValue);
    frames["scene"] = Json::Value(Json::arrayValue);
    frames["record"] = Json::Value(Json::arrayValue);
    for (size_t i = 0; i < rows.size(); i++) {
        frames["frame"].append(rows[i].frame);
        frames["scene"].append(report.scenes.sceneOf[i]);
        frames["record"].append(records.ofRow[i]);
    }
    v["records"] = Json::Value(Json::arrayValue);
    for (size_t k = 0; k < records.firstRow.size(); k++) {
        const FrameRow& row = rows[records.firstRow[k]];
        Json::Value r;
        r["frame_count"] = records.rowCount[k];
        putNitsAndCode(r, "source_peak", peakNits(row));
        putNitsAndCode(r, "average_maxrgb", averageNits(row));
        for (uint8_t percentage : kShownPercentages)
            putNitsAndCode(r, "percentile_" + std::to_string(percentage),
                           distributionEntryNits(row.lut().source, percentage));
        v["records"].append(r);
    }

    const std::vector<double> grid = withCurves ? curveGrid(rows) : std::vector<double>{};
    if (withCurves) {
        v["curve_grid_nits"] = nitsArray(grid);
        v["curve_grid_pq_codes"] = pqCodeArray(grid);
        v["pq_codes_of_decades"] = pqCodesOfDecades();
    }

    v["targets"] = Json::Value(Json::arrayValue);
    for (size_t t = 0; t < clip.targets.size(); t++) {
        const TargetRows& target = clip.targets[t];
        Json::Value tv;
        tv["target_nits"] = target.targetNits;
        tv["target_pq_code"] = pqCodeOfNits(target.targetNits);
        tv["flagged_frame_count"] = static_cast<Json::UInt>(flaggedFrameCount(report, t));
        tv["badge"] = badgeJson(report, t);
        tv["frames_with_warnings"] = static_cast<Json::UInt>(framesWithWarnings(target));
        tv["warning_counts"] = warningCountsJson(target);
        double largestError = kNaN;
        Extent timeline;
        std::vector<std::vector<double>> adapted;
        tv["analyses"] = Json::Value(Json::arrayValue);
        for (size_t first : records.firstRow) {
            const FrameRow& row = target.frames[first];
            Json::Value a = analysisJson(row);
            if (row.lut().firstDecrease < 0) {  // a usable table
                const double error = row.lut().maxError / kUnitGain;
                largestError = std::isnan(largestError) ? error : std::max(largestError, error);
            }
            if (withCurves) {
                for (double o : row.levelOutputs) timeline.add(o);
                timeline.add(peakNits(row));
                timeline.add(averageNits(row));
                adapted.push_back(adaptedOnGrid(row.lut(), grid));
                a["curves"] = curvesJson(row.lut(), grid, adapted.back());
            }
            tv["analyses"].append(a);
        }
        tv["largest_interpolation_error"] = jsonNumber(largestError);
        tv["flagged"] = flaggedColumns(report.jumps[t]);
        tv["glitches"] = glitchColumns(report.glitches[t]);
        if (withCurves) {
            const CurveSummary summary = summariseCurves(adapted, records.rowCount);
            Extent curves;
            for (double x : summary.lowest) curves.add(x);
            for (double x : summary.highest) curves.add(x);
            curves.add(target.targetNits);
            tv["curve_summary"] = summaryJson(summary);
            tv["timeline_range_nits"] = timeline.json();
            tv["curve_range_nits"] = curves.json();
        }
        v["targets"].append(tv);
    }
    return v;
}

}  // namespace kestrel::tool
