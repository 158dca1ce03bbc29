// SPDX-License-Identifier: Apache-2.0
// kestrel metadata: the HDR10+ metadata of a stream, container or JSON file
// in the JSON layout, one entry per frame in display order.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "analysis/clip_analysis.h"
#include "analysis/parallel_for.h"
#include "clip/clip_reader.h"
#include "clip/styled_json.h"
#include "hdr10plus/internal/json_layout.h"
#include "hdr10plus/internal/json_value.h"
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/cli/standard_input.h"
#include "tools/kestrel/render/payload_extras.h"
#include "tools/kestrel/render/version.h"
#include "tools/kestrel/library_names.h"
#include "tools/kestrel/render/warning_text.h"

namespace kestrel::tool {

namespace {

struct MetadataOptions {
    std::string input;   // JSON, HEVC Annex B stream or container file; - for standard input
    std::string output;  // empty: standard output
    bool check = false;  // the consistency rules, each frame; status 1 when one fails
};

constexpr const char* kCommand = "kestrel metadata";

void report(const std::string& path, const std::string& text) {
    std::fprintf(stderr, "%s: %s: %s\n", kCommand, path.c_str(), text.c_str());
}

// Frames in a row with the same problem are reported as one range.
void reportProblems(const Clip& clip) {
    const std::vector<ClipFrame>& frames = clip.frames;
    auto sameProblem = [](const FrameProblem& a, const FrameProblem& b) {
        return a.what == b.what && a.key == b.key;
    };
    for (size_t i = 0; i < frames.size();) {
        if (!frames[i].problem) {
            ++i;
            continue;
        }
        const FrameProblem& p = *frames[i].problem;
        size_t end = i + 1;
        while (end < frames.size() && frames[end].problem && sameProblem(*frames[end].problem, p))
            ++end;
        // "frame 4 carries ...", "frames 0 to 3 each carries ...", and for
        // JSON "frame 2: BezierCurveData.KneePointX is ...".
        std::string which = end - i == 1 ? "frame " + std::to_string(i)
                                         : "frames " + std::to_string(i) + " to " +
                                               std::to_string(end - 1) + " each";
        report(clip.name, p.key.empty() ? which + " " + p.what : which + ": " + p.what);
        i = end;
    }
}

// Frame `index` as the JSON layout writes it, in scene `scene` at position
// `inScene`. A stream has no scene fields of its own: its frames are given
// the clip's scenes (clip::deriveScenes) and their positions in them. A JSON
// input keeps the positions it was given.
hdr10plus::Frame documentFrame(const Clip& clip, unsigned index, unsigned scene,
                               unsigned inScene) {
    const ClipFrame& f = clip.frames[index];
    hdr10plus::Frame frame = f.metadata ? *f.metadata : hdr10plus::Frame{};
    if (!f.metadata) frame.windows.clear();  // an entry without metadata
    if (clip.format != InputFormat::Json) {
        frame.scene_id = scene;
        frame.scene_frame_index = inScene;
        frame.sequence_frame_index = index;
    }
    return frame;
}

// Calls visit(documentFrame(...), index) for frames [first, end) in order.
// The scenes cover every frame (clip::deriveScenes); a clip without any has
// no entries, as the document of its scenes always had.
template <typename Visit>
void forEachFrame(const Clip& clip, unsigned first, unsigned end, Visit visit) {
    if (first >= end || clip.scenes.empty()) return;
    if (clip.format == InputFormat::Json) {
        // The document frame of a JSON input is the frame as read (or none):
        // given as it is, not copied.
        const hdr10plus::Frame none;
        for (unsigned i = first; i < end; i++) {
            const std::optional<hdr10plus::Frame>& metadata = clip.frames[i].metadata;
            visit(metadata ? *metadata : none, i);
        }
        return;
    }
    unsigned scene = clip.sceneOf(first);
    for (unsigned i = first; i < end; i++) {
        while (scene + 1 < clip.scenes.size() && clip.scenes[scene + 1].firstFrame <= i) scene++;
        visit(documentFrame(clip, i, scene, i - clip.scenes[scene].firstFrame), i);
    }
}

// Where the document goes: standard output or the -o file, written as it
// grows. The first failure is kept and ends the writing.
class Output {
public:
    bool open(const std::string& path) {
        mPath = path;
        if (path.empty()) {
            mFile = stdout;
            return true;
        }
        errno = 0;
        mFile = std::fopen(path.c_str(), "wb");
        if (mFile == nullptr) fail();
        return mFile != nullptr;
    }
    bool write(const std::string& text) {
        if (mFailed) return false;
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), mFile) != text.size()) fail();
        return !mFailed;
    }
    // Flushed here so that a full disk or a closed pipe is a failure, not
    // lost at exit.
    bool close() {
        if (mFile == nullptr) return false;
        if (!mFailed) {
            errno = 0;
            if (std::fflush(mFile) != 0 || std::ferror(mFile)) fail();
        }
        if (mFile != stdout) {
            errno = 0;
            if (std::fclose(mFile) != 0 && !mFailed) fail();
        }
        mFile = nullptr;
        return !mFailed;
    }
    // "standard output: cannot write: No space left on device".
    std::string failure() const {
        return (mPath.empty() ? std::string("standard output") : mPath) + ": cannot write: " +
               (mErrno != 0 ? std::strerror(mErrno) : "write failed");
    }

