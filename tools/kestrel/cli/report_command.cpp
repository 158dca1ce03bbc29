// SPDX-License-Identifier: Apache-2.0
// kestrel report: a whole clip on one or more target displays, as one
// self-contained page (or its data as JSON): timelines of the output of
// fixed input levels, every frame's curve, and the frames inside a scene
// where the picture will pump.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <string>

#include "analysis/scene_list.h"
#include "clip/clip_reader.h"
#include "clip/json_file.h"
#include "tools/kestrel/cli/command.h"
#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/display_options.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/option_values.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/cli/table_plugin.h"
#include "tools/kestrel/render/report_data.h"
#include "tools/kestrel/render/report_page.h"
#include "hdr10plus/record.h"
#include "tools/kestrel/library_names.h"
#include "tools/kestrel/render/table_origin.h"
#include "tools/kestrel/render/warning_text.h"
#include "tools/kestrel/render/report_video.h"
#ifdef KESTREL_HAVE_REPORT_VIDEO
#include "tools/kestrel/analyze/report_video_pass.h"
#endif

namespace kestrel::tool {

namespace {

struct ReportOptions : DisplayOptions {
    std::string input;
    std::string format = "html";                        // html or json
    std::string output;                                 // empty: standard output
    double jumpThreshold = kDefaultJumpThresholdCodes;  // 10-bit PQ codes
    bool failOnJumps = false;
    bool failOnWarnings = false;
    std::string scenes;  // a list of first frames of scenes; empty: from the metadata
    std::string plugin;  // --plugin: the tables from this file; empty: built in
    unsigned pictures = kDefaultPicturedFrames;  // frames of a video shown as pictures
    bool metadataOnly = false;  // a video: its metadata alone, no picture decoded
    bool picturesGiven = false;  // --pictures was on the command line
};

// A video this long (ten minutes at 24 pictures a second) takes minutes to
// decode: before starting, the user is told that the metadata alone is an
// option.
constexpr unsigned kMetadataOnlyHintPictures = 14400;

const char* sceneSourceText(SceneSource source) {
    switch (source) {
        case SceneSource::SceneFields:
            return "the scene fields";
        case SceneSource::SceneList:
            return "the --scenes list";
        case SceneSource::PictureCuts:
            return "the picture cuts";
        case SceneSource::MetadataChanges:
            break;
    }
    return "the metadata changes";
}

// The library's error lines change what a table means, so they are shown
// (but not the one a warning already says), once per target and line with
// the number of frames, not once a frame.
void showLibraryErrors(const Report& report) {
    for (const TargetRows& rows : report.clip.targets) {
        std::map<std::string, unsigned> counts;
        std::map<std::string, unsigned> firstFrame;
        for (const FrameRow& row : rows.frames) {
            for (const LibraryLine& libraryLine : errorsBesideWarnings(row)) {
                const std::string line = defaultSinkText(libraryLine);
                if (counts[line]++ == 0) firstFrame[line] = row.frame;
            }
        }
        for (const auto& [line, count] : counts) {
            std::fprintf(stderr, "kestrel report: %u cd/m²: library (frame %u%s): %s\n",
                         rows.targetNits, firstFrame[line],
                         count > 1 ? (" and " + std::to_string(count - 1) + " more").c_str() : "",
                         line.c_str());
        }
    }
}

// A target the library refuses to adapt curves to changes the whole
// picture, so it is said here too, not only on the page: once per target,
// with the first frame it happens to and how many more.
void showRefusedTargets(const Report& report) {
    for (const TargetRows& rows : report.clip.targets) {
        const FrameWarning* first = nullptr;
        unsigned firstFrame = 0, count = 0;
        for (const FrameRow& row : rows.frames) {
            for (const FrameWarning& w : row.warnings) {
                if (w.kind != WarningKind::TargetRefused) continue;
                if (count++ == 0) {
                    first = &w;
                    firstFrame = row.frame;
                }
            }
        }
        if (first == nullptr) continue;
        std::fprintf(stderr, "kestrel report: warning: %u cd/m² (frame %u%s): %s\n",
                     rows.targetNits, firstFrame,
                     count > 1 ? (" and " + std::to_string(count - 1) + " more").c_str() : "",
                     warningText(*first).c_str());
    }
}
#ifdef KESTREL_HAVE_REPORT_VIDEO
// Whether the input holds pictures: a stream or a container, not JSON.
bool isVideoInput(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint8_t head[4096];
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const InputFormat format = sniffFormat(head, static_cast<size_t>(in.gcount()));
    return format == InputFormat::AnnexB || format == InputFormat::Container;
}
#endif

std::string flaggedSummary(const Report& report) {
    std::string text;
    for (size_t t = 0; t < report.clip.targets.size(); t++) {
        if (!text.empty()) text += ", ";
        text += std::to_string(report.clip.targets[t].targetNits) +
                " cd/m²: " + std::to_string(flaggedFrameCount(report, t));
    }
    return text;
}

int runReport(const ReportOptions& o) {
    const char* name = "kestrel report";
    const bool json = o.format == "json";
    if (o.output.empty() && !json && isatty(STDOUT_FILENO) == 1) {
        std::fprintf(stderr,
                     "%s: the page is HTML; name a file for it with -o (for example -o "
                     "report.html), or ask for --format json\n",
                     name);
        return 1;
    }

    PluginTables plugin;
    if (!o.plugin.empty() && !openTablePlugin(name, o.plugin, plugin)) return 1;

    TerminalReadProgress readProgress;
    Result<Clip> loaded = openClip(o.input, OpenOptions{&readProgress});
    const Status whole = loaded ? loaded->whole() : loaded.status();
    if (!whole) {
        std::fprintf(stderr, "%s: %s\n", name, whole.message().c_str());
        return 1;
    }
    const Clip& clip = *loaded;
    // A clip without frames has nothing to report on, and a page saying so
    // would look like a clip that passed.
    if (clip.frameCount() == 0) {
        std::fprintf(stderr, "%s: %s: holds no HDR10+ metadata (0 frames); no report written\n",
                     name, o.input.c_str());
        return 1;
    }
    // The scenes: the user's list when given, else the clip's own.
    std::optional<SceneStarts> scenes;
    if (!o.scenes.empty()) {
        const Status readable = readableFile(o.scenes);
        std::ifstream in(o.scenes, std::ios::binary);
        if (!readable || !in) {
            std::fprintf(stderr, "%s: --scenes %s\n", name,
                         readable ? (o.scenes + ": cannot open").c_str()
                                  : readable.message().c_str());
            return 1;
        }
        const std::string text((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        Result<std::vector<unsigned>> parsed = parseSceneList(text, clip.frameCount());
        if (!parsed.ok()) {
            std::fprintf(stderr, "%s: --scenes %s: %s\n", name, o.scenes.c_str(),
                         parsed.status().message().c_str());
            return 1;
        }
        scenes = SceneStarts{SceneSource::SceneList, std::move(parsed.value())};
    }
    // Opened before the work, so that a name that cannot be written fails at once.
    std::ofstream file;
    if (!o.output.empty()) {
        errno = 0;
        file.open(o.output, std::ios::out | std::ios::trunc | std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "%s: %s: cannot write: %s\n", name, o.output.c_str(),
                         errno != 0 ? std::strerror(errno) : "open failed");
            return 1;
        }
    }

    // A video is decoded once: its shots give the scenes (unless --scenes
    // names them), its pictures the measured statistics and the page's
    // pictures. A video whose pictures cannot be used is still reported on
    // from its metadata, with the reason said.
    std::optional<ReportVideo> video;
    std::string videoUnused;
#ifdef KESTREL_HAVE_REPORT_VIDEO
    std::vector<CapturedPicture> captured;
    const bool videoInput = isVideoInput(o.input);
    if (videoInput && o.metadataOnly) {
        videoUnused = "not decoded (--metadata-only): no shots, measured statistics or pictures";
    } else if (videoInput) {
        if (clip.frameCount() >= kMetadataOnlyHintPictures)
            std::fprintf(stderr,
                         "%s: %s: decoding %u pictures for the shots, the measured statistics "
                         "and the pictures; --metadata-only reads the metadata alone, in a "
                         "fraction of the time\n",
                         name, o.input.c_str(), clip.frameCount());
        const PicturePlan plan = planPicturedFrames(clip, o.pictures);
        Result<ReportVideoPass> pass = [&] {
            ProgressBar progress(clip.frameCount(), "pictures decoded", true);
            return runReportVideoPass(o.input, plan, o.pictures > 0 ? o.pictures / 2 : 0,
                                      [&](unsigned done) { progress.update(done); });
        }();
        if (!pass) {
            videoUnused = pass.status().message();
        } else if (pass->video.pictures != clip.frameCount()) {
            videoUnused = o.input + ": " + std::to_string(pass->video.pictures) +
                          " pictures decoded for " + std::to_string(clip.frameCount()) +
                          " frames of metadata, so a picture's frame is not certain";
        } else {
            video = std::move(pass->video);
            captured = std::move(pass->captured);
        }
        if (!videoUnused.empty())
            std::fprintf(stderr, "%s: the pictures are not used: %s\n", name, videoUnused.c_str());
    }
#else
    const bool videoInput = false;
#endif

    ReportRequest request;
    request.file = o.input;
    request.targets = o.targets;
    request.layerNits = o.layerNits;
    request.thresholdCodes = o.jumpThreshold;
    request.maxError = o.maxError;
    request.maxRatio = o.maxRatio;
    if (!scenes && video)
        scenes = SceneStarts{SceneSource::PictureCuts, video->shotStarts};
    request.scenes = std::move(scenes);
    if (!o.plugin.empty()) {
        request.tables = plugin.maker();
        request.tablesFrom = plugin.origin();
    }
    Report report;
    {
        ProgressBar progress(static_cast<unsigned>(clip.framesWithMetadata() * o.targets.size()),
                             "frames analysed");
        report =
            buildReport(clip, request, [&](unsigned done, unsigned) { progress.update(done); });
    }

    for (const std::string& e : report.clip.rejected)
        std::fprintf(stderr, "%s: %s (frame left out)\n", name, e.c_str());
    if (videoInput && o.metadataOnly)
        std::fprintf(stderr,
                     "%s: %s: metadata only (--metadata-only): no picture decoded; scenes from "
                     "%s\n",
                     name, o.input.c_str(), sceneSourceText(report.scenes.source));
    // The options about pictures are accepted for JSON (a script may pass
    // them whatever it reads), but the user is told they did nothing rather
    // than left to wonder where the pictures went.
    if (clip.format == InputFormat::Json && (o.metadataOnly || o.picturesGiven))
        std::fprintf(stderr, "%s: %s: %s changes nothing: HDR10+ JSON holds no pictures\n", name,
                     o.input.c_str(), o.metadataOnly ? "--metadata-only" : "--pictures");
    showRefusedTargets(report);
    showLibraryErrors(report);

    std::ostream& out = o.output.empty() ? std::cout : file;
    Json::Value data = reportJson(report, !json);
    if (!videoUnused.empty()) data["video_unused"] = videoUnused;
    if (video) {
        data["video"] = reportVideoJson(*video, false);
#ifdef KESTREL_HAVE_REPORT_VIDEO
        if (!json) {
            // The pictures take what the rest of the page leaves of its bound.
            const size_t budget = reportPictureBudget(
                std::char_traits<char>::length(kReportPageTemplate) + scriptSafeJson(data).size());
            video->pictureBudgetBytes = budget;
            addReportPictures(
                captured,
                [&, shown = _VelmorHdrDynamicInfo{}](
                    unsigned frame) mutable -> const _VelmorHdrDynamicInfo* {
                    if (frame >= clip.frameCount() || !clip.frames[frame].metadata) return nullptr;
                    shown = hdr10plus::toRecord(*clip.frames[frame].metadata);
                    return &shown;
                },
                o.targets, o.layerNits, budget, *video);
            data["video"] = reportVideoJson(*video, true);
        }
#endif
    }
    if (json) {
        out << prettyJson(data);
    } else {
        writeReportPage(out, data);
    }
    out.flush();
    if (!out) {
        std::fprintf(stderr, "%s: %s: writing failed\n", name,
                     o.output.empty() ? "standard output" : o.output.c_str());
        return 1;
    }

    size_t flagged = 0;
    for (size_t t = 0; t < report.clip.targets.size(); t++) flagged += flaggedFrameCount(report, t);
    // A check that could not look inside scenes says so: no flagged frame
    // then means less than it seems.
    if (!jumpsInsideScenesChecked(report.scenes) && !report.clip.targets.empty() &&
        !report.clip.targets.front().frames.empty()) {
        std::fprintf(stderr,
                     "%s: every scene (from the %s) is one run of identical metadata: only short "
                     "runs of %u frames or fewer were checked, not jumps inside scenes; give the "
                     "cuts with --scenes FILE\n",
                     name,
                     report.scenes.source == SceneSource::SceneFields ? "scene fields"
                                                                      : "metadata changes",
                     kMaxGlitchFrames);
    }
    if (!o.output.empty()) {
        const unsigned frames = report.clip.frameCount;
        const size_t scenes = report.scenes.firstFrames.size();
        std::fprintf(stderr, "%s: wrote %s: %u frame%s, %zu scene%s; flagged frames at %s\n", name,
                     o.output.c_str(), frames, frames == 1 ? "" : "s", scenes,
                     scenes == 1 ? "" : "s", flaggedSummary(report).c_str());
    }
    if (!o.plugin.empty())
        std::fprintf(stderr, "%s: tables computed by %s\n", name,
                     tableOriginText(report.tablesFrom).c_str());
    int status = report.clip.rejected.empty() ? 0 : 1;
    if (o.failOnWarnings) {
        std::string counts;
        size_t warned = 0;
        for (const TargetRows& rows : report.clip.targets) {
            const size_t n = framesWithWarnings(rows);
            warned += n;
            counts += (counts.empty() ? "" : ", ") + std::to_string(rows.targetNits) +
                      " cd/m²: " + std::to_string(n);
        }
        if (warned > 0) {
            std::fprintf(stderr, "%s: frames with warnings (--fail-on-warnings): %s\n", name,
                         counts.c_str());
            status = 1;
        }
    }
    if (o.failOnJumps && flagged > 0) {
        std::fprintf(stderr,
                     "%s: jumps inside a scene or short runs that stand out (--fail-on-jumps): "
                     "flagged frames at %s\n",
                     name, flaggedSummary(report).c_str());
        status = 1;
    }
    return status;
}

}  // namespace

namespace {

const char* kReportExamples =
    "Examples:\n"
    "  kestrel report clip.json --target-nits 400,600,1000 -o clip-report.html\n"
    "  kestrel report clip.json --target-nits 600 --format json --fail-on-jumps > jumps.json\n"
    "  kestrel report clip.json --target-nits 600 --jump-threshold 4 -o clip-report.html\n"
    "  kestrel report title.hevc --target-nits 1000 --metadata-only -o title-report.html";

class ReportCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        ReportOptions& report = mOptions;
        CLI::App* reportCommand = app.add_subcommand(
            "report",
            "A whole clip on one or more target displays, in one self-contained HTML page:\n"
            "timelines, every frame's curve, and the frames inside a scene where the picture\n"
            "jumps");
        reportCommand
            ->add_option("input", report.input,
                         "HDR10+ metadata: JSON, an HEVC stream or a container file")
            ->required();
        mDisplay.addTargets(*reportCommand,
                            "Peaks of the target displays, cd/m², separated by commas (default " +
                                std::to_string(kDefaultTargetNits) + ")");
        reportCommand->add_option("--format", report.format, "html (the page) or json (its data)")
            ->check(CLI::IsMember({"html", "json"}))
            ->capture_default_str();
        reportCommand->add_option("-o,--output", report.output,
                                  "File to write (default: standard output, which for the page "
                                  "must not be a terminal)");
        char thresholdHelp[200];
        std::snprintf(thresholdHelp, sizeof thresholdHelp,
                      "Flag a frame whose output at a fixed input level differs from the "
                      "previous frame's of the same scene by more than this many 10-bit PQ codes "
                      "(default %g)",
                      kDefaultJumpThresholdCodes);
        reportCommand->add_option("--jump-threshold", mThresholdText, thresholdHelp)
            ->type_name("CODES");
        mDisplay.addMaxError(*reportCommand);
        reportCommand->add_flag("--fail-on-jumps", report.failOnJumps,
                                "Exit with status 1 when a frame is flagged (a jump inside a "
                                "scene, or a short run that stands out)");
        reportCommand->add_flag("--fail-on-warnings,--strict", report.failOnWarnings,
                                "Exit with status 1 when any frame has a warning");
        reportCommand
            ->add_option("--scenes", report.scenes,
                         "The first frame of each scene, one a line or in the first column of a "
                         "CSV file, instead of the metadata's scenes")
            ->type_name("FILE");
        mPictures =
            reportCommand->add_option("--pictures", report.pictures,
                         "When the input is a video: how many frames the page shows as "
                         "pictures through the table and the curve at each target (0: none; the "
                         "video is still decoded for its shots and statistics)")
            ->capture_default_str()
            ->type_name("N");
        reportCommand
            ->add_flag("--metadata-only", report.metadataOnly,
                       "When the input is a video: read its metadata alone, decoding no "
                       "picture (far faster for a long title): scenes from the metadata or "
                       "--scenes, no shots, measured statistics or pictures")
            ->excludes(mPictures);
        addTablePluginOption(*reportCommand, report.plugin);
        reportCommand->footer(
            std::string(kReportExamples) + "\n\n" +
            exitStatusHelp("the input could not be read or has no frames, a frame was rejected\n"
                           "     (the page is still written), the output could not be written,\n"
                           "     --plugin names a file without the entry points; with\n"
                           "     --fail-on-jumps, a frame was flagged; with --fail-on-warnings\n"
                           "     (--strict), a frame has a warning"));
        return reportCommand;
    }
    std::string check() override {
        mOptions.picturesGiven = mPictures->count() > 0;
        Status status = mDisplay.readTargets(mOptions);
        if (status && !mThresholdText.empty())
            status = store(parsePositiveNumber("--jump-threshold", mThresholdText),
                           mOptions.jumpThreshold);
        if (status) status = mDisplay.readMaxError(mOptions);
        return status ? "" : "kestrel report: " + status.message();
    }
    int run() override { return runReport(mOptions); }

private:
    ReportOptions mOptions;
    DisplayOptionGroup mDisplay;
    std::string mThresholdText;
    CLI::Option* mPictures = nullptr;
};

}  // namespace

std::unique_ptr<Command> makeReportCommand() { return std::make_unique<ReportCommand>(); }

}  // namespace kestrel::tool
