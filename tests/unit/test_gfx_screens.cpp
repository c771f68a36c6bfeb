// The two screens' frames: which quads, in which order, from which images, with
// which tint. Images are recovered from each quad's texture coordinates.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>

#include "app/player_app.h"
#include "unit/test_support.h"

using fwrecord::calls;
using fwrecord::d3d;
using fwrecord::dshow;

static bool operator==(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

static std::ostream& operator<<(std::ostream& out, const RECT& r) {
    return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

namespace gfxtest {

struct Quad {
    std::string texture;
    LONG x, y;
    RECT image;
    DWORD color;
};

bool operator==(const Quad& a, const Quad& b) {
    return a.texture == b.texture && a.x == b.x && a.y == b.y && a.image == b.image && a.color == b.color;
}

std::ostream& operator<<(std::ostream& out, const Quad& q) {
    return out << q.texture << " at (" << q.x << "," << q.y << ") image " << q.image << " color " << std::hex
               << q.color << std::dec;
}

namespace {

const DWORD kOpaque = 0xFFFFFFFF;
const DWORD kLockTint = 0xC0FFFFFF;
const RECT kNone = {-1, -1, -1, -1};

Quad quad(const char* texture, LONG x, LONG y, RECT image, DWORD color = kOpaque) {
    return Quad{texture, x, y, image, color};
}

// The frame's quads as drawn, each checked to be a 1:1 copy of its image.
std::vector<Quad> drawnQuads() {
    std::vector<Quad> Result;
    for (const fwrecord::RecordedDraw& Draw : d3d().draws) {
        IDirect3DTexture9* Texture = static_cast<IDirect3DTexture9*>(Draw.texture);
        EXPECT_NE(Texture, nullptr);
        EXPECT_EQ(Draw.vertices.size(), 4u);
        if (!Texture || Draw.vertices.size() != 4) continue;
        const fwrecord::RecordedVertex& TopLeft = Draw.vertices[0];
        const fwrecord::RecordedVertex& BottomRight = Draw.vertices[2];
        double Width = fwrecord::textureWidth(Texture), Height = fwrecord::textureHeight(Texture);
        auto texel = [](float Coordinate, double Size) { return static_cast<LONG>(std::lround(Coordinate * Size - 0.5)); };
        RECT Image = {texel(TopLeft.u, Width), texel(TopLeft.v, Height), texel(BottomRight.u, Width),
                      texel(BottomRight.v, Height)};
        EXPECT_EQ(BottomRight.x - TopLeft.x, static_cast<float>(Image.right - Image.left));
        EXPECT_EQ(BottomRight.y - TopLeft.y, static_cast<float>(Image.bottom - Image.top));
        Result.push_back(Quad{fwrecord::textureName(Texture), static_cast<LONG>(std::lround(TopLeft.x)),
                              static_cast<LONG>(std::lround(TopLeft.y)), Image, TopLeft.diffuse});
    }
    return Result;
}

// The image drawn with its top-left corner at (x, y), or kNone.
RECT imageAt(const std::vector<Quad>& Quads, LONG x, LONG y) {
    for (const Quad& Q : Quads)
        if (Q.x == x && Q.y == y) return Q.image;
    return kNone;
}

// The frame's calls other than the quads' own.
std::vector<std::string> frameCalls() {
    std::vector<std::string> Result;
    for (const std::string& Line : calls())
        if (Line.rfind("GetLevelDesc", 0) != 0 && Line.rfind("SetFVF", 0) != 0 &&
            Line.rfind("DrawPrimitiveUP", 0) != 0 && Line.rfind("GetCurrentPosition", 0) != 0)
            Result.push_back(Line);
    return Result;
}

// A player with a device, its four textures (tex1 main sheet, tex2 and tex3 the
// gallery backgrounds, tex4 the gallery sheet) and a graph.
class GfxScreen : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        App = std::make_unique<PlayerApp>();
        ASSERT_EQ(App->createDevice(), 1);
        ASSERT_EQ(App->createMovieGraph(), 1);
        IDirect3DTexture9** Fields[4] = {&App->texMainBG, &App->texThumbnailBG1, &App->texThumbnailBG2,
                                         &App->texThumbnail};
        for (IDirect3DTexture9** Field : Fields)
            ASSERT_EQ(App->device->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, Field, nullptr),
                      D3D_OK);
        App->itemCount = 3;
        App->currentItem = 1;
        App->duration = 1000;
        App->mouseX = 0;
        App->mouseY = 0;
        calls().clear();
    }
    void TearDown() override {
        App.reset();
        TempFolderTest::TearDown();
    }
    std::vector<Quad> drawMain() {
        d3d().draws.clear();
        calls().clear();
        EXPECT_EQ(App->drawMainScreen(), 1);
        return drawnQuads();
    }
    std::vector<Quad> drawGallery() {
        d3d().draws.clear();
        calls().clear();
        EXPECT_EQ(App->drawThumbnailScreen(), 1);
        return drawnQuads();
    }
    void setFlags(int first, int last, uint8_t value) {
        for (int i = first; i <= last; ++i) App->unlockFlags[i] = value;
    }
    std::unique_ptr<PlayerApp> App;
};

// --- Main screen -------------------------------------------------------------------

const RECT kKnob = {99, 645, 118, 661}, kKnobDragged = {99, 661, 118, 677};
const RECT kPrevious[2] = {{0, 600, 58, 645}, {290, 600, 348, 645}};  // normal, highlighted
const RECT kStop[3] = {{58, 600, 116, 645}, {348, 600, 406, 645}, {580, 600, 638, 645}};  // and inactive
const RECT kPlay[3] = {{116, 600, 174, 645}, {406, 600, 464, 645}, {638, 600, 696, 645}};
const RECT kNext[2] = {{174, 600, 232, 645}, {464, 600, 522, 645}};
const RECT kGalleryButton[2] = {{232, 600, 290, 645}, {522, 600, 580, 645}};
const RECT kClip[3] = {{0, 645, 33, 686}, {33, 645, 66, 686}, {66, 645, 99, 686}};  // normal, highlighted, current

typedef GfxScreen GfxMainScreen;

TEST_F(GfxMainScreen, DrawsTheElementsInOrderFromTheBoundSheet) {
    std::vector<Quad> Expected = {quad("tex1", 0, 0, {0, 0, 800, 600}), quad("tex1", 35, 534, kKnob),
                                  quad("tex1", 370, 566, kKnob),        quad("tex1", 456, 535, kPrevious[0]),
                                  quad("tex1", 514, 535, kStop[0]),     quad("tex1", 572, 535, kPlay[2]),
                                  quad("tex1", 630, 535, kNext[0]),     quad("tex1", 714, 535, kGalleryButton[0])};
    EXPECT_EQ(drawMain(), Expected);
    EXPECT_EQ(frameCalls(), (std::vector<std::string>{"Clear 0 null 3 0x0 1 0", "BeginScene", "SetTexture 0 tex1",
                                                      "EndScene", "Present"}));
    EXPECT_EQ(fwrecord::callsStartingWith("GetCurrentPosition").size(), 1u);
    // Every quad is drawn inside the scene.
    auto Begin = std::find(calls().begin(), calls().end(), "BeginScene");
    auto End = std::find(calls().begin(), calls().end(), "EndScene");
    EXPECT_EQ(std::count_if(Begin, End, [](const std::string& l) { return l.rfind("DrawPrimitiveUP", 0) == 0; }), 8);
}

struct TransportCase {
    int32_t itemCount, currentItem, isPlaying;
    POINT mouse;
    RECT previous, stop, play, next;
};

class GfxMainTransport : public GfxMainScreen, public ::testing::WithParamInterface<TransportCase> {};

TEST_P(GfxMainTransport, ShowsButtonsByItemAndPlayState) {
    const TransportCase& Case = GetParam();
    App->itemCount = Case.itemCount;
    App->currentItem = Case.currentItem;
    App->isPlaying = Case.isPlaying;
    App->mouseX = Case.mouse.x;
    App->mouseY = Case.mouse.y;
    std::vector<Quad> Quads = drawMain();
    EXPECT_EQ(imageAt(Quads, 456, 535), Case.previous);
    EXPECT_EQ(imageAt(Quads, 514, 535), Case.stop);
    EXPECT_EQ(imageAt(Quads, 572, 535), Case.play);
    EXPECT_EQ(imageAt(Quads, 630, 535), Case.next);
}

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxMainTransport,
    ::testing::Values(TransportCase{3, 0, 1, {0, 0}, kNone, kStop[0], kPlay[2], kNext[0]},
                      TransportCase{3, 2, 1, {0, 0}, kPrevious[0], kStop[0], kPlay[2], kNone},
                      TransportCase{1, 0, 1, {0, 0}, kNone, kStop[0], kPlay[2], kNone},
                      TransportCase{3, 1, 0, {0, 0}, kPrevious[0], kStop[2], kPlay[0], kNext[0]},
                      // An inactive button ignores the mouse.
                      TransportCase{3, 1, 0, {514, 535}, kPrevious[0], kStop[2], kPlay[0], kNext[0]},
                      TransportCase{3, 1, 1, {629, 579}, kPrevious[0], kStop[0], kPlay[2], kNext[0]},
                      // Neither 0 nor 1: both react.
                      TransportCase{3, 1, 2, {0, 0}, kPrevious[0], kStop[0], kPlay[0], kNext[0]}));

