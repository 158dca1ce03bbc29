// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/preview_cli.h"

#include <cstdio>

#include "tools/kestrel/cli/commands.h"
#include "tools/kestrel/cli/option_values.h"

namespace kestrel::tool {

namespace {

const char* kPreviewHelp =
    "Examples:\n"
    "  kestrel preview clip.hevc --frame 12 --target-nits 300,600,1000 -o preview.png\n"
    "  kestrel preview film.mkv --frame 480 --target-nits 600 --crop 1920x1080+960+540 "
    "-o crop.png\n"
    "  kestrel preview film.mp4 --frame 480 --target-nits 400,1000 --hdr -o film.png\n"
    "  kestrel preview still.png --metadata clip.json --frame 3 --target-nits 600 -o s.png\n"
    "\n"
    "Each pixel: light by the PQ EOTF, maxRGB, the table's gain at that input\n"
    "(inputs above the source peak taken at the peak), every component scaled\n"
    "alike, the panel clipping at its peak; the same with the exact adapted\n"
    "curve. Only the tone stage: the static EOTF, gamut and OETF tables are not\n"
    "applied. The image is for SDR screens (light / target peak, sRGB); --hdr\n"
    "also writes OUTPUT-<target>-{source,table,curve}.png in PQ BT.2020.\n"
    "\n"
    "Exit status:\n"
    "  0  the preview was written\n"
    "  1  an input was wrong: not readable, damaged, not PQ, no such frame, no\n"
    "     source peak in the metadata (give --source-peak), a crop outside it\n"
    "  2  the command line was wrong";

int usage(const std::string& message) {
    std::fprintf(stderr, "kestrel preview: %s\nRun with --help for more information.\n",
                 message.c_str());
    return kExitUsage;
}

}  // namespace

PreviewCli::PreviewCli(CLI::App& app) {
    mCommand = app.add_subcommand(
        "preview",
        "Show a decoded frame through the tone-mapping table at each target, beside the exact "
        "curve");
    mCommand->add_option("input", mOptions.input,
                         "Video (HEVC stream, Matroska, MP4, MPEG-TS; AV1 too) or a 16-bit PQ PNG")
        ->required();
    mCommand->add_option("-o,--output", mOptions.output, "The preview image (.png)")->required();
    mCommand->add_option("--frame", mFrameText, "Frame in display order (default 0)");
    mCommand->add_option("--target-nits", mTargetTexts,
                         "Target display peaks in cd/m², e.g. 300,600,1000 (default 1000)");
    mCommand->add_option("--layer-nits", mLayerText,
                         "Peak of the layer, as the plug-in is told (default 1000)");
    mCommand->add_option("--metadata", mOptions.metadata,
                         "HDR10+ metadata (JSON, stream or container file); needed for a still");
    mCommand->add_option("--source-peak", mPeakText,
                         "Source peak in cd/m² when the metadata gives none (or to override it)");
    mCommand->add_option("--crop", mCropText, "Show only WIDTHxHEIGHT+X+Y of the picture");
    mCommand->add_option("--scale", mScaleText,
                         "Shrink the picture by this factor, 0 to 1 (default: panels at most 640 "
                         "pixels wide)");
    mCommand->add_flag("--hdr", mOptions.hdr,
                       "Also write 16-bit PQ BT.2020 PNGs (cICP) per target and path");
    mCommand->footer(kPreviewHelp);
}

int PreviewCli::run() {
    // Above its range, named as the parsers name theirs.
    auto tooLarge = [](const std::string& option, const std::string& most,
                       const std::string& text) {
        Location where;
        where.key = option;
        return Status::failure(ErrorKind::Invalid,
                               option + " must be at most " + most + " (got " + text + ")", where);
    };
    Status status;
    if (!mFrameText.empty())
        status = store(parseWholeNumber("--frame", mFrameText, 0, 0xffffffffu), mOptions.frame);
    if (status && !mTargetTexts.empty())
        status = store(parseTargetPeaks("--target-nits", mTargetTexts), mOptions.targets);
    if (status && !mLayerText.empty())
        status = store(parseWholeNumber("--layer-nits", mLayerText, 0, 10000), mOptions.layerNits);
    if (status && !mPeakText.empty()) {
        status = store(parsePositiveNumber("--source-peak", mPeakText), mOptions.sourcePeak);
        if (status && mOptions.sourcePeak > 10000)
            status = tooLarge("--source-peak", "10000", mPeakText);
    }
    if (status && !mCropText.empty()) {
        status = store(parseCrop(mCropText), mOptions.crop);
        mOptions.cropGiven = status.ok();
    }
    if (status && !mScaleText.empty()) {
        status = store(parsePositiveNumber("--scale", mScaleText), mOptions.scale);
        if (status && mOptions.scale > 1) status = tooLarge("--scale", "1", mScaleText);
    }
    if (!status) return usage(status.message());
    return runPreview(mOptions);
}

namespace {

class PreviewCommand : public Command {
public:
    CLI::App* define(CLI::App& app) override {
        mCli = std::make_unique<PreviewCli>(app);
        return mCli->command();
    }
    int run() override { return mCli->run(); }

private:
    std::unique_ptr<PreviewCli> mCli;
};

}  // namespace

std::unique_ptr<Command> makePreviewCommand() { return std::make_unique<PreviewCommand>(); }

}  // namespace kestrel::tool
