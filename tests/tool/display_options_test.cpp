// SPDX-License-Identifier: Apache-2.0
// The option group every curve-adapting command shares: one set of
// defaults, values read once, the first wrong option named.
#include "tools/kestrel/cli/display_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kestrel::tool {
namespace {

struct Parsed {
    DisplayOptions options;
    Status status;
    bool ok = false;
};

// The group on a command of its own, parsed from `args`.
Parsed parse(std::vector<std::string> args) {
    CLI::App app;
    DisplayOptionGroup group;
    group.addTargets(app, "targets");
    group.addMaxError(app);
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    app.parse(args);
    Parsed p;
    p.status = group.readTargets(p.options);
    if (p.status) p.status = group.readMaxError(p.options);
    p.ok = p.status.ok();
    return p;
}

TEST(DisplayOptions, DefaultsAreThoseOfTheAnalysis) {
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.status.message();
    const ClipRequest request;
    EXPECT_EQ(p.options.targets, request.targets);
    EXPECT_EQ(p.options.layerNits, request.layerNits);
    EXPECT_EQ(p.options.maxError, request.maxError);
}

TEST(DisplayOptions, ValuesAreReadOnceInTheirRanges) {
    Parsed p = parse({"--target-nits", "400,600", "--target-nits", "1000", "--layer-nits", "10000",
                      "--max-error", "0.05"});
    ASSERT_TRUE(p.ok) << p.status.message();
    EXPECT_EQ(p.options.targets, (std::vector<unsigned>{400, 600, 1000}));
    EXPECT_EQ(p.options.layerNits, 10000u);
    EXPECT_EQ(p.options.maxError, 0.05);

    p = parse({"--layer-nits", "10001"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.status.message(),
              "--layer-nits must be a whole number from 0 to 10000 (got \"10001\")");
    EXPECT_EQ(p.status.where().key, "--layer-nits");
}

TEST(DisplayOptions, TheTargetsAreNamedBeforeTheErrorLimit) {
    const Parsed p = parse({"--max-error", "-1", "--target-nits", "0"});
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.status.message(),
              "--target-nits must be a whole number from 1 to 10000 (got \"0\")");
    EXPECT_EQ(p.status.where().key, "--target-nits");
    const Parsed limit = parse({"--max-error", "0"});
    EXPECT_FALSE(limit.ok);
    EXPECT_EQ(limit.status.message(), "--max-error must be above 0 (got 0)");
    EXPECT_EQ(limit.status.where().key, "--max-error");
    // The ratio is read after the error limit, and on its own.
    const Parsed ratio = parse({"--max-ratio", "nan"});
    EXPECT_FALSE(ratio.ok);
    EXPECT_EQ(ratio.status.message(), "--max-ratio must be a number (got \"nan\")");
    EXPECT_EQ(ratio.status.where().key, "--max-ratio");
}

}  // namespace
}  // namespace kestrel::tool
