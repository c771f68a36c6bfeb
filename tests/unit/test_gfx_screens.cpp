// The main screen's knobs: clamped to their bars whatever the clip and volume say.
// Order, images and highlighting of every element are checked on screen end to end.
#include <cmath>

#include "unit/test_support.h"

namespace {

class GfxMainScreen : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_EQ(app->createDevice(), 1);
        ASSERT_EQ(app->createMovieGraph(), 1);
        ASSERT_EQ(
            app->device->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &app->texMainBG, nullptr),
            D3D_OK);
        app->itemCount = 3;
        app->currentItem = 1;
    }
    // The left edge of the quad drawn index-th (1 the seek knob, 2 the volume knob).
    long quadX(size_t index) {
        fwrecord::d3d().draws.clear();
        EXPECT_EQ(app->drawMainScreen(), 1);
        return std::lround(fwrecord::d3d().draws.at(index).vertices.at(0).x);
    }
};

// At the played fraction (0 without duration or position, never past the bar's end),
// and at the loudness.
TEST_F(GfxMainScreen, KnobsStandAtThePlayedFractionAndTheLoudness) {
    const struct {
        int64_t duration, position;
        HRESULT result;
        long x;
    } seeks[] = {{1000, 500, S_OK, 202},  {1000, 999, S_OK, 369}, {100000000, 33333333, S_OK, 146},
                 {1000, 5000, S_OK, 370}, {0, 500, S_OK, 35},     {1000, 500, E_FAIL, 35}};
    for (const auto& c : seeks) {
        app->duration = c.duration;
        fwrecord::dshow().position = c.position;
        fwrecord::dshow().getCurrentPositionResult = c.result;
        EXPECT_EQ(quadX(1), c.x) << c.duration << " " << c.position;
    }
    const struct {
        int32_t volume;
        long x;
    } volumes[] = {{0, 370}, {-5000, 35}, {-2500, 202}, {-1, 369}};
    for (const auto& c : volumes) {
        app->volume = c.volume;
        EXPECT_EQ(quadX(2), c.x) << "volume " << c.volume;
    }
}

}  // namespace
