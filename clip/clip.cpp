// SPDX-License-Identifier: Apache-2.0
#include "clip/clip.h"

#include <algorithm>

namespace kestrel::clip {

unsigned Clip::framesWithMetadata() const {
    unsigned n = 0;
    for (const ClipFrame& f : frames) n += f.metadata ? 1 : 0;
    return n;
}

unsigned Clip::sceneOf(unsigned index) const {
    auto after = std::upper_bound(scenes.begin(), scenes.end(), index,
                                  [](unsigned i, const Scene& s) { return i < s.firstFrame; });
    return after == scenes.begin() ? 0 : static_cast<unsigned>(after - scenes.begin() - 1);
}

std::vector<unsigned> Clip::sceneStarts() const {
    std::vector<unsigned> starts;
    starts.reserve(scenes.size());
    for (const Scene& s : scenes) starts.push_back(s.firstFrame);
    return starts;
}

std::string Clip::problemMessage(unsigned index) const {
    if (index >= frames.size() || !frames[index].problem) return "";
    const FrameProblem& p = *frames[index].problem;
    const std::string which = "frame " + std::to_string(index);
    return p.key.empty() ? which + " " + p.what : which + ": " + p.what;
}

Status Clip::whole() const {
    if (!damage) return Status();
    Location where;
    where.byteOffset = damage->offset;
    return Status::failure(ErrorKind::Damaged, name + ": " + damage->what, where);
}

bool sameMessage(const hdr10plus::Frame& a, const hdr10plus::Frame& b) {
    return a.application_version == b.application_version && a.windows == b.windows &&
           a.targeted_system_display_maximum_luminance ==
               b.targeted_system_display_maximum_luminance &&
           a.targeted_system_display_actual_peak_luminance ==
               b.targeted_system_display_actual_peak_luminance &&
           a.mastering_display_actual_peak_luminance == b.mastering_display_actual_peak_luminance;
}

namespace {

bool numbersEveryScene(const std::vector<ClipFrame>& frames) {
    bool any = false;
    for (const ClipFrame& f : frames) {
        if (!f.metadata) continue;
        if (!f.metadata->scene_id) return false;
        any = true;
    }
    return any;
}

bool sameScene(const ClipFrame& before, const ClipFrame& f, SceneRule rule) {
    if (before.metadata.has_value() != f.metadata.has_value()) return false;
    if (!f.metadata) return true;  // a gap is one run
    if (rule == SceneRule::SceneFields) return before.metadata->scene_id == f.metadata->scene_id;
    return sameMessage(*before.metadata, *f.metadata);
}

}  // namespace

void deriveScenes(Clip& clip) {
    clip.sceneRule =
        numbersEveryScene(clip.frames) ? SceneRule::SceneFields : SceneRule::MetadataRuns;
    clip.scenes.clear();
    for (unsigned i = 0; i < clip.frames.size(); ++i) {
        if (i > 0 && sameScene(clip.frames[i - 1], clip.frames[i], clip.sceneRule)) {
            clip.scenes.back().frameCount++;
        } else {
            clip.scenes.push_back({i, 1});
        }
    }
}

}  // namespace kestrel::clip