private:
    void fail() {
        if (mFailed) return;
        mFailed = true;
        mErrno = errno;
    }
    std::string mPath;
    std::FILE* mFile = nullptr;
    bool mFailed = false;
    int mErrno = 0;
};

// Entries formatted per run: a round of runs' text (about 35 MB on a film
// read from a stream) is all that is held before it is written.
constexpr unsigned kEntriesPerRun = 1024;

// The document, entry by entry: what a tree of the whole film written by
// prettyJson would be, byte for byte, without the tree. Frames read from
// payloads carry more than the layout holds (addPayloadExtras); a JSON input
// has nothing more to give.
bool writeDocument(const Clip& clip, Output& output) {
    bool curves = false;
    hdr10plus::SceneSummary summary;
    forEachFrame(clip, 0, clip.frameCount(), [&](const hdr10plus::Frame& frame, unsigned) {
        curves = curves || hdr10plus::carriesCurve(frame);
        summary.add(frame);
    });
    const bool extras = clip.format != InputFormat::Json;

    std::string text;
    StyledJsonWriter writer(text);
    writer.beginObject();
    writer.key("JSONInfo");
    writer.value(hdr10plus::writeJsonInfo(curves));
    writer.key("SceneInfo");
    writer.beginArray();
    const unsigned count = clip.frameCount();
    const unsigned depth = writer.elementDepth();
    const bool written = analysis::formatInOrder(
        count, kEntriesPerRun,
        [&](std::string& out, size_t begin, size_t end) {
            if (!extras) {
                // Straight from the frames: no tree per entry.
                StyledJsonWriter entries(out, depth, begin);
                forEachFrame(clip, static_cast<unsigned>(begin), static_cast<unsigned>(end),
                             [&](const hdr10plus::Frame& frame, unsigned) {
                                 hdr10plus::writeJsonEntry(frame, entries);
                             });
                return;
            }
            forEachFrame(clip, static_cast<unsigned>(begin), static_cast<unsigned>(end),
                         [&](const hdr10plus::Frame& frame, unsigned i) {
                             Json::Value entry = hdr10plus::writeJsonFrame(frame);
                             if (extras && clip.frames[i].metadata) addPayloadExtras(frame, entry);
                             appendStyledElement(out, entry, depth, i == 0);
                         });
        },
        [&](const std::string& part, size_t begin, size_t end) {
            writer.elements(part, end - begin);
            const bool ok = output.write(text);
            text.clear();
            return ok;
        });
    if (!written) return false;
    writer.endArray();
    if (summary.complete()) {
        writer.key("SceneInfoSummary");
        writer.value(summary.value());
    }
    Json::Value tool = hdr10plus::writeJsonToolInfo({"kestrel metadata", projectVersion()});
    tool["Source"] = clip.name;
    writer.key("ToolInfo");
    writer.value(tool);
    writer.endObject();
    writer.finish();
    return output.write(text);
}