TEST_F(GfxMainScreen, HoverHighlightsOnBothEdgesOfEachRectangle) {
    struct Element {
        RECT area;
        const RECT* images;  // normal, highlighted
        int32_t isPlaying;
    };
    const Element kElements[] = {
        {{456, 535, 513, 579}, kPrevious, 1}, {{514, 535, 571, 579}, kStop, 1},
        {{572, 535, 629, 579}, kPlay, 0},     {{630, 535, 687, 579}, kNext, 1},
        {{714, 535, 771, 579}, kGalleryButton, 1}, {{749, 55, 781, 95}, kClip, 1},
        {{749, 130, 781, 170}, kClip, 1},     {{749, 205, 781, 245}, kClip, 1},
        {{749, 280, 781, 320}, kClip, 1}};
    App->playItems[1].clipCount = 4;
    App->currentClip = -1;
    for (const Element& E : kElements) {
        App->isPlaying = E.isPlaying;
        const POINT kPoints[4] = {{E.area.left, E.area.top}, {E.area.right, E.area.bottom},
                                  {E.area.left - 1, E.area.top}, {E.area.right, E.area.bottom + 1}};
        for (int i = 0; i < 4; ++i) {
            App->mouseX = kPoints[i].x;
            App->mouseY = kPoints[i].y;
            EXPECT_EQ(imageAt(drawMain(), E.area.left, E.area.top), E.images[i < 2 ? 1 : 0])
                << "mouse at " << kPoints[i].x << "," << kPoints[i].y;
        }
    }
}

