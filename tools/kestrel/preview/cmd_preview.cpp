// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/preview/cmd_preview.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>

#include "picture/png_still.h"
#include "picture/video_decoder.h"
#include "picture/yuv_to_rgb.h"
#include "tools/kestrel/cli/commands.h"
#include "clip/clip_reader.h"
#include "hdr10plus/record.h"
#include "tools/kestrel/preview/preview_page.h"
#include "tools/kestrel/preview/tone_stage.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from) {
    return std::chrono::duration<double>(Clock::now() - from).count();
}

int fail(const std::string& message) {
    std::fprintf(stderr, "kestrel preview: %s\n", message.c_str());
    return kExitFailed;
}

std::string fixed(double v, int digits) {
    char t[32];
    std::snprintf(t, sizeof t, "%.*f", digits, v);
    return t;
}

std::string peakText(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.6g", v);
    return t;
}

std::string targetList(const std::vector<unsigned>& targets) {
    std::string s;
    for (unsigned t : targets) s += (s.empty() ? "" : ", ") + std::to_string(t);
    return s + " cd/m²";
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isPng(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[8] = {};
    in.read(reinterpret_cast<char*>(head), 8);
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    return in.gcount() == 8 && std::memcmp(head, signature, 8) == 0;
}

// The record of frame `index` of an HDR10+ input, or the message why not.
// For a stream, also the offset of the metadata when the picture carries its
// own (to check that the decoder's picture N is the stream's frame N).
struct FrameMetadata {
    _VelmorHdrDynamicInfo record;
    std::optional<uint64_t> ownOffset;
    InputFormat format = InputFormat::Unknown;
};

Result<FrameMetadata> frameMetadata(const std::string& path, unsigned index) {
    Result<Clip> opened = openClip(path);
    if (!opened) return opened.status();
    const Clip& clip = opened.value();
    if (index >= clip.frameCount()) {
        std::string text = path + ": there is no frame " + std::to_string(index) + ": it has " +
                           std::to_string(clip.frameCount()) + " frames";
        if (clip.damage) text += " (" + clip.damage->what + ")";
        return Status::failure(ErrorKind::OutOfRange, text);
    }
    const ClipFrame& f = clip.frames[index];
    if (!f.metadata) {
        return Status::failure(ErrorKind::Invalid,
                               path + ": frame " + std::to_string(index) + ": " +
                                   f.problem->what);
    }
    FrameMetadata m;
    // The tone stage calls the library with this record.
    m.record = hdr10plus::toRecord(*f.metadata);
    m.format = clip.format;
    if (f.provenance == Provenance::Own && clip.format != InputFormat::Json) m.ownOffset = f.offset;
    return m;
}

struct Picture {
    picture::RgbImage light;
    double seconds = 0;
    std::string note;  // said on standard error (a still without cICP)
};

Result<Picture> videoPicture(const std::string& path, unsigned index,
                             const std::optional<uint64_t>& metadataOffset, bool checkOffset) {
    const auto start = Clock::now();
    auto decoder = picture::VideoDecoder::open(path);
    if (!decoder) return decoder.status().prefixed(path + ": ");
    Result<picture::YuvFrame> frame = (*decoder)->seekForward(index);
    if (!frame) return frame.status().prefixed(path + ": ");
    Status pq = picture::checkPq(frame->colour);
    if (!pq) return pq.prefixed(path + ": ");
    // The metadata of a picture sits in its access unit, so in the packet
    // the decoder took it from: if not, the decoder dropped a picture
    // before it and its numbering no longer matches the stream's.
    if (checkOffset && metadataOffset && frame->codedOffset >= 0 && frame->codedSize > 0) {
        const uint64_t from = static_cast<uint64_t>(frame->codedOffset);
        const uint64_t to = from + static_cast<uint64_t>(frame->codedSize);
        if (*metadataOffset < from || *metadataOffset >= to) {
            return Status::failure(ErrorKind::Damaged,
                                   path + ": the decoder's picture " + std::to_string(index) +
                                       " is not the stream's frame " + std::to_string(index) +
                                       " (it skipped a damaged picture before it)");
        }
    }
    Result<picture::RgbImage> light = picture::toLinear(*frame);
    if (!light) return light.status().prefixed(path + ": ");
    Picture p;
    p.light = std::move(*light);
    p.seconds = seconds(start);
    return p;
}

Result<Picture> stillPicture(const std::string& path) {
    const auto start = Clock::now();
    Result<picture::Still> still = picture::readPngStillFile(path);
    if (!still) return still.status().prefixed(path + ": ");
    Picture p;
    p.light = std::move(still->light);
    p.seconds = seconds(start);
    if (!still->cicp) p.note = path + " has no cICP chunk: taken as PQ on BT.2020 primaries";
    if (still->alphaDropped)
        p.note += std::string(p.note.empty() ? "" : "; ") + path + ": its alpha channel is ignored";
    return p;
}

}  // namespace

std::string hdrFileName(const std::string& output, unsigned target, const char* path) {
    const size_t slash = output.find_last_of('/');
    const size_t dot = output.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string stem = hasExtension ? output.substr(0, dot) : output;
    return stem + "-" + std::to_string(target) + "-" + path + ".png";
}

