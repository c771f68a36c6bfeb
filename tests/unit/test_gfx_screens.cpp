// The two screens' frames: which quads, in which order, from which images, with
// which tint. Images are recovered from each quad's texture coordinates.
#include <cmath>
#include <ostream>

#include "unit/test_support.h"

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
    std::vector<Quad> quads;
    for (const fwrecord::RecordedDraw& draw : fwrecord::d3d().draws) {
        IDirect3DTexture9* texture = static_cast<IDirect3DTexture9*>(draw.texture);
        EXPECT_NE(texture, nullptr);
        EXPECT_EQ(draw.vertices.size(), 4u);
        if (!texture || draw.vertices.size() != 4) continue;
        const fwrecord::RecordedVertex& topLeft = draw.vertices[0];
        const fwrecord::RecordedVertex& bottomRight = draw.vertices[2];
        const double width = fwrecord::textureWidth(texture), height = fwrecord::textureHeight(texture);
        auto texel = [](float coordinate, double size) { return static_cast<LONG>(std::lround(coordinate * size - 0.5)); };
        RECT image = {texel(topLeft.u, width), texel(topLeft.v, height), texel(bottomRight.u, width),
                      texel(bottomRight.v, height)};
        EXPECT_EQ(bottomRight.x - topLeft.x, static_cast<float>(image.right - image.left));
        EXPECT_EQ(bottomRight.y - topLeft.y, static_cast<float>(image.bottom - image.top));
        quads.push_back(Quad{fwrecord::textureName(texture), static_cast<LONG>(std::lround(topLeft.x)),
                             static_cast<LONG>(std::lround(topLeft.y)), image, topLeft.diffuse});
    }
    return quads;
}

// The image drawn with its top-left corner at (x, y), or kNone.
RECT imageAt(const std::vector<Quad>& quads, LONG x, LONG y) {
    for (const Quad& q : quads)
        if (q.x == x && q.y == y) return q.image;
    return kNone;
}

// The frame's calls other than the quads' own.
Lines frameCalls() {
    Lines kept;
    for (const std::string& line : fwrecord::calls())
        if (line.rfind("GetLevelDesc", 0) != 0 && line.rfind("SetFVF", 0) != 0 &&
            line.rfind("DrawPrimitiveUP", 0) != 0 && line.rfind("GetCurrentPosition", 0) != 0)
            kept.push_back(line);
    return kept;
}

// A player with a device, its four textures (tex1 main sheet, tex2 and tex3 the
// gallery backgrounds, tex4 the gallery sheet) and a graph.
class GfxScreen : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        app.reset(new PlayerApp);
        ASSERT_EQ(app->createDevice(), 1);
        ASSERT_EQ(app->createMovieGraph(), 1);
        for (IDirect3DTexture9** field : {&app->texMainBG, &app->texThumbnailBG1, &app->texThumbnailBG2,
                                          &app->texThumbnail})
            ASSERT_EQ(app->device->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, field, nullptr),
                      D3D_OK);
        app->itemCount = 3;
        app->currentItem = 1;
        app->duration = 1000;
        app->mouseX = 0;
        app->mouseY = 0;
    }
    std::vector<Quad> draw(int32_t (PlayerApp::*screen)()) {
        fwrecord::d3d().draws.clear();
        fwrecord::calls().clear();
        EXPECT_EQ((app.get()->*screen)(), 1);
        return drawnQuads();
    }
    std::vector<Quad> drawMain() { return draw(&PlayerApp::drawMainScreen); }
    std::vector<Quad> drawGallery() { return draw(&PlayerApp::drawThumbnailScreen); }
    void setMouse(POINT mouse) {
        app->mouseX = mouse.x;
        app->mouseY = mouse.y;
    }
    void setFlags(int first, int last, uint8_t value) {
        for (int i = first; i <= last; ++i) app->unlockFlags[i] = value;
    }
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
    const std::vector<Quad> expected = {
        quad("tex1", 0, 0, {0, 0, 800, 600}),   quad("tex1", 35, 534, kKnob),  quad("tex1", 370, 566, kKnob),
        quad("tex1", 456, 535, kPrevious[0]),   quad("tex1", 514, 535, kStop[0]), quad("tex1", 572, 535, kPlay[2]),
        quad("tex1", 630, 535, kNext[0]),       quad("tex1", 714, 535, kGalleryButton[0])};
    EXPECT_EQ(drawMain(), expected);
    EXPECT_EQ(frameCalls(), (Lines{"Clear 0 null 3 0x0 1 0", "BeginScene", "SetTexture 0 tex1", "EndScene", "Present"}));
}