struct ClipCase {
    int32_t clipCount, currentClip;
    POINT mouse;
    RECT buttons[4];
};

class GfxMainClipButtons : public GfxMainScreen, public ::testing::WithParamInterface<ClipCase> {};

TEST_P(GfxMainClipButtons, ShowTheItemsClipsWithTheCurrentOneMarked) {
    const ClipCase& Case = GetParam();
    App->playItems[1].clipCount = Case.clipCount;
    App->currentClip = Case.currentClip;
    App->mouseX = Case.mouse.x;
    App->mouseY = Case.mouse.y;
    std::vector<Quad> Quads = drawMain();
    size_t Shown = 0;
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(imageAt(Quads, 749, 55 + 75 * k), Case.buttons[k]) << "button " << k;
        Shown += !(Case.buttons[k] == kNone);
    }
    // The clip buttons come last; with the middle of three items a frame has 8 + Shown quads, 12 at most.
    EXPECT_EQ(Quads.size(), 8 + Shown);
}

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxMainClipButtons,
    ::testing::Values(ClipCase{0, 0, {0, 0}, {kNone, kNone, kNone, kNone}},
                      ClipCase{1, 0, {760, 60}, {kNone, kNone, kNone, kNone}},
                      ClipCase{2, 0, {0, 0}, {kClip[2], kClip[0], kNone, kNone}},
                      ClipCase{3, 1, {0, 0}, {kClip[0], kClip[2], kClip[0], kNone}},
                      ClipCase{4, 3, {0, 0}, {kClip[0], kClip[0], kClip[0], kClip[2]}},
                      ClipCase{4, 2, {781, 245}, {kClip[0], kClip[0], kClip[2], kClip[0]}},
                      ClipCase{4, 0, {749, 130}, {kClip[2], kClip[1], kClip[0], kClip[0]}}));

