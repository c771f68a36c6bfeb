// loadMovie: emptying the graph, loading one clip into it, and each failing step.
#include <functional>

#include "test_movie_fixture.h"

namespace {

class MovieLoad : public PlayerTest {
protected:
    void SetUp() override {
        PlayerTest::SetUp();
        fresh();
    }
    void fresh() {
        setUpPlayer();
        app->itemCount = 2;
        setItem(0, 0, 5);
        setItem(1, 3, 9);
        app->volume = -1234;
    }
};

// Whatever the graph held is removed; the clip is cued and shown.
TEST_F(MovieLoad, EmptiesTheGraphThenBuildsPlacesRewindsAndShows) {
    for (int filters : {0, 1, 3}) {
        SCOPED_TRACE(filters);
        fwrecord::dshow().filtersPerRender = filters;
        ASSERT_EQ(app->loadMovie(1, 2), 1);
        app->clipPlayCount = 7;
        fwrecord::dshow().duration = 4242;
        fwrecord::dshow().position = 99;
        fwrecord::dshow().visible = false;
        takeCalls();
        ASSERT_EQ(app->loadMovie(1, 2), 1);
        expectLoaded(1, 2, -1234);
        EXPECT_EQ(app->duration, 4242);
        EXPECT_EQ(fwrecord::dshow().liveObjects, 1 + filters);  // the graph and its new filters
    }
}

// A failing step returns 0 at once with the clip's flag set, the video not shown, no message.
TEST_F(MovieLoad, EachFailingStepReturnsAtOnceWithTheFlagSet) {
    const struct {
        const char* step;  // the failing call
        std::function<void()> fail;
    } failures[] = {
        {"RenderFile", [] { fwrecord::dshow().renderFileResults[clipPath(1, 0)] = VFW_E_NOT_FOUND; }},
        {"put_Owner", [] { fwrecord::dshow().putOwnerResult = E_FAIL; }},
        {"put_WindowStyle", [] { fwrecord::dshow().putWindowStyleResult = E_INVALIDARG; }},
        {"SetWindowPosition", [] { fwrecord::dshow().setWindowPositionResult = E_FAIL; }},
        {"GetDuration", [] { fwrecord::dshow().getDurationResult = E_NOTIMPL; }},
    };
    for (const auto& failure : failures) {
        SCOPED_TRACE(failure.step);
        app.reset();
        fwrecord::resetAll();
        fresh();
        failure.fail();
        EXPECT_EQ(app->loadMovie(1, 0), 0);
        EXPECT_EQ(fwrecord::calls().back().rfind(failure.step, 0), 0u) << fwrecord::calls().back();
        EXPECT_FALSE(fwrecord::dshow().visible);
        for (int k = 0; k < MAX_TABLE_CLIPS; ++k) EXPECT_EQ(app->unlockFlags[k], k == 9 ? 1 : 0) << k;
        EXPECT_TRUE(fwrecord::win32().messageBoxes.empty());
    }
}

}  // namespace