int runMetadata(const MetadataOptions& options) {
    TerminalReadProgress progress;
    OpenOptions open{&progress};
    // `-`: standard input, read once into a file every reader can start again.
    StandardInputCopy standardInput;
    std::string path = options.input;
    if (path == "-") {
        const Status copied = standardInput.make();
        if (!copied) {
            std::fprintf(stderr, "%s: %s\n", kCommand, copied.message().c_str());
            return 1;
        }
        path = standardInput.path();
        open.name = kStandardInputName;
    }
    Result<Clip> opened = openClip(path, open);
    if (!opened) {
        std::fprintf(stderr, "%s: %s\n", kCommand, opened.status().message().c_str());
        return 1;
    }
    const Clip& input = *opened;
    reportProblems(input);

    size_t own = 0, repeated = 0, missing = 0, invalid = 0;
    for (const ClipFrame& f : input.frames) {
        if (f.metadata)
            ++(f.provenance == Provenance::Repeated ? repeated : own);
        else
            ++(f.problem->kind == ProblemKind::NoMetadata ? missing : invalid);
    }

    Output output;
    bool written = output.open(options.output) && writeDocument(input, output);
    written = output.close() && written;  // closed in any case
    if (!written) {
        std::fprintf(stderr, "%s: %s\n", kCommand, output.failure().c_str());
        return 1;
    }

    const size_t count = input.frames.size();
    std::string summary = std::string(formatName(input.format)) + ", " + std::to_string(count) +
                          (count == 1 ? " frame" : " frames");
    if (input.format != InputFormat::Json) {
        summary += ": " + std::to_string(own) + " with metadata of their own, " +
                   std::to_string(repeated) + " repeating the latest before them in decoding " +
                   "order, " + std::to_string(missing) + " without";
    }
    if (invalid > 0) summary += ", " + std::to_string(invalid) + " not valid";
    report(input.name, summary);

    int status = 0;
    if (options.check) {
        size_t failing = 0;
        for (size_t i = 0; i < input.frames.size(); i++) {
            if (!input.frames[i].metadata) continue;
            const std::vector<FrameWarning> broken =
                metadataConsistency(*input.frames[i].metadata);
            if (!broken.empty()) failing++;
            for (const FrameWarning& w : broken)
                report(input.name, "frame " + std::to_string(i) + ": " + warningText(w));
        }
        report(input.name, "--check: " + std::to_string(failing) + " frame" +
                               (failing == 1 ? "" : "s") + " of " +
                               std::to_string(own + repeated) + " with metadata break a rule");
        if (failing > 0) status = 1;
    }
    if (input.damage) {
        report(input.name, input.damage->what);
        status = 1;
    }
    if (invalid > 0) status = 1;
    if (own + repeated == 0 && !input.damage) {
        report(input.name, "holds no HDR10+ metadata");
        status = 1;
    }
    return status;
}

}  // namespace

namespace {

const char* kMetadataExamples =
    "Examples:\n"
    "  kestrel metadata clip.hevc -o clip.json\n"
    "  kestrel metadata film.mkv > film.json\n"
    "  ffmpeg -i film.mkv -c copy -f hevc - | kestrel metadata - > film.json\n"
    "  kestrel metadata clip.hevc --check -o clip.json";

class MetadataCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        MetadataOptions& metadata = mOptions;
        CLI::App* metadataCommand = app.add_subcommand(
            "metadata",
            "Extract the HDR10+ metadata of an HEVC stream or container file as JSON, one entry "
            "per frame in display order");
        metadataCommand
            ->add_option("input", metadata.input,
                         "HEVC Annex B stream (.hevc, .h265), Matroska, WebM, MP4 or MPEG-TS "
                         "file, or HDR10+ JSON; told apart by content; - for standard input")
            ->required();
        metadataCommand->add_option("-o,--output", metadata.output,
                                    "Write the JSON to this file (default: standard output)");
        metadataCommand->add_flag(
            "--check", metadata.check,
            "Check each frame's statistics and curve against each other (MaxScl below the 99 % "
            "entry, percentages out of order, a curve for a 0 cd/m² display, a targeted display "
            "without a curve); exit with status 1 when one fails");
        metadataCommand->footer(
            std::string(kMetadataExamples) + "\n\n" +
            exitStatusHelp("the input is damaged (the frames before the damage are still\n"
                           "     written), a frame's metadata is not valid, there is none, the\n"
                           "     output could not be written, or --check found a contradiction;\n"
                           "     frames without metadata are named on standard error and\n"
                           "     written as entries without LuminanceParameters") +
            "\n\n");
        return metadataCommand;
    }
    int run() override { return runMetadata(mOptions); }

private:
    MetadataOptions mOptions;
};

}  // namespace

std::unique_ptr<Command> makeMetadataCommand() { return std::make_unique<MetadataCommand>(); }

}  // namespace kestrel::tool
