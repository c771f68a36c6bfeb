// The Direct3D backends' bookkeeping without a display: the states it takes, texture size
// checks, frame comparison and damage. The pixels are checked end to end (d3d_probe).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "gfx/gfx.h"
#include "platform/d3d/frame.h"

using namespace fwd3d;

namespace {

// The player's own states are accepted end to end (the probes make the player's
// device); here: a refused state leaves the state as it was.
TEST(D3dPipelineState, RefusedStatesChangeNothing) {
    PipelineState state = defaultPipelineState(true), before = state;
    EXPECT_EQ(setRenderState(state, D3DRS_ALPHAREF, 256), D3DERR_INVALIDCALL);
    EXPECT_EQ(setRenderState(state, D3DRS_ZENABLE, D3DZB_USEW), D3DERR_INVALIDCALL);
    EXPECT_EQ(setRenderState(state, 28, TRUE), D3DERR_INVALIDCALL);  // fog
    EXPECT_EQ(setTextureStageState(state, 1, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 0, D3DSAMP_MAGFILTER, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(std::memcmp(&state, &before, sizeof state), 0);
}

TEST(D3dPipelineState, TextureRequestsAreCheckedBeforeAnythingIsMade) {
    auto check = [](UINT width, UINT height, UINT levels, D3DFORMAT format, D3DPOOL pool) {
        return checkTextureRequest(width, height, levels, 0, format, pool, nullptr, 8192);
    };
    EXPECT_EQ(check(8192, 8192, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3D_OK);  // the limit itself
    EXPECT_EQ(check(0x80000000u, 0x80000000u, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);  // overflow
    EXPECT_EQ(check(256, 256, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);                  // a mip chain
    EXPECT_EQ(check(256, 256, 1, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED), D3DERR_INVALIDCALL);
    EXPECT_EQ(check(256, 256, 1, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT), D3DERR_INVALIDCALL);
}

void addQuad(FrameRecord& frame, float x, float y, float w, float h, DWORD color = 0xFFFFFFFF, uint64_t texture = 1,
             uint64_t version = 1) {
    ScreenVertex quad[4] = {{x, y, 0, 1, color, 0, 0},
                            {x + w, y, 0, 1, color, 1, 0},
                            {x + w, y + h, 0, 1, color, 1, 1},
                            {x, y + h, 0, 1, color, 0, 1}};
    frame.addDraw(defaultPipelineState(true), texture, version, D3DPT_TRIANGLEFAN, 2, quad, 4, sizeof(ScreenVertex));
}

// A frame like a screen's, optionally with a highlighted cell.
FrameRecord screen(float knobX = 35, bool cell = false) {
    FrameRecord frame;
    frame.addClear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    addQuad(frame, 0, 0, 800, 600);
    if (cell) addQuad(frame, 29, 91, 100, 75);
    addQuad(frame, knobX, 534, 19, 16);
    addQuad(frame, 456, 535, 58, 45);
    return frame;
}

// The frame with one more small quad, drawn as given.
FrameRecord withSmallQuad(DWORD color, uint64_t texture, uint64_t version) {
    FrameRecord frame = screen();
    addQuad(frame, 10, 10, 5, 5, color, texture, version);
    return frame;
}

// Equal only when everything drawn is equal; the damage bounds what differs with a pixel around.
TEST(D3dFrameRecord, DamageBoundsWhatDiffersWithAPixelAround) {
    const PixelRect small = {9, 9, 16, 16};
    const struct {
        const char* what;
        FrameRecord previous, next;
        PixelRect damage;
    } cases[] = {
        {"same", screen(), screen(), {0, 0, 0, 0}},
        {"knob moved from 35 to 40", screen(35), screen(40), {34, 533, 60, 551}},
        {"a cell more", screen(), screen(35, true), {28, 90, 130, 167}},
        {"a cell less", screen(35, true), screen(), {28, 90, 130, 167}},
        {"clipped to the back buffer", screen(35), screen(795), {34, 533, 800, 551}},
        {"tinted", withSmallQuad(~0u, 1, 1), withSmallQuad(0xC0FFFFFF, 1, 1), small},
        {"another texture", withSmallQuad(~0u, 1, 1), withSmallQuad(~0u, 2, 1), small},
        {"the texture unlocked again since", withSmallQuad(~0u, 1, 1), withSmallQuad(~0u, 1, 2), small},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.damage.empty(), sameFrame(c.previous, c.next)) << c.what;
        PixelRect damage;
        ASSERT_TRUE(frameDamage(c.previous, c.next, 800, 600, &damage)) << c.what;
        EXPECT_TRUE(c.damage.empty() ? damage.empty() : damage == c.damage)
            << c.what << ": " << damage.left << " " << damage.top << " " << damage.right << " " << damage.bottom;
    }
    // A different clear, or a vertex that is not a number: everything.
    FrameRecord cleared = screen();
    cleared.commands[0].clearColor = 0xFF0000FF;
    EXPECT_FALSE(sameFrame(screen(), cleared));
    PixelRect damage;
    EXPECT_FALSE(frameDamage(screen(), cleared, 800, 600, &damage));
    EXPECT_FALSE(frameDamage(screen(), screen(std::nanf("")), 800, 600, &damage));
}

}  // namespace
