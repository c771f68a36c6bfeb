// The Direct3D layer's benchmark (either renderer), run by the benchmark command: a window and a device as
// the player makes them, the player's pictures (Bmp/ of the current folder, or
// patterns of their sizes), and frames drawn as its screens draw them. Prints
// "BENCH <name> <key> <value>" lines: start-up to the first frame, the CPU of each
// changed frame timed alone, the CPU share of static screens in the player's pacing
// loop, and of a 30 frames a second video over a static screen.
//
//   d3d_bench [bench]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "gfx/gfx.h"
#include "gfx/layout.h"
#include "d3d_harness.h"
#include "platform/common/layer.h"
#include "platform/platform.h"

namespace {

using d3dharness::patternTexel;
using d3dharness::printStats;
using d3dharness::pump;
using d3dharness::say;

std::chrono::steady_clock::time_point gStart = std::chrono::steady_clock::now();
HWND gWindow = nullptr;
IDirect3D9* gD3d = nullptr;
IDirect3DDevice9* gDevice = nullptr;
double gWindowAt = 0.0;

double cpuSeconds() {
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now() - gStart).count(); }

// --- The device as the player makes it --------------------------------------------------

bool createWindowAndDevice() {
    gWindow = d3dharness::openWindow();
    if (!gWindow) return false;
    gWindowAt = wallSeconds();
    return d3dharness::openDevice(gWindow, &gD3d, &gDevice);
}

// The player's own quad drawing, binding the texture each time.
void draw(IDirect3DTexture9* texture, float x, float y, RECT src, D3DCOLOR color) {
    ::drawQuad(gDevice, texture, 1, x, y, &src, color);
}

void releaseAll() {
    if (gDevice) gDevice->Release();
    if (gD3d) gD3d->Release();
    gDevice = nullptr;
    gD3d = nullptr;
}

// Reads a picture of the player's raw format ("TEYL", width, height, BGRA rows) into
// a new square power-of-two texture, or makes one of that size with a pattern when
// the file is missing.
IDirect3DTexture9* loadPicture(const char* path, int fallbackWidth, int fallbackHeight) {
    int width = fallbackWidth, height = fallbackHeight;
    FILE* file = std::fopen(path, "rb");
    unsigned char header[12];
    if (file && std::fread(header, 1, 12, file) == 12 && std::memcmp(header, "TEYL", 4) == 0) {
        std::memcpy(&width, header + 4, 4);
        std::memcpy(&height, header + 8, 4);
    } else if (file) {
        std::fclose(file);
        file = nullptr;
    }
    int size = 1;
    while (size < std::max(width, height)) size *= 2;
    IDirect3DTexture9* texture = nullptr;
    if (gDevice->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr) != D3D_OK) {
        if (file) std::fclose(file);
        return nullptr;
    }
    D3DLOCKED_RECT locked;
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch;
        if (file) {
            if (std::fread(row, 4, static_cast<size_t>(width), file) == 0) break;
        } else {
            for (int x = 0; x < width; ++x) reinterpret_cast<DWORD*>(row)[x] = patternTexel(x & 0xFF, y & 0xFF);
        }
    }
    texture->UnlockRect(0);
    if (file) std::fclose(file);
    return texture;
}

