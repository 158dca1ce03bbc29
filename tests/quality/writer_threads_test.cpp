// SPDX-License-Identifier: Apache-2.0
// Writers are independent: a host may drive several of them from several
// threads at once, HDR10+ layers included (the tone-curve sampler keeps its
// scratch per call). Each thread's blocks must be exactly the blocks that
// the same frames give when run one after another on a single thread.
// ThreadSanitizer runs this test (scripts/test.sh selects "*Threads*").
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "frame_fixtures.h"
#include "plugin/IDPUHdr10CommandWriter.h"
#include "plugin/global_store.h"

namespace {

constexpr int kThreads = 4;
constexpr int kFrames = 40;

using Block = std::array<unsigned char, sizeof(hdrCoef)>;

// What one thread's host does: its own target peak, two HDR10+ layers whose
// records alternate between frames, a static HDR10 layer and a pass-through
// layer. Returns the block of every frame and the getTM copy of the last.
struct HostRun {
    std::vector<Block> blocks;
    Block lastToneCopy;
    bool allConverted = true;
};

HostRun runHost(int thread, const _VelmorHdrDynamicInfo (&records)[3]) {
    HostRun run;
    std::unique_ptr<IDPUHdr10CommandWriter> writer(IDPUHdr10CommandWriter::createInstance());
    if (!writer) {
        run.allConverted = false;
        return run;
    }
    writer->setTargetInfo(static_cast<int>(quality::kSrgbBt709), nullptr);
    writer->setTargetDisplayLuminance(0, 300 + 250 * static_cast<uint32_t>(thread));
    for (int frame = 0; frame < kFrames; frame++) {
        const _VelmorHdrDynamicInfo* a = &records[frame % 3];
        const _VelmorHdrDynamicInfo* b = &records[(frame + thread) % 3];
        writer->setLayerOpaqueData(0, const_cast<_VelmorHdrDynamicInfo*>(a), 312);
        writer->setLayerOpaqueData(2, const_cast<_VelmorHdrDynamicInfo*>(b), 312);
        writer->setLayerStaticMetadata(0, static_cast<int>(quality::kPqBt2020), 0, 4000);
        writer->setLayerStaticMetadata(1, static_cast<int>(quality::kPqBt2020), 0,
                                       frame % 2 == 0 ? 1000u : 4000u);
        writer->setLayerStaticMetadata(2, static_cast<int>(quality::kPqBt2020), 0, 1000);
        writer->setLayerStaticMetadata(3, static_cast<int>(quality::kSrgbBt709), 0, 100);
        hdrCoef* block = writer->getParams();
        if (block == nullptr) {
            run.allConverted = false;
            return run;
        }
        Block copy;
        std::memcpy(copy.data(), block, sizeof(hdrCoef));
        run.blocks.push_back(copy);
    }
    hdrCoef tone;
    std::memset(&tone, 0, sizeof tone);
    writer->getTM(&tone);
    std::memcpy(run.lastToneCopy.data(), &tone, sizeof tone);
    return run;
}

TEST(WriterThreads, ConcurrentWritersGiveTheBlocksOfSequentialRuns) {
    if (gHdr10Lut.eotfTables[7].empty()) quality::fillSyntheticStore(gHdr10Lut);
    // Shared and read-only, as a host may share one record among writers.
    const _VelmorHdrDynamicInfo records[3] = {quality::sceneRecord(1), quality::sceneRecord(0),
                                              quality::dimSceneRecord()};
    _VelmorHdrDynamicInfo pristine[3];
    std::memcpy(pristine, records, sizeof records);

    std::vector<HostRun> sequential;
    std::vector<HostRun> concurrent(kThreads);
    {
        quality::SilenceOutput quiet;  // the checks below print after it
        for (int t = 0; t < kThreads; t++) sequential.push_back(runHost(t, records));

        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; t++) {
            threads.emplace_back(
                [t, &records, &concurrent] { concurrent[t] = runHost(t, records); });
        }
        for (std::thread& th : threads) th.join();
    }

    for (int t = 0; t < kThreads; t++) {
        ASSERT_TRUE(sequential[t].allConverted) << "thread " << t;
        ASSERT_TRUE(concurrent[t].allConverted) << "thread " << t;
        ASSERT_EQ(concurrent[t].blocks.size(), static_cast<size_t>(kFrames));
        for (int f = 0; f < kFrames; f++) {
            EXPECT_TRUE(concurrent[t].blocks[f] == sequential[t].blocks[f])
                << "thread " << t << ", frame " << f;
        }
        EXPECT_TRUE(concurrent[t].lastToneCopy == sequential[t].lastToneCopy) << "thread " << t;
    }
    // Different targets must give different tone tables, or the comparison
    // above could not tell one thread's results from another's.
    EXPECT_FALSE(sequential[0].blocks.back() == sequential[1].blocks.back());
    EXPECT_EQ(std::memcmp(pristine, records, sizeof records), 0) << "a host record was written";
}

}  // namespace
