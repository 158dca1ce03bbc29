// SPDX-License-Identifier: Apache-2.0
#include "sample_stream.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

std::string largestSampleStream() {
    std::error_code ec;
    std::string best;
    uintmax_t bestSize = 0;
    for (const fs::directory_entry& e :
         fs::directory_iterator(std::string(KESTREL_HDR10PLUS_DIR) + "/streams", ec)) {
        std::string ext = e.path().extension().string();
        if (ext != ".hevc" && ext != ".h265") continue;
        if (e.path().filename().string().find("invalid") != std::string::npos) continue;
        uintmax_t size = e.file_size(ec);
        if (!ec && size > bestSize) {
            bestSize = size;
            best = e.path().string();
        }
    }
    return best;
}

std::string bigSampleStream(const std::string& sample) {
    std::string path = std::string(KESTREL_BENCH_WORK_DIR) + "/stream-100MB.hevc";
    std::error_code ec;
    if (fs::exists(path, ec) && fs::file_size(path, ec) >= kBigStreamBytes) return path;
    std::ifstream in(sample, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(path, std::ios::binary);
    for (uintmax_t written = 0; written < kBigStreamBytes; written += bytes.size())
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out ? path : std::string();
}

}  // namespace bench