// The main screen's quads: background, two knobs, five buttons, the knob at seekX.
void drawMainLike(IDirect3DTexture9* sheet, int seekX) {
    gDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    gDevice->BeginScene();
    draw(sheet, 0, 0, {0, 0, 800, 600}, 0xFFFFFFFF);
    draw(sheet, static_cast<float>(seekX), 534, {99, 645, 118, 661}, 0xFFFFFFFF);
    draw(sheet, 370, 566, {99, 645, 118, 661}, 0xFFFFFFFF);
    for (int i = 0; i < 5; ++i) draw(sheet, 456.0f + 58.0f * i, 535, {58 * i, 600, 58 * i + 58, 645}, 0xFFFFFFFF);
    gDevice->EndScene();
    gDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

// The thumbnail screen's quads: background, 28 translucent lock images, two buttons.
void drawThumbnailLike(IDirect3DTexture9* background, IDirect3DTexture9* sheet, int hover) {
    gDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    gDevice->BeginScene();
    draw(background, 0, 0, {0, 0, 800, 600}, 0xFFFFFFFF);
    draw(sheet, 721, 24, {112, 600, 170, 645}, 0xFFFFFFFF);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 7; ++c) {
            float x = 29.0f + 107.0f * c, y = 91.0f + 108.0f * r;
            if (r * 7 + c == hover) draw(sheet, x, y, {100 * c, 75 * r, 100 * c + 100, 75 * r + 75}, 0xFFFFFFFF);
            else draw(sheet, x, y, {0, 600, 100, 675}, 0xC0FFFFFF);
        }
    draw(sheet, 714, 535, {228, 600, 286, 645}, 0xFFFFFFFF);
    gDevice->EndScene();
    gDevice->Present(nullptr, nullptr, nullptr, nullptr);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// The player's loop: messages first, a frame when 15 ms have passed, else a 1 ms sleep.
template <typename Frame>
double loopCpuPercent(double seconds, Frame frame) {
    double cpuStart = cpuSeconds(), wallStart = wallSeconds();
    DWORD lastFrame = timeGetTime() - 15;
    int index = 0;
    while (wallSeconds() - wallStart < seconds) {
        if (!pump()) break;
        if (timeGetTime() - lastFrame >= 15) {
            lastFrame = timeGetTime();
            frame(index++);
        } else {
            Sleep(1);
        }
    }
    return 100.0 * (cpuSeconds() - cpuStart) / (wallSeconds() - wallStart);
}

struct Sheets {
    IDirect3DTexture9* main;
    IDirect3DTexture9* thumbBackground;
    IDirect3DTexture9* thumbSheet;
};

void drawScreen(const Sheets& sheets, int screen, int step) {
    if (screen == 0) drawMainLike(sheets.main, step < 0 ? 100 : 35 + step % 300);
    else drawThumbnailLike(sheets.thumbBackground, sheets.thumbSheet, step < 0 ? -1 : step % 28);
}

// Changing frames, each timed alone: CPU time of the whole process (OpenGL's
// rasterizer threads included) from the first call of the frame to the end of Present.
// main: the seek knob moves a pixel; thumbnail: the highlighted cell moves on;
// switch (2): the whole screen changes, main and thumbnail screens in turn.
void benchChangedFrames(const Sheets& sheets) {
    const char* const names[] = {"main", "thumbnail", "switch"};
    for (int screen = 0; screen < 3; ++screen) {
        std::vector<double> cpu, wall;
        for (int i = 0; i < 200; ++i) {
            pump();
            double cpuStart = cpuSeconds(), wallStart = wallSeconds();
            drawScreen(sheets, screen == 2 ? i % 2 : screen, i);
            cpu.push_back((cpuSeconds() - cpuStart) * 1000.0);
            wall.push_back((wallSeconds() - wallStart) * 1000.0);
            Sleep(2);
        }
        say("BENCH changed_frame_%s cpu_ms_median %.3f wall_ms_median %.3f", names[screen], median(cpu), median(wall));
        if (screen != 2) continue;
        std::vector<double> toMain, toThumbnail;
        for (size_t i = 0; i < cpu.size(); ++i) (i % 2 == 0 ? toMain : toThumbnail).push_back(cpu[i]);
        say("BENCH changed_frame_switch_to_main cpu_ms_median %.3f", median(toMain));
        say("BENCH changed_frame_switch_to_thumbnail cpu_ms_median %.3f", median(toThumbnail));
    }
}

// The pacing loop's share of a core: alone, with each screen unchanged, and with a
// video of the video area's size at 30 frames a second over a static main screen.
void benchStaticLoops(const Sheets& sheets) {
    say("BENCH static_loop_alone cpu_percent %.2f (the pacing loop with no device call)",
        loopCpuPercent(3.0, [](int) {}));
    for (int screen = 0; screen < 2; ++screen)
        say("BENCH static_%s cpu_percent %.2f", screen == 0 ? "main" : "thumbnail",
            loopCpuPercent(3.0, [&](int) { drawScreen(sheets, screen, -1); }));
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoSetOwner(video, gWindow);
    fwlayer::childVideoSetRect(video, kVideoLeft, kVideoTop, kVideoWidth, kVideoHeight);
    fwlayer::childVideoSetVisible(video, true);
    std::atomic<bool> running{true};
    std::thread decoder([&] {
        std::vector<uint8_t> frame(static_cast<size_t>(kVideoWidth) * kVideoHeight * 4);
        for (int n = 0; running.load(); ++n) {
            std::memset(frame.data(), n & 0xFF, frame.size());
            fwlayer::childVideoPushFrame(video, frame.data(), kVideoWidth, kVideoHeight, kVideoWidth * 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(33));
        }
    });
    double percent = loopCpuPercent(3.0, [&](int) { drawScreen(sheets, 0, -1); });
    running.store(false);
    decoder.join();
    say("BENCH video_30fps_static_main cpu_percent %.2f (decoder thread's copies included)", percent);
    fwlayer::childVideoSetOwner(video, nullptr);
    fwlayer::childVideoDestroy(video);
}

int runBench(double createdAt) {
    IDirect3DTexture9* mainSheet = loadPicture("Bmp/MainBG.bmp", 800, 686);
    IDirect3DTexture9* thumbBackground = loadPicture("Bmp/ThumbnailBG1.bmp", 800, 600);
    IDirect3DTexture9* thumbBackground2 = loadPicture("Bmp/ThumbnailBG2.bmp", 800, 600);
    IDirect3DTexture9* thumbSheet = loadPicture("Bmp/Thumbnail.bmp", 700, 675);
    if (!mainSheet || !thumbBackground || !thumbBackground2 || !thumbSheet) return 4;
    double texturesAt = wallSeconds();
    drawMainLike(mainSheet, 35);
    double firstFrame = wallSeconds();
    say("BENCH startup_ms %.1f cpu_ms %.1f (window %.1f, device %.1f, textures %.1f, first frame %.1f)",
        firstFrame * 1000.0, cpuSeconds() * 1000.0, gWindowAt * 1000.0, (createdAt - gWindowAt) * 1000.0,
        (texturesAt - createdAt) * 1000.0, (firstFrame - texturesAt) * 1000.0);
    const Sheets sheets = {mainSheet, thumbBackground, thumbSheet};
    benchChangedFrames(sheets);
    benchStaticLoops(sheets);
    printStats(gDevice, "bench");
    mainSheet->Release();
    thumbBackground->Release();
    thumbBackground2->Release();
    thumbSheet->Release();
    releaseAll();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (!createWindowAndDevice()) {
        say("FAILED device");
        return 2;
    }
    return runBench(wallSeconds());
}
