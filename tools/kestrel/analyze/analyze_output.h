// SPDX-License-Identifier: Apache-2.0
// What `kestrel analyze` writes: the metadata as JSON in the SceneInfo layout
// (readable by every command that reads HDR10+), a CSV row per picture, or a
// summary per shot.
#pragma once

#include <string>

#include "authoring/metadata_from_statistics.h"
#include "tools/kestrel/analyze/clip_measurement.h"

namespace kestrel::tool {

// The SceneInfo document: one entry per picture, SceneId numbering the shots
// found in the pictures, statistics per picture or per shot.
std::string analysisJson(const ClipMeasurement& clip, const authoring::MetadataOptions& options);

// Version 1 of the CSV: a header row, then one row per picture in display
// order. Columns: picture, shot, measured (1, or 0 for a picture that
// carries the latest measured one's statistics), cut_distance (to the
// picture before, 0 to 1), then maxscl_r, maxscl_g, maxscl_b,
// average_maxrgb, p1, p5, p10, p25, p50, p75, p90, p95, p99, p99_9, p99_98 in
// cd/m² with one decimal (the stored 0.1 cd/m² exactly). Later versions
// only add columns at the end.
std::string analysisCsv(const ClipMeasurement& clip);

// For a reader: the stream and which pictures were measured (as `options`
// chose them), then one line per shot.
std::string analysisSummary(const std::string& path, const ClipMeasurement& clip,
                            const MeasureOptions& options);

}  // namespace kestrel::tool
