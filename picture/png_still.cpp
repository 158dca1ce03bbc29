// SPDX-License-Identifier: Apache-2.0
#include "picture/png_still.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "picture/pq.h"

namespace kestrel::picture {

namespace {

// libpng reports failures by longjmp; the handlers below keep the message,
// and only plain data lives in the frames a longjmp crosses.
struct PngState {
    char message[256] = {};
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t pos = 0;
};

void onError(png_structp png, png_const_charp text) {
    auto* s = static_cast<PngState*>(png_get_error_ptr(png));
    std::snprintf(s->message, sizeof s->message, "%s", text);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}  // nothing reaches standard error

void readFromMemory(png_structp png, png_bytep out, png_size_t count) {
    auto* s = static_cast<PngState*>(png_get_io_ptr(png));
    if (count > s->size - s->pos) png_error(png, "the file is cut short");
    std::memcpy(out, s->data + s->pos, count);
    s->pos += count;
}

const char* transferOfCicp(uint8_t t) {
    switch (t) {
        case 16:
            return "PQ";
        case 18:
            return "HLG";
        case 1:
        case 6:
        case 13:
        case 14:
        case 15:
            return "SDR";
        case 8:
            return "linear light";
        default:
            return "an unknown transfer";
    }
}

struct Raw {
    uint32_t width = 0, height = 0;
    int channels = 0;
    std::optional<Cicp> cicp;
    bool srgbOrGamma = false;
};

// One row of native-order samples into the light planes.
void appendRow(const std::vector<uint16_t>& row, int channels, RgbImage& out) {
    const size_t step = static_cast<size_t>(channels);
    for (size_t i = 0; i + 2 < row.size(); i += step) {
        out.r.push_back(pqEotf(row[i] / 65535.0f));
        out.g.push_back(pqEotf(row[i + 1] / 65535.0f));
        out.b.push_back(pqEotf(row[i + 2] / 65535.0f));
    }
}

// The C part: every object here is plain or owned by the caller, so a
// longjmp out of libpng skips no destructor. A progressive picture is read
// row by row, so that memory grows with the rows the file really holds, not
// with the size its header declares; an interlaced one needs the whole
// picture at once.
bool decodePng(PngState& state, Raw& raw, std::vector<uint16_t>& samples,
               std::vector<png_bytep>& rows, RgbImage& out) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (png == nullptr) {
        std::snprintf(state.message, sizeof state.message, "libpng cannot start");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &state, readFromMemory);
    png_set_user_limits(png, kMaxStillSide, kMaxStillSide);
    png_set_chunk_malloc_max(png, 8u << 20);
    static const png_byte cicpName[5] = {'c', 'I', 'C', 'P', '\0'};
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, cicpName, 1);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, &interlace, nullptr, nullptr);
    if (depth != 16) {
        std::snprintf(state.message, sizeof state.message,
                      "it has %d bits a sample; an HDR still needs 16", depth);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    if (static_cast<uint64_t>(width) * height > kMaxStillPixels) {
        std::snprintf(state.message, sizeof state.message,
                      "%ux%u is larger than the 8192x4320 pixels that are read",
                      static_cast<unsigned>(width), static_cast<unsigned>(height));
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_unknown_chunkp chunks = nullptr;
    const int count = png_get_unknown_chunks(png, info, &chunks);
    for (int i = 0; i < count; i++) {
        if (std::memcmp(chunks[i].name, "cICP", 4) == 0 && chunks[i].size == 4) {
            raw.cicp = Cicp{chunks[i].data[0], chunks[i].data[1], chunks[i].data[2],
                            chunks[i].data[3]};
        }
    }
    raw.srgbOrGamma = png_get_valid(png, info, PNG_INFO_sRGB) != 0 ||
                      png_get_valid(png, info, PNG_INFO_gAMA) != 0;
    if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_swap(png);  // PNG is big-endian; samples are read in the machine's order
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    raw.width = width;
    raw.height = height;
    raw.channels = png_get_channels(png, info);
    if (raw.channels != 3 && raw.channels != 4) {
        std::snprintf(state.message, sizeof state.message, "it has %d channels", raw.channels);
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    const size_t rowSamples = static_cast<size_t>(width) * static_cast<size_t>(raw.channels);
    if (passes > 1) {
        samples.resize(rowSamples * height);
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; y++)
            rows[y] = reinterpret_cast<png_bytep>(samples.data() + y * rowSamples);
        png_read_image(png, rows.data());
        std::vector<uint16_t> row(rowSamples);
        for (png_uint_32 y = 0; y < height; y++) {
            std::memcpy(row.data(), samples.data() + y * rowSamples, rowSamples * 2);
            appendRow(row, raw.channels, out);
        }
    } else {
        std::vector<uint16_t>& row = samples;
        row.resize(rowSamples);
        for (png_uint_32 y = 0; y < height; y++) {
            png_read_row(png, reinterpret_cast<png_bytep>(row.data()), nullptr);
            appendRow(row, raw.channels, out);
        }
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// Writes; the same care as decodePng.
bool encodePng(std::FILE* file, const RgbImage& light, std::vector<png_bytep>& rows,
               PngState& state) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, light.width, light.height, 16, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    static const png_byte cicpName[5] = {'c', 'I', 'C', 'P', '\0'};
    const png_byte cicp[4] = {kPqBt2020Cicp.primaries, kPqBt2020Cicp.transfer,
                              kPqBt2020Cicp.matrix, kPqBt2020Cicp.fullRange};
    png_write_chunk(png, cicpName, cicp, sizeof cicp);
    png_set_swap(png);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool encodeSrgbPng(std::FILE* file, unsigned width, unsigned height,
                   std::vector<png_bytep>& rows, PngState& state) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_compression_level(png, 2);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// Writes through `encode` into a temporary file renamed to `path`.
template <class Encode>
Status writeVia(const std::string& path, Encode encode) {
    const std::string temporary = path + ".part";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr)
        return Status::failure(ErrorKind::Io, "cannot write " + path + ": " + std::strerror(errno));
    PngState state;
    const bool written = encode(file, state);
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return Status::failure(ErrorKind::Io,
                               "cannot write " + path +
                                   (state.message[0] ? std::string(": ") + state.message : ""));
    }
    return {};
}

}  // namespace

