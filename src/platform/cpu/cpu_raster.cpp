// A recorded frame into the window's pixels within the device's clip: clears, and
// texel copies through the fixed pipeline as the gl backend's OpenGL computes it:
// stage 0 (select or modulate, each product round(a * b / 255)), the alpha test,
// the D16 depth test and write, blending (each of the two products rounded on its
// own, the sum clamped), culling of a clockwise quad.
//
// Implemented: a copy that puts exactly its texels on the pixels (texelCopyUse, and
//   depth passing throughout) is a row copy; anything else is shaded pixel by pixel.
// Does not: draw anything but texel copies (the device refused the rest when it
//   recorded them); dither.
#include <cstring>

#include "cpu_device.h"

namespace fwcpu {

namespace {

inline uint32_t mul(uint32_t a, uint32_t b) { return (a * b + 127) / 255; }

inline uint32_t channel(uint32_t pixel, int shift) { return (pixel >> shift) & 0xFF; }

// Where a stage argument's value comes from: the texel or the diffuse colour (at
// stage 0, CURRENT is the diffuse colour).
inline uint32_t argument(DWORD arg, uint32_t texel, uint32_t diffuse) { return arg == D3DTA_TEXTURE ? texel : diffuse; }

// One channel of stage 0's result. A disabled colour stage passes the diffuse
// colour, alpha included.
inline uint32_t combine(DWORD op, DWORD arg1, DWORD arg2, uint32_t texel, uint32_t diffuse) {
    switch (op) {
    case D3DTOP_SELECTARG1: return argument(arg1, texel, diffuse);
    case D3DTOP_SELECTARG2: return argument(arg2, texel, diffuse);
    case D3DTOP_MODULATE: return mul(argument(arg1, texel, diffuse), argument(arg2, texel, diffuse));
    default: return diffuse;
    }
}

inline uint32_t blendFactor(DWORD factor, uint32_t sourceChannel, uint32_t sourceAlpha) {
    switch (factor) {
    case D3DBLEND_ZERO: return 0;
    case D3DBLEND_SRCCOLOR: return sourceChannel;
    case D3DBLEND_INVSRCCOLOR: return 255 - sourceChannel;
    case D3DBLEND_SRCALPHA: return sourceAlpha;
    case D3DBLEND_INVSRCALPHA: return 255 - sourceAlpha;
    default: return 255;
    }
}

// The stage's output for one texel, or false when the alpha test drops it.
bool stageOutput(const PipelineState& state, uint32_t texel, uint32_t diffuse, uint32_t* out) {
    bool disabled = state.colorOp == D3DTOP_DISABLE;
    uint32_t alpha = disabled ? channel(diffuse, 24)
                              : combine(state.alphaOp, state.alphaArg1, state.alphaArg2, channel(texel, 24),
                                        channel(diffuse, 24));
    if (state.alphaTestEnable && !compareHolds(state.alphaFunc, alpha, state.alphaRef)) return false;
    uint32_t result = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8)
        result |= combine(state.colorOp, state.colorArg1, state.colorArg2, channel(texel, shift),
                          channel(diffuse, shift))
                  << shift;
    *out = result;
    return true;
}

uint32_t blend(const PipelineState& state, uint32_t source, uint32_t destination) {
    uint32_t sourceAlpha = channel(source, 24), result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        uint32_t s = channel(source, shift), d = channel(destination, shift);
        uint32_t value = mul(s, blendFactor(state.srcBlend, s, sourceAlpha)) +
                         mul(d, blendFactor(state.destBlend, s, sourceAlpha));
        result |= (value > 255 ? 255 : value) << shift;
    }
    return result;
}

}  // namespace

void CpuDevice::replay(const FrameRecord& frame) {
    for (const FrameCommand& command : frame.commands) {
        if (command.kind == FrameCommand::Draw) {
            replayDraw(frame, command);
            continue;
        }
        size_t rectCount = command.dataSize / sizeof(D3DRECT);
        if (rectCount == 0) fill(clip, command);
        const uint8_t* data = frame.dataOf(command);
        for (size_t i = 0; i < rectCount; ++i) {
            D3DRECT rect;
            std::memcpy(&rect, data + i * sizeof(D3DRECT), sizeof(rect));
            fill(intersection({static_cast<int>(rect.x1), static_cast<int>(rect.y1), static_cast<int>(rect.x2),
                               static_cast<int>(rect.y2)},
                              clip),
                 command);
        }
    }
}

