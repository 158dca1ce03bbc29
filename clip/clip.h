// SPDX-License-Identifier: Apache-2.0
// The one model of a clip's HDR10+ metadata, whatever it was read from (a
// JSON file, an HEVC Annex B stream, a container file): a frame per picture
// in display order with the metadata in effect for it, where that metadata
// came from, what is wrong with a frame that has none, and the scenes.
//
// The metadata stays a hdr10plus::Frame here. The plug-in's 312-byte record
// is a projection made by whoever calls the plug-in library (the analysis,
// the host driver), not part of the clip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "clip/input_format.h"
#include "common/status.h"
#include "hdr10plus/frame.h"

namespace kestrel::clip {

// How a frame came by its metadata.
enum class Provenance {
    Own,       // a message of its own: a picture's SEI, a JSON entry
    Repeated,  // a stream's picture without a message, shown with the latest
               // one before it in decoding order
    None,      // no message is in effect (a stream that starts without one)
};

// Why a frame has no usable metadata.
enum class ProblemKind {
    NoMetadata,      // no message is in effect
    InvalidPayload,  // the message in effect does not parse or breaks a rule
    InvalidEntry,    // a JSON entry that is not a valid frame
};

struct FrameProblem {
    ProblemKind kind = ProblemKind::NoMetadata;
    std::string key;   // JSON: the key path of the bad value; empty otherwise
    // A predicate of the frame ("carries no HDR10+ metadata ..."), or with a
    // key, the sentence that names it ("BezierCurveData.KneePointX is 4096,
    // above ..."): "frame 7" goes before it, with a colon when there is a key.
    std::string what;
};

struct ClipFrame {
    std::optional<hdr10plus::Frame> metadata;  // the metadata in effect, when valid
    Provenance provenance = Provenance::None;
    // Streams: the byte of the input where the message in effect sits (0
    // for JSON and for frames without one).
    uint64_t offset = 0;
    std::optional<FrameProblem> problem;  // set exactly when `metadata` is empty
};

// A stream damaged part-way: the frames before the damage are in the clip.
struct Damage {
    uint64_t offset = 0;  // the byte of the input where it is
    std::string what;     // "byte 812: ... (17 frames read before it)"
};

// How the scenes were found (deriveScenes).
enum class SceneRule {
    SceneFields,   // the file numbers its scenes
    MetadataRuns,  // a scene is a run of frames carrying the same metadata
};

struct Scene {
    unsigned firstFrame = 0;
    unsigned frameCount = 0;
};

struct Clip {
    std::string name;  // what messages call the input
    InputFormat format = InputFormat::Unknown;
    std::vector<ClipFrame> frames;  // display order (file order for JSON)
    SceneRule sceneRule = SceneRule::MetadataRuns;
    std::vector<Scene> scenes;  // in order, covering every frame
    std::optional<Damage> damage;

    unsigned frameCount() const { return static_cast<unsigned>(frames.size()); }
    unsigned framesWithMetadata() const;
    // The scene frame `index` belongs to.
    unsigned sceneOf(unsigned index) const;
    // The first frames of the scenes, in order.
    std::vector<unsigned> sceneStarts() const;
    // Why frame `index` has no metadata, as a sentence about the frame:
    // "frame 3 carries no HDR10+ metadata ...", "frame 2: BezierCurveData.
    // KneePointX is 4096, ...". Empty for a frame with metadata.
    std::string problemMessage(unsigned index) const;
    // Whether every frame was read: a damaged clip fails (ErrorKind::Damaged,
    // at the damage's byte) with "<name>: <damage>".
    Status whole() const;
};

// The scenes of `frames`, by one rule for every command:
//  - When every frame with metadata carries a scene number (JSON files
//    written by a grading tool do), the file is taken at its word: a change
//    of number starts a scene.
//  - Otherwise a scene is a run of adjacent frames whose metadata is the
//    same: everything a message carries (all windows, the targeted display,
//    the actual-peak matrices), not the positions a file writes beside it.
//    Streams that send metadata once per scene are made this way.
// In both, a frame without metadata is unlike any frame with it: a gap
// ends the scene before it and starts one, as a run of its own.
void deriveScenes(Clip& clip);

// Whether two frames carry the same message: every field but the positions
// (scene_id, scene_frame_index, sequence_frame_index).
bool sameMessage(const hdr10plus::Frame& a, const hdr10plus::Frame& b);

}  // namespace kestrel::clip
