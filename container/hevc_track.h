// SPDX-License-Identifier: Apache-2.0
// HDR10+ metadata of the HEVC track of a container file (Matroska, WebM, MP4,
// MPEG-TS: whatever the system's demuxer reads), without decoding a picture.
//
// The demuxer hands on the track's samples in decoding order. In Matroska and
// MP4 a sample holds NAL units each prefixed by its length (1, 2 or 4 bytes,
// as the track's hvcC record says), and the record carries the parameter
// sets; in MPEG-TS a sample is a piece of Annex B stream. The NAL units go to
// the same picture sequencer as an Annex B file's, so pictures come out in
// display order with the metadata in effect for each. Matroska may also
// carry the payload as a block addition beside the sample; it belongs to the
// sample's picture.
//
// An MP4 edit list may leave samples out of the presentation (a copy of a
// stream with B-pictures often starts it after the first samples in
// decoding order). The demuxer marks those samples; their pictures are
// decoded by a player, for the pictures that refer to them, but not shown,
// and they are not handed on here either: the pictures that reach the sink
// are exactly those a player shows, in its order. Their HDR10+ messages
// still count in decoding order (a picture without its own shows the latest
// before it, whether or not that picture was shown).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "hevc/display_order.h"

namespace kestrel::container {

// Reads the file at `path` and hands every picture of its first HEVC track to
// `sink` in display order. `progress` receives the bytes read so far and the
// file's size. Returns the first error (file not readable by the demuxer, no
// HEVC track, damaged sample); the pictures before it have reached the sink.
// The failure's location holds its byte offset (0 for the file as a whole);
// one that libav reported keeps libav's error code as code() beside its text.
// The file is opened once. What the demuxer says about damage is returned
// as the error, in terms of this file, from its return codes; its log is
// left as the program has set it up.
Status readHevcTrack(
    const std::string& path, const hevc::PictureSequencer::Sink& sink,
    const std::function<void(uint64_t done, uint64_t total)>& progress);

// The same for a file the caller has open (and keeps): read from its first
// byte; `name` only names it to the demuxer.
Status readHevcTrack(
    std::FILE* file, const std::string& name, const hevc::PictureSequencer::Sink& sink,
    const std::function<void(uint64_t done, uint64_t total)>& progress);

// Silences libav's log for the whole process (its level is process-wide
// state). For programs that own their process and take the demuxer's
// failures from readHevcTrack's errors alone; the library never calls it.
void quietDemuxerLog();

}  // namespace kestrel::container
