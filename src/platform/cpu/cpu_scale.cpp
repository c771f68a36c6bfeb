// The cpu backend's scaling: video frames onto their areas with linear filtering,
// and the back buffer's picture enlarged onto the window with nearest sampling
// (the client area placed larger on its window: layer.h, ClientPlacement).
//
// Implemented: VideoScaler, by rows: each source row an area needs is filtered
//   across once, at the area's width, and each row drawn blends two of those, four
//   pixels at a time; sample positions and 8-bit weights as OpenGL's linear filter
//   takes them (pixel centres, edges clamped), each pass rounded. Weights of a
//   quarter, a half and three quarters (every weight of a frame doubled in size)
//   are averages of averages, rounded up at each step; a row doubled in width is
//   made four pixels at a time too. The picture's
//   enlargement repeats pixels by the placement's mapping (clientOf), rows
//   repeated by copying the row above.
// Does not: filter the picture (its pixels stay crisp blocks), or blend a video with
//   what lies under it.
#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "cpu_device.h"

namespace fwcpu {

namespace {

// round(a * (256 - f) / 256 + b * f / 256) of each 8-bit channel, two at a time.
inline uint32_t lerpPixel(uint32_t a, uint32_t b, uint32_t f) {
    uint32_t g = 256 - f;
    uint32_t blueRed = (((a & 0x00FF00FFu) * g + (b & 0x00FF00FFu) * f + 0x00800080u) >> 8) & 0x00FF00FFu;
    uint32_t greenAlpha = ((((a >> 8) & 0x00FF00FFu) * g + ((b >> 8) & 0x00FF00FFu) * f + 0x00800080u)) & 0xFF00FF00u;
    return blueRed | greenAlpha;
}

typedef uint32_t Pixels4 __attribute__((vector_size(16)));
typedef uint16_t Channels8 __attribute__((vector_size(16)));
typedef uint8_t Bytes16 __attribute__((vector_size(16)));

// (a + b + 1) / 2 of each 8-bit channel.
inline uint32_t average(uint32_t a, uint32_t b) { return (a | b) - (((a ^ b) >> 1) & 0x7F7F7F7Fu); }
inline Pixels4 average(Pixels4 a, Pixels4 b) {
#if defined(__SSE2__)
    return (Pixels4)_mm_avg_epu8((__m128i)a, (__m128i)b);
#else
    Bytes16 x = (Bytes16)a, y = (Bytes16)b;
    return (Pixels4)((x | y) - ((x ^ y) >> 1));
#endif
}

inline Pixels4 load4(const uint32_t* pixels) {
    Pixels4 loaded;
    std::memcpy(&loaded, pixels, sizeof loaded);
    return loaded;
}

// A quarter, a half or three quarters of the way from a to b.
template <typename Pixel>
inline Pixel inQuarters(Pixel a, Pixel b, uint32_t f) {
    Pixel middle = average(a, b);
    return f == 128 ? middle : f == 64 ? average(a, middle) : average(middle, b);
}

// A row of pixels twice as wide, filtered as lerpPixel would at its weights of a
// quarter and three quarters; the ends repeat the edge pixels.
void doubleRow(const uint32_t* source, int count, uint32_t* out) {
    auto pair = [&](int i) {
        uint32_t here = source[i];
        out[2 * i] = inQuarters(here, source[i > 0 ? i - 1 : 0], 64);
        out[2 * i + 1] = inQuarters(here, source[i + 1 < count ? i + 1 : i], 64);
    };
    pair(0);
    int i = 1;
    for (; i + 5 <= count; i += 4) {
        Pixels4 here = load4(source + i);
        Pixels4 even = inQuarters(here, load4(source + i - 1), 64u), odd = inQuarters(here, load4(source + i + 1), 64u);
        Pixels4 low = __builtin_shufflevector(even, odd, 0, 4, 1, 5),
                high = __builtin_shufflevector(even, odd, 2, 6, 3, 7);
        std::memcpy(out + 2 * i, &low, sizeof low);
        std::memcpy(out + 2 * i + 4, &high, sizeof high);
    }
    for (; i < count; ++i) pair(i);
}

// The same on two rows, four pixels at a time in 16-bit lanes (SIMD where the
// machine has it).
void lerpRows(const uint32_t* upper, const uint32_t* lower, uint32_t f, uint32_t* out, int count) {
    int x = 0;
    if (f == 0) {
        std::memcpy(out, upper, static_cast<size_t>(count) * 4);
        return;
    }
    if (f == 64 || f == 128 || f == 192) {
        for (; x + 4 <= count; x += 4) {
            Pixels4 drawn = inQuarters(load4(upper + x), load4(lower + x), f);
            std::memcpy(out + x, &drawn, sizeof drawn);
        }
        for (; x < count; ++x) out[x] = inQuarters(upper[x], lower[x], f);
        return;
    }
    const Channels8 g = Channels8{} + static_cast<uint16_t>(256 - f), h = Channels8{} + static_cast<uint16_t>(f);
    const Channels8 half = Channels8{} + static_cast<uint16_t>(0x80);
    const Pixels4 mask = Pixels4{} + 0x00FF00FFu;
    for (; x + 4 <= count; x += 4) {
        Pixels4 a = load4(upper + x), b = load4(lower + x);
        Channels8 blueRed = (Channels8)(a & mask) * g + (Channels8)(b & mask) * h + half;
        Channels8 greenAlpha = (Channels8)((a >> 8) & mask) * g + (Channels8)((b >> 8) & mask) * h + half;
        Pixels4 drawn = (Pixels4)(blueRed >> 8) | ((Pixels4)(greenAlpha >> 8) << 8);
        std::memcpy(out + x, &drawn, sizeof drawn);
    }
    for (; x < count; ++x) out[x] = lerpPixel(upper[x], lower[x], f);
}

// Where pixel i of size pixels falls on a source of sourceSize: the first source
// pixel and the weight (0 to 255) of the one after it, as OpenGL samples.
void samplePlace(int i, int size, int sourceSize, int* first, uint32_t* weight) {
    int64_t step = (static_cast<int64_t>(sourceSize) << 16) / size;
    int32_t position = static_cast<int32_t>((2 * i + 1) * step / 2 - 32768);
    *first = std::min(std::max(0, position >> 16), sourceSize - 1);
    *weight = position < 0 || *first == sourceSize - 1 ? 0 : (static_cast<uint32_t>(position) >> 8) & 0xFF;
}

}  // namespace

// Filters source row y across, for the columns of the part drawn, into a row slot.
const uint32_t* VideoScaler::filteredRow(const fwlayer::ChildVideoView& view, int y, int slot) {
    if (rowOf[0] == y) return rows[0].data();
    if (rowOf[1] == y) return rows[1].data();
    std::vector<uint32_t>& row = rows[slot];
    const uint32_t* source =
        reinterpret_cast<const uint32_t*>(view.frameBgra + static_cast<size_t>(y) * view.frameStride);
    if (doubled) doubleRow(source, view.frameWidth, row.data());
    else
        for (size_t x = 0; x < columns.size(); ++x)
            row[x] = lerpPixel(source[columns[x]], source[columns[x] + (weights[x] != 0)], weights[x]);
    rowOf[slot] = y;
    return row.data();
}

void VideoScaler::draw(const fwlayer::ChildVideoView& view, const PixelRect& area, const PixelRect& part,
                       uint32_t* pixels, int pitch) {
    int width = area.right - area.left, height = area.bottom - area.top, count = part.right - part.left;
    // A doubled row is made whole; otherwise only the part's columns.
    doubled = width == 2 * view.frameWidth;
    int skip = doubled ? part.left - area.left : 0;
    columns.resize(static_cast<size_t>(doubled ? 0 : count));
    weights.resize(columns.size());
    for (size_t x = 0; x < columns.size(); ++x)
        samplePlace(part.left - area.left + static_cast<int>(x), width, view.frameWidth, &columns[x], &weights[x]);
    for (std::vector<uint32_t>& row : rows) row.resize(static_cast<size_t>(doubled ? width : count));
    rowOf[0] = rowOf[1] = -1;
    for (int y = part.top; y < part.bottom; ++y) {
        int first = 0;
        uint32_t weight = 0;
        samplePlace(y - area.top, height, view.frameHeight, &first, &weight);
        const uint32_t* upper = filteredRow(view, first, rowOf[1] == first + 1 ? 0 : 1);
        int upperSlot = upper == rows[0].data() ? 0 : 1;
        const uint32_t* lower = weight == 0 ? upper : filteredRow(view, first + 1, 1 - upperSlot);
        lerpRows(upper + skip, lower + skip, weight, pixels + static_cast<size_t>(y) * pitch + part.left, count);
    }
}

// The picture's part, enlarged onto the window by the placement: each window pixel
// shows the picture pixel its centre falls in.
void CpuDevice::enlarge(const PixelRect& part) {
    PixelRect target = placed(part);
    if (target.empty()) return;
    std::vector<int32_t>& columns = scaler.columns;
    columns.resize(static_cast<size_t>(target.right - target.left));
    for (int x = target.left; x < target.right; ++x)
        columns[x - target.left] =
            std::min(std::max(fwlayer::clientOf(x, width, placement.left, placement.width), part.left), part.right - 1);
    int shownRow = -1;
    size_t rowBytes = static_cast<size_t>(target.right - target.left) * 4;
    for (int y = target.top; y < target.bottom; ++y) {
        int source = std::min(std::max(fwlayer::clientOf(y, height, placement.top, placement.height), part.top),
                              part.bottom - 1);
        uint32_t* row = windowPixels + static_cast<size_t>(y) * windowPitch + target.left;
        if (source == shownRow) {
            std::memcpy(row, row - windowPitch, rowBytes);
            continue;
        }
        const uint32_t* line = picture.data() + static_cast<size_t>(source) * width;
        for (size_t x = 0; x < columns.size(); ++x) row[x] = line[columns[x]];
        shownRow = source;
    }
}

}  // namespace fwcpu
