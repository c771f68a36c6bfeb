// drawQuad's whole-texture quad; pointInRect's inclusive, order-free edges.

#include "gfx/gfx.h"
#include "unit/test_support.h"

namespace {

class GfxQuad : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_EQ(app->createDevice(), 1);
        device = app->device;
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

// No source: the whole level 0 (no texture: nothing) at texel centres, each axis over its own size.
TEST_F(GfxQuad, NoSourceCoversTheWholeTexture) {
    ASSERT_EQ(drawQuad(device, makeTexture(16, 8), 0, 10, 20, nullptr, 0x80112233), 1);
    const fwrecord::RecordedVertex& v = fwrecord::d3d().draws.at(0).vertices.at(2);
    EXPECT_EQ(std::vector<float>({v.x, v.y, v.u, v.v}), std::vector<float>({26, 28, 1.03125f, 1.0625f}));
    EXPECT_EQ(v.diffuse, 0x80112233u);
    EXPECT_EQ(drawQuad(device, nullptr, 1, 0, 0, nullptr, 0xFFFFFFFF), 0);
    EXPECT_EQ(fwrecord::d3d().draws.size(), 1u);
}

TEST(GfxPointInRect, EdgesAreInclusiveAndCornersMayComeInAnyOrder) {
    const RECT previous = {456, 535, 513, 579};
    const struct {
        RECT rect;
        POINT point;
        int32_t inside;
    } cases[] = {{previous, {513, 579}, 1}, {previous, {456, 535}, 1},         {previous, {514, 579}, 0},
                 {previous, {480, 534}, 0}, {{-10, -20, -1, -2}, {-1, -2}, 1}, {{5, 5, 5, 5}, {6, 5}, 0}};
    for (const auto& c : cases) {
        const RECT swapped = {c.rect.right, c.rect.bottom, c.rect.left, c.rect.top};
        EXPECT_EQ(pointInRect(&c.rect, &c.point), c.inside) << c.point.x << "," << c.point.y;
        EXPECT_EQ(pointInRect(&swapped, &c.point), c.inside) << c.point.x << "," << c.point.y << " swapped";
    }
}

}  // namespace
