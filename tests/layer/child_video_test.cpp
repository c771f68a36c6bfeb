// The child video registry: what an owner sees of its child videos, and when its
// generation tells the compositor that something changed.
#include <gtest/gtest.h>

#include <vector>

#include "platform/common/layer.h"

namespace {

HWND ownerA = reinterpret_cast<HWND>(uintptr_t(0x9100));
HWND ownerB = reinterpret_cast<HWND>(uintptr_t(0x9200));

std::vector<fwlayer::ChildVideoView> visibleOf(HWND owner) {
    std::vector<fwlayer::ChildVideoView> views;
    fwlayer::childVideoForEachVisible(
        owner,
        [](const fwlayer::ChildVideoView& view, void* user) {
            static_cast<std::vector<fwlayer::ChildVideoView>*>(user)->push_back(view);
        },
        &views);
    return views;
}

TEST(ChildVideo, OwnerSeesVisibleChildrenWithTheirLatestFrame) {
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoSetOwner(video, ownerA);
    fwlayer::childVideoSetRect(video, 80, 16, 640, 480);
    EXPECT_TRUE(visibleOf(ownerA).empty());
    fwlayer::childVideoSetVisible(video, true);
    ASSERT_EQ(1u, visibleOf(ownerA).size());
    EXPECT_EQ(0, visibleOf(ownerA)[0].frameWidth) << "black before the first frame";

    // Rows are copied without the source's padding.
    const uint8_t pixels[2 * 12] = {1, 2, 3, 4, 5, 6, 7, 8, 0xEE, 0xEE, 0xEE, 0xEE,
                                    9, 10, 11, 12, 13, 14, 15, 16, 0xEE, 0xEE, 0xEE, 0xEE};
    fwlayer::childVideoPushFrame(video, pixels, 2, 2, 12);
    fwlayer::ChildVideoView view = visibleOf(ownerA)[0];
    EXPECT_EQ(2, view.frameWidth);
    EXPECT_EQ(8, view.frameStride);
    EXPECT_EQ(80, view.left);
    EXPECT_EQ(480, view.height);
    EXPECT_TRUE(visibleOf(ownerB).empty());

    fwlayer::childVideoClearFrame(video);
    EXPECT_EQ(0, visibleOf(ownerA)[0].frameWidth);
    EXPECT_GT(visibleOf(ownerA)[0].frameSerial, view.frameSerial);
    fwlayer::childVideoDestroy(video);
    EXPECT_TRUE(visibleOf(ownerA).empty());
}

TEST(ChildVideo, GenerationChangesOnlyWithWhatTheOwnerCanSee) {
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    const uint8_t pixel[4] = {0, 0, 255, 255};
    fwlayer::childVideoSetOwner(video, ownerA);
    fwlayer::childVideoSetRect(video, 0, 0, 10, 10);

    uint64_t before = fwlayer::childVideoGeneration(ownerA);
    fwlayer::childVideoPushFrame(video, pixel, 1, 1, 4);
    EXPECT_EQ(before, fwlayer::childVideoGeneration(ownerA)) << "a hidden frame shows nothing";

    struct Step {
        const char* what;
        void (*change)(fwlayer::ChildVideo*);
        bool changesA, changesB;
    } steps[] = {
        {"shown", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetVisible(v, true); }, true, false},
        {"frame", [](fwlayer::ChildVideo* v) { fwlayer::childVideoPushFrame(v, (const uint8_t*)"\0\0\0\0", 1, 1, 4); },
         true, false},
        {"same rect", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetRect(v, 0, 0, 10, 10); }, false, false},
        {"moved", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetRect(v, 5, 0, 10, 10); }, true, false},
        {"new owner", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetOwner(v, ownerB); }, true, true},
        {"hidden", [](fwlayer::ChildVideo* v) { fwlayer::childVideoSetVisible(v, false); }, false, true},
        {"destroyed", [](fwlayer::ChildVideo* v) { fwlayer::childVideoDestroy(v); }, false, false},
    };
    for (const Step& step : steps) {
        uint64_t a = fwlayer::childVideoGeneration(ownerA);
        uint64_t b = fwlayer::childVideoGeneration(ownerB);
        step.change(video);
        EXPECT_EQ(step.changesA, fwlayer::childVideoGeneration(ownerA) != a) << step.what;
        EXPECT_EQ(step.changesB, fwlayer::childVideoGeneration(ownerB) != b) << step.what;
    }
}

}  // namespace