struct SeekCase {
    int64_t duration, position;
    HRESULT result;
    LONG x;
};

class GfxMainSeekKnob : public GfxMainScreen, public ::testing::WithParamInterface<SeekCase> {};

TEST_P(GfxMainSeekKnob, StandsAtThePlayedFraction) {
    const SeekCase& Case = GetParam();
    App->duration = Case.duration;
    dshow().position = Case.position;
    dshow().getCurrentPositionResult = Case.result;
    std::vector<Quad> Quads = drawMain();
    ASSERT_GE(Quads.size(), 2u);
    EXPECT_EQ(Quads[1], quad("tex1", Case.x, 534, kKnob));
}

INSTANTIATE_TEST_SUITE_P(Gfx, GfxMainSeekKnob,
                         ::testing::Values(SeekCase{1000, 0, S_OK, 35}, SeekCase{1000, 500, S_OK, 202},
                                           SeekCase{1000, 1000, S_OK, 370}, SeekCase{1000, 999, S_OK, 369},
                                           SeekCase{100000000, 33333333, S_OK, 146},
                                           SeekCase{1000, 5000, S_OK, 370}, SeekCase{1000, -100, S_OK, 35},
                                           SeekCase{0, 500, S_OK, 35}, SeekCase{-1000, 500, S_OK, 35},
                                           SeekCase{1000, 500, E_FAIL, 35}));

TEST_F(GfxMainScreen, VolumeKnobStandsAtTheLoudness) {
    const struct {
        int32_t volume;
        LONG x;
    } kCases[] = {{0, 370}, {-5000, 35}, {-2500, 202}, {-1, 369}, {-4999, 35}};
    for (const auto& Case : kCases) {
        App->volume = Case.volume;
        std::vector<Quad> Quads = drawMain();
        ASSERT_GE(Quads.size(), 3u);
        EXPECT_EQ(Quads[2], quad("tex1", Case.x, 566, kKnob)) << "volume " << Case.volume;
    }
}

TEST_F(GfxMainScreen, OnlyTheDraggedKnobShowsTheDraggedImage) {
    const struct {
        int32_t dragMode;
        RECT seek, volume;
    } kCases[] = {{DRAG_NONE, kKnob, kKnob}, {DRAG_SEEK, kKnobDragged, kKnob}, {DRAG_VOLUME, kKnob, kKnobDragged}};
    for (const auto& Case : kCases) {
        App->dragMode = Case.dragMode;
        std::vector<Quad> Quads = drawMain();
        ASSERT_GE(Quads.size(), 3u);
        EXPECT_EQ(Quads[1].image, Case.seek) << "dragMode " << Case.dragMode;
        EXPECT_EQ(Quads[2].image, Case.volume) << "dragMode " << Case.dragMode;
    }
}

// --- Thumbnail screen --------------------------------------------------------------

const RECT kPageButton[2][2] = {{{112, 600, 170, 645}, {286, 600, 344, 645}},   // page 0: normal, highlighted
                                {{170, 600, 228, 645}, {344, 600, 402, 645}}};  // page 1
const RECT kBackButton[2] = {{228, 600, 286, 645}, {402, 600, 460, 645}};
const RECT kLock = {0, 600, 100, 675};

typedef GfxScreen GfxThumbnailScreen;

TEST_F(GfxThumbnailScreen, LockedPageShowsTwentyEightLocksInRowOrder) {
    std::vector<Quad> Expected = {quad("tex2", 0, 0, {0, 0, 800, 600}), quad("tex4", 721, 24, kPageButton[0][0])};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 7; ++c) Expected.push_back(quad("tex4", 29 + 107 * c, 91 + 108 * r, kLock, kLockTint));
    Expected.push_back(quad("tex4", 714, 535, kBackButton[0]));
    EXPECT_EQ(drawGallery(), Expected);
    // The background binds itself; the sheet is bound once for everything else.
    EXPECT_EQ(frameCalls(), (std::vector<std::string>{"Clear 0 null 3 0x0 1 0", "BeginScene", "SetTexture 0 tex2",
                                                      "SetTexture 0 tex4", "EndScene", "Present"}));
}

