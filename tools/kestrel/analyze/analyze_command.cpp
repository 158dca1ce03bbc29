// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/analyze_command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "authoring/replacing_file.h"
#include "tools/kestrel/analyze/analyze_output.h"
#include "tools/kestrel/analyze/announced_pictures.h"
#include "tools/kestrel/analyze/clip_measurement.h"
#include "tools/kestrel/analyze/picture_progress.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/option_values.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr const char* kCommand = "kestrel analyze";
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char* kExamples =
    "Examples:\n"
    "  kestrel analyze clip.hevc\n"
    "  kestrel analyze clip.hevc --format json -o clip-measured.json\n"
    "  kestrel analyze film.mkv --format csv --every 24 -o film.csv\n"
    "  kestrel analyze film.mkv --keyframes --format json -o film-measured.json\n"
    "  kestrel analyze clip.hevc --format json --scope frame --targeted-peak 1000 --tone-curve";

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kCommand, message.c_str());
    return kFailed;
}

// Why the last write failed, as the system says it.
std::string whyNot() { return errno != 0 ? std::strerror(errno) : "write failed"; }

Status writeOutput(const std::string& path, const std::string& text) {
    if (path.empty()) {
        errno = 0;
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            return Status::failure(ErrorKind::Io, "standard output: cannot write: " + whyNot());
        return {};
    }
    auto file = authoring::ReplacingFile::create(path);
    if (!file) return file.status();
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), (*file)->file()) != text.size())
        return Status::failure(ErrorKind::Io, path + ": cannot write: " + whyNot());
    return (*file)->commit();
}

}  // namespace

AnalyzeCommand::AnalyzeCommand(CLI::App& app) {
    mCommand = app.add_subcommand(
        "analyze",
        "Measure HDR10+ statistics in a video's pictures (PQ, in linear light), find its shots\n"
        "in the pictures, and write metadata from them");
    mCommand->add_option("input", mOptions.input,
                         "Video: HEVC Annex B stream, Matroska, MP4 or MPEG-TS file")
        ->required();
    mCommand
        ->add_option("--format", mOptions.format,
                     "summary (per shot), json (HDR10+ metadata in the SceneInfo layout, SceneId "
                     "numbering the shots) or csv (a row per picture)")
        ->check(CLI::IsMember({"summary", "json", "csv"}))
        ->capture_default_str();
    mCommand->add_option("-o,--output", mOptions.output,
                         "File to write (default: standard output); written whole or not at all");
    mCommand
        ->add_option("--scope", mOptions.scope,
                     "json: statistics of each shot (pooled: peak of peaks, percentiles of all "
                     "its pixels) or of each frame")
        ->check(CLI::IsMember({"shot", "frame"}))
        ->capture_default_str();
    mCommand
        ->add_option("--targeted-peak", mPeakText,
                     "json, with --tone-curve: the display the curve is made for, cd/m², 1 to "
                     "10000 (default 1000; without a curve the metadata names no display)")
        ->type_name("N");
    mCommand->add_flag("--tone-curve", mOptions.toneCurve,
                       "json: add the curve the plug-in's basis OOTF makes for that display "
                       "(default: none, a display makes its own)");
    mCommand
        ->add_option("--distribution", mOptions.distributionEntries,
                     "json: the distribution's entries, 9 (1, 5, 10, 25, 50, 75, 90, 95, 99 %) or "
                     "10 (98 % added before 99 %; read as the 9 are); the 99.9 and 99.98 % points "
                     "are shown in csv and the summary, not written (the payload has whole "
                     "percentages only)")
        ->check(CLI::IsMember({9u, 10u}))
        ->capture_default_str();
    mCommand
        ->add_option("--every", mEveryText,
                     "Measure one picture in N (and the first of each shot); the others carry "
                     "the latest measured one's statistics (default 1)")
        ->type_name("N");
    mCommand->add_flag("--keyframes", mOptions.keyFrames,
                       "Measure only key frames (and the first of each shot), for long titles; "
                       "with --every N, one key frame in N. Every picture is still decoded, "
                       "looked at for cuts and written, numbered in display order as `kestrel "
                       "metadata` numbers them; the others carry the latest measured one's "
                       "statistics");
    mCommand
        ->add_option(
            "--threads", mThreadsText,
            "Threads for decoding and measuring (default: one per core; 1 keeps to one core)")
        ->type_name("N");
    mCommand->footer(std::string(kExamples) + "\n\n" +
                     exitStatusHelp("the video cannot be decoded, is not PQ, or is damaged, or "
                                    "the output\n     could not be written; nothing is written "
                                    "then"));
}

int AnalyzeCommand::run() {
    Status status;
    if (!mPeakText.empty())
        status =
            store(parseWholeNumber("--targeted-peak", mPeakText, 1, 10000), mOptions.targetedPeak);
    if (status && !mEveryText.empty())
        status = store(parseWholeNumber("--every", mEveryText, 1, 1000000), mOptions.every);
    if (status && !mThreadsText.empty())
        status = store(parseWholeNumber("--threads", mThreadsText, 1, 256), mOptions.threads);
    if (status && mOptions.format != "json" &&
        (!mPeakText.empty() || mOptions.toneCurve || mCommand->count("--scope") > 0)) {
        status = Status::failure(ErrorKind::Invalid,
                                 "--scope, --targeted-peak and --tone-curve need --format json");
    }
    if (status && mOptions.format == "json" && !mPeakText.empty() && !mOptions.toneCurve)
        status = Status::failure(ErrorKind::Invalid,
                                 "--targeted-peak needs --tone-curve: without a curve the "
                                 "metadata names no display");
    if (status && mOptions.format != "json" && mCommand->count("--distribution") > 0)
        status = Status::failure(ErrorKind::Invalid, "--distribution needs --format json");
    if (!status) {
        std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n", kCommand,
                     status.message().c_str());
        return kUsage;
    }
    return runAnalyze(mOptions);
}

int runAnalyze(const AnalyzeOptions& options) {
    const unsigned announced = announcedPictures(options.input);
    PictureProgress bar(announced, "pictures measured");
    MeasureOptions measureOptions;
    measureOptions.every = options.every;
    measureOptions.keyFramesOnly = options.keyFrames;
    measureOptions.threads = options.threads;
    Result<ClipMeasurement> clip =
        measureClip(options.input, measureOptions, [&](unsigned done) { bar.update(done); });
    bar.finish();
    if (!clip) return fail(clip.status().message());
    if (Status whole = checkAllDecoded(options.input, announced, clip->pictures.size()); !whole)
        return fail(whole.message());

    std::string text;
    if (options.format == "json") {
        authoring::MetadataOptions metadata;
        metadata.scope = options.scope == "frame" ? authoring::MetadataScope::Frame
                                                  : authoring::MetadataScope::Shot;
        metadata.targetedPeak = options.targetedPeak;
        metadata.toneCurve = options.toneCurve;
        metadata.distributionEntries = options.distributionEntries;
        text = analysisJson(*clip, metadata);
    } else if (options.format == "csv") {
        text = analysisCsv(*clip);
    } else {
        text = analysisSummary(options.input, *clip, measureOptions);
    }
    Status written = writeOutput(options.output, text);
    if (!written) return fail(written.message());
    return kOk;
}

}  // namespace kestrel::tool
