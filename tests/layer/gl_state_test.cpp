// The gl backend's bookkeeping without a display: the states it takes, texture size
// checks, frame comparison and damage. The pixels are checked end to end (d3d_probe).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/gl/gl_frame.h"
#include "platform/gl/gl_state.h"
#include "platform/platform.h"

using namespace fwgl;

namespace {

TEST(GlState, AcceptsWhatThePlayerSetsAndRefusesTheRestUnchanged) {
    const struct {
        DWORD type, value;
        HRESULT result;
    } cases[] = {
        {D3DRS_ALPHAFUNC, D3DCMP_GREATER, D3D_OK},     {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, D3D_OK},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, D3D_OK},   {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, D3D_OK},
        {D3DRS_ALPHAREF, 255, D3D_OK},                 {D3DRS_ALPHAREF, 256, D3DERR_INVALIDCALL},
        {D3DRS_ZENABLE, D3DZB_USEW, D3DERR_INVALIDCALL}, {28, TRUE, D3DERR_INVALIDCALL},   // fog: not supported
    };
    for (const auto& c : cases) {
        PipelineState state = defaultPipelineState(true);
        PipelineState before = state;
        EXPECT_EQ(setRenderState(state, c.type, c.value), c.result) << "state " << c.type << " value " << c.value;
        if (c.result != D3D_OK) {
            EXPECT_EQ(std::memcmp(&state, &before, sizeof state), 0) << "state " << c.type;
        }
    }
    PipelineState state = defaultPipelineState(true);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_COLOROP, D3DTOP_MODULATE), D3D_OK);
    EXPECT_EQ(setTextureStageState(state, 1, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 0, D3DSAMP_MAGFILTER, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 1, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3DERR_INVALIDCALL);
}

TEST(GlState, TextureRequestsAreCheckedBeforeAnythingIsMade) {
    const struct {
        UINT width, height, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT result;
    } cases[] = {
        {8192, 8192, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},   // the limit itself
        {8193, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {1, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {0x80000000u, 0x80000000u, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},   // a mip chain
        {256, 256, 1, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},   // render target
        {256, 256, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(checkTextureRequest(c.width, c.height, c.levels, c.usage, c.format, c.pool, nullptr, 8192), c.result)
            << c.width << " x " << c.height << " levels " << c.levels;
}

struct Vertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};

void addQuad(FrameRecord& frame, float x, float y, float w, float h, DWORD color = 0xFFFFFFFF,
             uint64_t texture = 1, uint64_t version = 1) {
    Vertex quad[4] = {{x, y, 0, 1, color, 0, 0}, {x + w, y, 0, 1, color, 1, 0},
                      {x + w, y + h, 0, 1, color, 1, 1}, {x, y + h, 0, 1, color, 0, 1}};
    frame.addDraw(defaultPipelineState(true), texture, version, D3DPT_TRIANGLEFAN, 2, quad, 4, sizeof(Vertex));
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

TEST(GlFrame, EqualOnlyWhenEverythingDrawnIsEqual) {
    EXPECT_TRUE(sameFrame(screen(), screen()));
    EXPECT_FALSE(sameFrame(screen(), screen(36)));   // a vertex moved
    FrameRecord base = screen(), tinted = screen(), otherTexture = screen(), newerTexture = screen();
    addQuad(base, 10, 10, 5, 5);
    addQuad(tinted, 10, 10, 5, 5, 0xC0FFFFFF);
    addQuad(otherTexture, 10, 10, 5, 5, 0xFFFFFFFF, 2, 1);
    addQuad(newerTexture, 10, 10, 5, 5, 0xFFFFFFFF, 1, 2);   // unlocked again since
    EXPECT_FALSE(sameFrame(base, tinted));
    EXPECT_FALSE(sameFrame(base, otherTexture));
    EXPECT_FALSE(sameFrame(base, newerTexture));
    FrameRecord cleared = screen();
    cleared.commands[0].clearColor = 0xFF0000FF;
    EXPECT_FALSE(sameFrame(screen(), cleared));
}

TEST(GlFrame, DamageBoundsWhatDiffersWithAPixelAround) {
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
    };
    for (const auto& c : cases) {
        PixelRect damage;
        ASSERT_TRUE(frameDamage(c.previous, c.next, 800, 600, &damage)) << c.what;
        if (c.damage.empty()) {
            EXPECT_TRUE(damage.empty()) << c.what;
            continue;
        }
        EXPECT_EQ(damage.left, c.damage.left) << c.what;
        EXPECT_EQ(damage.top, c.damage.top) << c.what;
        EXPECT_EQ(damage.right, c.damage.right) << c.what;
        EXPECT_EQ(damage.bottom, c.damage.bottom) << c.what;
    }
    // A different clear, or a vertex that is not a number: everything.
    FrameRecord cleared = screen();
    cleared.commands[0].clearColor = 0xFF0000FF;
    PixelRect damage;
    EXPECT_FALSE(frameDamage(screen(), cleared, 800, 600, &damage));
    EXPECT_FALSE(frameDamage(screen(), screen(std::nanf("")), 800, 600, &damage));
}

}  // namespace
