// A recorded frame into the window's pixels within the device's clip: clears, and
// texel copies through the fixed pipeline as the gl backend's OpenGL computes it:
// stage 0 (select or modulate, each product round(a * b / 255)), the alpha test,
// the D16 depth test and write, blending (each of the two products rounded on its
// own, the sum clamped), culling of a clockwise quad.
//
// Implemented: a copy that puts exactly its texels on the pixels (texelCopyUse, and
//   depth passing throughout) is a row copy; anything else is shaded pixel by pixel
//   from tables (a quad has one diffuse colour, so each channel stage 0 puts out is
//   a function of the texel's channel alone). While the depth buffer holds one value
//   throughout the clip (after a whole clear, or a whole copy), depth is tested once
//   a draw. A whole clear of the target that a plain copy then covers is left out.
// Does not: draw anything but texel copies (the device refused the rest when it
//   recorded them); dither.
#include <algorithm>
#include <cstring>

#include "cpu_device.h"

namespace fwcpu {

namespace {

// round(a * b / 255) of every pair of 8-bit values.
struct Products {
    uint8_t of[256][256];
    Products() {
        for (uint32_t a = 0; a < 256; ++a)
            for (uint32_t b = 0; b < 256; ++b) of[a][b] = static_cast<uint8_t>((a * b + 127) / 255);
    }
};

const Products& products() {
    static const Products table;
    return table;
}

inline uint32_t channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// At stage 0, CURRENT is the diffuse colour.
uint32_t argument(DWORD arg, uint32_t texel, uint32_t diffuse) { return arg == D3DTA_TEXTURE ? texel : diffuse; }

uint32_t combine(DWORD op, DWORD arg1, DWORD arg2, uint32_t texel, uint32_t diffuse) {
    switch (op) {
    case D3DTOP_SELECTARG1: return argument(arg1, texel, diffuse);
    case D3DTOP_SELECTARG2: return argument(arg2, texel, diffuse);
    case D3DTOP_MODULATE: return products().of[argument(arg1, texel, diffuse)][argument(arg2, texel, diffuse)];
    default: return diffuse;
    }
}

uint32_t blendFactor(DWORD factor, uint32_t sourceChannel, uint32_t sourceAlpha) {
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_SRCCOLOR: return sourceChannel;
    case D3DBLEND_INVSRCCOLOR: return 255 - sourceChannel;
    case D3DBLEND_SRCALPHA: return sourceAlpha;
    case D3DBLEND_INVSRCALPHA: return 255 - sourceAlpha;
    default: return 255;
    }
}

// Stage 0 and the alpha test of one draw. A disabled colour stage passes the
// diffuse colour, alpha included.
struct StagePlan {
    uint8_t out[4][256];        // by channel (B, G, R, A) of the texel
    bool keep[256];             // by the texel's alpha: the alpha test passes
    bool colourIsTexel = true;  // B, G and R come out as they went in (a white diffuse)
    // Alpha comes out as round(texel alpha * alphaScale / 255), and the alpha test
    // drops only texels whose alpha comes out 0 (which blending over leaves unseen).
    bool alphaIsScaled = true;
    uint32_t alphaScale = 0;

