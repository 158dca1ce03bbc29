// SPDX-License-Identifier: Apache-2.0
// The page of `kestrel report`: one HTML file that holds its data (the JSON
// of report_data.h, with curves) and the script that draws it, so that it
// opens in any browser offline and can be mailed as it is.
#pragma once

#include <json/value.h>

#include <ostream>

namespace kestrel::tool {

// The page's text (report_page.html) with a place for the data.
extern const char* const kReportPageTemplate;

// Writes the page with `data` embedded, its <title> naming data["file"].
void writeReportPage(std::ostream& out, const Json::Value& data);

// `data` as JSON that can sit inside a <script> element: every "<" is
// written as \u003c, so that no "</script>" or "<!--" in a string (a file
// name, a warning) can end the element early. JSON means the same.
std::string scriptSafeJson(const Json::Value& data);

}  // namespace kestrel::tool
