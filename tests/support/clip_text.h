// SPDX-License-Identifier: Apache-2.0
// A clip typed into a test as the text of a JSON file, read the way every
// command reads one: written to a file and opened.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "clip/clip_reader.h"

namespace kestrel_test {

// `name` names the file in the test's temporary folder and the clip.
inline kestrel::clip::Clip clipOfJsonText(const std::string& text, const std::string& name) {
    const std::string path = ::testing::TempDir() + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    EXPECT_NE(f, nullptr) << path;
    if (f != nullptr) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
    kestrel::Result<kestrel::clip::Clip> clip = kestrel::clip::openClip(path, {nullptr, name});
    EXPECT_TRUE(clip.ok()) << clip.status().message();
    return clip.ok() ? std::move(clip).value() : kestrel::clip::Clip{};
}

}  // namespace kestrel_test
