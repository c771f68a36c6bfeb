// The gl backend's bookkeeping without a display: which states it takes and what
// they become in OpenGL, the texture size checks, how frames compare and where two
// frames differ, and the argument checks of device creation.
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "platform/gl/gl_frame.h"
#include "platform/gl/gl_state.h"
#include "platform/platform.h"

using namespace fwgl;

namespace {

TEST(GlState, AcceptsWhatThePlayerSetsAndRefusesTheRest) {
    struct Case {
        DWORD type, value;
        HRESULT result;
    };
    const Case cases[] = {
        // the player's device state
        {D3DRS_MULTISAMPLEANTIALIAS, FALSE, D3D_OK}, {D3DRS_DITHERENABLE, TRUE, D3D_OK},
        {D3DRS_ALPHATESTENABLE, TRUE, D3D_OK}, {D3DRS_ALPHAFUNC, D3DCMP_GREATER, D3D_OK},
        {D3DRS_ALPHAREF, 0, D3D_OK}, {D3DRS_ZWRITEENABLE, TRUE, D3D_OK},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, D3D_OK}, {D3DRS_ZENABLE, D3DZB_TRUE, D3D_OK},
        {D3DRS_CULLMODE, D3DCULL_NONE, D3D_OK}, {D3DRS_LIGHTING, FALSE, D3D_OK},
        {D3DRS_ALPHABLENDENABLE, TRUE, D3D_OK}, {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, D3D_OK},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA, D3D_OK},
        // values out of range or not supported
        {D3DRS_ZENABLE, D3DZB_USEW, D3DERR_INVALIDCALL}, {D3DRS_ZWRITEENABLE, 2, D3DERR_INVALIDCALL},
        {D3DRS_ZFUNC, 0, D3DERR_INVALIDCALL}, {D3DRS_ZFUNC, 9, D3DERR_INVALIDCALL},
        {D3DRS_ALPHAREF, 255, D3D_OK}, {D3DRS_ALPHAREF, 256, D3DERR_INVALIDCALL},
        {D3DRS_SRCBLEND, 7, D3DERR_INVALIDCALL}, {D3DRS_DESTBLEND, 0, D3DERR_INVALIDCALL},
        {D3DRS_CULLMODE, 4, D3DERR_INVALIDCALL}, {D3DRS_DITHERENABLE, 5, D3DERR_INVALIDCALL},
        // states the layer does not know (fog, stencil)
        {28, TRUE, D3DERR_INVALIDCALL}, {52, TRUE, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        PipelineState state = defaultPipelineState(true);
        PipelineState before = state;
        EXPECT_EQ(setRenderState(state, c.type, c.value), c.result) << "state " << c.type << " value " << c.value;
        if (c.result != D3D_OK) {
            EXPECT_EQ(std::memcmp(&state, &before, sizeof state), 0) << "state " << c.type;
        }
    }
}

TEST(GlState, StageAndSamplerZeroOnly) {
    PipelineState state = defaultPipelineState(true);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_COLOROP, D3DTOP_MODULATE), D3D_OK);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_COLORARG1, D3DTA_DIFFUSE), D3D_OK);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE), D3D_OK);
    EXPECT_EQ(setTextureStageState(state, 1, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_ALPHAOP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_COLOROP, 5), D3DERR_INVALIDCALL);   // ADD
    EXPECT_EQ(setTextureStageState(state, 0, D3DTSS_COLORARG1, D3DTA_TEXTURE | 0x10), D3DERR_INVALIDCALL);
    EXPECT_EQ(setTextureStageState(state, 0, 7, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 0, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3D_OK);
    EXPECT_EQ(setSamplerState(state, 0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR), D3D_OK);
    EXPECT_EQ(setSamplerState(state, 0, D3DSAMP_MAGFILTER, D3DTEXF_NONE), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 1, D3DSAMP_MINFILTER, D3DTEXF_POINT), D3DERR_INVALIDCALL);
    EXPECT_EQ(setSamplerState(state, 0, 1, 1), D3DERR_INVALIDCALL);   // ADDRESSU
}

