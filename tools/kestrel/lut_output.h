// Text, CSV and JSON views of the rows of clip_analysis.h: one frame's table
// in full, or one line per frame of a clip.
#pragma once

#include <json/value.h>

#include <ostream>
#include <string>

#include "tools/kestrel/clip_analysis.h"

namespace kestrel::tool {

// "knee (kx, ky), N anchors: a1 a2 ..."
std::string curveText(const _VelmorHdrDynamicInfo& record);

// One frame: the curves, then every table entry in both units.
void writeFrameTable(std::ostream& out, const FrameRow& row, const std::string& file);
void writeFrameCsv(std::ostream& out, const FrameRow& row);
Json::Value frameJson(const FrameRow& row);

// A clip for one target: a header, then one line per frame.
enum class RowLayout { Csv, Columns };
void writeClipRows(std::ostream& out, const TargetRows& rows, RowLayout layout);
// The whole analysis of one target: {file, target_nits, frame_count, frames, rejected}.
Json::Value clipJson(const ClipAnalysis& clip, const TargetRows& rows, const std::string& file);

}  // namespace kestrel::tool