// Previous and Next vanish at the table's ends; Stop or Play is inactive (and ignores
// the mouse) by the sequence state; any other state leaves both active.
TEST_F(GfxMainScreen, TransportButtonsByItemAndPlayState) {
    const struct {
        int32_t currentItem, isPlaying;
        POINT mouse;
        RECT previous, stop, play, next;
    } cases[] = {{0, 1, {0, 0}, kNone, kStop[0], kPlay[2], kNext[0]},
                 {2, 1, {0, 0}, kPrevious[0], kStop[0], kPlay[2], kNone},
                 {1, 0, {514, 535}, kPrevious[0], kStop[2], kPlay[0], kNext[0]},
                 {1, 2, {0, 0}, kPrevious[0], kStop[0], kPlay[0], kNext[0]}};
    for (const auto& c : cases) {
        SCOPED_TRACE("item " + std::to_string(c.currentItem) + " isPlaying " + std::to_string(c.isPlaying));
        app->currentItem = c.currentItem;
        app->isPlaying = c.isPlaying;
        setMouse(c.mouse);
        std::vector<Quad> quads = drawMain();
        EXPECT_EQ(imageAt(quads, 456, 535), c.previous);
        EXPECT_EQ(imageAt(quads, 514, 535), c.stop);
        EXPECT_EQ(imageAt(quads, 572, 535), c.play);
        EXPECT_EQ(imageAt(quads, 630, 535), c.next);
    }
}

TEST_F(GfxMainScreen, HoverHighlightsOnBothEdgesOfEachRectangle) {
    const struct {
        RECT area;
        const RECT* images;  // normal, highlighted
        int32_t isPlaying;
    } elements[] = {{{456, 535, 513, 579}, kPrevious, 1},
                    {{572, 535, 629, 579}, kPlay, 0},
                    {{714, 535, 771, 579}, kGalleryButton, 1},
                    {{749, 280, 781, 320}, kClip, 1}};
    app->playItems[1].clipCount = 4;
    app->currentClip = -1;
    for (const auto& e : elements) {
        app->isPlaying = e.isPlaying;
        const POINT points[4] = {{e.area.left, e.area.top}, {e.area.right, e.area.bottom},
                                 {e.area.left - 1, e.area.top}, {e.area.right, e.area.bottom + 1}};
        for (int i = 0; i < 4; ++i) {
            setMouse(points[i]);
            EXPECT_EQ(imageAt(drawMain(), e.area.left, e.area.top), e.images[i < 2 ? 1 : 0])
                << "mouse at " << points[i].x << "," << points[i].y;
        }
    }
}

// Clip buttons only for items of two or more clips, the current one marked; they
// come last.
TEST_F(GfxMainScreen, ClipButtonsShowTheItemsClips) {
    const struct {
        int32_t clipCount, currentClip;
        POINT mouse;
        RECT buttons[4];
    } cases[] = {{1, 0, {760, 60}, {kNone, kNone, kNone, kNone}},
                 {3, 1, {0, 0}, {kClip[0], kClip[2], kClip[0], kNone}},
                 {4, 0, {749, 130}, {kClip[2], kClip[1], kClip[0], kClip[0]}}};
    for (const auto& c : cases) {
        app->playItems[1].clipCount = c.clipCount;
        app->currentClip = c.currentClip;
        setMouse(c.mouse);
        std::vector<Quad> quads = drawMain();
        size_t shown = 0;
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(imageAt(quads, 749, 55 + 75 * k), c.buttons[k]) << c.clipCount << " clips, button " << k;
            shown += !(c.buttons[k] == kNone);
        }
        EXPECT_EQ(quads.size(), 8 + shown);
    }
}

TEST_F(GfxMainScreen, KnobsStandAtThePlayedFractionAndTheLoudness) {
    const struct {
        int64_t duration, position;
        HRESULT result;
        LONG x;
    } seeks[] = {{1000, 0, S_OK, 35},   {1000, 500, S_OK, 202},  {1000, 999, S_OK, 369},
                 {100000000, 33333333, S_OK, 146}, {1000, 5000, S_OK, 370}, {0, 500, S_OK, 35},
                 {1000, 500, E_FAIL, 35}};
    for (const auto& c : seeks) {
        app->duration = c.duration;
        fwrecord::dshow().position = c.position;
        fwrecord::dshow().getCurrentPositionResult = c.result;
        EXPECT_EQ(drawMain().at(1), quad("tex1", c.x, 534, kKnob)) << c.duration << " " << c.position;
    }
    const struct {
        int32_t volume;
        LONG x;
    } volumes[] = {{0, 370}, {-5000, 35}, {-2500, 202}, {-1, 369}};
    for (const auto& c : volumes) {
        app->volume = c.volume;
        EXPECT_EQ(drawMain().at(2), quad("tex1", c.x, 566, kKnob)) << "volume " << c.volume;
    }
    const struct {
        int32_t dragMode;
        RECT seek, volume;
    } drags[] = {{DRAG_SEEK, kKnobDragged, kKnob}, {DRAG_VOLUME, kKnob, kKnobDragged}};
    for (const auto& c : drags) {
        app->dragMode = c.dragMode;
        std::vector<Quad> quads = drawMain();
        EXPECT_EQ(quads.at(1).image, c.seek) << "dragMode " << c.dragMode;
        EXPECT_EQ(quads.at(2).image, c.volume) << "dragMode " << c.dragMode;
    }
}

