// drawQuad, the one way pictures reach the screen, and pointInRect, the hit test
// of every hover highlight and click.
#include "gfx/gfx.h"

static_assert(sizeof(ScreenVertex) == 28, "the stride given to DrawPrimitiveUP");

namespace {

void setVertex(ScreenVertex& Vertex, float x, float y, float z, float rhw, D3DCOLOR diffuse, float u, float v) {
    Vertex.x = x;
    Vertex.y = y;
    Vertex.z = z;
    Vertex.rhw = rhw;
    Vertex.diffuse = diffuse;
    Vertex.u = u;
    Vertex.v = v;
}

// A texel edge plus one half, over the texture's size: the texel centre that a
// whole-numbered pixel centre lands on.
float texelCoordinate(LONG Edge, UINT Size) {
    float Numerator = static_cast<float>(Edge + 0.5);
    return static_cast<float>(static_cast<double>(Numerator) / static_cast<double>(Size));
}

}  // namespace

int32_t drawQuad(IDirect3DDevice9* device, IDirect3DTexture9* texture, int32_t bindTexture, float x, float y,
                 const RECT* srcRect, D3DCOLOR color) {
    if (!texture) return 0;

    D3DSURFACE_DESC Desc;
    if (FAILED(texture->GetLevelDesc(0, &Desc)) || Desc.Width == 0 || Desc.Height == 0) return 0;

    RECT Rect;
    if (!srcRect) {
        Rect.left = 0;
        Rect.top = 0;
        Rect.right = static_cast<LONG>(Desc.Width);
        Rect.bottom = static_cast<LONG>(Desc.Height);
        srcRect = &Rect;
    }

    // 1:1: the quad has as many pixels as the source has texels.
    float Left = x;
    float Right = x + static_cast<float>(srcRect->right - srcRect->left);
    float Top = y;
    float Bottom = y + static_cast<float>(srcRect->bottom - srcRect->top);
    float ULeft = texelCoordinate(srcRect->left, Desc.Width);
    float URight = texelCoordinate(srcRect->right, Desc.Width);
    float VTop = texelCoordinate(srcRect->top, Desc.Height);
    float VBottom = texelCoordinate(srcRect->bottom, Desc.Height);

    ScreenVertex Vertex[4];
    setVertex(Vertex[0], Left, Top, 0.0f, 1.0f, color, ULeft, VTop);
    setVertex(Vertex[1], Right, Top, 0.0f, 1.0f, color, URight, VTop);
    setVertex(Vertex[2], Right, Bottom, 0.0f, 1.0f, color, URight, VBottom);
    setVertex(Vertex[3], Left, Bottom, 0.0f, 1.0f, color, ULeft, VBottom);

    if (bindTexture == 1) device->SetTexture(0, texture);
    device->SetFVF(SCREEN_VERTEX_FVF);
    device->DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, Vertex, sizeof(ScreenVertex));
    return 1;
}

int32_t pointInRect(const RECT* rect, const POINT* point) {
    LONG MinX = rect->left < rect->right ? rect->left : rect->right;
    LONG MaxX = rect->left < rect->right ? rect->right : rect->left;
    LONG MinY = rect->top < rect->bottom ? rect->top : rect->bottom;
    LONG MaxY = rect->top < rect->bottom ? rect->bottom : rect->top;
    return (MinX <= point->x && point->x <= MaxX && MinY <= point->y && point->y <= MaxY) ? 1 : 0;
}
