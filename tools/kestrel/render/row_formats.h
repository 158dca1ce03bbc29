// SPDX-License-Identifier: Apache-2.0
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
// `timing` false: `microseconds` is null, so that two runs can be compared.
Json::Value frameJson(const FrameRow& row, bool timing = true);
// A frame's warnings as [{kind, message}], as every JSON view lists them.
Json::Value warningsJson(const std::vector<FrameWarning>& warnings);

// A clip: one header, then one line per frame and target.
enum class RowLayout { Csv, Columns };
void writeClipHeader(std::ostream& out, RowLayout layout);
// `timing` false: the microseconds column stays, empty (CSV) or "-".
// appendClipRow formats one row; writeClipRows formats runs of rows on
// every core and writes them in order.
void appendClipRow(std::string& out, const FrameRow& row, RowLayout layout, bool timing = true);
void writeClipRows(std::ostream& out, const TargetRows& rows, RowLayout layout, bool timing = true);

// The version of the shape of `lut`'s JSON. 2: every document lists its
// targets under `targets`, one or many; for one target the members of
// version 1 (the single target's at the top level) are kept beside it for
// one release, for scripts written against them.
constexpr int kLutJsonVersion = 2;
// One frame at one or more targets: {schema_version, file, frame, targets:
// [frameJson...]}, and for one target version 1's members too.
Json::Value frameDocumentJson(const std::vector<FrameRow>& rows, const std::string& file,
                              unsigned frame, bool timing);
// Every frame: {schema_version, file, frame_count, targets: [{target_nits,
// frames}], rejected, tables_from}, and for one target version 1's
// `target_nits` and `frames` too; written to `out` as it is formatted (the
// frames in runs on every core), never held whole, since a film's document
// is gigabytes.
void writeClipDocumentJson(std::ostream& out, const ClipAnalysis& clip, const std::string& file,
                           bool timing, const Json::Value& tablesFrom);

}  // namespace kestrel::tool
