// The picture reader: decodePicture through a memory reader, loadBitmapTexture on
// files, loadTextures over the four Bmp pictures.
#include <climits>
#include <cstring>
#include <memory>

#include "app/player_app.h"
#include "gfx/gfx.h"
#include "unit/test_support.h"

using fwrecord::calls;
using fwrecord::callsStartingWith;
using fwrecord::d3d;

namespace {

const DWORD kFresh = 0xCDCDCDCD;  // what the recorder's new textures hold

void appendInt32(std::string& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string header(int32_t width, int32_t height) {
    std::string bytes = "TEYL";
    appendInt32(bytes, static_cast<uint32_t>(width));
    appendInt32(bytes, static_cast<uint32_t>(height));
    return bytes;
}

// A distinct value per pixel, never the fresh pattern.
DWORD pixelValue(int32_t x, int32_t y) { return 0x80000000u | (static_cast<DWORD>(y) << 12) | static_cast<DWORD>(x); }

std::string picture(int32_t width, int32_t height) {
    std::string bytes = header(width, height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) appendInt32(bytes, pixelValue(x, y));
    return bytes;
}

// Reads from a byte string as fread reads from a file; keeps each call's shape.
struct MemoryReader {
    std::string bytes;
    size_t offset = 0;
    std::vector<std::pair<size_t, size_t>> reads;  // element size, element count
};

size_t readMemory(void* buffer, size_t elementSize, size_t elementCount, void* userData) {
    MemoryReader* Reader = static_cast<MemoryReader*>(userData);
    Reader->reads.push_back({elementSize, elementCount});
    size_t Wanted = elementSize * elementCount;
    size_t Available = std::min(Wanted, Reader->bytes.size() - Reader->offset);
    std::memcpy(buffer, Reader->bytes.data() + Reader->offset, Available);
    Reader->offset += Available;
    return elementSize ? Available / elementSize : 0;
}

class GfxPicture : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        pD3D = Direct3DCreate9(D3D_SDK_VERSION);
        ASSERT_EQ(pD3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                     &params, &device),
                  D3D_OK);
        calls().clear();
    }

    int32_t decode(const std::string& bytes) {
        reader = MemoryReader();
        reader.bytes = bytes;
        return decodePicture(device, &texture, size, readMemory, &reader);
    }

    D3DPRESENT_PARAMETERS params = {};
    IDirect3D9* pD3D = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DTexture9* texture = nullptr;
    int32_t size[2] = {111, 222};
    MemoryReader reader;
};

struct SizeCase {
    int32_t width, height;
    UINT side;
    int pitchPadding;
};

class GfxPictureSizes : public GfxPicture, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(GfxPictureSizes, FillsTheTopLeftOfAPowerOfTwoSquareAndNothingElse) {
    const SizeCase& Case = GetParam();
    d3d().pitchPadding = Case.pitchPadding;
    ASSERT_EQ(decode(picture(Case.width, Case.height)), 0);

