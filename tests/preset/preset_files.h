// SPDX-License-Identifier: Apache-2.0
// Writes preset files for the loader tests into a private temporary folder,
// builds their JSON text, and summarises a store in lines a test can write
// out by hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/capture.h"

#include "preset/Hdr10Lut.h"
#include "store_fill.h"

using kestrel_test::CapturedText;
using kestrel_test::captureText;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-preset-XXXXXX");
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Writes `text` to a file named `name` in the folder and returns its path.
    std::string write(const std::string& name, const std::string& text) const {
        std::string file = path_ + "/" + name;
        std::ofstream(file, std::ios::binary) << text;
        return file;
    }
    std::string path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The words of a test table: x-values tag*1000 + i, y-values tag*1000 + 500 + i.
// A store entry whose words follow this pattern is summarised by its tag.
inline std::string words(unsigned int tag, unsigned int count, unsigned int offset) {
    std::string text = "[";
    for (unsigned int i = 0; i < count; i++) {
        if (i > 0) text += ", ";
        text += std::to_string(tag * 1000 + offset + i);
    }
    return text + "]";
}

// A LUT entry of `points` points with the given extra members ("" for none).
inline std::string lut(unsigned int tag, unsigned int points, const std::string& members) {
    std::string text = "{" + members;
    if (!members.empty()) text += ", ";
    return text + "\"x-values\": " + words(tag, points, 0) +
           ", \"y-values\": " + words(tag, points, 500) + "}";
}

inline std::string eotf(unsigned int tag, const std::string& members) {
    return lut(tag, 65, members);
}
inline std::string oetf(unsigned int tag, const std::string& members) {
    return lut(tag, 33, members);
}

inline std::string gamut(const std::string& source, const std::string& target,
                         const std::string& values) {
    return "{\"source\": \"" + source + "\", \"target\": \"" + target +
           "\", \"values\": " + values + "}";
}

// The tag of an entry that holds exactly the test pattern, else -1.
inline int tagOf(const LutEntry& e) {
    const size_t points = e.values.size() / 2;
    if (points == 0 || e.values.size() % 2 != 0) return -1;
    const unsigned int tag = e.values[0] / 1000;
    for (size_t i = 0; i < points; i++) {
        if (e.values[i] != tag * 1000 + i || e.values[points + i] != tag * 1000 + 500 + i) {
            return -1;
        }
    }
    return static_cast<int>(tag);
}

// One line per stored entry, in store order:
//   "eotf <transfer> <luminance> tag<T>/<points>"
//   "oetf <transfer> <productPeak> <luminance> tag<T>/<points>"
//   "gm <source> <target> m0 .. m8"
inline std::string describe(const Hdr10Lut& store) {
    std::string text;
    for (unsigned int t = 0; t < kNumTransfers; t++) {
        for (const LutEntry& e : store.eotfTables[t]) {
            text += "eotf " + std::string(transferNames[t].name) + " " +
                    std::to_string(e.luminance) + " tag" + std::to_string(tagOf(e)) + "/" +
                    std::to_string(e.values.size() / 2) + "\n";
        }
    }
    for (unsigned int t = 0; t < kNumTransfers; t++) {
        for (const OetfRoot& root : store.oetfTables[t]) {
            for (const LutEntry& e : root.entries) {
                text += "oetf " + std::string(transferNames[t].name) + " " +
                        std::to_string(root.productPeak) + " " + std::to_string(e.luminance) +
                        " tag" + std::to_string(tagOf(e)) + "/" +
                        std::to_string(e.values.size() / 2) + "\n";
            }
        }
    }
    for (const GamutMappingEntry& g : store.gamutMappings) {
        char head[32];
        std::snprintf(head, sizeof head, "gm %#x %#x", g.source, g.target);
        text += head;
        for (int m : g.matrix) text += " " + std::to_string(m);
        text += "\n";
    }
    return text;
}
