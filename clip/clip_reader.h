// The one way the tool opens HDR10+ metadata: a JSON file in the layout of
// ../hdr10plus/json.h, an HEVC Annex B stream, or a container file with an
// HEVC track (Matroska, MP4, MPEG-TS), told apart by their first bytes and
// never by the file name. Every command that reads HDR10+ goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "clip/hdr10plus_document.h"
#include "common/status.h"
#include "hdr10plus/frame.h"

namespace kestrel::tool {

enum class InputFormat { Json, AnnexB, Container, Unknown };

// What the first bytes of a file say it is: JSON (after an optional byte
// order mark and white space, an object or array), an Annex B stream (zero
// bytes then 01: a start code), Matroska/WebM (the EBML magic), MP4 (a known
// box type at byte 4) or MPEG-TS (sync bytes 188 or 192 bytes apart).
InputFormat sniffFormat(const uint8_t* head, size_t size);
const char* formatName(InputFormat format);

// One frame, in display order for streams and file order for JSON.
struct InputFrame {
    std::optional<hdr10plus::Frame> frame;  // the metadata in effect, when readable
    // Why `frame` is empty: a predicate of the frame ("carries no HDR10+
    // metadata ..."), or for JSON the entry's `key` and what is wrong with it.
    std::string key;
    std::string problem;
    bool invalid = false;   // metadata is there but not valid (`problem` says why)
    bool repeated = false;  // a stream's picture without metadata of its own, shown
                            // with the latest one before it in decoding order
    uint64_t offset = 0;    // streams: where the metadata in effect sits in the input
};

struct MetadataInput {
    std::string path;
    InputFormat format = InputFormat::Unknown;
    std::vector<InputFrame> frames;
    // A damaged stream: where and what; `frames` holds those before it.
    std::optional<std::string> damage;
    uint64_t damageOffset = 0;  // the byte of the input where the damage is
};

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
    // What messages and MetadataInput::path call the input; empty: the path
    // ("standard input" for a copy of a pipe kept in a temporary file).
    std::string name;
};

// Reads the file at `path`. Fails, with a message naming the file and what
// is wrong, when nothing can be read from it: missing or a directory
// (ErrorKind::Io), empty (Truncated), of no known format or not valid JSON
// (Format), a pipe or a container without libavformat (Unsupported),
// damaged before its first picture (Damaged, at its byte offset). A stream
// damaged part-way opens with `damage` set.
Result<MetadataInput> openMetadataInput(const std::string& path, const OpenOptions& options = {});

// The same input as the records the plug-in takes, for the commands that
// feed it (lut, frame): each frame with metadata projected onto the record,
// each without it rejected with its reason; a damaged stream does not load.
// A damaged stream fails (ErrorKind::Damaged, at its byte offset).
Result<Hdr10PlusDocument> loadHdr10PlusInput(const std::string& path,
                                             const OpenOptions& options = {});

}  // namespace kestrel::tool
