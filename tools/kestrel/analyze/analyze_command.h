// SPDX-License-Identifier: Apache-2.0
// kestrel analyze: HDR10+ statistics measured in a video's pictures, shots
// found in the pictures, and metadata written from them.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

namespace kestrel::tool {

struct AnalyzeOptions {
    std::string input;
    std::string format = "summary";  // summary, json or csv
    std::string output;              // empty: standard output
    std::string scope = "shot";      // json: statistics per shot or per frame
    unsigned targetedPeak = 1000;    // cd/m²
    bool toneCurve = false;
    unsigned distributionEntries = 9;  // json: 9 or 10 (98 % added)
    unsigned every = 1;
    bool keyFrames = false;  // measure key frames only (--every then counts key frames)
    unsigned threads = 0;
};

class AnalyzeCommand {
public:
    explicit AnalyzeCommand(CLI::App& app);
    CLI::App* command() const { return mCommand; }
    bool chosen() const { return mCommand->parsed(); }
    int run();

private:
    CLI::App* mCommand;
    AnalyzeOptions mOptions;
    std::string mPeakText, mEveryText, mThreadsText;
};

int runAnalyze(const AnalyzeOptions& options);

}  // namespace kestrel::tool
