// Draws known textures as the player does, at the screen's top left, for the e2e tests;
// each "READY <phase>" waits for a line on stdin. Modes: pixels, video.
#include <atomic>
#include <cstring>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "gfx/gfx.h"
#include "d3d_harness.h"
#include "platform/common/layer.h"
#include "platform/platform.h"

namespace {

using namespace d3dharness;  // say, pump, printStats, makeTexture, patternTexel

std::atomic<int> gInputLines{0};
HWND gWindow = nullptr;
IDirect3D9* gD3d = nullptr;
IDirect3DDevice9* gDevice = nullptr;

// Announces a phase and keeps the window alive until the test answers.
void waitForTest(const char* phase) {
    int seen = gInputLines.load();
    say("READY %s", phase);
    while (gInputLines.load() == seen) {
        if (!pump()) return;
        Sleep(5);
    }
}

// Texel patterns, as the test recomputes them (and the harness's patternTexel).
DWORD holesTexel(int x, int y) {
    return (x + y) % 3 == 0 ? 0x00FF00FFu : 0xFF000000u | (10u << 16) | ((4 * x) << 8) | (4 * y);
}
DWORD columnGreyTexel(int x, int) { return 0xFF000000u | (x << 16) | (x << 8) | x; }
DWORD rowGreyTexel(int, int y) { return 0xFF000000u | (y << 16) | (y << 8) | y; }

struct Quad {
    int texture;
    RECT src;
    int x, y;
    D3DCOLOR color;
};

const D3DCOLOR kClearColor = 0xFF203040;
const Quad kPictureQuads[] = {
    {0, {0, 0, 256, 256}, 0, 0, 0xFFFFFFFF},          // 1:1, every texel once
    {0, {17, 33, 80, 71}, 5, 300, 0xFFFFFFFF},        // a rectangle from inside the texture
    {0, {200, 1, 256, 9}, 100, 350, 0xFFFFFFFF},      // to the texture's right edge
    {0, {255, 255, 256, 256}, 120, 370, 0xFFFFFFFF},  // one texel
    {0, {0, 0, 1, 256}, 140, 300, 0xFFFFFFFF},        // one column, the whole height
    {0, {3, 7, 253, 8}, 160, 580, 0xFFFFFFFF},        // one row
    {0, {0, 0, 64, 64}, 600, 0, 0xFFFFFFFF},          // beneath the texels of alpha 0
    {1, {0, 0, 64, 64}, 600, 0, 0xFFFFFFFF},          // alpha 0 on every third diagonal
    {3, {0, 0, 256, 256}, 300, 0, 0xFFFFFFFF},        // grey by row ...
    {2, {0, 0, 256, 256}, 300, 0, 0xC0FFFFFF},        // ... under grey by column at 192/255
    {0, {10, 10, 60, 60}, 600, 100, 0xFFFFFFFF},      // two overlapping quads at one depth:
    {2, {0, 0, 50, 50}, 620, 120, 0xFFFFFFFF},        // the later one is on top
    {2, {0, 0, 20, 20}, 200, 200, 0xFFFFFFFF},        // over the first quad, moved later
};

// Cleared by rectangle over the whole clear: one inside the window, one past its right edge.
const D3DCOLOR kRectClearColor = 0xFF806040;
const D3DRECT kClearRects[] = {{700, 300, 790, 350}, {780, 400, 900, 420}};

// One quad of the picture can be moved, to change a small part of the frame.
int gMovedQuad = -1, gMoveX = 0, gMoveY = 0;

void drawPicture(IDirect3DTexture9* const* textures, int shift) {
    gDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, kClearColor, 1.0f, 0);
    gDevice->Clear(2, kClearRects, D3DCLEAR_TARGET, kRectClearColor, 1.0f, 0);
    gDevice->BeginScene();
    int index = 0;
    for (const Quad& quad : kPictureQuads) {
        bool moved = index++ == gMovedQuad;
        // The player's own quad drawing, binding the texture each time.
        drawQuad(gDevice, textures[quad.texture], 1, static_cast<float>(quad.x + shift + (moved ? gMoveX : 0)),
                 static_cast<float>(quad.y + (moved ? gMoveY : 0)), &quad.src, quad.color);
    }
    gDevice->EndScene();
    gDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

IDirect3DTexture9* gTextures[4];

bool makePictureTextures() {
    const d3dharness::TexelFn texels[4] = {patternTexel, holesTexel, columnGreyTexel, rowGreyTexel};
    for (int i = 0; i < 4; ++i)
        if (!(gTextures[i] = d3dharness::makeTexture(gDevice, i == 1 ? 64 : 256, texels[i]))) return false;
    return true;
}

// Each count must reach 0: the layer holds no reference of its own.
void releaseAll() {
    for (IDirect3DTexture9* texture : gTextures)
        say("texture release %lu", static_cast<unsigned long>(texture->Release()));
    say("device release %lu", static_cast<unsigned long>(gDevice->Release()));
    say("d3d release %lu", static_cast<unsigned long>(gD3d->Release()));
}

// Frames every 15 ms, as the player's loop paces them; without drawing, only messages.
void presentFrames(int count, int shift, bool draw = true) {
    for (int i = 0; i < count; ++i) {
        pump();
        if (draw) drawPicture(gTextures, shift);
        Sleep(15);
    }
}

// Frames, their statistics under `stats`, then the test's look at `phase`.
void showPhase(int frames, bool draw, const char* stats, const char* phase) {
    presentFrames(frames, 0, draw);
    printStats(gDevice, stats);
    waitForTest(phase);
}

void printPicture() {
    for (const Quad& quad : kPictureQuads)
        say("QUAD %d %d %d %d %d %d %d %u", quad.texture, static_cast<int>(quad.src.left),
            static_cast<int>(quad.src.top), static_cast<int>(quad.src.right), static_cast<int>(quad.src.bottom), quad.x,
            quad.y, static_cast<unsigned>(quad.color));
    say("CLEAR %u", static_cast<unsigned>(kClearColor));
    for (const D3DRECT& rect : kClearRects)
        say("CLEARRECT %ld %ld %ld %ld %u", static_cast<long>(rect.x1), static_cast<long>(rect.y1),
            static_cast<long>(rect.x2), static_cast<long>(rect.y2), static_cast<unsigned>(kRectClearColor));
}

int runPixels() {
    printPicture();
    showPhase(41, true, "static", "pixels");
    presentFrames(1, 1);  // a change, then the same picture again: two frames drawn
    showPhase(10, true, "changed", "again");
    // Only the pixels around the quad's old and new places are redrawn.
    gMovedQuad = 12, gMoveX = 7, gMoveY = 3;
    say("MOVED %d %d %d", gMovedQuad, gMoveX, gMoveY);
    showPhase(5, true, "moved", "moved");
    releaseAll();
    return 0;
}

const int kVideoLeft = 100, kVideoTop = 50, kVideoWidth = 320, kVideoHeight = 240;

// A frame of four flat quarters, in shared memory where the renderer can have the X
// server read such frames in place (cpu), else copied into the video.
void pushQuarters(fwlayer::ChildVideo* video, const uint8_t colours[4][3], int width, int height) {
    const int stride = 4 * width + 16;  // padded rows
    const size_t size = static_cast<size_t>(stride) * height;
    fwlayer::SharedFrameSegment segment = {0, -1, nullptr, 0};
    std::vector<uint8_t> copied;
    if (!fwlayer::sharedFramesAreWanted() || !fwlayer::sharedFrameSegmentCreate(size, &segment)) copied.resize(size);
    uint8_t* frame = copied.empty() ? segment.base : copied.data();
    std::memset(frame, 0x55, size);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* colour = colours[(y >= height / 2) * 2 + (x >= width / 2)];
            const uint8_t bgrx[4] = {colour[2], colour[1], colour[0], 0};
            std::memcpy(&frame[static_cast<size_t>(y) * stride + x * 4], bgrx, 4);
        }
    if (!copied.empty()) {
        fwlayer::childVideoPushFrame(video, frame, width, height, stride);
        return;
    }
    say("SHARED %llu", static_cast<unsigned long long>(segment.id));
    fwlayer::childVideoLendSharedFrame(
        video, frame, width, height, stride, segment,
        [](void* user) {
            fwlayer::SharedFrameSegment* lent = static_cast<fwlayer::SharedFrameSegment*>(user);
            fwlayer::sharedFrameSegmentFree(*lent);
            delete lent;
        },
        new fwlayer::SharedFrameSegment(segment));
}

