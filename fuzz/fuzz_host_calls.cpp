// SPDX-License-Identifier: Apache-2.0
// Arbitrary sequences of host calls with arbitrary arguments on three
// writers: the setters, getParams(), getTM, putParams, deleting and creating
// writers, and the host rewriting its records between calls.
//
// Each operation is an opcode byte, a writer byte and its arguments (see
// the switch below); the global store holds a small set of tables, so static
// conversions succeed as well as fail.
//
// Invariants:
//  - a writer's block never moves: every non-null getParams() of one writer
//    returns the same address;
//  - getTM writes bytes 1124..1387 of the host's block and nothing else, and
//    they equal the tone section of the block that getParams() returned
//    (a getParams() that fails may already have allocated the block, so
//    before a non-null result only the untouched bytes are checked);
//  - setters refuse (false) exactly the layer indexes outside 0..15;
//  - getParams() returns null when no layer was selected since the last
//    getParams() of that writer (every return clears the selection);
//  - host records are never written; the pointers that the interface says
//    are not used (setTargetInfo's, putParams') are never dereferenced.
#include <cstdint>
#include <cstring>
#include <memory>

#include "frame_fixtures.h"
#include "fuzz_check.h"
#include "plugin/IDPUHdr10CommandWriter.h"
#include "plugin/global_store.h"

namespace {

constexpr int kWriters = 3;
constexpr int kRecords = 4;
constexpr int kMaxOps = 96;

// Values that reach the interesting branches, and arbitrary ones.
const uint32_t kDataspaces[] = {quality::kPqBt2020,
                                quality::kHlgBt2020,
                                quality::kSrgbBt709,
                                quality::kSrgbDciP3,
                                quality::kStandardDciP3 | quality::kTransferPq,
                                quality::kStandardBt2020 | (9u << 22),
                                0x800000u,
                                0u};
const uint32_t kLuminances[] = {0, 100, 199, 200, 500, 1000, 4000, 10000};

int layerIndex(ByteReader& in) {
    unsigned char sel = in.u8();
    return sel < 200 ? sel % 16 : static_cast<int>(in.u32());
}

uint32_t dataspace(ByteReader& in) {
    unsigned char sel = in.u8();
    return sel < 192 ? kDataspaces[sel % 8] : in.u32();
}

uint32_t luminance(ByteReader& in) {
    unsigned char sel = in.u8();
    return sel < 192 ? kLuminances[sel % 8] : in.u32();
}

bool validIndex(int index) { return index >= 0 && index < 16; }

// Pointers the plug-in is told about but must never dereference.
void* const kUnusedPointer = reinterpret_cast<void*>(uintptr_t{0x10});

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quality::fillSyntheticStore(gHdr10Lut);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    std::unique_ptr<IDPUHdr10CommandWriter> writers[kWriters];
    hdrCoef* blocks[kWriters] = {};
    bool selected[kWriters] = {};
    for (auto& w : writers) {
        w.reset(IDPUHdr10CommandWriter::createInstance());
        FUZZ_CHECK(w != nullptr);
    }
    _VelmorHdrDynamicInfo records[kRecords] = {quality::sceneRecord(1), quality::sceneRecord(0),
                                               quality::dimSceneRecord(), quality::sceneRecord(2)};
    _VelmorHdrDynamicInfo pristine[kRecords];
    std::memcpy(pristine, records, sizeof records);

    for (int op = 0; op < kMaxOps && !in.empty(); op++) {
        const unsigned char code = in.u8() % 11;
        const int w = in.u8() % kWriters;
        IDPUHdr10CommandWriter& writer = *writers[w];
        switch (code) {
            case 0: {
                int index = layerIndex(in);
                int ds = static_cast<int>(dataspace(in));
                uint32_t minLum = luminance(in);
                uint32_t maxLum = luminance(in);
                FUZZ_CHECK(writer.setLayerStaticMetadata(index, ds, minLum, maxLum) ==
                           validIndex(index));
                selected[w] = selected[w] || validIndex(index);
                break;
            }
            case 1: {
                int index = layerIndex(in);
                unsigned char sel = in.u8();
                if (sel < 160) {
                    FUZZ_CHECK(writer.setLayerOpaqueData(index, &records[sel % kRecords], 312) ==
                               validIndex(index));
                } else {
                    // Any other size unregisters; the pointer is never read.
                    uint64_t bytes = sel < 220 ? 311 + 2 * (sel % 2) : in.u64();
                    if (bytes == 312) bytes = 0;
                    FUZZ_CHECK(!writer.setLayerOpaqueData(index, kUnusedPointer, bytes));
                }
                break;
            }
            case 2: {
                int index = layerIndex(in);
                uint32_t unused = in.u32();
                bool premult = in.u8() & 1;
                FUZZ_CHECK(writer.setLayerImageInfo(index, unused, premult) == validIndex(index));
                break;
            }
            case 3:
                FUZZ_CHECK(writer.setTargetInfo(static_cast<int>(dataspace(in)), kUnusedPointer));
                break;
            case 4: {
                uint32_t minLum = luminance(in);
                writer.setTargetDisplayLuminance(minLum, luminance(in));
                break;
            }
            case 5: {
                hdrCoef* block = writer.getParams();
                if (!selected[w]) FUZZ_CHECK(block == nullptr);
                selected[w] = false;
                if (block != nullptr) {
                    if (blocks[w] == nullptr) blocks[w] = block;
                    FUZZ_CHECK(block == blocks[w]);
                }
                break;
            }
            case 6: {
                unsigned char host[sizeof(hdrCoef)];
                std::memset(host, 0x5A, sizeof host);
                writer.getTM(reinterpret_cast<hdrCoef*>(host));
                for (size_t i = 0; i < sizeof host; i++) {
                    if (i >= 1124 && i < 1388) continue;
                    FUZZ_CHECK(host[i] == 0x5A);
                }
                if (blocks[w] != nullptr) {
                    FUZZ_CHECK(std::memcmp(host + 1124,
                                           reinterpret_cast<unsigned char*>(blocks[w]) + 1124,
                                           264) == 0);
                }
                break;
            }
            case 7:
                writer.getTM(nullptr);
                break;
            case 8:
                writer.putParams(in.u8() & 1 ? nullptr : static_cast<hdrCoef*>(kUnusedPointer));
                break;
            case 9:
                writers[w].reset(IDPUHdr10CommandWriter::createInstance());
                FUZZ_CHECK(writers[w] != nullptr);
                blocks[w] = nullptr;
                selected[w] = false;
                break;
            case 10: {
                // The host rewrites one of its records between frames.
                const int r = in.u8() % kRecords;
                const size_t offset = in.u32() % sizeof(_VelmorHdrDynamicInfo);
                size_t length = in.u8() % 16;
                if (offset + length > sizeof(_VelmorHdrDynamicInfo)) {
                    length = sizeof(_VelmorHdrDynamicInfo) - offset;
                }
                in.bytes(reinterpret_cast<unsigned char*>(&records[r]) + offset, length);
                std::memcpy(&pristine[r], &records[r], sizeof records[r]);
                break;
            }
        }
        FUZZ_CHECK(std::memcmp(records, pristine, sizeof records) == 0);
    }
    return 0;
}
