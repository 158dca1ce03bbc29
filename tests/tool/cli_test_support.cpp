// SPDX-License-Identifier: Apache-2.0
#include "tool/cli_test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <json/reader.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kestrel::tool::test {

namespace {

std::string readFd(int fd) {
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const char* stdoutPath) {
    ToolRun run;
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    if (out == nullptr || err == nullptr) return run;
    std::vector<char*> argv;
    std::string program = KESTREL_TOOL;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        int target = stdoutPath != nullptr ? open(stdoutPath, O_WRONLY) : fileno(out);
        if (target < 0) _exit(126);
        dup2(target, STDOUT_FILENO);
        dup2(fileno(err), STDERR_FILENO);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    run.exited = WIFEXITED(wstatus);
    run.status = run.exited ? WEXITSTATUS(wstatus) : -1;
    run.out = readFd(fileno(out));
    run.err = readFd(fileno(err));
    std::fclose(out);
    std::fclose(err);
    return run;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/kestrel-tool-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    mPath = made != nullptr ? made : "/tmp";
}

TempDir::~TempDir() {
    if (mPath == "/tmp") return;
    std::string command = "rm -rf '" + mPath + "'";
    if (std::system(command.c_str()) != 0) {
        // Leaving a temporary directory behind is harmless.
    }
}

std::string TempDir::write(const std::string& name, const std::string& text) const {
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Json::Value rowsOfColumns(const Json::Value& columns) {
    Json::Value rows(Json::arrayValue);
    const std::vector<std::string> keys = columns.getMemberNames();
    if (keys.empty()) return rows;
    const Json::ArrayIndex n = columns[keys.front()].size();
    for (const std::string& k : keys) EXPECT_EQ(columns[k].size(), n) << k;
    for (Json::ArrayIndex i = 0; i < n; i++) {
        Json::Value row;
        for (const std::string& k : keys) row[k] = columns[k][i];
        rows.append(row);
    }
    return rows;
}

Json::Value parseJson(const std::string& text) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    Json::parseFromStream(builder, in, &root, &errors);
    return root;
}

std::string realDataDir() { return KESTREL_HDR10PLUS_DIR; }

std::vector<std::string> realDataFiles() {
    if (realDataDir().empty()) return {};
    std::vector<std::string> files;
    for (const char* name : {"single-frame-metadata.json", "metadata-dhdr10-opt.json",
                             "regular_metadata.json", "verification-clips.json"}) {
        files.push_back(realDataDir() + "/" + name);
    }
    return files;
}

_VelmorHdrDynamicInfo recordFromScene(const Json::Value& scene) {
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);
    r.targeted_system_display_maximum_luminance =
        scene["TargetedSystemDisplayMaximumLuminance"].asUInt();
    const Json::Value& lp = scene["LuminanceParameters"];
    for (int c = 0; c < 3; c++) r.maxscl[c] = lp["MaxScl"][c].asUInt();
    const Json::Value& d = lp["LuminanceDistributions"];
    r.num_distribution_maxrgb_percentiles = static_cast<uint8_t>(d["DistributionIndex"].size());
    for (Json::ArrayIndex i = 0; i < d["DistributionIndex"].size(); i++) {
        r.distribution_maxrgb_percentages[i] =
            static_cast<uint8_t>(d["DistributionIndex"][i].asUInt());
        r.distribution_maxrgb_percentiles[i] = d["DistributionValues"][i].asUInt();
    }
    if (scene.isMember("BezierCurveData")) {
        const Json::Value& b = scene["BezierCurveData"];
        r.tone_mapping_flag = 1;
        r.knee_point_x = static_cast<uint16_t>(b["KneePointX"].asUInt());
        r.knee_point_y = static_cast<uint16_t>(b["KneePointY"].asUInt());
        r.num_bezier_curve_anchors = static_cast<uint16_t>(b["Anchors"].size());
        for (Json::ArrayIndex i = 0; i < b["Anchors"].size(); i++) {
            r.bezier_curve_anchors[i] = static_cast<uint16_t>(b["Anchors"][i].asUInt());
        }
    }
    return r;
}

Json::Value withoutStreamExtras(Json::Value document) {
    static const char* const kExtras[] = {"ApplicationVersion",
                                          "FractionBrightPixels",
                                          "ColorSaturationWeight",
                                          "ProcessingWindows",
                                          "TargetedSystemDisplayActualPeakLuminance",
                                          "MasteringDisplayActualPeakLuminance"};
    for (Json::Value& entry : document["SceneInfo"]) {
        for (const char* key : kExtras) entry.removeMember(key);
    }
    if (document.isMember("ToolInfo")) document["ToolInfo"].removeMember("Source");
    return document;
}

}  // namespace kestrel::tool::test
