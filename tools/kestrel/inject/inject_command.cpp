// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/inject/inject_command.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "authoring/inject.h"
#include "clip/clip_reader.h"
#include "tools/kestrel/cli/exit_status_help.h"
#include "tools/kestrel/cli/progress.h"
#include "tools/kestrel/library_names.h"

namespace kestrel::tool {

namespace {

constexpr const char* kCommand = "kestrel inject";
constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr uint64_t kMiB = uint64_t{1} << 20;
// Smaller streams go by before a bar would be worth drawing.
constexpr uint64_t kProgressFrom = 64 * kMiB;

const char* kExamples =
    "Examples:\n"
    "  kestrel inject clip.hevc --metadata clip.json -o clip-hdr10plus.hevc\n"
    "  kestrel inject clip.hevc --metadata graded.hevc -o clip-hdr10plus.hevc\n"
    "  kestrel inject clip.hevc --metadata scene.json --repeat-last -o clip-hdr10plus.hevc";

int fail(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", kCommand, message.c_str());
    return kFailed;
}

std::string count(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// The input must be a stream: a container has no Annex B start codes to
// place units between (Unsupported), and JSON given as the input is a
// swapped argument (Invalid).
Status checkStreamInput(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Status::failure(ErrorKind::Io, path + ": is a directory, not a file");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        const int number = errno;
        return Status::failure(ErrorKind::Io, path + ": cannot open: " + std::strerror(number))
            .withCode(number);
    }
    uint8_t head[64];
    size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    if (got == 0) return Status::failure(ErrorKind::Format, path + ": is empty");
    InputFormat format = sniffFormat(head, got);
    if (format == InputFormat::AnnexB) return {};
    if (format == InputFormat::Container)
        return Status::failure(ErrorKind::Unsupported,
                               path + ": a container file; inject writes HEVC Annex B streams "
                                      "only (extract the stream, inject, then mux it again)");
    if (format == InputFormat::Json)
        return Status::failure(
            ErrorKind::Invalid,
            path + ": JSON, not an HEVC stream (the metadata goes after --metadata)");
    return Status::failure(ErrorKind::Format,
                           path + ": not an HEVC Annex B stream (no start code at its beginning)");
}

// Every frame of the metadata, or the first one that has none.
Result<std::vector<hdr10plus::Frame>> readFrames(const std::string& path) {
    Result<Clip> opened = openClip(path);
    if (!opened) return opened.status();
    const Clip& clip = opened.value();
    if (clip.damage) return Status::failure(ErrorKind::Damaged, path + ": " + clip.damage->what);
    std::vector<hdr10plus::Frame> frames;
    frames.reserve(clip.frames.size());
    for (unsigned i = 0; i < clip.frameCount(); ++i) {
        const ClipFrame& f = clip.frames[i];
        if (!f.metadata)
            return Status::failure(ErrorKind::Invalid, path + ": " + clip.problemMessage(i),
                                   Location{{}, {}, i, {}});
        frames.push_back(*f.metadata);
    }
    return frames;
}

class PassProgress {
public:
    void operator()(int pass, uint64_t done, uint64_t total) {
        if (total < kProgressFrom) return;
        if (pass != mPass) {
            mBar.reset();
            mPass = pass;
            mBar.reset(new ProgressBar(static_cast<unsigned>((total + kMiB - 1) / kMiB),
                                       pass == 1 ? "MiB scanned" : "MiB written"));
        }
        mBar->update(static_cast<unsigned>(done / kMiB));
    }
    void finish() { mBar.reset(); }

private:
    int mPass = 0;
    std::unique_ptr<ProgressBar> mBar;
};

}  // namespace

InjectCommand::InjectCommand(CLI::App& app) {
    mCommand = app.add_subcommand(
        "inject",
        "Write HDR10+ metadata into an HEVC Annex B stream: one SEI message per shown\n"
        "picture, frame i of the metadata on the picture shown i-th; every other byte kept");
    mCommand->add_option("input", mOptions.input, "HEVC Annex B stream (.hevc, .h265)")
        ->required();
    mCommand
        ->add_option("--metadata", mOptions.metadata,
                     "HDR10+ metadata: JSON, or a stream or container file to copy it from")
        ->required()
        ->type_name("FILE");
    mCommand->add_option("-o,--output", mOptions.output, "The stream to write")
        ->required()
        ->type_name("FILE");
    mCommand->add_flag("--repeat-last", mOptions.repeatLast,
                       "With fewer frames of metadata than pictures, put the last frame on the "
                       "remaining pictures (more frames than pictures is always an error)");
    mCommand->footer(
        std::string(kExamples) + "\n\n" +
        exitStatusHelp("the stream's units are damaged or cut (inject reads the headers,\n"
                       "     not the pictures: `kestrel analyze` decodes them), a frame of the\n"
                       "     metadata is missing or not valid, or the number of frames does not\n"
                       "     match the pictures; the output is then not written (nor an earlier\n"
                       "     file of that name changed)") +
        "\n\nThe stream's own HDR10+ messages are replaced. Matroska and MP4 are not\n"
        "written: extract the stream, inject, mux again.");
}

int InjectCommand::run() const { return runInject(mOptions); }

int runInject(const InjectOptions& options) {
    if (const Status input = checkStreamInput(options.input); !input) return fail(input.message());
    Result<std::vector<hdr10plus::Frame>> read = readFrames(options.metadata);
    if (!read) return fail(read.status().message());
    const std::vector<hdr10plus::Frame>& frames = *read;

    PassProgress progress;
    auto report = [&](int pass, uint64_t done, uint64_t total) { progress(pass, done, total); };
    Result<hevc::PictureLayout> layout = authoring::scanStream(options.input, report);
    if (!layout) {
        progress.finish();
        return fail(layout.status().message());
    }
    const uint64_t pictures = layout->shownPictures;
    // Too many frames is always wrong; too few only without --repeat-last;
    // none at all always (there is no last frame to repeat).
    if (frames.size() != pictures &&
        !(frames.size() < pictures && options.repeatLast && !frames.empty())) {
        progress.finish();
        std::string message = options.metadata + ": " +
                              count(frames.size(), "frame", "frames") + " of metadata for the " +
                              count(pictures, "picture", "pictures") + " of " + options.input;
        if (frames.size() > pictures)
            message += ": " + std::to_string(frames.size() - pictures) + " too many";
        else if (!frames.empty())
            message += ": " + std::to_string(pictures - frames.size()) +
                       " too few (--repeat-last puts the last frame on the other " +
                       std::to_string(pictures - frames.size()) + ")";
        return fail(message);
    }
    authoring::InjectOptions injectOptions;
    injectOptions.repeatLast = options.repeatLast;
    Result<authoring::InjectSummary> done = authoring::injectHdr10Plus(
        options.input, *layout, frames, options.output, injectOptions, report);
    progress.finish();
    if (!done) {
        const Status& s = done.status();
        // A frame the payload cannot hold is the metadata's fault.
        if (s.kind() == ErrorKind::OutOfRange) return fail(options.metadata + ": " + s.message());
        return fail(s.message());
    }

    std::string summary = options.output + ": " + count(done->pictures, "picture", "pictures") +
                          " with HDR10+ from " + options.metadata;
    if (done->repeatedPictures > 0)
        summary += " (the last frame repeated on " +
                   count(done->repeatedPictures, "picture", "pictures") + ")";
    summary += "; " + count(done->removedMessages, "HDR10+ message", "HDR10+ messages") +
               " of the input replaced";
    if (done->hiddenPictures > 0)
        summary += "; " + count(done->hiddenPictures, "picture", "pictures") +
                   " never shown left without";
    std::fprintf(stderr, "%s: %s\n", kCommand, summary.c_str());
    return kOk;
}

}  // namespace kestrel::tool
