// createDevice: hardware first, then software twice; state is set only on a device.
// The presentation and render state are checked by the pictures end to end.
#include "unit/test_support.h"

namespace {

TEST_F(TempFolderTest, DeviceIsHardwareThenSoftwareTwice) {
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
        app.reset(new PlayerApp);
        fwrecord::resetAll();
        app->hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234));
        fwrecord::d3d().createDeviceResults = c.results;
        EXPECT_EQ(app->createDevice(), c.created);
        EXPECT_EQ(fwrecord::callsStartingWith("CreateDevice"), c.attempts);
        EXPECT_EQ(app->device != nullptr, c.created == 1);
        EXPECT_EQ(fwrecord::callsStartingWith("SetRenderState").empty(), c.created == 0);
    }
}

}  // namespace
