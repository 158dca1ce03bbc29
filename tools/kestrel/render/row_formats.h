// Text, CSV and JSON views of the rows of analysis/clip_analysis.h: one frame's table
// in full, or one line per frame of a clip.
#pragma once

#include <json/value.h>

#include <ostream>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

// "knee (kx, ky), N anchors: a1 a2 ..."
std::string curveText(const _VelmorHdrDynamicInfo& record);

// One frame: the curves, then every table entry in both units, with its
// normalised gain and luminance ratio (see analysis/clip_analysis.h).
void writeFrameTable(std::ostream& out, const FrameRow& row, const std::string& file);
// With `header` false the CSV header line is left out (the rows of further
// targets under the first one's header).
void writeFrameCsv(std::ostream& out, const FrameRow& row, bool header = true);
Json::Value frameJson(const FrameRow& row);
// A frame's warnings as [{kind, message}], as every JSON view lists them.
Json::Value warningsJson(const std::vector<FrameWarning>& warnings);

// A clip: one header, then one line per frame and target.
enum class RowLayout { Csv, Columns };
void writeClipHeader(std::ostream& out, RowLayout layout);
void writeClipRows(std::ostream& out, const TargetRows& rows, RowLayout layout);
// The whole analysis of one target: {file, target_nits, frame_count, frames, rejected}.
Json::Value clipJson(const ClipAnalysis& clip, const TargetRows& rows, const std::string& file);
// All targets: as above for a single one; for several,
// {file, frame_count, targets: [{target_nits, frames}], rejected}.
Json::Value clipJson(const ClipAnalysis& clip, const std::string& file);

}  // namespace kestrel::tool
