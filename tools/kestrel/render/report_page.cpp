// SPDX-License-Identifier: Apache-2.0
#include "tools/kestrel/render/report_page.h"

#include <json/writer.h>

#include <string>

namespace kestrel::tool {

namespace {
constexpr const char* kDataPlace = "/*KESTREL_REPORT_DATA*/";
}

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
    const std::string page = kReportPageTemplate;
    const size_t at = page.find(kDataPlace);
    out << page.substr(0, at) << scriptSafeJson(data);
    if (at != std::string::npos)
        out << page.substr(at + std::char_traits<char>::length(kDataPlace));
}

}  // namespace kestrel::tool
