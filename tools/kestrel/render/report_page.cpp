// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/report_page.h"

#include <json/writer.h>

#include <string>

namespace kestrel::tool {

namespace {
constexpr const char* kDataPlace = "/*KESTREL_REPORT_DATA*/";
// The template's title, which the page's input is added to, so that a tab,
// a bookmark or a list of open windows tells one report from another before
// (and without) the script running.
constexpr const char* kTitle = "<title>Kestrel report</title>";

// Text as it may stand in an element's content.
std::string htmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
    return out;
}
}  // namespace

std::string scriptSafeJson(const Json::Value& data) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    // Six significant digits draw and read exactly enough; the page stays
    // small. `--format json` keeps full precision.
    builder["precision"] = 6;
    const std::string text = Json::writeString(builder, data);
    std::string safe;
    safe.reserve(text.size());
    for (char c : text) {
        if (c == '<') {
            safe += "\\u003c";
        } else {
            safe += c;
        }
    }
    return safe;
}

void writeReportPage(std::ostream& out, const Json::Value& data) {
    std::string page = kReportPageTemplate;
    if (const size_t title = page.find(kTitle); title != std::string::npos && data["file"].isString()) {
        page.replace(title, std::char_traits<char>::length(kTitle),
                     "<title>Kestrel report: " + htmlText(data["file"].asString()) + "</title>");
    }
    const size_t at = page.find(kDataPlace);
    out << page.substr(0, at) << scriptSafeJson(data);
    if (at != std::string::npos)
        out << page.substr(at + std::char_traits<char>::length(kDataPlace));
}

}  // namespace kestrel::tool
