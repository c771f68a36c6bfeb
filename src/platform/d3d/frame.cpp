// Recording and comparing frames (see frame.h).
//
// Implements: FrameRecord, sameFrame, frameDamage, asTexelCopy, the clear rectangles, vertexCountFor.
// Does not: draw.
#include "frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace fwd3d {

static_assert(sizeof(PipelineState) % 4 == 0, "pipeline state holds 32-bit members only");
static_assert(sizeof(FrameCommand) == 10 * 4 + 2 * 8 + sizeof(PipelineState),
              "frame commands must have no hidden padding");

void FrameRecord::addClear(DWORD rectCount, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z) {
    FrameCommand command = {};
    command.kind = FrameCommand::Clear;
    command.clearFlags = flags;
    command.clearColor = color;
    std::memcpy(&command.clearDepthBits, &z, sizeof(z));
    command.dataOffset = static_cast<uint32_t>(data.size());
    command.dataSize = static_cast<uint32_t>(rectCount * sizeof(D3DRECT));
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(rects);
    if (rectCount > 0) data.insert(data.end(), bytes, bytes + command.dataSize);
    commands.push_back(command);
}

PixelRect clearRect(const FrameRecord& frame, const FrameCommand& command, size_t index, const PixelRect& clip) {
    D3DRECT rect;
    std::memcpy(&rect, frame.dataOf(command) + index * sizeof(D3DRECT), sizeof(rect));
    return intersection(
        {static_cast<int>(rect.x1), static_cast<int>(rect.y1), static_cast<int>(rect.x2), static_cast<int>(rect.y2)},
        clip);
}

float clearDepth(const FrameCommand& command) {
    float z = 0.0f;
    std::memcpy(&z, &command.clearDepthBits, sizeof(z));
    return z;
}

void FrameRecord::addDraw(const PipelineState& state, uint64_t textureId, uint64_t textureVersion, DWORD primitiveType,
                          UINT primitiveCount, const void* vertices, UINT vertexCount, UINT stride) {
    FrameCommand command = {};
    command.kind = FrameCommand::Draw;
    command.primitiveType = primitiveType;
    command.primitiveCount = primitiveCount;
    command.vertexStride = stride;
    command.dataOffset = static_cast<uint32_t>(data.size());
    command.dataSize = vertexCount * stride;
    command.textureId = textureId;
    command.textureVersion = textureVersion;
    command.state = state;
    const uint8_t* bytes = static_cast<const uint8_t*>(vertices);
    data.insert(data.end(), bytes, bytes + command.dataSize);
    commands.push_back(command);
}

bool sameFrame(const FrameRecord& a, const FrameRecord& b) {
    if (a.commands.size() != b.commands.size() || a.data.size() != b.data.size()) return false;
    if (!a.commands.empty() &&
        std::memcmp(a.commands.data(), b.commands.data(), a.commands.size() * sizeof(FrameCommand)) != 0)
        return false;
    return a.data.empty() || std::memcmp(a.data.data(), b.data.data(), a.data.size()) == 0;
}

namespace {

// Equal commands with equal data, wherever each frame keeps its data.
bool sameCommand(const FrameRecord& frameA, const FrameCommand& a, const FrameRecord& frameB, const FrameCommand& b) {
    FrameCommand placedA = a, placedB = b;
    placedA.dataOffset = 0;
    placedB.dataOffset = 0;
    if (std::memcmp(&placedA, &placedB, sizeof(FrameCommand)) != 0) return false;
    return a.dataSize == 0 || std::memcmp(frameA.dataOf(a), frameB.dataOf(b), a.dataSize) == 0;
}

// Grows damage by the pixels a draw can touch; a pixel more on each side covers any
// rounding of the rasterizer.
bool addDrawBounds(const FrameRecord& frame, const FrameCommand& command, PixelRect* damage) {
    if (command.kind != FrameCommand::Draw || command.vertexStride < 8) return false;
    const uint8_t* data = frame.dataOf(command);
    UINT vertexCount = command.dataSize / command.vertexStride;
    for (UINT i = 0; i < vertexCount; ++i) {
        float position[2];
        std::memcpy(position, data + static_cast<size_t>(i) * command.vertexStride, sizeof(position));
        if (!(position[0] > -1e6f && position[0] < 1e6f && position[1] > -1e6f && position[1] < 1e6f)) return false;
        int left = static_cast<int>(std::floor(position[0])) - 1, right = static_cast<int>(std::ceil(position[0])) + 1;
        int top = static_cast<int>(std::floor(position[1])) - 1, bottom = static_cast<int>(std::ceil(position[1])) + 1;
        if (damage->empty()) {
            *damage = {left, top, right, bottom};
        } else {
            damage->left = std::min(damage->left, left);
            damage->top = std::min(damage->top, top);
            damage->right = std::max(damage->right, right);
            damage->bottom = std::max(damage->bottom, bottom);
        }
    }
    return true;
}

}  // namespace

