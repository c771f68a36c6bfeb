// createDevice: presentation parameters, the creation attempts, the fixed state.
#include <cstring>
#include <memory>

#include "app/player_app.h"
#include "unit/test_support.h"

using fwrecord::calls;
using fwrecord::callsStartingWith;
using fwrecord::d3d;

namespace {

class GfxDevice : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        App = std::make_unique<PlayerApp>();
        App->hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
    }
    void TearDown() override {
        App.reset();
        TempFolderTest::TearDown();
    }
    std::unique_ptr<PlayerApp> App;
};

TEST_F(GfxDevice, PresentationParametersDescribeAWindowedBackBufferWithDepth) {
    ASSERT_EQ(App->createDevice(), 1);
    const D3DPRESENT_PARAMETERS& P = App->presentParams;
    EXPECT_EQ(P.BackBufferWidth, 800u);
    EXPECT_EQ(P.BackBufferHeight, 600u);
    EXPECT_EQ(P.BackBufferFormat, 0);
    EXPECT_EQ(P.BackBufferCount, 1u);
    EXPECT_EQ(P.MultiSampleType, 0);
    EXPECT_EQ(P.MultiSampleQuality, 0u);
    EXPECT_EQ(P.SwapEffect, 1);
    EXPECT_EQ(P.hDeviceWindow, App->hwnd);
    EXPECT_EQ(P.Windowed, TRUE);
    EXPECT_EQ(P.EnableAutoDepthStencil, TRUE);
    EXPECT_EQ(P.AutoDepthStencilFormat, 80);
    EXPECT_EQ(P.Flags, 0u);
    EXPECT_EQ(P.FullScreen_RefreshRateInHz, 0u);
    EXPECT_EQ(P.PresentationInterval, 0x80000000u);
    // The device was made from the object's own parameters.
    EXPECT_EQ(std::memcmp(&d3d().lastPresentParams, &P, sizeof(P)), 0);
    EXPECT_EQ(calls().front(), "Direct3DCreate9 32");
}

struct AttemptCase {
    std::vector<HRESULT> results;
    int32_t created;
    std::vector<std::string> attempts;
};

class GfxDeviceAttempts : public GfxDevice, public ::testing::WithParamInterface<AttemptCase> {};

TEST_P(GfxDeviceAttempts, HardwareThenSoftwareTwice) {
    const AttemptCase& Case = GetParam();
    d3d().createDeviceResults = Case.results;
    EXPECT_EQ(App->createDevice(), Case.created);
    EXPECT_EQ(callsStartingWith("CreateDevice"), Case.attempts);
    EXPECT_NE(App->d3d, nullptr);
    EXPECT_EQ(App->device != nullptr, Case.created == 1);
    EXPECT_EQ(callsStartingWith("SetRenderState").empty(), Case.created == 0);
}

const HRESULT kNo = D3DERR_NOTAVAILABLE;
const std::string kHardware = "CreateDevice 0 1 hwnd 0x40";
const std::string kSoftware = "CreateDevice 0 1 hwnd 0x20";

INSTANTIATE_TEST_SUITE_P(Gfx, GfxDeviceAttempts,
                         ::testing::Values(AttemptCase{{}, 1, {kHardware}},
                                           AttemptCase{{kNo}, 1, {kHardware, kSoftware}},
                                           AttemptCase{{kNo, kNo}, 1, {kHardware, kSoftware, kSoftware}},
                                           AttemptCase{{kNo, kNo, kNo}, 0, {kHardware, kSoftware, kSoftware}}));

TEST_F(GfxDevice, SetsTheFixedPipelineStateInOrderAndNothingElse) {
    ASSERT_EQ(App->createDevice(), 1);
    struct Setting {
        const char* call;
        int state;
        DWORD value;
    };
    const Setting kSettings[] = {
        {"SetRenderState", D3DRS_MULTISAMPLEANTIALIAS, FALSE},
        {"SetRenderState", D3DRS_DITHERENABLE, TRUE},
        {"SetRenderState", D3DRS_ALPHATESTENABLE, TRUE},
        {"SetRenderState", D3DRS_ALPHAFUNC, 5},   // greater
        {"SetRenderState", D3DRS_ALPHAREF, 0},
        {"SetRenderState", D3DRS_ZWRITEENABLE, TRUE},
        {"SetRenderState", D3DRS_ZFUNC, 4},       // less or equal
        {"SetRenderState", D3DRS_ZENABLE, 1},
        {"SetRenderState", D3DRS_CULLMODE, 1},    // none
        {"SetRenderState", D3DRS_LIGHTING, FALSE},
        {"SetRenderState", D3DRS_ALPHABLENDENABLE, TRUE},
        {"SetRenderState", D3DRS_SRCBLEND, 5},    // source alpha
        {"SetRenderState", D3DRS_DESTBLEND, 6},   // inverse source alpha
        {"SetTextureStageState 0", D3DTSS_COLOROP, D3DTOP_MODULATE},
        {"SetTextureStageState 0", D3DTSS_COLORARG1, D3DTA_DIFFUSE},
        {"SetTextureStageState 0", D3DTSS_COLORARG2, D3DTA_TEXTURE},
        {"SetTextureStageState 0", D3DTSS_ALPHAOP, D3DTOP_MODULATE},
        {"SetTextureStageState 0", D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
        {"SetTextureStageState 0", D3DTSS_ALPHAARG2, D3DTA_TEXTURE},
        {"SetSamplerState 0", D3DSAMP_MINFILTER, 1},  // point
        {"SetSamplerState 0", D3DSAMP_MAGFILTER, 1},
    };
    std::vector<std::string> Expected;
    for (const Setting& S : kSettings)
        Expected.push_back(std::string(S.call) + " " + std::to_string(S.state) + " " + std::to_string(S.value));
    // Everything after the device's creation is the state, in this order.
    std::vector<std::string> After(calls().begin() + 2, calls().end());
    EXPECT_EQ(After, Expected);
}

TEST_F(GfxDevice, NoDirect3DObjectMeansNoDevice) {
    d3d().failCreate9 = true;
    EXPECT_EQ(App->createDevice(), 0);
    EXPECT_EQ(App->d3d, nullptr);
    EXPECT_EQ(App->device, nullptr);
    EXPECT_EQ(calls(), std::vector<std::string>{"Direct3DCreate9 32"});
}

}  // namespace
