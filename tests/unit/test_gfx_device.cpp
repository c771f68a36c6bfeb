// createDevice: presentation parameters, the creation attempts, the fixed state.
#include <cstring>

#include "unit/test_support.h"

namespace {

class GfxDevice : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        freshApp();
    }
    void freshApp() {
        app.reset(new PlayerApp);
        fwrecord::resetAll();
        app->hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    }
};

TEST_F(GfxDevice, WindowedBackBufferWithDepth) {
    ASSERT_EQ(app->createDevice(), 1);
    D3DPRESENT_PARAMETERS expected;
    std::memset(&expected, 0, sizeof(expected));
    expected.BackBufferWidth = 800;
    expected.BackBufferHeight = 600;
    expected.BackBufferCount = 1;
    expected.SwapEffect = D3DSWAPEFFECT_DISCARD;
    expected.hDeviceWindow = app->hwnd;
    expected.Windowed = TRUE;
    expected.EnableAutoDepthStencil = TRUE;
    expected.AutoDepthStencilFormat = D3DFMT_D16;
    expected.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    EXPECT_EQ(std::memcmp(&app->presentParams, &expected, sizeof(expected)), 0);
    EXPECT_EQ(std::memcmp(&fwrecord::d3d().lastPresentParams, &expected, sizeof(expected)), 0);

    // The fixed state follows; its pixels are checked end to end.
    EXPECT_EQ(Lines(fwrecord::calls().begin(), fwrecord::calls().begin() + 2),
              (Lines{"Direct3DCreate9 32", "CreateDevice 0 1 hwnd 0x40"}));
    EXPECT_EQ(fwrecord::callsStartingWith("SetRenderState").size(), 13u);
}

TEST_F(GfxDevice, HardwareThenSoftwareTwice) {
    const HRESULT no = D3DERR_NOTAVAILABLE;
    const std::string hardware = "CreateDevice 0 1 hwnd 0x40", software = "CreateDevice 0 1 hwnd 0x20";
    const struct {
        std::vector<HRESULT> results;
        int32_t created;
        Lines attempts;
    } cases[] = {{{no}, 1, {hardware, software}},
                 {{no, no}, 1, {hardware, software, software}},
                 {{no, no, no}, 0, {hardware, software, software}}};
    for (const auto& c : cases) {
        freshApp();
        fwrecord::d3d().createDeviceResults = c.results;
        EXPECT_EQ(app->createDevice(), c.created);
        EXPECT_EQ(fwrecord::callsStartingWith("CreateDevice"), c.attempts);
        EXPECT_EQ(app->device != nullptr, c.created == 1);
        EXPECT_EQ(fwrecord::callsStartingWith("SetRenderState").empty(), c.created == 0);
    }
}

}  // namespace