TEST(GlState, MapsToFixedFunctionOpenGl) {
    EXPECT_EQ(glCompareFunc(D3DCMP_GREATER), static_cast<unsigned>(GL_GREATER));
    EXPECT_EQ(glCompareFunc(D3DCMP_LESSEQUAL), static_cast<unsigned>(GL_LEQUAL));
    EXPECT_EQ(glCompareFunc(D3DCMP_ALWAYS), static_cast<unsigned>(GL_ALWAYS));
    EXPECT_EQ(glBlendFactor(D3DBLEND_SRCALPHA), static_cast<unsigned>(GL_SRC_ALPHA));
    EXPECT_EQ(glBlendFactor(D3DBLEND_INVSRCALPHA), static_cast<unsigned>(GL_ONE_MINUS_SRC_ALPHA));
    EXPECT_EQ(glTextureFilter(D3DTEXF_POINT), static_cast<unsigned>(GL_NEAREST));
    EXPECT_EQ(glTextureFilter(D3DTEXF_LINEAR), static_cast<unsigned>(GL_LINEAR));

    GlCombine modulate = glCombine(D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    EXPECT_EQ(modulate.function, static_cast<unsigned>(GL_MODULATE));
    EXPECT_EQ(modulate.source0, static_cast<unsigned>(GL_PRIMARY_COLOR));
    EXPECT_EQ(modulate.source1, static_cast<unsigned>(GL_TEXTURE));
    GlCombine select = glCombine(D3DTOP_SELECTARG2, D3DTA_DIFFUSE, D3DTA_TEXTURE);
    EXPECT_EQ(select.function, static_cast<unsigned>(GL_REPLACE));
    EXPECT_EQ(select.source0, static_cast<unsigned>(GL_TEXTURE));
    EXPECT_EQ(glCombineSource(D3DTA_CURRENT), static_cast<unsigned>(GL_PRIMARY_COLOR));   // stage 0

    EXPECT_FALSE(glCull(D3DCULL_NONE).enabled);
    // Direct3D's default culls triangles seen counter-clockwise: OpenGL's back faces
    // must be those, so clockwise is front.
    EXPECT_TRUE(glCull(D3DCULL_CCW).enabled);
    EXPECT_EQ(glCull(D3DCULL_CCW).frontFace, static_cast<unsigned>(GL_CW));
    EXPECT_EQ(glCull(D3DCULL_CW).frontFace, static_cast<unsigned>(GL_CCW));
}

TEST(GlState, TextureRequestsAreCheckedBeforeAnythingIsMade) {
    struct Case {
        UINT width, height, levels;
        DWORD usage;
        D3DFORMAT format;
        D3DPOOL pool;
        HRESULT result;
    };
    const Case cases[] = {
        {1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},
        {1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},
        {8192, 8192, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3D_OK},   // the limit itself
        {16384, 16384, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {8193, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {0, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {1, 0, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {0x80000000u, 0x80000000u, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {256, 256, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},   // a mip chain
        {256, 256, 2, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {256, 256, 1, 1, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},   // render target
        {256, 256, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, D3DERR_INVALIDCALL},
        {256, 256, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases)
        EXPECT_EQ(checkTextureRequest(c.width, c.height, c.levels, c.usage, c.format, c.pool, nullptr, 8192), c.result)
            << c.width << " x " << c.height << " levels " << c.levels;
    HANDLE shared = nullptr;
    EXPECT_EQ(checkTextureRequest(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &shared, 8192), D3DERR_INVALIDCALL);
}

// --- Frames -------------------------------------------------------------------------------

struct Vertex {
    float x, y, z, rhw;
    DWORD diffuse;
    float u, v;
};

void addQuad(FrameRecord& frame, const PipelineState& state, float x, float y, float w, float h,
             DWORD color = 0xFFFFFFFF, uint64_t texture = 1, uint64_t version = 1) {
    Vertex quad[4] = {{x, y, 0, 1, color, 0, 0}, {x + w, y, 0, 1, color, 1, 0},
                      {x + w, y + h, 0, 1, color, 1, 1}, {x, y + h, 0, 1, color, 0, 1}};
    frame.addDraw(state, texture, version, D3DPT_TRIANGLEFAN, 2, quad, 4, sizeof(Vertex));
}

// A frame like a screen's: a clear, a background and two small pictures.
FrameRecord screen(const PipelineState& state, float knobX = 35) {
    FrameRecord frame;
    frame.addClear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    addQuad(frame, state, 0, 0, 800, 600);
    addQuad(frame, state, knobX, 534, 19, 16);
    addQuad(frame, state, 456, 535, 58, 45);
    return frame;
}

TEST(GlFrame, EqualOnlyWhenEverythingDrawnIsEqual) {
    PipelineState state = defaultPipelineState(true);
    EXPECT_TRUE(sameFrame(screen(state), screen(state)));
    EXPECT_TRUE(sameFrame(FrameRecord(), FrameRecord()));
    EXPECT_FALSE(sameFrame(screen(state), FrameRecord()));
    EXPECT_FALSE(sameFrame(screen(state), screen(state, 36)));   // a vertex moved

    FrameRecord base = screen(state);
    FrameRecord tinted = screen(state);
    addQuad(base, state, 10, 10, 5, 5, 0xFFFFFFFF);
    addQuad(tinted, state, 10, 10, 5, 5, 0xC0FFFFFF);
    EXPECT_FALSE(sameFrame(base, tinted));

    FrameRecord otherTexture = screen(state), newerTexture = screen(state), same = screen(state);
    addQuad(same, state, 10, 10, 5, 5);
    addQuad(otherTexture, state, 10, 10, 5, 5, 0xFFFFFFFF, 2, 1);
    addQuad(newerTexture, state, 10, 10, 5, 5, 0xFFFFFFFF, 1, 2);   // unlocked again since
    EXPECT_TRUE(sameFrame(base, same));
    EXPECT_FALSE(sameFrame(base, otherTexture));
    EXPECT_FALSE(sameFrame(base, newerTexture));

    PipelineState blending = state;
    ASSERT_EQ(setRenderState(blending, D3DRS_ALPHABLENDENABLE, TRUE), D3D_OK);
    EXPECT_FALSE(sameFrame(screen(state), screen(blending)));

    FrameRecord black, grey;
    black.addClear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f);
    grey.addClear(0, nullptr, D3DCLEAR_TARGET, 0xFF808080, 1.0f);
    EXPECT_FALSE(sameFrame(black, grey));
}

TEST(GlFrame, DamageBoundsWhatDiffers) {
    PipelineState state = defaultPipelineState(true);
    PixelRect damage;
    ASSERT_TRUE(frameDamage(screen(state), screen(state), 800, 600, &damage));
    EXPECT_TRUE(damage.empty());

    // The knob moves from 35 to 40: both places, a pixel more around.
    ASSERT_TRUE(frameDamage(screen(state, 35), screen(state, 40), 800, 600, &damage));
    EXPECT_EQ(damage.left, 34);
    EXPECT_EQ(damage.top, 533);
    EXPECT_EQ(damage.right, 60);
    EXPECT_EQ(damage.bottom, 551);

    // A quad more in the middle of the frame (a highlighted cell): only that one.
    FrameRecord withCell;
    withCell.addClear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f);
    addQuad(withCell, state, 0, 0, 800, 600);
    addQuad(withCell, state, 29, 91, 100, 75);
    addQuad(withCell, state, 35, 534, 19, 16);
    addQuad(withCell, state, 456, 535, 58, 45);
    ASSERT_TRUE(frameDamage(screen(state), withCell, 800, 600, &damage));
    EXPECT_EQ(damage.left, 28);
    EXPECT_EQ(damage.top, 90);
    EXPECT_EQ(damage.right, 130);
    EXPECT_EQ(damage.bottom, 167);
    ASSERT_TRUE(frameDamage(withCell, screen(state), 800, 600, &damage));
    EXPECT_EQ(damage.left, 28);

    // Clipped to the back buffer.
    ASSERT_TRUE(frameDamage(screen(state, 35), screen(state, 795), 800, 600, &damage));
    EXPECT_EQ(damage.right, 800);

    // A different clear, or a vertex that is not a number: everything.
    FrameRecord cleared = screen(state);
    cleared.commands[0].clearColor = 0xFF0000FF;
    EXPECT_FALSE(frameDamage(screen(state), cleared, 800, 600, &damage));
    EXPECT_FALSE(frameDamage(screen(state), screen(state, std::nanf("")), 800, 600, &damage));
}

// The player's quad: texel rectangle (l, t, r, b) of a size x size texture at (x, y).
FrameRecord playerQuad(int l, int t, int r, int b, UINT size, float x, float y, DWORD color = 0xFFFFFFFF) {
    PipelineState state = defaultPipelineState(true);
    float uLeft = static_cast<float>(static_cast<float>(l + 0.5) / static_cast<double>(size));
    float uRight = static_cast<float>(static_cast<float>(r + 0.5) / static_cast<double>(size));
    float vTop = static_cast<float>(static_cast<float>(t + 0.5) / static_cast<double>(size));
    float vBottom = static_cast<float>(static_cast<float>(b + 0.5) / static_cast<double>(size));
    float right = x + static_cast<float>(r - l), bottom = y + static_cast<float>(b - t);
    Vertex quad[4] = {{x, y, 0, 1, color, uLeft, vTop}, {right, y, 0, 1, color, uRight, vTop},
                      {right, bottom, 0, 1, color, uRight, vBottom}, {x, bottom, 0, 1, color, uLeft, vBottom}};
    FrameRecord frame;
    frame.addDraw(state, 1, 1, D3DPT_TRIANGLEFAN, 2, quad, 4, sizeof(Vertex));
    return frame;
}

TEST(GlFrame, RecognisesOneToOneTexelCopies) {
    TexelCopy copy;
    FrameRecord background = playerQuad(0, 0, 800, 600, 1024, 0, 0);
    ASSERT_TRUE(asTexelCopy(background, background.commands[0], 1024, 1024, &copy));
    EXPECT_EQ(copy.target.left, 0);
    EXPECT_EQ(copy.target.right, 800);
    EXPECT_EQ(copy.target.bottom, 600);
    EXPECT_EQ(copy.texelLeft, 0);
    EXPECT_EQ(copy.diffuse, 0xFFFFFFFFu);

    FrameRecord knob = playerQuad(99, 645, 118, 661, 1024, 35, 534);
    ASSERT_TRUE(asTexelCopy(knob, knob.commands[0], 1024, 1024, &copy));
    EXPECT_EQ(copy.texelLeft, 99);
    EXPECT_EQ(copy.texelTop, 645);
    EXPECT_EQ(copy.target.left, 35);
    EXPECT_EQ(copy.target.bottom, 550);

    struct Case {
        const char* what;
        FrameRecord frame;
        UINT size;
    };
    const Case notCopies[] = {
        {"coordinates for another texture size", playerQuad(0, 0, 64, 64, 128, 0, 0), 256},
        {"half a pixel off", playerQuad(0, 0, 64, 64, 256, 0.5f, 0), 256},
        {"past the texture", playerQuad(200, 0, 300, 10, 256, 0, 0), 256},
    };
    for (const Case& c : notCopies)
        EXPECT_FALSE(asTexelCopy(c.frame, c.frame.commands[0], c.size, c.size, &copy)) << c.what;

    // Stretched: twice as many pixels as texels.
    FrameRecord stretched;
    addQuad(stretched, defaultPipelineState(true), 0, 0, 128, 128);   // coordinates 0 to 1 of any texture
    EXPECT_FALSE(asTexelCopy(stretched, stretched.commands[0], 64, 64, &copy));
}

TEST(GlState, TexelCopiesOnlyWhereDrawingWouldCopy) {
    PipelineState player = defaultPipelineState(true);
    setRenderState(player, D3DRS_ALPHATESTENABLE, TRUE);
    setRenderState(player, D3DRS_ALPHAFUNC, D3DCMP_GREATER);
    setRenderState(player, D3DRS_ALPHABLENDENABLE, TRUE);
    setRenderState(player, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    setRenderState(player, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    setRenderState(player, D3DRS_CULLMODE, D3DCULL_NONE);
    setTextureStageState(player, 0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    setTextureStageState(player, 0, D3DTSS_COLORARG2, D3DTA_TEXTURE);
    setTextureStageState(player, 0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    setTextureStageState(player, 0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    setTextureStageState(player, 0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    // Blended and alpha-tested: a copy only where every texel is opaque.
    EXPECT_EQ(texelCopyUse(player, 0xFFFFFFFF), TexelCopyUse::CopyIfOpaque);
    EXPECT_EQ(texelCopyUse(player, 0xC0FFFFFF), TexelCopyUse::NotACopy);   // faded
    EXPECT_EQ(texelCopyUse(player, 0xFFFF8040), TexelCopyUse::NotACopy);   // tinted

    PipelineState plain = player;
    setRenderState(plain, D3DRS_ALPHATESTENABLE, FALSE);
    setRenderState(plain, D3DRS_ALPHABLENDENABLE, FALSE);
    EXPECT_EQ(texelCopyUse(plain, 0xFFFFFFFF), TexelCopyUse::PlainCopy);

    PipelineState linear = player;
    setSamplerState(linear, 0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    EXPECT_EQ(texelCopyUse(linear, 0xFFFFFFFF), TexelCopyUse::NotACopy);
    PipelineState additive = player;
    setRenderState(additive, D3DRS_DESTBLEND, D3DBLEND_ONE);
    EXPECT_EQ(texelCopyUse(additive, 0xFFFFFFFF), TexelCopyUse::NotACopy);
    PipelineState strictTest = player;
    setRenderState(strictTest, D3DRS_ALPHAREF, 255);   // alpha 255 is not greater than 255
    EXPECT_EQ(texelCopyUse(strictTest, 0xFFFFFFFF), TexelCopyUse::NotACopy);
    PipelineState diffuseOnly = player;
    setTextureStageState(diffuseOnly, 0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    EXPECT_EQ(texelCopyUse(diffuseOnly, 0xFFFFFFFF), TexelCopyUse::NotACopy);
    PipelineState culled = player;
    setRenderState(culled, D3DRS_CULLMODE, D3DCULL_CW);
    EXPECT_EQ(texelCopyUse(culled, 0xFFFFFFFF), TexelCopyUse::NotACopy);

    EXPECT_TRUE(compareHolds(D3DCMP_LESSEQUAL, 0.0, 1.0));
    EXPECT_TRUE(compareHolds(D3DCMP_LESSEQUAL, 1.0, 1.0));
    EXPECT_FALSE(compareHolds(D3DCMP_LESS, 1.0, 1.0));
    EXPECT_FALSE(compareHolds(D3DCMP_NEVER, 0.0, 1.0));
}

TEST(GlFrame, VertexCounts) {
    EXPECT_EQ(vertexCountFor(D3DPT_TRIANGLEFAN, 2), 4u);
    EXPECT_EQ(vertexCountFor(D3DPT_TRIANGLESTRIP, 2), 4u);
    EXPECT_EQ(vertexCountFor(D3DPT_TRIANGLELIST, 2), 6u);
    EXPECT_EQ(vertexCountFor(D3DPT_TRIANGLEFAN, 0), 0u);
    EXPECT_EQ(vertexCountFor(D3DPT_POINTLIST, 4), 0u);
    EXPECT_EQ(vertexCountFor(D3DPT_LINELIST, 4), 0u);
}

// --- Device creation's argument checks (those made before any window is looked at) ----------

TEST(GlDevice, CreationRefusesBadArguments) {
    EXPECT_EQ(Direct3DCreate9(31), nullptr);
    IDirect3D9* d3d = Direct3DCreate9(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    D3DPRESENT_PARAMETERS params;
    std::memset(&params, 0, sizeof params);
    params.BackBufferWidth = 800;
    params.BackBufferHeight = 600;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    params.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    struct Case {
        UINT adapter;
        D3DDEVTYPE type;
        DWORD flags;
        HRESULT result;
    };
    const Case cases[] = {
        {0, D3DDEVTYPE_REF, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DERR_NOTAVAILABLE},
        {0, D3DDEVTYPE_SW, D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3DERR_NOTAVAILABLE},
        {1, D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DERR_INVALIDCALL},
        {0, D3DDEVTYPE_HAL, 0, D3DERR_INVALIDCALL},
        {0, D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         D3DERR_INVALIDCALL},
        {0, D3DDEVTYPE_HAL, 0x80, D3DERR_INVALIDCALL},   // mixed vertex processing
        // Good arguments but no window: there is nothing to draw on.
        {0, D3DDEVTYPE_HAL, D3DCREATE_HARDWARE_VERTEXPROCESSING, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        IDirect3DDevice9* device = reinterpret_cast<IDirect3DDevice9*>(&params);
        EXPECT_EQ(d3d->CreateDevice(c.adapter, c.type, nullptr, c.flags, &params, &device), c.result)
            << "type " << c.type << " flags " << c.flags;
        EXPECT_EQ(device, nullptr);
    }
    D3DPRESENT_PARAMETERS fullscreen = params;
    fullscreen.Windowed = FALSE;
    IDirect3DDevice9* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &fullscreen, &device),
              D3DERR_NOTAVAILABLE);
    D3DPRESENT_PARAMETERS stencil = params;
    stencil.AutoDepthStencilFormat = static_cast<D3DFORMAT>(75);   // D24S8
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &stencil, &device),
              D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, nullptr, &device),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, nullptr),
              D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->AddRef(), 2u);
    EXPECT_EQ(d3d->Release(), 1u);
    EXPECT_EQ(d3d->Release(), 0u);
}

}  // namespace
