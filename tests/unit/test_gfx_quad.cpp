// drawQuad's vertices and device calls; pointInRect's inclusive, order-free edges.
#include "gfx/gfx.h"
#include "unit/test_support.h"

namespace {

class GfxQuad : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        D3DPRESENT_PARAMETERS params = {};
        ASSERT_EQ(Direct3DCreate9(D3D_SDK_VERSION)
                      ->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &params, &device),
                  D3D_OK);
    }
    IDirect3DTexture9* makeTexture(UINT width, UINT height) {
        IDirect3DTexture9* texture = nullptr;
        EXPECT_EQ(device->CreateTexture(width, height, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
                  D3D_OK);
        fwrecord::calls().clear();
        fwrecord::d3d().draws.clear();
        return texture;
    }
    IDirect3DDevice9* device = nullptr;
};

// Texel centres map 1:1 to pixels; exact comparisons, every expected value is a float
// without rounding.
TEST_F(GfxQuad, CopiesTexelCentresOneToOne) {
    const struct {
        UINT textureWidth, textureHeight;
        bool wholeLevel;
        RECT source;
        float x, y;
        float left, top, right, bottom;
        float uLeft, vTop, uRight, vBottom;
    } cases[] = {
        // The main background on its 1024 x 1024 sheet.
        {1024, 1024, false, {0, 0, 800, 600}, 0, 0, 0, 0, 800, 600, 0.00048828125f, 0.00048828125f, 0.78173828125f,
         0.58642578125f},
        // No source: the whole level 0, each axis over its own size.
        {16, 8, true, {}, 10, 20, 10, 20, 26, 28, 0.5f / 16, 0.5f / 8, 16.5f / 16, 8.5f / 8}};
    for (const auto& c : cases) {
        IDirect3DTexture9* texture = makeTexture(c.textureWidth, c.textureHeight);
        ASSERT_EQ(drawQuad(device, texture, 0, c.x, c.y, c.wholeLevel ? nullptr : &c.source, 0x80112233), 1);
        ASSERT_EQ(fwrecord::d3d().draws.size(), 1u);
        const fwrecord::RecordedDraw& draw = fwrecord::d3d().draws[0];
        EXPECT_EQ(draw.fvf, 0x144u);
        EXPECT_EQ(draw.type, D3DPT_TRIANGLEFAN);
        EXPECT_EQ(draw.primitiveCount, 2u);
        EXPECT_EQ(draw.stride, 28u);
        ASSERT_EQ(draw.vertices.size(), 4u);
        const float corners[4][4] = {{c.left, c.top, c.uLeft, c.vTop},
                                     {c.right, c.top, c.uRight, c.vTop},
                                     {c.right, c.bottom, c.uRight, c.vBottom},
                                     {c.left, c.bottom, c.uLeft, c.vBottom}};
        for (int i = 0; i < 4; ++i) {
            const fwrecord::RecordedVertex& v = draw.vertices[i];
            EXPECT_EQ(v.x, corners[i][0]) << "vertex " << i;
            EXPECT_EQ(v.y, corners[i][1]) << "vertex " << i;
            EXPECT_EQ(v.u, corners[i][2]) << "vertex " << i;
            EXPECT_EQ(v.v, corners[i][3]) << "vertex " << i;
            EXPECT_EQ(v.z, 0.0f);
            EXPECT_EQ(v.rhw, 1.0f);
            EXPECT_EQ(v.diffuse, 0x80112233u);
        }
    }
}

// A null texture draws nothing; the texture is bound for bindTexture 1 only.
TEST_F(GfxQuad, BindsOnlyForExactlyOne) {
    fwrecord::calls().clear();
    EXPECT_EQ(drawQuad(device, nullptr, 1, 0, 0, nullptr, 0xFFFFFFFF), 0);
    EXPECT_TRUE(fwrecord::calls().empty());
    for (int32_t bind : {0, 2, 1}) {
        IDirect3DTexture9* texture = makeTexture(4, 4);
        ASSERT_EQ(drawQuad(device, texture, bind, 0, 0, nullptr, 0xFFFFFFFF), 1);
        const std::string name = fwrecord::textureName(texture);
        Lines expected = {"GetLevelDesc " + name + " 0"};
        if (bind == 1) expected.push_back("SetTexture 0 " + name);
        expected.push_back("SetFVF 0x144");
        expected.push_back("DrawPrimitiveUP 6 2 28 " + (bind == 1 ? name : std::string("null")));
        EXPECT_EQ(fwrecord::calls(), expected) << "bindTexture " << bind;
    }
}

TEST(GfxPointInRect, EdgesAreInclusiveAndCornersMayComeInAnyOrder) {
    const RECT previous = {456, 535, 513, 579};
    const struct {
        RECT rect;
        POINT point;
        int32_t inside;
    } cases[] = {{previous, {513, 579}, 1}, {previous, {456, 535}, 1}, {previous, {514, 579}, 0},
                 {previous, {480, 534}, 0}, {{-10, -20, -1, -2}, {-1, -2}, 1}, {{5, 5, 5, 5}, {6, 5}, 0}};
    for (const auto& c : cases) {
        const RECT swapped = {c.rect.right, c.rect.bottom, c.rect.left, c.rect.top};
        EXPECT_EQ(pointInRect(&c.rect, &c.point), c.inside) << c.point.x << "," << c.point.y;
        EXPECT_EQ(pointInRect(&swapped, &c.point), c.inside) << c.point.x << "," << c.point.y << " swapped";
    }
}

}  // namespace
