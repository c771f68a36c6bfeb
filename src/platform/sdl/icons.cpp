// Icons, cursors and stock objects of the window class.
// Implements LoadIconA for the program's own icon groups (a resource name string
// that fwlayer::findResource knows: the .ico file is parsed and its best 32 x 32
// image decoded from the DIB it holds, 1, 4, 8, 24 or 32 bits per pixel with the
// AND mask), LoadCursorA for the standard arrow (SDL's default cursor is the
// arrow, so nothing needs to be set), and GetStockObject for BLACK_BRUSH.
// Not supported (null result): system icons (IDI_*) and numeric resource ids,
// PNG-compressed icon images, other cursors, other stock objects.
#include <cstring>

#include "sdl_backend.h"

namespace fwsdl {

namespace {

const int kIconSide = 32;

struct Icon {
    char name[64];
    uint32_t argb[kIconSide * kIconSide];
    SDL_Surface* surface;
};

const int kMaxIcons = 4;
Icon* gIcons[kMaxIcons];

// Handles of things that have no state of their own.
char gArrowCursor;
char gBlackBrush;

uint32_t readLe32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t readLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Decodes a 32 x 32 DIB (BITMAPINFOHEADER, colour table, XOR bits, AND mask) as an
// icon directory entry holds it. False when it is not one we can read.
// Where an icon image's parts lie, once its header has been checked.
struct DibLayout {
    uint16_t bitCount;
    size_t paletteCount, xorStride, andStride, paletteOffset, xorOffset, andOffset;
};

bool readDibLayout(const uint8_t* dib, size_t size, DibLayout* layout) {
    if (size < 40) return false;
    uint32_t headerSize = readLe32(dib);
    int32_t width = static_cast<int32_t>(readLe32(dib + 4));
    int32_t height = static_cast<int32_t>(readLe32(dib + 8));  // XOR and AND halves
    uint16_t bitCount = readLe16(dib + 14);
    uint32_t compression = readLe32(dib + 16);
    uint32_t colorsUsed = readLe32(dib + 32);
    if (headerSize < 40 || headerSize > size || width != kIconSide || height != 2 * kIconSide || compression != 0)
        return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32) return false;
    size_t paletteCount = 0;
    if (bitCount <= 8) paletteCount = colorsUsed != 0 ? colorsUsed : (1u << bitCount);
    if (paletteCount > 256) return false;
    DibLayout l = {bitCount,
                   paletteCount,
                   size_t((kIconSide * bitCount + 31) / 32) * 4,
                   size_t((kIconSide + 31) / 32) * 4,
                   headerSize,
                   0,
                   0};
    l.xorOffset = l.paletteOffset + paletteCount * 4;
    l.andOffset = l.xorOffset + l.xorStride * kIconSide;
    if (l.andOffset + l.andStride * kIconSide > size) return false;
    *layout = l;
    return true;
}

// Pixel x of a bottom-up row's colour bits, as 0xAARRGGBB (alpha from 32-bit images only).
uint32_t dibColour(const uint8_t* dib, const DibLayout& l, const uint8_t* bits, int x) {
    if (l.bitCount > 8) {
        const uint8_t* p = bits + x * (l.bitCount / 8);
        uint32_t alpha = l.bitCount == 32 ? p[3] : 0xFF;
        return (alpha << 24) | (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
    size_t index;
    if (l.bitCount == 8) index = bits[x];
    else if (l.bitCount == 4) index = (bits[x / 2] >> ((x % 2) ? 0 : 4)) & 0x0F;
    else index = (bits[x / 8] >> (7 - x % 8)) & 1;
    if (index >= l.paletteCount) index = 0;
    const uint8_t* entry = dib + l.paletteOffset + index * 4;
    return 0xFF000000u | (uint32_t(entry[2]) << 16) | (uint32_t(entry[1]) << 8) | entry[0];
}

bool decodeDib(const uint8_t* dib, size_t size, uint32_t* argb) {
    DibLayout l;
    if (!readDibLayout(dib, size, &l)) return false;
    bool anyAlpha = false;
    for (int row = 0; row < kIconSide; ++row) {
        const uint8_t* bits = dib + l.xorOffset + l.xorStride * (kIconSide - 1 - row);  // bottom-up
        for (int x = 0; x < kIconSide; ++x) {
            argb[row * kIconSide + x] = dibColour(dib, l, bits, x);
            anyAlpha = anyAlpha || (l.bitCount == 32 && (argb[row * kIconSide + x] >> 24) != 0);
        }
    }
    // The AND mask decides transparency, unless a 32-bit image carries alpha of its own.
    if (l.bitCount == 32 && anyAlpha) return true;
    for (int row = 0; row < kIconSide; ++row) {
        const uint8_t* mask = dib + l.andOffset + l.andStride * (kIconSide - 1 - row);
        for (int x = 0; x < kIconSide; ++x) {
            bool transparent = ((mask[x / 8] >> (7 - x % 8)) & 1) != 0;
            argb[row * kIconSide + x] = (argb[row * kIconSide + x] & 0x00FFFFFF) | (transparent ? 0 : 0xFF000000);
        }
    }
    return true;
}

// Picks the 32 x 32 image with the most colours from a .ico file and decodes it.
bool decodeIcon(const uint8_t* data, size_t size, uint32_t* argb) {
    if (size < 6 || readLe16(data) != 0 || readLe16(data + 2) != 1) return false;
    int count = readLe16(data + 4);
    if (size < 6 + 16 * static_cast<size_t>(count)) return false;
    int best = -1;
    int bestBits = -1;
    for (int i = 0; i < count; ++i) {
        const uint8_t* entry = data + 6 + 16 * i;
        uint32_t bytes = readLe32(entry + 8);
        uint32_t offset = readLe32(entry + 12);
        if (entry[0] != kIconSide || entry[1] != kIconSide) continue;
        if (offset > size || bytes > size - offset || bytes < 40) continue;
        int bits = readLe16(data + offset + 14);  // the DIB's own bit count is the one that counts
        if (bits > bestBits) {
            best = i;
            bestBits = bits;
        }
    }
    if (best < 0) return false;
    const uint8_t* entry = data + 6 + 16 * best;
    return decodeDib(data + readLe32(entry + 12), readLe32(entry + 8), argb);
}

}  // namespace

SDL_Surface* iconSurface(HICON icon) {
    for (Icon* candidate : gIcons) {
        if (candidate == nullptr || reinterpret_cast<HICON>(candidate) != icon) continue;
        if (candidate->surface == nullptr)
            candidate->surface = SDL_CreateRGBSurfaceWithFormatFrom(candidate->argb, kIconSide, kIconSide, 32,
                                                                    kIconSide * 4, SDL_PIXELFORMAT_ARGB8888);
        return candidate->surface;
    }
    return nullptr;
}

}  // namespace fwsdl

using namespace fwsdl;

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    // Numeric ids (and the system icons, which have a null instance) are not ours.
    if (hInstance == nullptr || lpIconName == nullptr || reinterpret_cast<ULONG_PTR>(lpIconName) <= 0xFFFF)
        return nullptr;
    if (std::strlen(lpIconName) >= sizeof(Icon{}.name)) return nullptr;
    // Loading the same icon again gives the same handle, as for shared icons.
    for (Icon* icon : gIcons)
        if (icon != nullptr && std::strcmp(icon->name, lpIconName) == 0) return reinterpret_cast<HICON>(icon);
    fwlayer::Resource resource = fwlayer::findResource(lpIconName);
    if (resource.data == nullptr) return nullptr;
    for (Icon*& slot : gIcons) {
        if (slot != nullptr) continue;
        Icon* icon = new Icon();
        if (!decodeIcon(resource.data, resource.size, icon->argb)) {
            delete icon;
            return nullptr;
        }
        std::strcpy(icon->name, lpIconName);
        slot = icon;
        return reinterpret_cast<HICON>(icon);
    }
    return nullptr;
}

HCURSOR WINAPI LoadCursorA(HINSTANCE hInstance, LPCSTR lpCursorName) {
    if (hInstance == nullptr && lpCursorName == IDC_ARROW) return reinterpret_cast<HCURSOR>(&gArrowCursor);
    return nullptr;
}

HGDIOBJ WINAPI GetStockObject(int i) {
    if (i == BLACK_BRUSH) return &gBlackBrush;
    return nullptr;
}