    StagePlan(const PipelineState& state, uint32_t diffuse) {
        bool disabled = state.colorOp == D3DTOP_DISABLE;
        for (uint32_t t = 0; t < 256; ++t) {
            for (int c = 0; c < 3; ++c)
                out[c][t] = static_cast<uint8_t>(
                    combine(state.colorOp, state.colorArg1, state.colorArg2, t, channel(diffuse, 8 * c)));
            uint32_t diffuseAlpha = channel(diffuse, 24);
            uint32_t alpha =
                disabled ? diffuseAlpha : combine(state.alphaOp, state.alphaArg1, state.alphaArg2, t, diffuseAlpha);
            out[3][t] = static_cast<uint8_t>(alpha);
            keep[t] = !state.alphaTestEnable || compareHolds(state.alphaFunc, alpha, state.alphaRef);
            colourIsTexel = colourIsTexel && out[0][t] == t && out[1][t] == t && out[2][t] == t;
        }
        alphaScale = out[3][255];
        for (uint32_t t = 0; t < 256; ++t)
            alphaIsScaled = alphaIsScaled && out[3][t] == products().of[t][alphaScale] && (keep[t] || out[3][t] == 0);
    }
    template <bool ColourIsTexel>
    uint32_t applyAs(uint32_t texel) const {
        if (!ColourIsTexel) return apply(texel);
        return (texel & 0x00FFFFFFu) | (static_cast<uint32_t>(out[3][texel >> 24]) << 24);
    }
    uint32_t apply(uint32_t texel) const {
        return out[0][texel & 0xFF] | (out[1][(texel >> 8) & 0xFF] << 8) | (out[2][(texel >> 16) & 0xFF] << 16) |
               (static_cast<uint32_t>(out[3][texel >> 24]) << 24);
    }
};

// round(x * f / 255) of the two 8-bit values x holds in bits 0-7 and 16-23, at once.
inline uint32_t scalePair(uint32_t x, uint32_t f) {
    uint32_t t = x * f + 0x00800080u;
    return ((t + ((t >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// scalePair on four pixels at once (GCC's and Clang's vectors: SIMD where the
// machine has it, plain code elsewhere).
typedef uint32_t Lanes __attribute__((vector_size(16)));
inline Lanes scalePairs(Lanes x, Lanes f) {
    Lanes t = x * f + 0x00800080u;
    return ((t + ((t >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
}

// Source over destination by the source's alpha, the player's blend, two channels at
// a time. No sum exceeds 255: mul(s, a) + mul(d, 255 - a) <= mul(255, a) + mul(255, 255 - a).
inline uint32_t over(uint32_t source, uint32_t destination) {
    uint32_t a = source >> 24, inverse = 255 - a;
    uint32_t blueRed = scalePair(source & 0x00FF00FFu, a) + scalePair(destination & 0x00FF00FFu, inverse);
    uint32_t greenAlpha =
        scalePair((source >> 8) & 0x00FF00FFu, a) + scalePair((destination >> 8) & 0x00FF00FFu, inverse);
    return blueRed | (greenAlpha << 8);
}

uint32_t blend(const PipelineState& state, uint32_t source, uint32_t destination) {
    const Products& p = products();
    uint32_t sourceAlpha = source >> 24, result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t s = channel(source, shift), d = channel(destination, shift);
        uint32_t value = p.of[s][blendFactor(state.srcBlend, s, sourceAlpha)] +
                         p.of[d][blendFactor(state.destBlend, s, sourceAlpha)];
        result |= std::min<uint32_t>(value, 255) << shift;
    }
    return result;
}

}  // namespace

void CpuDevice::replay(const FrameRecord& frame) {
    // A depth value still owed to the same clip is what the buffer holds there.
    if (!(depthPending && pendingRect == clip)) writePendingDepth();
    depthKnown = depthPending;
    depthValue = pendingValue;
    for (size_t i = 0; i < frame.commands.size(); ++i) {
        const FrameCommand& command = frame.commands[i];
        if (command.kind == FrameCommand::Draw) {
            replayDraw(frame, command);
            continue;
        }
        size_t rectCount = clearRectCount(command);
        if (rectCount == 0) {
            const FrameCommand* next = i + 1 < frame.commands.size() ? &frame.commands[i + 1] : nullptr;
            clearWhole(frame, command, next);
        }
        for (size_t r = 0; r < rectCount; ++r) fill(clearRect(frame, command, r, clip), command.clearFlags, command);
    }
}

// A Clear of the whole clip. Its colour is left out when the draw after it is a
// plain copy over all of it (the depth it leaves decides that, so it goes first).
void CpuDevice::clearWhole(const FrameRecord& frame, const FrameCommand& command, const FrameCommand* next) {
    DWORD flags = command.clearFlags;
    if (flags & D3DCLEAR_ZBUFFER) {
        fill(clip, D3DCLEAR_ZBUFFER, command);
        flags &= ~static_cast<DWORD>(D3DCLEAR_ZBUFFER);
    }
    if (flags && !(next && next->kind == FrameCommand::Draw && copyCoversClip(frame, *next)))
        fill(clip, flags, command);
}

// A Clear over part: the colour as it is (A8R8G8B8 is the surface's layout), and
// the depth as D16 stores it.
void CpuDevice::fill(const PixelRect& part, DWORD flags, const FrameCommand& command) {
    if (part.empty()) return;
    uint16_t zBits = depthBits(clearDepth(command));
    for (int y = part.top; (flags & D3DCLEAR_TARGET) && y < part.bottom; ++y) {
        uint32_t* row = pixels + static_cast<size_t>(y) * pitch;
        std::fill(row + part.left, row + part.right, static_cast<uint32_t>(command.clearColor));
    }
    if (flags & D3DCLEAR_ZBUFFER) setDepth(part, zBits, true);
}

// Depth z over part. Over the whole clip it is only noted (see depthPending); part
// of it makes the buffer hold its values first.
void CpuDevice::setDepth(const PixelRect& part, uint16_t z, bool wholePart) {
    if (part == clip && wholePart) {
        depthPending = true;
        pendingRect = clip;
        pendingValue = z;
        depthKnown = true;
        depthValue = z;
        return;
    }
    writePendingDepth();
    if (wholePart) writeDepth(part, z);
    if (!(depthKnown && depthValue == z)) depthKnown = false;
}

void CpuDevice::writePendingDepth() {
    if (!depthPending) return;
    depthPending = false;
    writeDepth(pendingRect, pendingValue);
}

// What the depth test does to a whole draw at z.
CpuDevice::DepthUse CpuDevice::depthUse(const PipelineState& state, uint16_t z) const {
    if (!state.zEnable || depth.empty() || state.zFunc == D3DCMP_ALWAYS) return DepthUse::Passes;
    if (!depthKnown) return DepthUse::PerPixel;
    return compareHolds(state.zFunc, z, depthValue) ? DepthUse::Passes : DepthUse::Fails;
}

// The draw's copy and the part of it within the clip; false when it draws nothing.
bool CpuDevice::planCopy(const FrameRecord& frame, const FrameCommand& command, CpuTexture** texture, TexelCopy* copy,
                         PixelRect* part) const {
    *texture = findTexture(command.textureId);
    if (!*texture || !asTexelCopy(frame, command, (*texture)->width, (*texture)->height, copy)) return false;
    // The fan goes clockwise on screen.
    if (command.state.cullMode == D3DCULL_CW) return false;
    *part = intersection(copy->target, clip);
    return !part->empty();
}

// Whether drawing puts exactly the texels of part on the pixels.
bool CpuDevice::isPlainCopy(const TexelCopy& copy, const PixelRect& part, CpuTexture* texture,
                            const PipelineState& state) const {
    TexelCopyUse use = texelCopyUse(state, copy.diffuse);
    if (use == TexelCopyUse::NotACopy || depthUse(state, depthBits(copy.z)) != DepthUse::Passes) return false;
    int texelX = copy.texelLeft + (part.left - copy.target.left);
    int texelY = copy.texelTop + (part.top - copy.target.top);
    return use == TexelCopyUse::PlainCopy ||
           texture->opaque({texelX, texelY, texelX + (part.right - part.left), texelY + (part.bottom - part.top)});
}

bool CpuDevice::copyCoversClip(const FrameRecord& frame, const FrameCommand& command) const {
    CpuTexture* texture = nullptr;
    TexelCopy copy;
    PixelRect part;
    return planCopy(frame, command, &texture, &copy, &part) && part == clip &&
           isPlainCopy(copy, part, texture, command.state);
}

void CpuDevice::replayDraw(const FrameRecord& frame, const FrameCommand& command) {
    CpuTexture* texture = nullptr;
    TexelCopy copy;
    PixelRect part;
    if (!planCopy(frame, command, &texture, &copy, &part)) return;
    const PipelineState& state = command.state;
    uint16_t z = depthBits(copy.z);
    DepthUse use = depthUse(state, z);
    if (use == DepthUse::Fails) return;
    bool plain = isPlainCopy(copy, part, texture, state);
    bool writesDepth = state.zEnable && state.zWriteEnable && !depth.empty() && !(depthKnown && depthValue == z);
    // A plain copy writes depth over all of part; a shaded draw pixel by pixel.
    if (writesDepth) setDepth(part, z, plain);
    if (plain) {
        copyRows(copy, part, *texture);
        ++stats.texelCopies;
    } else {
        shade(copy, part, *texture, state, use == DepthUse::PerPixel);
    }
}

void CpuDevice::copyRows(const TexelCopy& copy, const PixelRect& part, const TexelStore& texture) {
    int texelX = copy.texelLeft + (part.left - copy.target.left);
    int texelY = copy.texelTop + (part.top - copy.target.top);
    size_t rowBytes = static_cast<size_t>(part.right - part.left) * 4;
    for (int y = part.top; y < part.bottom; ++y)
        std::memcpy(pixels + static_cast<size_t>(y) * pitch + part.left, texture.row(texelY + y - part.top) + texelX,
                    rowBytes);
}

void CpuDevice::writeDepth(const PixelRect& part, uint16_t z) {
    for (int y = part.top; y < part.bottom; ++y) {
        uint16_t* row = depth.data() + static_cast<size_t>(y) * width;
        std::fill(row + part.left, row + part.right, z);
    }
}

namespace {

// One row of a shaded draw; Blend is kNoBlend, kOver or kAnyBlend.
enum { kNoBlend, kOver, kAnyBlend };
struct ShadeRow {
    const StagePlan& plan;
    const PipelineState& state;
    uint16_t z;
    bool depthPerPixel;
    bool writeZ;

    template <int Blend>
    void draw(const uint32_t* texels, uint32_t* row, uint16_t* depthRow, int left, int right) const {
        if (!depthPerPixel && !writeZ) return drawWithoutDepth<Blend>(texels, row, left, right);
        for (int x = left; x < right; ++x) {
            uint32_t texel = texels[x];
            if (!plan.keep[texel >> 24]) continue;
            if (depthPerPixel && !compareHolds(state.zFunc, z, depthRow[x])) continue;
            uint32_t source = plan.apply(texel);
            row[x] = Blend == kNoBlend ? source : Blend == kOver ? over(source, row[x]) : blend(state, source, row[x]);
            if (writeZ) depthRow[x] = z;
        }
    }
    // Without a branch on the alpha test (a texel it drops keeps the pixel): the
    // translucent pictures' alpha changes too often for a branch to be foreseen.
    template <int Blend>
    void drawWithoutDepth(const uint32_t* texels, uint32_t* row, int left, int right) const {
        if (plan.colourIsTexel) drawWithoutDepthAs<Blend, true>(texels, row, left, right);
        else drawWithoutDepthAs<Blend, false>(texels, row, left, right);
    }
    // The translucent pictures (the gallery's locks): over() four pixels at a time,
    // the same arithmetic, so the same pixels.
    int drawScaledOver(const uint32_t* texels, uint32_t* row, int left, int right) const {
        const Lanes mask = {0x00FF00FFu, 0x00FF00FFu, 0x00FF00FFu, 0x00FF00FFu};
        int x = left;
        for (; x + 4 <= right; x += 4) {
            Lanes texel, destination;
            std::memcpy(&texel, texels + x, sizeof texel);
            std::memcpy(&destination, row + x, sizeof destination);
            Lanes alpha = (texel >> 24) * plan.alphaScale + 0x80u;
            alpha = (alpha + (alpha >> 8)) >> 8;
            Lanes source = (texel & 0x00FFFFFFu) | (alpha << 24), inverse = 255u - alpha;
            Lanes blueRed = scalePairs(source & mask, alpha) + scalePairs(destination & mask, inverse);
            Lanes greenAlpha = scalePairs((source >> 8) & mask, alpha) + scalePairs((destination >> 8) & mask, inverse);
            Lanes drawn = blueRed | (greenAlpha << 8);
            std::memcpy(row + x, &drawn, sizeof drawn);
        }
        return x;
    }
    template <int Blend, bool ColourIsTexel>
    void drawWithoutDepthAs(const uint32_t* texels, uint32_t* row, int left, int right) const {
        if (Blend == kOver && ColourIsTexel && plan.alphaIsScaled) left = drawScaledOver(texels, row, left, right);
        for (int x = left; x < right; ++x) {
            uint32_t texel = texels[x], source = plan.applyAs<ColourIsTexel>(texel), destination = row[x];
            uint32_t drawn = Blend == kNoBlend ? source
                             : Blend == kOver  ? over(source, destination)
                                               : blend(state, source, destination);
            row[x] = plan.keep[texel >> 24] ? drawn : destination;
        }
    }
};

}  // namespace

// Pixel by pixel: stage 0, alpha test, depth test (unless it passes throughout),
// blending, depth write (where the test did not pass throughout at z already).
void CpuDevice::shade(const TexelCopy& copy, const PixelRect& part, const TexelStore& texture,
                      const PipelineState& state, bool depthPerPixel) {
    const StagePlan plan(state, copy.diffuse);
    uint16_t z = depthBits(copy.z);
    bool writeZ = state.zEnable && state.zWriteEnable && !depth.empty() && !(depthKnown && depthValue == z);
    if (depthPerPixel || writeZ) writePendingDepth();
    const ShadeRow shader = {plan, state, z, depthPerPixel, writeZ};
    int blendKind = !state.alphaBlendEnable                                                          ? kNoBlend
                    : state.srcBlend == D3DBLEND_SRCALPHA && state.destBlend == D3DBLEND_INVSRCALPHA ? kOver
                                                                                                     : kAnyBlend;
    int texelX = copy.texelLeft + (part.left - copy.target.left);
    for (int y = part.top; y < part.bottom; ++y) {
        const uint32_t* texels = texture.row(copy.texelTop + (y - copy.target.top)) + texelX - part.left;
        uint32_t* row = pixels + static_cast<size_t>(y) * pitch;
        uint16_t* depthRow = depth.empty() ? nullptr : depth.data() + static_cast<size_t>(y) * width;
        if (blendKind == kOver) shader.draw<kOver>(texels, row, depthRow, part.left, part.right);
        else if (blendKind == kNoBlend) shader.draw<kNoBlend>(texels, row, depthRow, part.left, part.right);
        else shader.draw<kAnyBlend>(texels, row, depthRow, part.left, part.right);
    }
}

}  // namespace fwcpu
