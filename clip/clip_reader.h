// SPDX-License-Identifier: Apache-2.0
// The one way HDR10+ metadata is read: a JSON file in the layout of
// ../hdr10plus/json.h, an HEVC Annex B stream, or a container file with an
// HEVC track (Matroska, MP4, MPEG-TS), told apart by their first bytes and
// never by the file name, into one Clip (clip.h). The file is opened once.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "clip/clip.h"
#include "common/status.h"

namespace kestrel::clip {

// Told how far the reading of a stream has got, in bytes of the file; what
// it shows (a bar on a terminal, a GUI's gauge) is the caller's business.
class ReadProgress {
public:
    virtual ~ReadProgress() = default;
    virtual void update(uint64_t bytesRead, uint64_t fileBytes) = 0;
    virtual void finish() = 0;  // the reading ended, well or not
};

struct OpenOptions {
    OpenOptions() = default;
    OpenOptions(ReadProgress* told, std::string calledBy = "")  // NOLINT: braces build it
        : progress(told), name(std::move(calledBy)) {}

    ReadProgress* progress = nullptr;  // none: nothing is told
    // What messages and Clip::name call the input; empty: the path
    // ("standard input" for a copy of a pipe kept in a temporary file).
    std::string name;
};

// Reads the file at `path`, scenes derived (deriveScenes). Fails, with a
// message naming the file and what is wrong, when nothing can be read from
// it: missing or a directory (ErrorKind::Io), empty (Truncated), of no known
// format or not valid JSON (Format), a pipe or a container without
// libavformat (Unsupported), damaged before its first picture (Damaged, at
// its byte offset). A stream damaged part-way opens with Clip::damage set.
Result<Clip> openClip(const std::string& path, const OpenOptions& options = {});

}  // namespace kestrel::clip
