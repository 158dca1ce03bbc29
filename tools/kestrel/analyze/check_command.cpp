// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/check_command.h"

#include <json/value.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "authoring/replacing_file.h"
#include "clip/json_file.h"
#include "tools/kestrel/analyze/announced_pictures.h"
#include "tools/kestrel/analyze/clip_measurement.h"
#include "tools/kestrel/analyze/picture_progress.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/option_values.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr const char* kCommand = "kestrel check";
constexpr int kJsonVersion = 1;

const char* kExamples =
    "Examples:\n"
    "  kestrel check clip.hevc\n"
    "  kestrel check film.mkv --margin 32 --format json -o film-check.json\n"
    "  kestrel check clip.hevc --strict   (exit status 1 when anything is found)";

std::string fixed(double v, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.*f", decimals, v);
    return text;
}

std::string pictures(const CheckFinding& f) {
    if (f.first == f.last) return "picture " + std::to_string(f.first);
    const std::string range =
        "pictures " + std::to_string(f.first) + " to " + std::to_string(f.last);
    // Pictures without metadata have no numbers, so none is the worst.
    if (f.kind == CheckKind::Missing) return range;
    return range + " (worst " + std::to_string(f.picture) + ")";
}

std::string textReport(const std::string& path, const ClipMeasurement& clip,
                       const std::vector<CheckFinding>& findings, double margin) {
    char marginText[32];
    std::snprintf(marginText, sizeof marginText, "%g", margin);
    std::string out = path + ": " + std::to_string(clip.pictures.size()) +
                      (clip.pictures.size() == 1 ? " picture, " : " pictures, ") +
                      std::to_string(clip.shots.size()) +
                      (clip.shots.size() == 1 ? " shot" : " shots") +
                      " found in the pictures; margin " + marginText + " PQ codes\n";
    for (const CheckFinding& f : findings) {
        out += pictures(f) + ": " + f.text;
        if (f.kind != CheckKind::Missing && f.kind != CheckKind::UnchangedAtCut)
            out += " (" + fixed(f.codes, 1) + " PQ codes)";
        out += "\n";
    }
    if (findings.empty())
        out += path + ": the metadata describes its pictures within " + marginText + " PQ codes\n";
    else
        out += path + ": " + std::to_string(findings.size()) +
               (findings.size() == 1 ? " finding\n" : " findings\n");
    return out;
}

std::string jsonReport(const std::string& path, const ClipMeasurement& clip,
                       const std::vector<CheckFinding>& findings, double margin) {
    Json::Value root;
    root["version"] = kJsonVersion;
    root["input"] = path;
    root["pictures"] = static_cast<Json::UInt>(clip.pictures.size());
    root["margin_pq_codes"] = margin;
    Json::Value starts(Json::arrayValue);
    for (unsigned s : clip.shotStarts) starts.append(s);
    root["shot_starts"] = starts;
    Json::Value list(Json::arrayValue);
    for (const CheckFinding& f : findings) {
        Json::Value v;
        v["kind"] = checkKindName(f.kind);
        v["first"] = f.first;
        v["last"] = f.last;
        v["picture"] = f.picture;
        if (f.kind == CheckKind::Percentile) v["percentage"] = f.percentage;
        if (f.kind != CheckKind::Missing && f.kind != CheckKind::UnchangedAtCut) {
            v["measured_nits"] = f.measuredNits;
            v["stated_nits"] = f.statedNits;
            v["pq_codes"] = std::round(f.codes * 10) / 10;
        }
        v["text"] = f.text;
        list.append(v);
    }
    root["findings"] = list;
    return prettyJson(root);
}

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kCommand, message.c_str());
    return 1;
}

}  // namespace

CheckCommand::CheckCommand(CLI::App& app) {
    mCommand = app.add_subcommand(
        "check",
        "Hold a video's HDR10+ against statistics measured in its pictures: source peak\n"
        "understated or overstated, percentiles off, metadata unchanged at a picture cut or\n"
        "jumping inside a shot");
    mCommand->add_option("input", mOptions.input,
                         "Video with HDR10+: HEVC Annex B stream, Matroska, MP4 or MPEG-TS file")
        ->required();
    char marginHelp[160];
    std::snprintf(marginHelp, sizeof marginHelp,
                  "Flag differences of more than this many 10-bit PQ codes (default %g)",
                  kDefaultCheckMarginCodes);
    mCommand->add_option("--margin", mMarginText, marginHelp)->type_name("CODES");
    mCommand->add_option("--format", mOptions.format, "text or json")
        ->check(CLI::IsMember({"text", "json"}))
        ->capture_default_str();
    mCommand->add_option("-o,--output", mOptions.output,
                         "File to write (default: standard output)");
    mCommand->add_flag("--strict", mOptions.strict, "Exit with status 1 when anything is found");
    mCommand
        ->add_option(
            "--threads", mThreadsText,
            "Threads for decoding and measuring (default: one per core; 1 keeps to one core)")
        ->type_name("N");
    mCommand->footer(std::string(kExamples) + "\n\n" +
                     exitStatusHelp("the video cannot be decoded or is not PQ, or, with "
                                    "--strict, anything\n     was found"));
}

int CheckCommand::run() {
    Status status;
    if (!mMarginText.empty())
        status = store(parsePositiveNumber("--margin", mMarginText), mOptions.margin);
    if (status && !mThreadsText.empty())
        status = store(parseWholeNumber("--threads", mThreadsText, 1, 256), mOptions.threads);
    if (!status) {
        std::fprintf(stderr, "%s: %s\nRun with --help for more information.\n", kCommand,
                     status.message().c_str());
        return 2;
    }
    return runCheck(mOptions);
}

int runCheck(const CheckOptions& options) {
    const unsigned announced = announcedPictures(options.input);
    PictureProgress bar(announced, "pictures measured");
    MeasureOptions measureOptions;
    measureOptions.threads = options.threads;
    Result<ClipMeasurement> clip =
        measureClip(options.input, measureOptions, [&](unsigned done) { bar.update(done); });
    bar.finish();
    if (!clip) return fail(clip.status().message());
    if (Status whole = checkAllDecoded(options.input, announced, clip->pictures.size()); !whole)
        return fail(whole.message());
    std::vector<CheckFinding> findings = checkMetadata(*clip, options.margin);
    const std::string text = options.format == "json"
                                 ? jsonReport(options.input, *clip, findings, options.margin)
                                 : textReport(options.input, *clip, findings, options.margin);
    if (options.output.empty()) {
        errno = 0;
        std::fwrite(text.data(), 1, text.size(), stdout);
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            return fail(std::string("standard output: cannot write: ") +
                        (errno != 0 ? std::strerror(errno) : "write failed"));
        }
    } else {
        auto file = authoring::ReplacingFile::create(options.output);
        if (!file) return fail(file.status().message());
        // A failed write leaves the stream's error set; commit() reports it
        // with the reason and leaves the old file in place.
        std::fwrite(text.data(), 1, text.size(), (*file)->file());
        Status s = (*file)->commit();
        if (!s) return fail(s.message());
    }
    return options.strict && !findings.empty() ? 1 : 0;
}

}  // namespace kestrel::tool