// --- Thumbnail screen --------------------------------------------------------------

const RECT kPageButton[2][2] = {{{112, 600, 170, 645}, {286, 600, 344, 645}},   // page 0: normal, highlighted
                                {{170, 600, 228, 645}, {344, 600, 402, 645}}};  // page 1
const RECT kBackButton[2] = {{228, 600, 286, 645}, {402, 600, 460, 645}};
const RECT kLock = {0, 600, 100, 675};

typedef GfxScreen GfxThumbnailScreen;

TEST_F(GfxThumbnailScreen, LockedPageShowsTwentyEightLocksInRowOrder) {
    std::vector<Quad> expected = {quad("tex2", 0, 0, {0, 0, 800, 600}), quad("tex4", 721, 24, kPageButton[0][0])};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 7; ++c) expected.push_back(quad("tex4", 29 + 107 * c, 91 + 108 * r, kLock, kLockTint));
    expected.push_back(quad("tex4", 714, 535, kBackButton[0]));
    EXPECT_EQ(drawGallery(), expected);
    // The background binds itself; the sheet is bound once for everything else.
    EXPECT_EQ(frameCalls(), (Lines{"Clear 0 null 3 0x0 1 0", "BeginScene", "SetTexture 0 tex2", "SetTexture 0 tex4",
                                   "EndScene", "Present"}));
}

TEST_F(GfxThumbnailScreen, HighlightsTheUnlockedCellAndButtonUnderTheMouse) {
    const struct {
        int32_t page;
        POINT mouse;
        RECT pageButton, back;
        Quad cell;  // the highlighted cell, texture "" for none
    } cases[] = {
        {0, {29, 91}, kPageButton[0][0], kBackButton[0], quad("tex4", 29, 91, {0, 0, 100, 75})},
        {0, {128, 165}, kPageButton[0][0], kBackButton[0], quad("tex4", 29, 91, {0, 0, 100, 75})},
        {0, {130, 100}, kPageButton[0][0], kBackButton[0], {}},
        {0, {100, 166}, kPageButton[0][0], kBackButton[0], {}},
        {0, {770, 489}, kPageButton[0][0], kBackButton[0], quad("tex4", 671, 415, {600, 225, 700, 300})},
        {0, {778, 68}, kPageButton[0][1], kBackButton[0], {}},
        {0, {771, 579}, kPageButton[0][0], kBackButton[1], {}},
        {1, {721, 24}, kPageButton[1][1], kBackButton[0], {}},
        {1, {136, 199}, kPageButton[1][0], kBackButton[0], quad("tex4", 136, 199, {100, 375, 200, 450})},
        {1, {770, 489}, kPageButton[1][0], kBackButton[0], quad("tex4", 671, 415, {600, 525, 700, 600})}};
    setFlags(0, 63, 1);
    for (const auto& c : cases) {
        app->thumbnailPage = c.page;
        setMouse(c.mouse);
        std::vector<Quad> expected = {quad(c.page == 0 ? "tex2" : "tex3", 0, 0, {0, 0, 800, 600}),
                                      quad("tex4", 721, 24, c.pageButton)};
        if (!c.cell.texture.empty()) expected.push_back(c.cell);
        expected.push_back(quad("tex4", 714, 535, c.back));
        EXPECT_EQ(drawGallery(), expected) << "page " << c.page << " mouse " << c.mouse.x << "," << c.mouse.y;
    }
}

// Page 0 shows flags 0-27, page 1 flags 28-55; any byte but 1 is locked.
TEST_F(GfxThumbnailScreen, EachPageReadsItsOwnFlags) {
    setFlags(0, 27, 1);
    EXPECT_EQ(drawGallery().size(), 3u);
    app->thumbnailPage = 1;
    std::vector<Quad> quads = drawGallery();
    ASSERT_EQ(quads.size(), 31u);
    EXPECT_EQ(quads[29], quad("tex4", 671, 415, kLock, kLockTint));
    setFlags(0, 63, 1);
    app->unlockFlags[33] = 2;
    setMouse({29 + 107 * 5, 91});
    quads = drawGallery();
    ASSERT_EQ(quads.size(), 4u);
    EXPECT_EQ(quads[2], quad("tex4", 29 + 107 * 5, 91, kLock, kLockTint));
}

}  // namespace

}  // namespace gfxtest