int runVideo() {
    printPicture();
    say("VIDEO %d %d %d %d", kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoSetOwner(video, gWindow);
    fwlayer::childVideoSetRect(video, kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
    fwlayer::childVideoSetVisible(video, true);
    showPhase(20, true, "black", "black");

    // Half the area's size: scaled.
    const uint8_t first[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    std::thread([&] { pushQuarters(video, first, kVideoWidth / 2, kVideoHeight / 2); }).join();
    showPhase(20, true, "video", "video");

    // The area's size, while the program draws nothing: only a repaint shows it.
    const uint8_t second[4][3] = {{255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {16, 32, 64}};
    std::thread([&] { pushQuarters(video, second, kVideoWidth, kVideoHeight); }).join();
    showPhase(20, false, "repaint", "repaint");

    fwlayer::childVideoSetVisible(video, false);
    showPhase(5, true, "hidden", "hidden");
    fwlayer::childVideoSetOwner(video, nullptr);
    fwlayer::childVideoDestroy(video);
    releaseAll();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR lpCmdLine, int) {
    std::string mode = lpCmdLine ? lpCmdLine : "";
    if (mode.empty()) mode = "pixels";
    std::thread([] {
        int c;
        while ((c = std::getchar()) != EOF)
            if (c == '\n') gInputLines.fetch_add(1);
    }).detach();
    gWindow = d3dharness::openWindow();
    if (!gWindow || !d3dharness::openDevice(gWindow, &gD3d, &gDevice)) {
        say("FAILED device");
        return 2;
    }
    if (!makePictureTextures()) {
        say("FAILED textures");
        return 3;
    }
    if (mode == "video") return runVideo();
    return runPixels();
}