bool frameDamage(const FrameRecord& previous, const FrameRecord& next, int width, int height, PixelRect* damage) {
    *damage = {0, 0, 0, 0};
    size_t previousCount = previous.commands.size(), nextCount = next.commands.size();
    size_t prefix = 0;
    while (prefix < previousCount && prefix < nextCount &&
           sameCommand(previous, previous.commands[prefix], next, next.commands[prefix]))
        ++prefix;
    size_t suffix = 0;
    while (suffix < previousCount - prefix && suffix < nextCount - prefix &&
           sameCommand(previous, previous.commands[previousCount - 1 - suffix], next,
                       next.commands[nextCount - 1 - suffix]))
        ++suffix;
    for (size_t i = prefix; i < previousCount - suffix; ++i)
        if (!addDrawBounds(previous, previous.commands[i], damage)) return false;
    for (size_t i = prefix; i < nextCount - suffix; ++i)
        if (!addDrawBounds(next, next.commands[i], damage)) return false;
    damage->left = std::max(damage->left, 0);
    damage->top = std::max(damage->top, 0);
    damage->right = std::min(damage->right, width);
    damage->bottom = std::min(damage->bottom, height);
    if (damage->empty()) *damage = {0, 0, 0, 0};
    return true;
}

namespace {

bool wholeNumber(float value) { return value > -16384.0f && value < 16384.0f && value == std::floor(value); }

// The texel whose centre the coordinate names, when it names one to within a
// thousandth of a texel.
bool texelCentre(float coordinate, UINT size, int* texel) {
    double position = static_cast<double>(coordinate) * size - 0.5;
    double nearest = std::floor(position + 0.5);
    if (!(std::fabs(position - nearest) < 1e-3)) return false;
    *texel = static_cast<int>(nearest);
    return true;
}

}  // namespace

bool asTexelCopy(const FrameRecord& frame, const FrameCommand& command, UINT textureWidth, UINT textureHeight,
                 TexelCopy* copy) {
    if (command.kind != FrameCommand::Draw || command.primitiveType != D3DPT_TRIANGLEFAN ||
        command.primitiveCount != 2 || command.vertexStride != 28 || command.dataSize != 4 * 28)
        return false;
    if (textureWidth == 0 || textureHeight == 0 || textureWidth > 16384 || textureHeight > 16384) return false;
    struct Vertex {
        float x, y, z, rhw;
        DWORD diffuse;
        float u, v;
    };
    static_assert(sizeof(Vertex) == 28, "screen vertex layout");
    Vertex v[4];
    std::memcpy(v, frame.dataOf(command), sizeof(v));
    for (const Vertex& vertex : v)
        if (!wholeNumber(vertex.x) || !wholeNumber(vertex.y) || vertex.diffuse != v[0].diffuse || vertex.z != v[0].z)
            return false;
    if (v[1].x != v[2].x || v[0].x != v[3].x || v[0].y != v[1].y || v[2].y != v[3].y) return false;
    if (v[1].u != v[2].u || v[0].u != v[3].u || v[0].v != v[1].v || v[2].v != v[3].v) return false;
    int width = static_cast<int>(v[1].x - v[0].x), height = static_cast<int>(v[3].y - v[0].y);
    int left = 0, right = 0, top = 0, bottom = 0;
    if (width <= 0 || height <= 0 || !texelCentre(v[0].u, textureWidth, &left) ||
        !texelCentre(v[1].u, textureWidth, &right) || !texelCentre(v[0].v, textureHeight, &top) ||
        !texelCentre(v[3].v, textureHeight, &bottom))
        return false;
    if (right - left != width || bottom - top != height) return false;
    if (left < 0 || top < 0 || right > static_cast<int>(textureWidth) || bottom > static_cast<int>(textureHeight))
        return false;
    int x = static_cast<int>(v[0].x), y = static_cast<int>(v[0].y);
    copy->target = {x, y, x + width, y + height};
    copy->texelLeft = left;
    copy->texelTop = top;
    copy->diffuse = v[0].diffuse;
    copy->z = v[0].z;
    return true;
}

UINT vertexCountFor(DWORD primitiveType, UINT primitiveCount) {
    if (primitiveCount == 0) return 0;
    switch (primitiveType) {
    case D3DPT_TRIANGLELIST: return primitiveCount * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitiveCount + 2;
    default: return 0;
    }
}

}  // namespace fwd3d
