// Shared set-up of the movie and input tests, and what one clip load leaves.
#pragma once

#include <cstdio>
#include <cstring>

#include "test_support.h"

inline std::string clipPath(int32_t item, int32_t clip) {
    return "movie" + std::to_string(item) + "_" + std::to_string(clip) + ".avi";
}

class PlayerTest : public TempFolderTest {
protected:
    void setUpPlayer() {
        app.reset(new PlayerApp);
        ASSERT_EQ(app->createMainWindow(nullptr), 1);
        ASSERT_EQ(app->createMovieGraph(), 1);
        fwrecord::calls().clear();
    }

    // Loads a clip as the sequence would have, and forgets the log.
    void cue(int32_t item, int32_t clip) {
        app->currentItem = item;
        app->currentClip = clip;
        ASSERT_EQ(app->loadMovie(item, clip), 1);
        takeCalls();
    }

    // Item `item` with clipCount clips (0: a single clip), sequence numbers from
    // firstSequence, paths from clipPath.
    void setItem(int32_t item, int32_t clipCount, int32_t firstSequence, int32_t repeatCount = 1) {
        PlayItem& entry = app->playItems[item];
        std::memset(&entry, 0, sizeof(entry));
        entry.clipCount = clipCount;
        for (int32_t k = 0; k < (clipCount == 0 ? 1 : clipCount); ++k) {
            entry.clips[k].sequenceNumber = firstSequence + k;
            std::snprintf(entry.clips[k].path, sizeof(entry.clips[k].path), "%s", clipPath(item, k).c_str());
            entry.clips[k].repeatCount = repeatCount;
        }
    }

    // What one successful load leaves: the clip alone in the graph, cued at its start,
    // shown, at the volume; and its flag set.
    void expectLoaded(int32_t item, int32_t clip, int32_t volume) {
        const fwrecord::DShowState& graph = fwrecord::dshow();
        EXPECT_EQ(fwrecord::callsStartingWith("RenderFile "), Lines{"RenderFile " + clipPath(item, clip)});
        EXPECT_EQ(graph.filterCount, graph.filtersPerRender);
        EXPECT_EQ(graph.position, 0);
        EXPECT_TRUE(graph.visible);
        EXPECT_EQ(graph.volume, volume);
        EXPECT_EQ(app->unlockFlags[app->playItems[item].clips[clip].sequenceNumber], 1);
        EXPECT_EQ(app->clipPlayCount, 0);
    }
};
