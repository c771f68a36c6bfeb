// The screens' quads: order, images (from texture coordinates) and tint.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "gfx/layout.h"
#include "unit/test_support.h"

namespace {

const DWORD kOpaque = 0xFFFFFFFF;
const RECT kNone = {-1, -1, -1, -1};

std::string image(const RECT& r) {
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

// A quad as "texture x,y image color".
std::string quad(const std::string& texture, LONG x, LONG y, const RECT& source, DWORD color = kOpaque) {
    char tint[16];
    std::snprintf(tint, sizeof(tint), "%08X", color);
    return texture + " " + std::to_string(x) + "," + std::to_string(y) + " " + image(source) + " " + tint;
}

// The frame's quads as drawn, each image recovered from the texture coordinates.
Lines drawnQuads() {
    Lines quads;
    for (const fwrecord::RecordedDraw& draw : fwrecord::d3d().draws) {
        IDirect3DTexture9* texture = static_cast<IDirect3DTexture9*>(draw.texture);
        EXPECT_NE(texture, nullptr);
        EXPECT_EQ(draw.vertices.size(), 4u);
        if (!texture || draw.vertices.size() != 4) continue;
        const fwrecord::RecordedVertex& topLeft = draw.vertices[0];
        const fwrecord::RecordedVertex& bottomRight = draw.vertices[2];
        const double width = fwrecord::textureWidth(texture), height = fwrecord::textureHeight(texture);
        auto texel = [](float coordinate, double size) { return static_cast<LONG>(std::lround(coordinate * size - 0.5)); };
        RECT source = {texel(topLeft.u, width), texel(topLeft.v, height), texel(bottomRight.u, width),
                       texel(bottomRight.v, height)};
        quads.push_back(quad(fwrecord::textureName(texture), std::lround(topLeft.x), std::lround(topLeft.y), source,
                             topLeft.diffuse));
    }
    return quads;
}

// The image drawn with its top-left corner at (x, y), or kNone's.
std::string imageAt(const Lines& quads, LONG x, LONG y) {
    const std::string place = " " + std::to_string(x) + "," + std::to_string(y) + " ";
    for (const std::string& q : quads) {
        size_t at = q.find(place);
        if (at != std::string::npos) return q.substr(at + place.size(), q.rfind(' ') - at - place.size());
    }
    return image(kNone);
}

// tex1 main sheet, tex2 and tex3 gallery backgrounds, tex4 gallery sheet.
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
    Lines draw(int32_t (PlayerApp::*screen)()) {
        fwrecord::d3d().draws.clear();
        fwrecord::calls().clear();
        EXPECT_EQ((app.get()->*screen)(), 1);
        return drawnQuads();
    }
    Lines drawMain() { return draw(&PlayerApp::drawMainScreen); }
    Lines drawGallery() { return draw(&PlayerApp::drawThumbnailScreen); }
    void setMouse(POINT mouse) {
        app->mouseX = mouse.x;
        app->mouseY = mouse.y;
    }
};

// --- Main screen -------------------------------------------------------------------

const RECT kPrevious[2] = {kPreviousNormal, kPreviousHighlighted};
const RECT kStop[3] = {kStopNormal, kStopHighlighted, kStopInactive};
const RECT kPlay[3] = {kPlayNormal, kPlayHighlighted, kPlayInactive};
const RECT kNext[2] = {kNextNormal, kNextHighlighted};

typedef GfxScreen GfxMainScreen;

TEST_F(GfxMainScreen, DrawsTheElementsInOrderFromTheBoundSheet) {
    const Lines expected = {quad("tex1", 0, 0, kMainBackground),      quad("tex1", 35, 534, kKnobNormal),
                            quad("tex1", 370, 566, kKnobNormal),       quad("tex1", 456, 535, kPrevious[0]),
                            quad("tex1", 514, 535, kStop[0]),          quad("tex1", 572, 535, kPlay[2]),
                            quad("tex1", 630, 535, kNext[0]),          quad("tex1", 714, 535, kThumbnailButtonNormal)};
    EXPECT_EQ(drawMain(), expected);
    EXPECT_EQ(fwrecord::d3d().presents, 1);
}

// Previous/Next vanish at the ends; Stop or Play is inactive (ignoring the mouse) by
// the sequence state; edges count as inside.
TEST_F(GfxMainScreen, TransportButtonsByItemPlayStateAndMouse) {
    const struct {
        int32_t currentItem, isPlaying;
        POINT mouse;
        RECT previous, stop, play, next;
    } cases[] = {{0, 1, {0, 0}, kNone, kStop[0], kPlay[2], kNext[0]},
                 {2, 1, {0, 0}, kPrevious[0], kStop[0], kPlay[2], kNone},
                 {1, 0, {514, 535}, kPrevious[0], kStop[2], kPlay[0], kNext[0]},
                 {1, 1, {513, 579}, kPrevious[1], kStop[0], kPlay[2], kNext[0]},
                 {1, 0, {572, 535}, kPrevious[0], kStop[2], kPlay[1], kNext[0]}};
    for (const auto& c : cases) {
        app->currentItem = c.currentItem;
        app->isPlaying = c.isPlaying;
        setMouse(c.mouse);
        const Lines quads = drawMain();
        const Lines shown = {imageAt(quads, 456, 535), imageAt(quads, 514, 535), imageAt(quads, 572, 535),
                             imageAt(quads, 630, 535)};
        EXPECT_EQ(shown, (Lines{image(c.previous), image(c.stop), image(c.play), image(c.next)}))
            << "item " << c.currentItem << " isPlaying " << c.isPlaying << " mouse " << c.mouse.x << "," << c.mouse.y;
    }
    setMouse({771, 579});
    EXPECT_EQ(imageAt(drawMain(), 714, 535), image(kThumbnailButtonHighlighted));
}

// Knobs at the played fraction (0 without duration or position) and the loudness.
TEST_F(GfxMainScreen, KnobsStandAtThePlayedFractionAndTheLoudness) {
    const struct {
        int64_t duration, position;
        HRESULT result;
        LONG x;
    } seeks[] = {{1000, 500, S_OK, 202}, {1000, 999, S_OK, 369}, {100000000, 33333333, S_OK, 146},
                 {1000, 5000, S_OK, 370}, {0, 500, S_OK, 35},    {1000, 500, E_FAIL, 35}};
    // Volume: full at the right, the quietest at the left.
    for (const auto& c : seeks) {
        app->duration = c.duration;
        fwrecord::dshow().position = c.position;
        fwrecord::dshow().getCurrentPositionResult = c.result;
        EXPECT_EQ(drawMain().at(1), quad("tex1", c.x, 534, kKnobNormal)) << c.duration << " " << c.position;
    }
    const struct {
        int32_t volume;
        LONG x;
    } volumes[] = {{0, 370}, {-5000, 35}, {-2500, 202}, {-1, 369}};
    for (const auto& c : volumes) {
        app->volume = c.volume;
        EXPECT_EQ(drawMain().at(2), quad("tex1", c.x, 566, kKnobNormal)) << "volume " << c.volume;
    }
    app->dragMode = DRAG_VOLUME;
    EXPECT_EQ(imageAt(drawMain(), 369, 566), image(kKnobDragged));
    app->dragMode = DRAG_SEEK;
    EXPECT_EQ(imageAt(drawMain(), 35, 534), image(kKnobDragged));
}

// --- Thumbnail screen --------------------------------------------------------------

typedef GfxScreen GfxThumbnailScreen;

TEST_F(GfxThumbnailScreen, HighlightsTheUnlockedCellAndButtonUnderTheMouse) {
    const struct {
        int32_t page;
        POINT mouse;
        RECT pageButton, back;
        std::string cell;  // the highlighted cell's quad, if any
    } cases[] = {
        {0, {128, 165}, kPageButtonNormal[0], kBackButtonNormal, quad("tex4", 29, 91, {0, 0, 100, 75})},
        {0, {100, 166}, kPageButtonNormal[0], kBackButtonNormal, ""},
        {0, {778, 68}, kPageButtonHighlighted[0], kBackButtonNormal, ""},
        {0, {771, 579}, kPageButtonNormal[0], kBackButtonHighlighted, ""},
        {1, {721, 24}, kPageButtonHighlighted[1], kBackButtonNormal, ""},
        {1, {770, 489}, kPageButtonNormal[1], kBackButtonNormal, quad("tex4", 671, 415, {600, 525, 700, 600})}};
    std::memset(app->unlockFlags, 1, sizeof(app->unlockFlags));
    for (const auto& c : cases) {
        app->thumbnailPage = c.page;
        setMouse(c.mouse);
        Lines expected = {quad(c.page == 0 ? "tex2" : "tex3", 0, 0, kMainBackground),
                          quad("tex4", 721, 24, c.pageButton)};
        if (!c.cell.empty()) expected.push_back(c.cell);
        expected.push_back(quad("tex4", 714, 535, c.back));
        EXPECT_EQ(drawGallery(), expected) << "page " << c.page << " mouse " << c.mouse.x << "," << c.mouse.y;
    }
}

}  // namespace
