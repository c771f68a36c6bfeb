// Shared set-up of the movie and input tests: a PlayerApp with its window and filter
// graph on the recording platform, a play table filled by the test, and the call
// lines that one load of a clip leaves in the log.
#pragma once

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/player_app.h"
#include "test_support.h"

// "ムービーのロードに失敗しました" in code page 932.
static const char kMovieFailedBytes[] =
    "\x83\x80\x81[\x83r\x81[\x82\xCC\x83\x8D\x81[\x83h\x82\xC9\x8E\xB8\x94s\x82\xB5\x82\xDC\x82\xB5\x82\xBD";

// The recorder's lines of the calls after a step.
typedef std::vector<std::string> Lines;

// The path setItem gives clip `clip` of item `item`.
inline std::string clipPath(int32_t item, int32_t clip) {
    return "movie" + std::to_string(item) + "_" + std::to_string(clip) + ".avi";
}

class PlayerTest : public TempFolderTest {
protected:
    // withGraph false leaves createMovieGraph to the test.
    void setUpPlayer(bool withGraph) {
        app.reset(new PlayerApp);
        ASSERT_EQ(app->createMainWindow(nullptr), 1);
        if (withGraph) {
            ASSERT_EQ(app->createMovieGraph(), 1);
        }
        fwrecord::calls().clear();
    }

    // The destructor's shutdown writes GameData.sys: it must run inside the test's folder.
    void TearDown() override {
        app.reset();
        TempFolderTest::TearDown();
    }

    // Item `item` with clipCount clips (0: a single clip), sequence numbers from
    // firstSequence, paths from clipPath.
    void setItem(int32_t item, int32_t clipCount, int32_t firstSequence, int32_t repeatCount = 1) {
        PlayItem& Item = app->playItems[item];
        std::memset(&Item, 0, sizeof(Item));
        Item.clipCount = clipCount;
        int32_t Clips = clipCount == 0 ? 1 : clipCount;
        for (int32_t k = 0; k < Clips; ++k) {
            Item.clips[k].sequenceNumber = firstSequence + k;
            std::snprintf(Item.clips[k].path, sizeof(Item.clips[k].path), "%s", clipPath(item, k).c_str());
            Item.clips[k].repeatCount = repeatCount;
        }
    }

    // The log of one successful loadMovie: the graph held `filters` filters before.
    static Lines loadLines(const std::string& path, int filters, int32_t volume) {
        Lines Expected = {"Stop", "EnumFilters"};
        for (int i = 0; i < filters; ++i) {
            Expected.push_back("IEnumFilters::Next 1");
            Expected.push_back("RemoveFilter");
            Expected.push_back("IEnumFilters::Reset");
        }
        Expected.push_back("IEnumFilters::Next 1");
        Expected.push_back("Release enum");
        Expected.push_back("RenderFile " + path);
        Expected.push_back("put_Owner hwnd");
        Expected.push_back("put_WindowStyle 1073741824");  // WS_CHILD alone
        Expected.push_back("SetWindowPosition 80 16 640 480");
        Expected.push_back("GetDuration");
        Expected.push_back("SetPositions 0 1 null 0");
        Expected.push_back("put_Visible -1");
        Expected.push_back("put_Volume " + std::to_string(volume));
        return Expected;
    }

    static Lines concat(Lines First, const Lines& Second) {
        First.insert(First.end(), Second.begin(), Second.end());
        return First;
    }

    // Takes the log so far and starts a new one.
    static Lines takeCalls() {
        Lines Taken = fwrecord::calls();
        fwrecord::calls().clear();
        return Taken;
    }

    // Exactly one message box: the failed-load text, captioned "Error!!", owned by the window.
    void expectMovieFailedBox() {
        ASSERT_EQ(fwrecord::win32().messageBoxes.size(), 1u);
        const fwrecord::Win32State::Box& Box = fwrecord::win32().messageBoxes[0];
        EXPECT_EQ(Box.owner, app->hwnd);
        EXPECT_NE(Box.owner, nullptr);
        EXPECT_EQ(Box.caption, "Error!!");
        EXPECT_EQ(Box.text, kMovieFailedBytes);
        EXPECT_EQ(Box.type, static_cast<UINT>(MB_ICONERROR));
    }

    std::unique_ptr<PlayerApp> app;
};
