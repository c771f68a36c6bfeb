// One frame's drawing as the device received it: every Clear and every draw, each
// draw with the full pipeline state, the texture (by identity and content version)
// and a copy of its vertices. Present compares the new frame with the last one shown
// and draws only when they differ. Shared by the gl and cpu backends; no drawing here.
//
// Implements: the record of a frame, its comparison, its damage, texel copies.
// Does not: draw, or know a backend.
#pragma once

#include <cstdint>
#include <vector>

#include "pipeline_state.h"

namespace fwd3d {

// Every member is 32 or 64 bits wide and the layout has no padding, so commands
// compare byte for byte.
struct FrameCommand {
    enum Kind : uint32_t { Clear = 1, Draw = 2 };
    uint32_t kind;
    // Clear: flags, colour, depth (float bits); the rectangles are in the data.
    uint32_t clearFlags;
    uint32_t clearColor;
    uint32_t clearDepthBits;
    // Draw: primitive type and count, vertex stride; the vertices are in the data.
    uint32_t primitiveType;
    uint32_t primitiveCount;
    uint32_t vertexStride;
    uint32_t dataOffset;
    uint32_t dataSize;
    uint32_t reserved;
    uint64_t textureId;       // 0: no texture
    uint64_t textureVersion;  // grows with every unlock of that texture
    PipelineState state;
};

struct FrameRecord {
    std::vector<FrameCommand> commands;
    std::vector<uint8_t> data;

    void reset() {
        commands.clear();
        data.clear();
    }
    void addClear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z);
    void addDraw(const PipelineState& state, uint64_t textureId, uint64_t textureVersion, DWORD primitiveType,
                 UINT primitiveCount, const void* vertices, UINT vertexCount, UINT stride);
    const uint8_t* dataOf(const FrameCommand& command) const { return data.data() + command.dataOffset; }
    // Takes back the last command added (one a backend cannot draw).
    void removeLast() {
        data.resize(commands.back().dataOffset);
        commands.pop_back();
    }
};

bool sameFrame(const FrameRecord& a, const FrameRecord& b);

// A rectangle of back-buffer pixels, right and bottom exclusive.
struct PixelRect {
    int left, top, right, bottom;
    bool empty() const { return left >= right || top >= bottom; }
};
inline bool operator==(const PixelRect& a, const PixelRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
// The pixels in both a and b (empty when they do not meet).
inline PixelRect intersection(const PixelRect& a, const PixelRect& b) {
    return {a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top, a.right < b.right ? a.right : b.right,
            a.bottom < b.bottom ? a.bottom : b.bottom};
}

// A Clear's rectangles as it was given them (none: the whole target), the one at
// index as back-buffer pixels within clip, and its depth value.
inline size_t clearRectCount(const FrameCommand& command) { return command.dataSize / sizeof(D3DRECT); }
PixelRect clearRect(const FrameRecord& frame, const FrameCommand& command, size_t index, const PixelRect& clip);
float clearDepth(const FrameCommand& command);

// The pixels that can differ between drawing previous and drawing next on the same
// starting picture: the commands both frames share at their start and at their end
// are left out, and what lies between, in either frame, is bounded by its vertices.
// False when that middle holds a Clear or a vertex off any pixel grid (NaN,
// infinity): then everything is redrawn. The rectangle is clipped to width x height.
bool frameDamage(const FrameRecord& previous, const FrameRecord& next, int width, int height, PixelRect* damage);

// A draw that copies a texel rectangle to a pixel rectangle of the same size, as the
// screens draw pictures: a fan of four vertices in the order top left, top right,
// bottom right, bottom left, at whole positions, with coordinates on texel centres
// (texel + 0.5) / size, one diffuse colour and one depth.
struct TexelCopy {
    PixelRect target;  // back-buffer pixels
    int texelLeft;     // the texel drawn at target's top left
    int texelTop;
    DWORD diffuse;
    float z;
};
bool asTexelCopy(const FrameRecord& frame, const FrameCommand& command, UINT textureWidth, UINT textureHeight,
                 TexelCopy* copy);

// Vertices a primitive list of this type and count uses, 0 for an unsupported type.
UINT vertexCountFor(DWORD primitiveType, UINT primitiveCount);

}  // namespace fwd3d
