// createDevice: presentation parameters, the creation attempts, the state drawing relies on.
#include <cstring>
#include <map>

#include "unit/test_support.h"

namespace {

// The value each render state was left at, from the log's "SetRenderState s v" lines.
std::map<int, DWORD> renderStates() {
    std::map<int, DWORD> states;
    for (const std::string& line : fwrecord::callsStartingWith("SetRenderState ")) {
        int state = 0;
        unsigned long value = 0;
        if (std::sscanf(line.c_str(), "SetRenderState %d %lu", &state, &value) == 2) states[state] = value;
    }
    return states;
}

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

TEST_F(GfxDevice, WindowedBackBufferWithDepthAndBlendedAlphaTestedDrawing) {
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

    // What the pictures need: transparent texels dropped, the rest blended by alpha,
    // no culling or lighting of the pre-transformed quads. Pixels are checked end to end.
    std::map<int, DWORD> states = renderStates();
    const std::map<int, DWORD> needed = {
        {D3DRS_ALPHATESTENABLE, TRUE},       {D3DRS_ALPHAFUNC, D3DCMP_GREATER},     {D3DRS_ALPHAREF, 0},
        {D3DRS_ALPHABLENDENABLE, TRUE},      {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},   {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
        {D3DRS_CULLMODE, D3DCULL_NONE},      {D3DRS_LIGHTING, FALSE},               {D3DRS_ZFUNC, D3DCMP_LESSEQUAL}};
    for (const auto& state : needed) EXPECT_EQ(states[state.first], state.second) << "render state " << state.first;
}

TEST_F(GfxDevice, HardwareThenSoftwareTwice) {
    const HRESULT no = D3DERR_NOTAVAILABLE;
    const std::string hardware = "CreateDevice 0 1 hwnd 0x40", software = "CreateDevice 0 1 hwnd 0x20";
    const struct {
        std::vector<HRESULT> results;
        int32_t created;
        Lines attempts;
    } cases[] = {{{}, 1, {hardware}},
                 {{no}, 1, {hardware, software}},
                 {{no, no}, 1, {hardware, software, software}},
                 {{no, no, no}, 0, {hardware, software, software}}};
    for (const auto& c : cases) {
        freshApp();
        fwrecord::d3d().createDeviceResults = c.results;
        EXPECT_EQ(app->createDevice(), c.created);
        EXPECT_EQ(fwrecord::callsStartingWith("CreateDevice"), c.attempts);
        EXPECT_EQ(app->device != nullptr, c.created == 1);
        EXPECT_EQ(renderStates().empty(), c.created == 0);
    }
}

}  // namespace
