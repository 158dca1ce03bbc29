// SPDX-License-Identifier: Apache-2.0
// The HDR10+ JSON reader on arbitrary text. Invariants:
//  - no crash, no exception from jsoncpp escapes (types are checked first);
//  - every entry of "SceneInfo" is either accepted or rejected with an
//    error naming its index and what is wrong;
//  - an accepted frame written back as an entry reads again to the same
//    frame, and one that passes checkFrame survives a payload round trip;
//  - read from text (plain entries without a tree), the document is the one
//    the tree reader makes of the whole text parsed by jsoncpp: the same
//    frames, and the same failures in the same words.
#include <json/reader.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "hdr10plus/internal/json_value.h"
#include "hdr10plus/payload.h"
#include "hdr10plus/record.h"

using namespace kestrel::hdr10plus;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const kestrel::Result<JsonDocument> r = readJsonDocument(text.data(), text.size());
    if (!r.ok()) {
        FUZZ_CHECK(!r.status().where().frame);
        FUZZ_CHECK(!r.status().message().empty());
        return 0;
    }
    const JsonDocument& d = *r;
    {
        Json::CharReaderBuilder builder;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value root;
        bool parsed = false;
        try {
            parsed = reader->parse(text.data(), text.data() + text.size(), &root, nullptr);
        } catch (const std::exception&) {
        }
        const kestrel::Result<JsonDocument> tree =
            parsed ? readJsonDocument(root) : kestrel::Result<JsonDocument>(r.status());
        if (parsed && tree.ok()) {
            FUZZ_CHECK(tree->frameCount == d.frameCount);
            FUZZ_CHECK(tree->frames.size() == d.frames.size());
            for (size_t i = 0; i < d.frames.size(); i++) {
                FUZZ_CHECK(tree->frames[i].index == d.frames[i].index);
                FUZZ_CHECK(tree->frames[i].frame == d.frames[i].frame);
            }
            FUZZ_CHECK(tree->errors.size() == d.errors.size());
            for (size_t i = 0; i < d.errors.size(); i++) {
                FUZZ_CHECK(entryMessage(tree->errors[i]) == entryMessage(d.errors[i]));
                FUZZ_CHECK(tree->errors[i].kind() == d.errors[i].kind());
                FUZZ_CHECK(tree->errors[i].where().key == d.errors[i].where().key);
            }
        }
    }
    FUZZ_CHECK(d.frames.size() + d.errors.size() == d.frameCount);
    for (const kestrel::Status& e : d.errors) {
        const std::optional<unsigned>& index = e.where().frame;
        FUZZ_CHECK(!e.ok() && index && *index < d.frameCount);
        FUZZ_CHECK(!e.message().empty());
        FUZZ_CHECK(d.errorOf(*index) == &e);
    }
    for (const JsonFrame& f : d.frames) {
        FUZZ_CHECK(f.index < d.frameCount && d.errorOf(f.index) == nullptr);
        FUZZ_CHECK(f.frame.windows.size() == 1);
        const kestrel::Result<Frame> again = readJsonFrame(writeJsonFrame(f.frame));
        FUZZ_CHECK(again.ok() && *again == f.frame);
        (void)toRecord(f.frame);
        if (!checkFrame(f.frame).ok()) continue;
        const kestrel::Result<std::vector<uint8_t>> w = writePayload(f.frame);
        FUZZ_CHECK(w.ok());
        kestrel::Result<Frame> p = parsePayload(w->data(), w->size());
        FUZZ_CHECK(p.ok());
        p->scene_id = f.frame.scene_id;
        p->scene_frame_index = f.frame.scene_frame_index;
        p->sequence_frame_index = f.frame.sequence_frame_index;
        FUZZ_CHECK(*p == f.frame);
    }
    return 0;
}
