// drawQuad's vertices and device calls; pointInRect's inclusive, order-free edges.
#include <climits>

#include "gfx/gfx.h"
#include "unit/test_support.h"

using fwrecord::calls;
using fwrecord::d3d;

namespace {

class GfxQuad : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        D3DPRESENT_PARAMETERS Params = {};
        ASSERT_EQ(Direct3DCreate9(D3D_SDK_VERSION)
                      ->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &Params, &device),
                  D3D_OK);
        calls().clear();
    }
    IDirect3DTexture9* makeTexture(UINT width, UINT height) {
        IDirect3DTexture9* Texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &Texture, nullptr),
                  D3D_OK);
        calls().clear();
        return Texture;
    }
    IDirect3DDevice9* device = nullptr;
};

struct QuadCase {
    UINT textureWidth, textureHeight;
    bool bWholeLevel;
    RECT source;
    float x, y;
    float left, top, right, bottom;
    float uLeft, vTop, uRight, vBottom;
};

class GfxQuadVertices : public GfxQuad, public ::testing::WithParamInterface<QuadCase> {};

TEST_P(GfxQuadVertices, CopiesTexelCentresOneToOne) {
    const QuadCase& Case = GetParam();
    IDirect3DTexture9* Texture = makeTexture(Case.textureWidth, Case.textureHeight);
    ASSERT_EQ(drawQuad(device, Texture, 0, Case.x, Case.y, Case.bWholeLevel ? nullptr : &Case.source, 0x80112233),
              1);
    ASSERT_EQ(d3d().draws.size(), 1u);
    const fwrecord::RecordedDraw& Draw = d3d().draws[0];
    EXPECT_EQ(Draw.fvf, 0x144u);
    EXPECT_EQ(Draw.type, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(Draw.primitiveCount, 2u);
    EXPECT_EQ(Draw.stride, 28u);
    ASSERT_EQ(Draw.vertices.size(), 4u);
    // Exact comparisons: every expected value is a float without rounding.
    const float kCorners[4][4] = {{Case.left, Case.top, Case.uLeft, Case.vTop},
                                  {Case.right, Case.top, Case.uRight, Case.vTop},
                                  {Case.right, Case.bottom, Case.uRight, Case.vBottom},
                                  {Case.left, Case.bottom, Case.uLeft, Case.vBottom}};
    for (int i = 0; i < 4; ++i) {
        const fwrecord::RecordedVertex& V = Draw.vertices[i];
        EXPECT_EQ(V.x, kCorners[i][0]) << "vertex " << i;
        EXPECT_EQ(V.y, kCorners[i][1]) << "vertex " << i;
        EXPECT_EQ(V.u, kCorners[i][2]) << "vertex " << i;
        EXPECT_EQ(V.v, kCorners[i][3]) << "vertex " << i;
        EXPECT_EQ(V.z, 0.0f);
        EXPECT_EQ(V.rhw, 1.0f);
        EXPECT_EQ(V.diffuse, 0x80112233u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxQuadVertices,
    ::testing::Values(
        // The main background on its 1024 x 1024 sheet.
        QuadCase{1024, 1024, false, {0, 0, 800, 600}, 0, 0, 0, 0, 800, 600, 0.00048828125f, 0.00048828125f,
                 0.78173828125f, 0.58642578125f},
        // The knob: 19 x 16, whatever the texture's size.
        QuadCase{1024, 1024, false, {99, 645, 118, 661}, 35, 534, 35, 534, 54, 550, 99.5f / 1024, 645.5f / 1024,
                 118.5f / 1024, 661.5f / 1024},
        QuadCase{2048, 2048, false, {99, 645, 118, 661}, 35, 534, 35, 534, 54, 550, 99.5f / 2048, 645.5f / 2048,
                 118.5f / 2048, 661.5f / 2048},
        // No source: the whole level 0, each axis over its own size.
        QuadCase{16, 8, true, {}, 10, 20, 10, 20, 26, 28, 0.5f / 16, 0.5f / 8, 16.5f / 16, 8.5f / 8}));

TEST_F(GfxQuad, NullTextureDrawsNothingAndCallsNothing) {
    EXPECT_EQ(drawQuad(device, nullptr, 1, 0, 0, nullptr, 0xFFFFFFFF), 0);
    EXPECT_TRUE(calls().empty());
    EXPECT_TRUE(d3d().draws.empty());
}

class GfxQuadBinding : public GfxQuad, public ::testing::WithParamInterface<int32_t> {};

TEST_P(GfxQuadBinding, BindsOnlyForExactlyOne) {
    IDirect3DTexture9* Texture = makeTexture(4, 4);
    ASSERT_EQ(drawQuad(device, Texture, GetParam(), 0, 0, nullptr, 0xFFFFFFFF), 1);
    std::vector<std::string> Expected = {"GetLevelDesc tex1 0"};
    if (GetParam() == 1) Expected.push_back("SetTexture 0 tex1");
    Expected.push_back("SetFVF 0x144");
    Expected.push_back(std::string("DrawPrimitiveUP 6 2 28 ") + (GetParam() == 1 ? "tex1" : "null"));
    EXPECT_EQ(calls(), Expected);
}

INSTANTIATE_TEST_SUITE_P(Gfx, GfxQuadBinding, ::testing::Values(0, 1, 2, -1));

struct HitCase {
    RECT rect;
    POINT point;
    int32_t inside;
};

class GfxPointInRect : public ::testing::TestWithParam<HitCase> {};

TEST_P(GfxPointInRect, EdgesAreInclusiveAndCornersMayComeInAnyOrder) {
    const HitCase& Case = GetParam();
    EXPECT_EQ(pointInRect(&Case.rect, &Case.point), Case.inside);
    const RECT Swapped = {Case.rect.right, Case.rect.bottom, Case.rect.left, Case.rect.top};
    EXPECT_EQ(pointInRect(&Swapped, &Case.point), Case.inside) << "swapped corners";
    const RECT Mixed = {Case.rect.left, Case.rect.bottom, Case.rect.right, Case.rect.top};
    EXPECT_EQ(pointInRect(&Mixed, &Case.point), Case.inside) << "swapped rows";
}

const RECT kPrevious = {456, 535, 513, 579};
const RECT kNegative = {-10, -20, -1, -2};
const RECT kEverything = {INT_MIN, INT_MIN, INT_MAX, INT_MAX};

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxPointInRect,
    ::testing::Values(HitCase{kPrevious, {513, 579}, 1}, HitCase{kPrevious, {456, 535}, 1},
                      HitCase{kPrevious, {514, 579}, 0}, HitCase{kPrevious, {455, 540}, 0},
                      HitCase{kPrevious, {480, 534}, 0}, HitCase{kPrevious, {480, 580}, 0},
                      HitCase{kNegative, {-10, -20}, 1}, HitCase{kNegative, {-1, -2}, 1},
                      HitCase{kNegative, {0, -5}, 0}, HitCase{kNegative, {-5, -21}, 0},
                      HitCase{kEverything, {INT_MIN, INT_MAX}, 1}, HitCase{kEverything, {0, 0}, 1},
                      HitCase{{0, 0, INT_MAX, 10}, {INT_MIN, 5}, 0}, HitCase{{5, 5, 5, 5}, {5, 5}, 1},
                      HitCase{{5, 5, 5, 5}, {6, 5}, 0}));

}  // namespace
