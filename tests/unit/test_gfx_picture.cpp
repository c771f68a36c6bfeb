// The picture reader on files (fuzz_picture has its refusals).
#include "gfx/gfx.h"
#include "unit/test_support.h"

using fwrecord::callsStartingWith;

namespace {

const DWORD kFresh = 0xCDCDCDCD;  // what the recorder's new textures hold

// A distinct value per pixel, never the fresh pattern.
DWORD pixelValue(int32_t x, int32_t y) { return 0x80000000u | (static_cast<DWORD>(y) << 12) | static_cast<DWORD>(x); }

std::string picture(int32_t width, int32_t height) {
    std::string bytes = pictureHeader(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) bytes += int32LE(static_cast<int32_t>(pixelValue(x, y)));
    return bytes;
}

class GfxPicture : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_EQ(app->createDevice(), 1);
        device = app->device;
    }
    int32_t decode(const std::string& bytes) {
        texture = nullptr;
        size[0] = 111;
        size[1] = 222;
        writeFile("Picture.bmp", bytes);
        fwrecord::calls().clear();
        return loadBitmapTexture(device, &texture, size, "Picture.bmp");
    }
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* texture = nullptr;
    int32_t size[2];
};

// The top-left of the smallest power-of-two square, honouring the pitch, and nothing else.
TEST_F(GfxPicture, FillsTheTopLeftOfAPowerOfTwoSquare) {
    const struct {
        int32_t width, height;
        UINT side;
    } cases[] = {{1, 1, 1}, {3, 5, 8}, {800, 600, 1024}, {1025, 10, 2048}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
        ASSERT_EQ(decode(picture(c.width, c.height)), 0);
        EXPECT_EQ(fwrecord::textureWidth(texture), c.side);
        EXPECT_EQ(fwrecord::textureHeight(texture), c.side);
        EXPECT_EQ(size[0], c.width);
        EXPECT_EQ(size[1], c.height);
        for (UINT y = 0; y < c.side; ++y)
            for (UINT x = 0; x < c.side; ++x) {
                const bool inside = x < static_cast<UINT>(c.width) && y < static_cast<UINT>(c.height);
                ASSERT_EQ(fwrecord::texel(texture, x, y), inside ? pixelValue(x, y) : kFresh) << x << "," << y;
            }
        EXPECT_EQ(callsStartingWith("UnlockRect").size(), 1u);
    }
}

// Cut inside the second row: what was read is kept, the rest stays fresh.
TEST_F(GfxPicture, AShortFileStillLoads) {
    ASSERT_EQ(decode(picture(3, 2).substr(0, 12 + 4 * 4)), 0);
    EXPECT_EQ(size[0], 3);
    EXPECT_EQ(fwrecord::texel(texture, 2, 0), pixelValue(2, 0));
    EXPECT_EQ(fwrecord::texel(texture, 0, 1), pixelValue(0, 1));
    EXPECT_EQ(fwrecord::texel(texture, 1, 1), kFresh);
}

}  // namespace