    std::string Side = std::to_string(Case.side);
    EXPECT_EQ(callsStartingWith("CreateTexture"),
              std::vector<std::string>{"CreateTexture " + Side + "x" + Side + " levels=1 usage=0 format=21 pool=1"});
    EXPECT_EQ(size[0], Case.width);
    EXPECT_EQ(size[1], Case.height);
    ASSERT_NE(texture, nullptr);
    for (UINT y = 0; y < Case.side; ++y)
        for (UINT x = 0; x < Case.side; ++x) {
            bool bInside = x < static_cast<UINT>(Case.width) && y < static_cast<UINT>(Case.height);
            ASSERT_EQ(fwrecord::texel(texture, x, y), bInside ? pixelValue(x, y) : kFresh) << x << "," << y;
            ASSERT_EQ(fwrecord::texelWritten(texture, x, y), bInside) << x << "," << y;
        }
    EXPECT_EQ(callsStartingWith("UnlockRect").size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Gfx, GfxPictureSizes,
                         ::testing::Values(SizeCase{1, 1, 1, 16}, SizeCase{3, 5, 8, 16}, SizeCase{3, 5, 8, 0},
                                           SizeCase{5, 3, 8, 36}, SizeCase{800, 600, 1024, 16},
                                           SizeCase{1024, 1024, 1024, 16}, SizeCase{1025, 10, 2048, 16}));

TEST_F(GfxPicture, PixelBytesAreBlueGreenRedAlphaAndTrailingBytesAreIgnored) {
    ASSERT_EQ(decode(header(1, 1) + std::string("\x10\x20\x30\x40" "extra", 9)), 0);
    EXPECT_EQ(fwrecord::texel(texture, 0, 0), 0x40302010u);
}

TEST_F(GfxPicture, ReadsIdentifierThenSizeThenOneCallPerRow) {
    ASSERT_EQ(decode(picture(3, 5)), 0);
    std::vector<std::pair<size_t, size_t>> Expected = {{1, 4}, {8, 1}, {4, 3}, {4, 3}, {4, 3}, {4, 3}, {4, 3}};
    EXPECT_EQ(reader.reads, Expected);
}

TEST_F(GfxPicture, FileEndingInsideThePixelsLoadsAndLeavesTheRestFresh) {
    std::string Bytes = picture(3, 2);
    ASSERT_EQ(decode(Bytes.substr(0, 12 + 4 * 4)), 0);
    EXPECT_EQ(size[0], 3);
    EXPECT_EQ(size[1], 2);
    for (UINT x = 0; x < 3; ++x) EXPECT_EQ(fwrecord::texel(texture, x, 0), pixelValue(x, 0));
    EXPECT_EQ(fwrecord::texel(texture, 0, 1), pixelValue(0, 1));
    EXPECT_EQ(fwrecord::texel(texture, 1, 1), kFresh);
    EXPECT_EQ(fwrecord::texel(texture, 2, 1), kFresh);
}

struct RefusedCase {
    const char* name;
    std::string bytes;
};

class GfxPictureRefused : public GfxPicture, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(GfxPictureRefused, CreatesNothingAndLeavesTheOutputsAlone) {
    EXPECT_EQ(decode(GetParam().bytes), -1);
    EXPECT_TRUE(callsStartingWith("CreateTexture").empty());
    EXPECT_EQ(texture, nullptr);
    EXPECT_EQ(size[0], 111);
    EXPECT_EQ(size[1], 222);
}

INSTANTIATE_TEST_SUITE_P(
    Gfx, GfxPictureRefused,
    ::testing::Values(RefusedCase{"Empty", ""}, RefusedCase{"CutInIdentifier", "TEY"},
                      RefusedCase{"WindowsBitmap", "BM" + picture(1, 1).substr(2)},
                      RefusedCase{"LowerCaseIdentifier", "teyl" + picture(1, 1).substr(4)},
                      RefusedCase{"IdentifierOnly", "TEYL"}, RefusedCase{"CutInSize", header(1, 1).substr(0, 11)},
                      RefusedCase{"ZeroWidth", header(0, 5) + std::string(64, 'x')},
                      RefusedCase{"ZeroHeight", header(5, 0) + std::string(64, 'x')},
                      RefusedCase{"NegativeWidth", header(-1, 1) + std::string(64, 'x')},
                      RefusedCase{"NegativeHeight", header(2, -3) + std::string(64, 'x')},
                      RefusedCase{"LowestWidth", header(INT_MIN, 1) + std::string(64, 'x')}),
    [](const ::testing::TestParamInfo<RefusedCase>& Info) { return std::string(Info.param.name); });

TEST_F(GfxPicture, TextureTheDeviceRefusesFailsWithOutputsUntouched) {
    d3d().maxTextureSize = 512;
    EXPECT_EQ(decode(picture(600, 1)), -1);
    EXPECT_EQ(decode(header(INT_MAX, 1)), -1);
    d3d().maxTextureSize = 4096;
    d3d().failCreateTexture = true;
    EXPECT_EQ(decode(picture(1, 1)), -1);

    EXPECT_EQ(callsStartingWith("CreateTexture 1024x1024").size(), 1u);
    EXPECT_EQ(callsStartingWith("CreateTexture 2147483648x2147483648").size(), 1u);
    EXPECT_TRUE(callsStartingWith("LockRect").empty());
    EXPECT_EQ(size[0], 111);
    EXPECT_EQ(size[1], 222);
}

TEST_F(GfxPicture, TextureThatCannotBeLockedStaysStored) {
    d3d().failLockRect = true;
    EXPECT_EQ(decode(picture(3, 5)), -1);
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(fwrecord::textureWidth(texture), 8u);
    EXPECT_EQ(reader.reads.size(), 2u);  // no pixel is read
    EXPECT_TRUE(callsStartingWith("UnlockRect").empty());
    EXPECT_EQ(size[0], 111);
    EXPECT_EQ(size[1], 222);
}

TEST_F(GfxPicture, LoadBitmapTextureReadsAFileAndRefusesAMissingOne) {
    writeFile("Bmp/Picture.bmp", picture(3, 5));
    ASSERT_EQ(loadBitmapTexture(device, &texture, size, "Bmp/Picture.bmp"), 0);
    EXPECT_EQ(size[0], 3);
    EXPECT_EQ(size[1], 5);
    EXPECT_EQ(fwrecord::texel(texture, 2, 4), pixelValue(2, 4));

    IDirect3DTexture9* Missing = nullptr;
    int32_t MissingSize[2] = {7, 7};
    calls().clear();
    EXPECT_EQ(loadBitmapTexture(device, &Missing, MissingSize, "Bmp/Missing.bmp"), -1);
    EXPECT_TRUE(calls().empty());
    EXPECT_EQ(Missing, nullptr);
    EXPECT_EQ(MissingSize[0], 7);
}

// loadTextures with the file at position Missing (0 to 3) absent, or none (4).
class GfxLoadTextures : public TempFolderTest, public ::testing::WithParamInterface<int> {};

TEST_P(GfxLoadTextures, StopsAtTheFirstFileThatFails) {
    const char* kFiles[4] = {"Bmp/MainBG.bmp", "Bmp/ThumbnailBG1.bmp", "Bmp/ThumbnailBG2.bmp", "Bmp/Thumbnail.bmp"};
    int Missing = GetParam();
    for (int i = 0; i < 4; ++i)
        if (i != Missing) writeFile(kFiles[i], picture(2 + i, 2));
    auto App = std::make_unique<PlayerApp>();
    ASSERT_EQ(App->createDevice(), 1);

    EXPECT_EQ(App->loadTextures(), Missing == 4 ? 1 : 0);
    IDirect3DTexture9* Fields[4] = {App->texMainBG, App->texThumbnailBG1, App->texThumbnailBG2, App->texThumbnail};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(Fields[i] != nullptr, i < Missing) << kFiles[i];
        // Each file goes to its own field: the widths tell them apart.
        if (Fields[i]) {
            EXPECT_EQ(fwrecord::texel(Fields[i], 1 + i, 1), pixelValue(1 + i, 1)) << kFiles[i];
        }
    }
    EXPECT_EQ(callsStartingWith("CreateTexture").size(), static_cast<size_t>(Missing));
}

INSTANTIATE_TEST_SUITE_P(Gfx, GfxLoadTextures, ::testing::Values(0, 1, 2, 3, 4));

}  // namespace
