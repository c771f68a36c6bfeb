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

TEST_F(GfxDevice, WindowedBackBufferWithDepthAndTheFixedStateInOrder) {
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

    const struct {
        const char* call;
        int state;
        DWORD value;
    } settings[] = {
        {"SetRenderState", D3DRS_MULTISAMPLEANTIALIAS, FALSE},
        {"SetRenderState", D3DRS_DITHERENABLE, TRUE},
        {"SetRenderState", D3DRS_ALPHATESTENABLE, TRUE},
        {"SetRenderState", D3DRS_ALPHAFUNC, 5},  // greater
        {"SetRenderState", D3DRS_ALPHAREF, 0},
        {"SetRenderState", D3DRS_ZWRITEENABLE, TRUE},
        {"SetRenderState", D3DRS_ZFUNC, 4},  // less or equal
        {"SetRenderState", D3DRS_ZENABLE, 1},
        {"SetRenderState", D3DRS_CULLMODE, 1},  // none
        {"SetRenderState", D3DRS_LIGHTING, FALSE},
        {"SetRenderState", D3DRS_ALPHABLENDENABLE, TRUE},
        {"SetRenderState", D3DRS_SRCBLEND, 5},   // source alpha
        {"SetRenderState", D3DRS_DESTBLEND, 6},  // inverse source alpha
        {"SetTextureStageState 0", D3DTSS_COLOROP, D3DTOP_MODULATE},
        {"SetTextureStageState 0", D3DTSS_COLORARG1, D3DTA_DIFFUSE},
        {"SetTextureStageState 0", D3DTSS_COLORARG2, D3DTA_TEXTURE},
        {"SetTextureStageState 0", D3DTSS_ALPHAOP, D3DTOP_MODULATE},
        {"SetTextureStageState 0", D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
        {"SetTextureStageState 0", D3DTSS_ALPHAARG2, D3DTA_TEXTURE},
        {"SetSamplerState 0", D3DSAMP_MINFILTER, 1},  // point
        {"SetSamplerState 0", D3DSAMP_MAGFILTER, 1},
    };
    Lines expectedCalls = {"Direct3DCreate9 32", "CreateDevice 0 1 hwnd 0x40"};
    for (const auto& s : settings)
        expectedCalls.push_back(std::string(s.call) + " " + std::to_string(s.state) + " " + std::to_string(s.value));
    EXPECT_EQ(fwrecord::calls(), expectedCalls);
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