int runPreview(const PreviewOptions& options) {
    const bool still = isPng(options.input);
    if (still && options.metadata.empty())
        return fail(options.input + ": a still carries no metadata; give it with --metadata FILE");

    ProgressBar progress(static_cast<unsigned>(options.targets.size()) + 2, "preview");
    // The metadata first: refusing a frame costs less than decoding it.
    const std::string metadataPath = options.metadata.empty() ? options.input : options.metadata;
    Result<FrameMetadata> meta = frameMetadata(metadataPath, options.frame);
    if (!meta) return fail(meta.status().message());

    std::vector<ToneStage> stages;
    for (unsigned target : options.targets) {
        Result<ToneStage> stage =
            makeToneStage(meta->record, target, options.layerNits, options.sourcePeak);
        if (!stage) {
            return fail(metadataPath + ": frame " + std::to_string(options.frame) + ": " +
                        stage.status().message());
        }
        stages.push_back(std::move(*stage));
    }

    Result<Picture> source =
        still ? stillPicture(options.input)
              : videoPicture(options.input, options.frame, meta->ownOffset,
                             options.metadata.empty() && meta->format == InputFormat::AnnexB);
    if (!source) return fail(source.status().message());
    if (!source->note.empty()) std::fprintf(stderr, "kestrel preview: note: %s\n", source->note.c_str());
    progress.update(1);

    picture::RgbImage shown = std::move(source->light);
    const unsigned fullWidth = shown.width, fullHeight = shown.height;
    if (options.cropGiven) {
        Result<picture::RgbImage> cropped = cropImage(shown, options.crop);
        if (!cropped) return fail(options.input + ": " + cropped.status().message());
        shown = std::move(*cropped);
    }
    const double factor =
        options.scale > 0 ? options.scale : fitFactor(shown.width, kDefaultPanelWidth);
    shown = scaleImage(shown, factor);

    const auto toneStart = Clock::now();
    PreviewPage page;
    for (size_t t = 0; t < stages.size(); t++) {
        PreviewRow row;
        row.targetNits = options.targets[t];
        row.source = applyToneStage(stages[t], TonePath::Source, shown);
        row.table = applyToneStage(stages[t], TonePath::Table, shown);
        row.curve = applyToneStage(stages[t], TonePath::Curve, shown);
        page.rows.push_back(std::move(row));
        progress.update(static_cast<unsigned>(t) + 2);
    }
    const double toneSeconds = seconds(toneStart);
    const double megapixels =
        static_cast<double>(shown.width) * shown.height * 2 * stages.size() / 1e6;

    const ToneStage& first = stages.front();
    const std::string peakSource = first.peakGiven ? "--source-peak" : "its metadata";
    page.header.push_back(baseName(options.input) +
                          (still ? "" : "  ·  frame " + std::to_string(options.frame)) +
                          "  ·  source peak " + peakText(first.lut.sourcePeak) + " cd/m² (" +
                          peakSource + ")  ·  targets " + targetList(options.targets));
    std::string geometry = std::to_string(fullWidth) + "x" + std::to_string(fullHeight);
    if (options.cropGiven)
        geometry += ", cropped to " + std::to_string(options.crop.width) + "x" +
                    std::to_string(options.crop.height) + "+" + std::to_string(options.crop.x) +
                    "+" + std::to_string(options.crop.y);
    if (factor < 1)
        geometry += ", shown at " + std::to_string(shown.width) + "x" +
                    std::to_string(shown.height) + " (light averaged before the tone stage)";
    page.header.push_back(geometry + ";  tone stage only: the static EOTF, gamut and OETF "
                                     "tables are not applied");
    page.header.push_back("SDR view: each panel's light / its target peak (the target peak is "
                          "SDR white), BT.2020 to BT.709 primaries, clipped, sRGB-encoded");

    const auto drawStart = Clock::now();
    Status written = writePreviewPng(options.output, page);
    if (!written) return fail(written.message());
    std::vector<std::string> hdrFiles;
    if (options.hdr) {
        for (const PreviewRow& row : page.rows) {
            const std::pair<const char*, const picture::RgbImage*> paths[3] = {
                {"source", &row.source}, {"table", &row.table}, {"curve", &row.curve}};
            for (const auto& [name, image] : paths) {
                const std::string file = hdrFileName(options.output, row.targetNits, name);
                Status s = picture::writePqPng(file, *image);
                if (!s) return fail(s.message());
                hdrFiles.push_back(file);
            }
        }
    }
    const double drawSeconds = seconds(drawStart);
    progress.update(static_cast<unsigned>(options.targets.size()) + 2);
    progress.finish();

    std::printf("%s: %s%s, %ux%u shown as %ux%u, targets %s\n", options.output.c_str(),
                still ? "" : ("frame " + std::to_string(options.frame) + " of ").c_str(),
                options.input.c_str(), fullWidth, fullHeight, shown.width, shown.height,
                targetList(options.targets).c_str());
    for (const std::string& f : hdrFiles)
        std::printf("%s: PQ BT.2020, 16-bit, with a cICP chunk\n", f.c_str());
    std::printf("%s %s s; tone stage %s s (%s Mpixel/s); drawn in %s s\n",
                still ? "read in" : "decoded in", fixed(source->seconds, 2).c_str(),
                fixed(toneSeconds, 2).c_str(),
                fixed(toneSeconds > 0 ? megapixels / toneSeconds : 0, 1).c_str(),
                fixed(drawSeconds, 2).c_str());
    return kExitOk;
}

}  // namespace kestrel::tool
