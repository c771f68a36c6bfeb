// drawQuad's vertices and device calls; pointInRect's inclusive, order-free edges.
#include <cstdio>

#include "gfx/gfx.h"
#include "unit/test_support.h"

namespace {

class GfxQuad : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        device = makeDevice();
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

// Corners clockwise at texel centres; the expected floats are exact.
TEST_F(GfxQuad, CopiesTexelCentresOneToOne) {
    auto corners = []() {
        Lines out;
        for (const fwrecord::RecordedVertex& v : fwrecord::d3d().draws.at(0).vertices) {
            char line[120];
            std::snprintf(line, sizeof(line), "%g,%g %.11g,%.11g z%g rhw%g %08X", v.x, v.y, v.u, v.v, v.z, v.rhw,
                          v.diffuse);
            out.push_back(line);
        }
        return out;
    };
    // The main background from its 1024 x 1024 sheet.
    const RECT background = {0, 0, 800, 600};
    ASSERT_EQ(drawQuad(device, makeTexture(1024, 1024), 0, 0, 0, &background, 0x80112233), 1);
    EXPECT_EQ(corners(), (Lines{"0,0 0.00048828125,0.00048828125 z0 rhw1 80112233",
                                "800,0 0.78173828125,0.00048828125 z0 rhw1 80112233",
                                "800,600 0.78173828125,0.58642578125 z0 rhw1 80112233",
                                "0,600 0.00048828125,0.58642578125 z0 rhw1 80112233"}));
    const fwrecord::RecordedDraw& draw = fwrecord::d3d().draws[0];
    EXPECT_EQ(draw.fvf, 0x144u);
    EXPECT_EQ(draw.type, D3DPT_TRIANGLEFAN);
    EXPECT_EQ(draw.primitiveCount, 2u);
    EXPECT_EQ(draw.stride, 28u);
    // No source: the whole level 0, each axis over its own size.
    ASSERT_EQ(drawQuad(device, makeTexture(16, 8), 0, 10, 20, nullptr, 0xFFFFFFFF), 1);
    EXPECT_EQ(corners().at(2), "26,28 1.03125,1.0625 z0 rhw1 FFFFFFFF");
}

// A null texture draws nothing; the texture is bound for bindTexture 1 only.
TEST_F(GfxQuad, BindsOnlyForExactlyOne) {
    EXPECT_EQ(drawQuad(device, nullptr, 1, 0, 0, nullptr, 0xFFFFFFFF), 0);
    EXPECT_TRUE(fwrecord::d3d().draws.empty());
    for (int32_t bind : {0, 2, 1}) {
        IDirect3DTexture9* texture = makeTexture(4, 4);
        ASSERT_EQ(drawQuad(device, texture, bind, 0, 0, nullptr, 0xFFFFFFFF), 1);
        EXPECT_EQ(fwrecord::d3d().draws.at(0).texture, bind == 1 ? texture : nullptr) << "bindTexture " << bind;
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
