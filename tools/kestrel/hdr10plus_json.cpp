#include "tools/kestrel/hdr10plus_json.h"

#include <cstdint>
#include <cstring>

#include "tools/kestrel/json_file.h"

namespace kestrel::tool {

namespace {

// Largest values the metadata allows in each field: the knee point is a
// 12-bit fraction, the anchors 10-bit fractions, the percentages whole
// percent; luminances only have to fit the record's 32-bit words.
constexpr uint32_t kMaxKnee = 4095;
constexpr uint32_t kMaxAnchor = 1023;
constexpr uint32_t kMaxPercentage = 100;
constexpr uint32_t kMaxWord = UINT32_MAX;

// Reads the values of one frame, stopping at the first bad one with a
// message that names the frame and the full key.
class FrameReader {
public:
    FrameReader(const std::string& frameName, std::string& error)
        : mFrameName(frameName), mError(error) {}

    bool fail(const std::string& key, const std::string& what) {
        mError = mFrameName + ": " + key + " " + what;
        return false;
    }

    bool object(const Json::Value& parent, const char* member, const std::string& key,
                const Json::Value*& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        out = &parent[member];
        if (!out->isObject()) return fail(key, "is not an object (" + compactJson(*out) + ")");
        return true;
    }

    bool number(const Json::Value& value, const std::string& key, uint32_t max, uint32_t& out) {
        if (!value.isNumeric()) return fail(key, "is not a number (" + compactJson(value) + ")");
        if (value.asDouble() < 0) return fail(key, "is negative (" + compactJson(value) + ")");
        if (value.asDouble() > max) {
            return fail(key, "is " + compactJson(value) + ", above the largest allowed value " +
                                 std::to_string(max));
        }
        if (!value.isIntegral()) {
            return fail(key, "is not a whole number (" + compactJson(value) + ")");
        }
        out = value.asUInt();
        return true;
    }

    bool member(const Json::Value& parent, const char* member, const std::string& key, uint32_t max,
                uint32_t& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        return number(parent[member], key, max, out);
    }

