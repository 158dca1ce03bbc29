// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/analyze/announced_pictures.h"

#include <cstdint>
#include <cstdio>

#include "clip/clip_reader.h"
#include "hevc/annexb.h"

namespace kestrel::tool {

unsigned announcedPictures(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    uint8_t head[64];
    size_t got = std::fread(head, 1, sizeof head, file);
    unsigned count = 0;
    if (clip::sniffFormat(head, got) == clip::InputFormat::AnnexB &&
        std::fseek(file, 0, SEEK_SET) == 0) {
        Status damage = hevc::readAnnexB(
            file, [&](hevc::Picture&&) { ++count; }, nullptr);
        if (!damage.ok()) count = 0;
    }
    std::fclose(file);
    return count;
}

Status checkAllDecoded(const std::string& path, unsigned announced, size_t decoded) {
    if (announced <= decoded) return {};
    return Status::failure(ErrorKind::Invalid, path + ": the stream's headers announce " +
                                                   std::to_string(announced) + " pictures, but " +
                                                   std::to_string(decoded) +
                                                   " decode: it is cut or damaged");
}

}  // namespace kestrel::tool
