// The four pictures, read by the player's own picture reader into a stand-in device
// that only measures, and the save data.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "errors/errors.h"
#include "gallery_check.h"
#include "gfx/gfx.h"

const char kSaveDataPath[] = "GameData.sys";
const char* const kPicturePaths[4] = {"Bmp/MainBG.bmp", "Bmp/ThumbnailBG1.bmp", "Bmp/ThumbnailBG2.bmp",
                                      "Bmp/Thumbnail.bmp"};

namespace {

const UINT kLargestTexture = 16384;  // beyond any graphics card's textures
const UINT kCommonTexture = 4096;    // what every card the player runs on makes

// A texture that keeps one row: the reader writes every row over it (pitch 0), so that
// a picture costs no more memory than one of its rows.
struct RowTexture : IDirect3DTexture9 {
    std::vector<unsigned char> row;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetLevelDesc(UINT, D3DSURFACE_DESC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRect(UINT, D3DLOCKED_RECT* locked, CONST RECT*, DWORD) override {
        locked->Pitch = 0;
        locked->pBits = row.data();
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE UnlockRect(UINT) override { return D3D_OK; }
};

struct MeasuringDevice : IDirect3DDevice9 {
    RowTexture texture;
    UINT side = 0;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL,
                                            IDirect3DTexture9** created, HANDLE*) override {
        side = width;
        if (width > kLargestTexture) return D3DERR_INVALIDCALL;
        texture.row.assign(static_cast<size_t>(width) * 4, 0);
        *created = &texture;
        return D3D_OK;
    }
    HRESULT STDMETHODCALLTYPE BeginScene() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndScene() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clear(DWORD, CONST D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Present(CONST RECT*, CONST RECT*, HWND, CONST RGNDATA*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTexture(DWORD, IDirect3DBaseTexture9*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetSamplerState(DWORD, D3DSAMPLERSTATETYPE, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, CONST void*, UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetFVF(DWORD) override { return E_NOTIMPL; }
};

// The reader's file reads, counted: the first row that came short tells where a file ends.
struct CountedFile {
    FILE* file;
    unsigned char head[4];
    size_t headSize;
    int32_t rows;
    int32_t firstShortRow;
};

size_t countedRead(void* buffer, size_t elementSize, size_t elementCount, void* userData) {
    CountedFile* counted = static_cast<CountedFile*>(userData);
    size_t read = std::fread(buffer, elementSize, elementCount, counted->file);
    if (counted->headSize == 0) {
        counted->headSize = read;
        std::memcpy(counted->head, buffer, read < 4 ? read : 4);
    } else if (elementSize == 4) {
        if (read < elementCount && counted->firstShortRow < 0) counted->firstShortRow = counted->rows;
        ++counted->rows;
    }
    return read;
}

// Why the reader refused a picture.
std::string refusal(const CountedFile& counted, UINT side) {
    if (counted.headSize < 4 || std::memcmp(counted.head, "TEYL", 4) != 0) {
        std::string kind = std::memcmp(counted.head, "BM", 2) == 0        ? " (it is a Windows bitmap)"
                           : std::memcmp(counted.head, "\x89PNG", 4) == 0 ? " (a PNG: fwpicture encode converts it)"
                                                                          : "";
        return "not a picture in the player's format: it does not begin with \"TEYL\"" + kind;
    }
    if (side == 0) return "ends inside its 12-byte header, or its size names no pixel";
    return "needs a texture of " + std::to_string(side) + " x " + std::to_string(side) + ", beyond any graphics card";
}

void checkPicture(const char* path, int32_t needWidth, int32_t needHeight, const char* use, Findings& findings) {
    std::string fault = fileFault(path);
    if (!fault.empty()) return findings.add(path, 0, ERROR, "file", fault, kMessageTextureFailed);
    CountedFile counted = {std::fopen(path, "rb"), {0, 0, 0, 0}, 0, 0, -1};
    if (!counted.file) return findings.add(path, 0, ERROR, "file", "cannot be opened", kMessageTextureFailed);
    MeasuringDevice device;
    IDirect3DTexture9* texture = nullptr;
    int32_t size[2] = {0, 0};
    int32_t result = decodePicture(&device, &texture, size, countedRead, &counted);
    std::fclose(counted.file);
    if (result != 0)
        return findings.add(path, 0, ERROR, "picture", refusal(counted, device.side), kMessageTextureFailed);
    std::string dimensions = std::to_string(size[0]) + " x " + std::to_string(size[1]);
    if (counted.firstShortRow >= 0)
        findings.add(path, 0, ERROR, "truncated",
                     "truncated: the file ends in row " + std::to_string(counted.firstShortRow) + " of " +
                         std::to_string(size[1]) + "; the player shows what the graphics memory held below");
    if (size[0] < needWidth || size[1] < needHeight)
        findings.add(path, 0, ERROR, "picture-too-small",
                     dimensions + " is smaller than the " + std::to_string(needWidth) + " x " +
                         std::to_string(needHeight) + " " + use +
                         " needs: the player draws parts of it from outside the picture");
    if (device.side > kCommonTexture)
        findings.add(path, 0, WARNING, "texture-too-large",
                     dimensions + " needs a texture of " + std::to_string(device.side) + " x " +
                         std::to_string(device.side) + ", which not every graphics card makes");
}

}  // namespace

void checkPictures(Findings& findings) {
    checkPicture(kPicturePaths[0], 800, 686, "the main screen's atlas", findings);
    checkPicture(kPicturePaths[1], 800, 600, "the first gallery page", findings);
    checkPicture(kPicturePaths[2], 800, 600, "the second gallery page", findings);
    checkPicture(kPicturePaths[3], 700, 675, "the gallery's atlas", findings);
}

void checkSaveData(const Gallery& gallery, Findings& findings) {
    const char* path = kSaveDataPath;
    struct stat status;
    if (lstat(path, &status) != 0 && errno == ENOENT)
        return findings.add(path, 0, NOTE, "no-save-data",
                            "absent: the player starts at full volume with every "
                            "cell locked, and writes it at exit");
    std::string fault = fileFault(path);
    if (fault.empty() && access(path, W_OK) != 0) fault = std::string("not writable: ") + std::strerror(errno);
    if (!fault.empty())
        return findings.add(path, 0, ERROR, "file", fault + ": the player cannot keep its volume and unlocked cells",
                            kMessageSaveFailed);
    unsigned char data[69] = {};
    FILE* file = std::fopen(path, "rb");
    size_t length = file ? std::fread(data, 1, sizeof data, file) : 0;
    if (file) std::fclose(file);
    if (length != 68)
        findings.add(path, 0, WARNING, "save-data-size",
                     std::string(length > 68 ? "longer" : "shorter") + " than 68 bytes: the player " +
                         (length > 68 ? "ignores the rest" : "takes the missing bytes as 0") +
                         " and writes 68 bytes at exit");
    int32_t volume =
        static_cast<int32_t>(data[0] | data[1] << 8 | data[2] << 16 | static_cast<uint32_t>(data[3]) << 24);
    if (volume < -5000 || volume > 0)
        findings.add(path, 0, WARNING, "volume-out-of-range",
                     "volume " + std::to_string(volume) + " is outside -5000 (the volume bar's quietest) to 0 (full)");
    std::string unlocked, odd;
    for (int32_t slot = 0; slot < MAX_TABLE_CLIPS; ++slot) {
        if (data[4 + slot] == 1) unlocked += (unlocked.empty() ? "" : ", ") + std::to_string(slot);
        if (data[4 + slot] > 1) odd += (odd.empty() ? "" : ", ") + std::to_string(slot);
    }
    if (!odd.empty())
        findings.add(path, 0, WARNING, "odd-unlock-flag",
                     "unlock flags neither 0 nor 1, which the player counts "
                     "as locked, for slots " +
                         odd);
    findings.add(path, 0, NOTE, "save-data",
                 "volume " + std::to_string(volume) + "; unlocked slots: " + (unlocked.empty() ? "none" : unlocked) +
                     " (the play table has " + counted(gallery.clipTotal, "clip") + ")");
}
