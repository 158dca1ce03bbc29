// SPDX-License-Identifier: Apache-2.0
// JSON typed into a test as text, read into a value.
#pragma once

#include <gtest/gtest.h>
#include <json/reader.h>

#include <sstream>
#include <string>

namespace kestrel_test {

// The value `text` holds; text that is not JSON fails the calling test.
inline Json::Value parseJsonText(const std::string& text) {
    Json::Value root;
    Json::CharReaderBuilder builder;
    std::istringstream in(text);
    std::string errors;
    EXPECT_TRUE(Json::parseFromStream(builder, in, &root, &errors)) << errors << text;
    return root;
}

}  // namespace kestrel_test