    bool array(const Json::Value& parent, const char* member, const std::string& key,
               unsigned maxCount, uint32_t maxValue, std::vector<uint32_t>& out) {
        if (!parent.isMember(member)) return fail(key, "is missing");
        const Json::Value& value = parent[member];
        if (!value.isArray()) return fail(key, "is not an array (" + compactJson(value) + ")");
        if (value.size() > maxCount) {
            return fail(key, "has " + std::to_string(value.size()) + " entries, more than " +
                                 std::to_string(maxCount));
        }
        out.clear();
        for (Json::ArrayIndex i = 0; i < value.size(); i++) {
            uint32_t element = 0;
            if (!number(value[i], key + "[" + std::to_string(i) + "]", maxValue, element)) {
                return false;
            }
            out.push_back(element);
        }
        return true;
    }

private:
    const std::string& mFrameName;
    std::string& mError;
};

}  // namespace

bool parseHdr10PlusFrame(const Json::Value& frame, const std::string& frameName,
                         _VelmorHdrDynamicInfo& record, std::string& error) {
    FrameReader reader(frameName, error);
    if (!frame.isObject()) {
        error = frameName + " is not an object (" + compactJson(frame) + ")";
        return false;
    }
    _VelmorHdrDynamicInfo r;
    std::memset(&r, 0, sizeof r);

    if (!reader.member(frame, "TargetedSystemDisplayMaximumLuminance",
                       "TargetedSystemDisplayMaximumLuminance", kMaxWord,
                       r.targeted_system_display_maximum_luminance)) {
        return false;
    }

    const Json::Value* luminance = nullptr;
    if (!reader.object(frame, "LuminanceParameters", "LuminanceParameters", luminance)) {
        return false;
    }
    std::vector<uint32_t> maxscl;
    if (!reader.array(*luminance, "MaxScl", "LuminanceParameters.MaxScl", 3, kMaxWord, maxscl)) {
        return false;
    }
    if (maxscl.size() != 3) {
        return reader.fail("LuminanceParameters.MaxScl",
                           "has " + std::to_string(maxscl.size()) + " entries, expected 3");
    }
    for (int c = 0; c < 3; c++) r.maxscl[c] = maxscl[c];
    if (luminance->isMember("AverageRGB")) {
        // Not part of the record, but a bad value means a broken file.
        uint32_t unused = 0;
        if (!reader.number((*luminance)["AverageRGB"], "LuminanceParameters.AverageRGB", kMaxWord,
                           unused)) {
            return false;
        }
    }

    // Without distribution entries the record says so with a count of 0.
    if (luminance->isMember("LuminanceDistributions")) {
        const std::string key = "LuminanceParameters.LuminanceDistributions";
        const Json::Value* distributions = nullptr;
        if (!reader.object(*luminance, "LuminanceDistributions", key, distributions)) {
            return false;
        }
        std::vector<uint32_t> percentages;
        std::vector<uint32_t> values;
        if (!reader.array(*distributions, "DistributionIndex", key + ".DistributionIndex",
                          kMaxDistributionEntries, kMaxPercentage, percentages) ||
            !reader.array(*distributions, "DistributionValues", key + ".DistributionValues",
                          kMaxDistributionEntries, kMaxWord, values)) {
            return false;
        }
        if (percentages.size() != values.size()) {
            return reader.fail(key, "has " + std::to_string(percentages.size()) +
                                        " DistributionIndex entries but " +
                                        std::to_string(values.size()) + " DistributionValues");
        }
        // The statistics look percentages up in order; a falling one would
        // make the median and 99th percentile come from the wrong entries.
        for (size_t i = 1; i < percentages.size(); i++) {
            if (percentages[i] < percentages[i - 1]) {
                return reader.fail(key + ".DistributionIndex[" + std::to_string(i) + "]",
                                   "is " + std::to_string(percentages[i]) +
                                       ", below the entry before it (" +
                                       std::to_string(percentages[i - 1]) + ")");
            }
        }
        r.num_distribution_maxrgb_percentiles = static_cast<uint8_t>(percentages.size());
        for (size_t i = 0; i < percentages.size(); i++) {
            r.distribution_maxrgb_percentages[i] = static_cast<uint8_t>(percentages[i]);
            r.distribution_maxrgb_percentiles[i] = values[i];
        }
    }

    // A frame without a curve leaves the flag, knee and anchors at zero.
    if (frame.isMember("BezierCurveData")) {
        const Json::Value* bezier = nullptr;
        if (!reader.object(frame, "BezierCurveData", "BezierCurveData", bezier)) return false;
        uint32_t kneeX = 0;
        uint32_t kneeY = 0;
        std::vector<uint32_t> anchors;
        if (!reader.member(*bezier, "KneePointX", "BezierCurveData.KneePointX", kMaxKnee, kneeX) ||
            !reader.member(*bezier, "KneePointY", "BezierCurveData.KneePointY", kMaxKnee, kneeY) ||
            !reader.array(*bezier, "Anchors", "BezierCurveData.Anchors", kMaxBezierAnchors,
                          kMaxAnchor, anchors)) {
            return false;
        }
        r.tone_mapping_flag = 1;
        r.knee_point_x = static_cast<uint16_t>(kneeX);
        r.knee_point_y = static_cast<uint16_t>(kneeY);
        r.num_bezier_curve_anchors = static_cast<uint16_t>(anchors.size());
        for (size_t i = 0; i < anchors.size(); i++) {
            r.bezier_curve_anchors[i] = static_cast<uint16_t>(anchors[i]);
        }
    }

    record = r;
    return true;
}

bool parseHdr10PlusDocument(const Json::Value& root, Hdr10PlusDocument& document,
                            std::string& error) {
    document = Hdr10PlusDocument();
    if (!root.isObject() || !root.isMember("SceneInfo")) {
        error = "no \"SceneInfo\" array: not HDR10+ metadata in the expected layout";
        return false;
    }
    const Json::Value& scenes = root["SceneInfo"];
    if (!scenes.isArray()) {
        error = "\"SceneInfo\" is not an array (" + compactJson(scenes).substr(0, 40) + ")";
        return false;
    }
    document.frameCount = scenes.size();
    for (Json::ArrayIndex i = 0; i < scenes.size(); i++) {
        Hdr10PlusFrame frame;
        frame.index = i;
        std::string frameError;
        if (parseHdr10PlusFrame(scenes[i], "frame " + std::to_string(i), frame.record,
                                frameError)) {
            // Both were checked or are free-form; they only describe the frame.
            const Json::Value& luminance = scenes[i]["LuminanceParameters"];
            if (luminance.isMember("AverageRGB"))
                frame.averageMaxRgbNits = luminance["AverageRGB"].asDouble() / 10;
            const Json::Value& scene = scenes[i]["SceneId"];
            if (scene.isUInt() && scene.asUInt() <= 0x7fffffffu)
                frame.sceneId = static_cast<int>(scene.asUInt());
            document.frames.push_back(frame);
        } else {
            document.errors.push_back(frameError);
        }
    }
    return true;
}

bool loadHdr10PlusFile(const std::string& path, Hdr10PlusDocument& document, std::string& error) {
    Json::Value root;
    if (!readJsonFile(path, root, error)) return false;
    if (!parseHdr10PlusDocument(root, document, error)) {
        error = path + ": " + error;
        return false;
    }
    for (std::string& message : document.errors) message = path + ": " + message;
    return true;
}

}  // namespace kestrel::tool