// A Clear over part: the colour as it is (A8R8G8B8 is the surface's layout), and
// the depth as D16 stores it.
void CpuDevice::fill(const PixelRect& part, const FrameCommand& command) {
    if (part.empty()) return;
    float z = 0.0f;
    std::memcpy(&z, &command.clearDepthBits, sizeof(z));
    uint16_t zBits = depthBits(z);
    for (int y = part.top; y < part.bottom; ++y) {
        if (command.clearFlags & D3DCLEAR_TARGET) {
            uint32_t* row = pixels + static_cast<size_t>(y) * pitch;
            for (int x = part.left; x < part.right; ++x) row[x] = command.clearColor;
        }
        if (command.clearFlags & D3DCLEAR_ZBUFFER) {
            uint16_t* row = depth.data() + static_cast<size_t>(y) * width;
            for (int x = part.left; x < part.right; ++x) row[x] = zBits;
        }
    }
}

void CpuDevice::replayDraw(const FrameRecord& frame, const FrameCommand& command) {
    CpuTexture* texture = findTexture(command.textureId);
    TexelCopy copy;
    if (!texture || !asTexelCopy(frame, command, texture->width, texture->height, &copy)) return;
    // The fan goes clockwise on screen.
    if (command.state.cullMode == D3DCULL_CW) return;
    PixelRect part = intersection(copy.target, clip);
    if (part.empty()) return;
    if (copyPlain(copy, part, texture, command.state)) {
        ++stats.texelCopies;
        return;
    }
    shade(copy, part, *texture, command.state);
}

bool CpuDevice::depthPassesThroughout(const PixelRect& part, uint16_t z, DWORD func) const {
    if (func == D3DCMP_ALWAYS) return true;
    for (int y = part.top; y < part.bottom; ++y) {
        const uint16_t* row = depth.data() + static_cast<size_t>(y) * width;
        for (int x = part.left; x < part.right; ++x)
            if (!compareHolds(func, z, row[x])) return false;
    }
    return true;
}

// The copy as rows of texels, when drawing it would put exactly those texels there.
bool CpuDevice::copyPlain(const TexelCopy& copy, const PixelRect& part, CpuTexture* texture,
                          const PipelineState& state) {
    TexelCopyUse use = texelCopyUse(state, copy.diffuse);
    if (use == TexelCopyUse::NotACopy) return false;
    int texelX = copy.texelLeft + (part.left - copy.target.left);
    int texelY = copy.texelTop + (part.top - copy.target.top);
    PixelRect texels = {texelX, texelY, texelX + (part.right - part.left), texelY + (part.bottom - part.top)};
    if (use == TexelCopyUse::CopyIfOpaque && !texture->opaque(texels)) return false;
    uint16_t z = depthBits(copy.z);
    bool depthTest = state.zEnable && !depth.empty();
    if (depthTest && !depthPassesThroughout(part, z, state.zFunc)) return false;
    size_t rowBytes = static_cast<size_t>(part.right - part.left) * 4;
    for (int y = part.top; y < part.bottom; ++y) {
        std::memcpy(pixels + static_cast<size_t>(y) * pitch + part.left, texture->row(texelY + y - part.top) + texelX,
                    rowBytes);
        if (!depthTest || !state.zWriteEnable) continue;
        uint16_t* depthRow = depth.data() + static_cast<size_t>(y) * width;
        for (int x = part.left; x < part.right; ++x) depthRow[x] = z;
    }
    return true;
}

// Pixel by pixel: stage 0, alpha test, depth test, blending, depth write.
void CpuDevice::shade(const TexelCopy& copy, const PixelRect& part, const TexelStore& texture,
                      const PipelineState& state) {
    uint16_t z = depthBits(copy.z);
    bool depthTest = state.zEnable && !depth.empty();
    int texelX = copy.texelLeft + (part.left - copy.target.left);
    for (int y = part.top; y < part.bottom; ++y) {
        const uint32_t* texels = texture.row(copy.texelTop + (y - copy.target.top)) + texelX - part.left;
        uint32_t* row = pixels + static_cast<size_t>(y) * pitch;
        uint16_t* depthRow = depthTest ? depth.data() + static_cast<size_t>(y) * width : nullptr;
        for (int x = part.left; x < part.right; ++x) {
            uint32_t source = 0;
            if (!stageOutput(state, texels[x], copy.diffuse, &source)) continue;
            if (depthTest && !compareHolds(state.zFunc, z, depthRow[x])) continue;
            row[x] = state.alphaBlendEnable ? blend(state, source, row[x]) : source;
            if (depthTest && state.zWriteEnable) depthRow[x] = z;
        }
    }
}

}  // namespace fwcpu