struct GalleryCase {
    int32_t page;
    POINT mouse;
    RECT pageButton, back;
    Quad cell;  // the highlighted cell, texture "" for none
};

class GfxThumbnailHover : public GfxThumbnailScreen, public ::testing::WithParamInterface<GalleryCase> {};

TEST_P(GfxThumbnailHover, HighlightsTheUnlockedCellAndButtonUnderTheMouse) {
    const GalleryCase& Case = GetParam();
    setFlags(0, 63, 1);
    App->thumbnailPage = Case.page;
    App->mouseX = Case.mouse.x;
    App->mouseY = Case.mouse.y;
    std::vector<Quad> Expected = {quad(Case.page == 0 ? "tex2" : "tex3", 0, 0, {0, 0, 800, 600}),
                                  quad("tex4", 721, 24, Case.pageButton)};
    if (!Case.cell.texture.empty()) Expected.push_back(Case.cell);
    Expected.push_back(quad("tex4", 714, 535, Case.back));
    EXPECT_EQ(drawGallery(), Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxThumbnailHover,
    ::testing::Values(
        GalleryCase{0, {0, 0}, kPageButton[0][0], kBackButton[0], {}},
        GalleryCase{0, {29, 91}, kPageButton[0][0], kBackButton[0], quad("tex4", 29, 91, {0, 0, 100, 75})},
        GalleryCase{0, {128, 165}, kPageButton[0][0], kBackButton[0], quad("tex4", 29, 91, {0, 0, 100, 75})},
        GalleryCase{0, {130, 100}, kPageButton[0][0], kBackButton[0], {}},
        GalleryCase{0, {100, 166}, kPageButton[0][0], kBackButton[0], {}},
        GalleryCase{0, {770, 489}, kPageButton[0][0], kBackButton[0], quad("tex4", 671, 415, {600, 225, 700, 300})},
        GalleryCase{0, {721, 24}, kPageButton[0][1], kBackButton[0], {}},
        GalleryCase{0, {778, 68}, kPageButton[0][1], kBackButton[0], {}},
        GalleryCase{0, {771, 579}, kPageButton[0][0], kBackButton[1], {}},
        GalleryCase{1, {0, 0}, kPageButton[1][0], kBackButton[0], {}},
        GalleryCase{1, {721, 24}, kPageButton[1][1], kBackButton[0], {}},
        GalleryCase{1, {136, 199}, kPageButton[1][0], kBackButton[0], quad("tex4", 136, 199, {100, 375, 200, 450})},
        GalleryCase{1, {770, 489}, kPageButton[1][0], kBackButton[0], quad("tex4", 671, 415, {600, 525, 700, 600})}));

TEST_F(GfxThumbnailScreen, EachPageReadsItsOwnFlags) {
    // Page 0 unlocked, page 1 locked, the unused flags locked.
    setFlags(0, 27, 1);
    std::vector<Quad> Quads = drawGallery();
    EXPECT_EQ(Quads.size(), 3u);
    App->thumbnailPage = 1;
    Quads = drawGallery();
    ASSERT_EQ(Quads.size(), 31u);
    EXPECT_EQ(Quads[0].texture, "tex3");
    EXPECT_EQ(Quads[29], quad("tex4", 671, 415, kLock, kLockTint));
    // The other way round; flags 56 to 63 never show.
    setFlags(0, 27, 0);
    setFlags(28, 55, 1);
    EXPECT_EQ(drawGallery().size(), 3u);
}

TEST_F(GfxThumbnailScreen, AnyFlagOtherThanOneIsLockedAndNeverHighlights) {
    setFlags(0, 63, 1);
    App->unlockFlags[5] = 2;
    App->mouseX = 29 + 107 * 5;
    App->mouseY = 91;
    std::vector<Quad> Quads = drawGallery();
    ASSERT_EQ(Quads.size(), 4u);
    EXPECT_EQ(Quads[2], quad("tex4", 29 + 107 * 5, 91, kLock, kLockTint));
}

}  // namespace

}  // namespace gfxtest
