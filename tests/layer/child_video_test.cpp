// The child video registry: when an owner's generation tells the compositor that
// something it can see changed (an unchanged generation lets it skip the frame).
#include <gtest/gtest.h>

#include "platform/common/layer.h"

namespace {

HWND ownerA = reinterpret_cast<HWND>(uintptr_t(0x9100));
HWND ownerB = reinterpret_cast<HWND>(uintptr_t(0x9200));
const uint8_t kPixel[4] = {0, 0, 255, 255};

TEST(ChildVideo, GenerationChangesOnlyWithWhatTheOwnerCanSee) {
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoSetOwner(video, ownerA);
    fwlayer::childVideoSetRect(video, 0, 0, 10, 10);
    const struct {
        const char* what;
        void (*change)(fwlayer::ChildVideo*);
        bool changesA, changesB;
    } steps[] = {
        {"hidden frame", [](fwlayer::ChildVideo* v) { fwlayer::childVideoPushFrame(v, kPixel, 1, 1, 4); }, false,
         false},
        {"shown", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetVisible(v, true); }, true, false},
        {"frame", [](fwlayer::ChildVideo* v) { fwlayer::childVideoPushFrame(v, kPixel, 1, 1, 4); }, true, false},
        {"same rect", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetRect(v, 0, 0, 10, 10); }, false, false},
        {"moved", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetRect(v, 5, 0, 10, 10); }, true, false},
        {"new owner", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetOwner(v, ownerB); }, true, true},
        {"hidden", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetVisible(v, false); }, false, true},
        {"destroyed", [](fwlayer::ChildVideo* v) { fwlayer::childVideoDestroy(v); }, false, false},
    };
    for (const auto& step : steps) {
        uint64_t a = fwlayer::childVideoGeneration(ownerA);
        uint64_t b = fwlayer::childVideoGeneration(ownerB);
        step.change(video);
        EXPECT_EQ(step.changesA, fwlayer::childVideoGeneration(ownerA) != a) << step.what;
        EXPECT_EQ(step.changesB, fwlayer::childVideoGeneration(ownerB) != b) << step.what;
    }
}

}  // namespace