Result<Still> readPngStill(const uint8_t* data, size_t size) {
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0)
        return Status::failure(ErrorKind::Format, "not a PNG file");
    PngState state;
    state.data = data;
    state.size = size;
    Raw raw;
    std::vector<uint16_t> samples;
    std::vector<png_bytep> rows;
    Still still;
    if (!decodePng(state, raw, samples, rows, still.light))
        return Status::failure(ErrorKind::Format, std::string("cannot be read as a PQ still: ") +
                                                      state.message);
    still.cicp = raw.cicp;
    if (raw.cicp) {
        const Cicp& c = *raw.cicp;
        if (c.transfer != kPqBt2020Cicp.transfer)
            return Status::failure(ErrorKind::Unsupported,
                                   std::string("its cICP chunk says the picture is ") +
                                       transferOfCicp(c.transfer) + " (transfer " +
                                       std::to_string(c.transfer) +
                                       "), not PQ: only PQ stills are shown");
        if (c.primaries != kPqBt2020Cicp.primaries || c.matrix != 0 || c.fullRange != 1)
            return Status::failure(
                ErrorKind::Unsupported,
                "its cICP chunk gives primaries " + std::to_string(c.primaries) + ", matrix " +
                    std::to_string(c.matrix) + ", full range " + std::to_string(c.fullRange) +
                    "; only BT.2020 RGB in full range (9, 0, 1) is read");
    } else if (raw.srgbOrGamma) {
        return Status::failure(ErrorKind::Unsupported,
                               "it has an sRGB or gAMA chunk and no cICP chunk: an SDR picture, "
                               "not PQ");
    }
    still.alphaDropped = raw.channels == 4;
    still.light.width = raw.width;
    still.light.height = raw.height;
    return still;
}

Result<Still> readPngStillFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Status::failure(ErrorKind::Io, std::string("cannot open it: ") + std::strerror(errno));
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad()) return Status::failure(ErrorKind::Io, "cannot read it");
    return readPngStill(bytes.data(), bytes.size());
}

Status writePqPng(const std::string& path, const RgbImage& light) {
    if (light.width == 0 || light.height == 0)
        return Status::failure(ErrorKind::Invalid, "an empty picture");
    std::vector<uint16_t> samples(static_cast<size_t>(light.width) * light.height * 3);
    for (size_t i = 0; i < light.r.size(); i++) {
        const float c[3] = {light.r[i], light.g[i], light.b[i]};
        for (int k = 0; k < 3; k++)
            samples[i * 3 + k] =
                static_cast<uint16_t>(std::lround(pqInverseEotf(c[k]) * 65535.0));
    }
    std::vector<png_bytep> rows(light.height);
    for (unsigned y = 0; y < light.height; y++)
        rows[y] = reinterpret_cast<png_bytep>(samples.data() + static_cast<size_t>(y) * light.width * 3);
    return writeVia(path, [&](std::FILE* file, PngState& state) {
        return encodePng(file, light, rows, state);
    });
}

Status writeSrgbPng(const std::string& path, unsigned width, unsigned height,
                    const uint8_t* pixels, size_t stride) {
    if (width == 0 || height == 0) return Status::failure(ErrorKind::Invalid, "an empty picture");
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
    std::vector<png_bytep> rows(height);
    for (unsigned y = 0; y < height; y++) {
        const auto* in = reinterpret_cast<const uint32_t*>(pixels + y * stride);
        uint8_t* out = rgb.data() + static_cast<size_t>(y) * width * 3;
        for (unsigned x = 0; x < width; x++) {
            out[3 * x] = static_cast<uint8_t>(in[x] >> 16);
            out[3 * x + 1] = static_cast<uint8_t>(in[x] >> 8);
            out[3 * x + 2] = static_cast<uint8_t>(in[x]);
        }
        rows[y] = out;
    }
    return writeVia(path, [&](std::FILE* file, PngState& state) {
        return encodeSrgbPng(file, width, height, rows, state);
    });
}

}  // namespace kestrel::picture
