// Recording and comparing frames (see gl_frame.h).
#include "gl_frame.h"

#include <cstring>

namespace fwgl {

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

void FrameRecord::addDraw(const PipelineState& state, uint64_t textureId, uint64_t textureVersion,
                          DWORD primitiveType, UINT primitiveCount, const void* vertices, UINT vertexCount,
                          UINT stride) {
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

UINT vertexCountFor(DWORD primitiveType, UINT primitiveCount) {
    if (primitiveCount == 0) return 0;
    switch (primitiveType) {
    case D3DPT_TRIANGLELIST: return primitiveCount * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitiveCount + 2;
    default: return 0;
    }
}

}  // namespace fwgl
