// SPDX-License-Identifier: Apache-2.0
// Running the built kestrel tool as a process and reading what it made.
#pragma once

#include <json/value.h>

#include <string>
#include <vector>

#include "metadata/VelmorHdrDynamicInfo.h"

namespace kestrel::tool::test {

struct ToolRun {
    bool exited = false;  // false: killed by a signal, i.e. crashed
    int status = -1;      // exit status when it exited
    std::string out;
    std::string err;
};

// Runs the tool with these arguments (not including the program name).
// With `stdoutPath`, its standard output goes to that file (`out` stays
// empty), e.g. /dev/full for an output that cannot be written.
ToolRun runTool(const std::vector<std::string>& args, const char* stdoutPath = nullptr);

// A fresh directory for one test's files, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string path(const std::string& name) const { return mPath + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const;

private:
    std::string mPath;
};

std::string readFile(const std::string& path);
Json::Value parseJson(const std::string& text);
// A report's columns ({key: [values]}, as "flagged" and "glitches") as an
// array of rows ([{key: value}]); fails the test when the columns differ in
// length.
Json::Value rowsOfColumns(const Json::Value& columns);

// `kestrel metadata`'s document as it reads back from a stream, without
// what a JSON input cannot carry: the members a payload adds beside the
// layout (ApplicationVersion, FractionBrightPixels, ...) and the name of the
// source file in ToolInfo. What stays must equal the JSON a stream was made
// from.
Json::Value withoutStreamExtras(Json::Value document);

// The real HDR10+ files, or empty where they are not available.
std::string realDataDir();
std::vector<std::string> realDataFiles();

// A record built straight from one "SceneInfo" entry, field by field, with
// no checking: the test's own reading of the file, to compare the tool with.
_VelmorHdrDynamicInfo recordFromScene(const Json::Value& scene);

}  // namespace kestrel::tool::test
