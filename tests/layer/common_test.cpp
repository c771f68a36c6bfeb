// The common layer: code page 932 decoding, MultiByteToWideChar's conventions, and the
// child video's lent frames. fopen_s and MoveFileExA are exercised by the save's unit tests.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "platform/common/layer.h"

namespace {

TEST(Cp932ToUtf8, DecodesAsWindowsDoes) {
    const struct {
        const char* cp932;
        const char* utf8;
    } cases[] = {
        {"C:\\movies\\a~b.mpg", "C:\\movies\\a~b.mpg"},  // backslash and tilde stay ASCII
        {"\x8d\xc4\x90\xb6\x83\x65\x81\x5b\x83\x75\x83\x8b", "再生テーブル"},
        {"\x81\x60", "\uff5e"},                // where code page 932 differs from JIS-based tables
        {"\x87\x40", "\u2460"},                // NEC row 13
        {"\xfa\x40", "\u2170"},                // IBM extensions
        {"\xb1", "\uff71"},                    // half-width katakana
        {"\x95\x5c\x8e\xa6", "\u8868\u793a"},  // 0x5C as a trail byte belongs to its character
        // Undefined or cut-off sequences: one U+FFFD per offending byte, then go on.
        {"a\xa0\x62", "a\ufffdb"},  // a, an undefined byte, b
        {"\x82 x", "\ufffd x"},
        {"ok\x82", "ok\ufffd"},
    };
    for (const auto& c : cases) EXPECT_EQ(fwlayer::cp932ToUtf8(c.cp932), std::string(c.utf8)) << c.utf8;
}

// As the player converts a clip's path: length -1, the NUL counted and written.
TEST(MultiByteToWideChar, LengthMinusOneSizeQueryAndShortBuffer) {
    const char* path = "movies/\x83\x65\x83\x58\x83\x67.mpg";  // movies/テスト.mpg
    int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    EXPECT_EQ(needed, 15);  // the NUL counted
    wchar_t out[16];
    std::wmemset(out, L'#', 16);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, path, -1, out, needed - 1), 0);
    ASSERT_EQ(MultiByteToWideChar(932, 0, path, -1, out, needed), needed);
    EXPECT_EQ(std::wstring(out), L"movies/\u30c6\u30b9\u30c8.mpg");
    EXPECT_EQ(out[15], L'#');
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, out, 16), 0);  // a code page this layer does not have
}

// A lent frame is shown where it lies, with its own stride, and handed back exactly
// once: when the next frame (lent or copied) replaces it, on a clear, on destruction.
void remember(const fwlayer::ChildVideoView& view, void* user) { *static_cast<fwlayer::ChildVideoView*>(user) = view; }

void countRelease(void* user) { ++*static_cast<int*>(user); }

TEST(ChildVideo, ALentFrameIsShownInPlaceAndHandedBackOnce) {
    HWND owner = reinterpret_cast<HWND>(uintptr_t{0x1000});  // no window: no repaint is asked
    uint8_t pixels[2 * 8] = {};
    const struct {
        const char* replacedBy;
        void (*replace)(fwlayer::ChildVideo*, uint8_t*);
    } cases[] = {
        {"a copied frame", [](fwlayer::ChildVideo* v, uint8_t* p) { fwlayer::childVideoPushFrame(v, p, 1, 1, 4); }},
        {"a lent frame",
         [](fwlayer::ChildVideo* v, uint8_t* p) { fwlayer::childVideoLendFrame(v, p, 1, 1, 4, nullptr, nullptr); }},
        {"a clear", [](fwlayer::ChildVideo* v, uint8_t*) { fwlayer::childVideoClearFrame(v); }},
        {"destruction", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.replacedBy);
        fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
        fwlayer::childVideoSetOwner(video, owner);
        fwlayer::childVideoSetVisible(video, true);
        int released = 0;
        fwlayer::childVideoLendFrame(video, pixels, 1, 2, 8, &countRelease, &released);
        fwlayer::ChildVideoView shown = {};
        fwlayer::childVideoForEachVisible(owner, &remember, &shown);
        EXPECT_EQ(shown.frameBgra, pixels);
        EXPECT_EQ(shown.frameStride, 8);
        EXPECT_EQ(released, 0);
        if (c.replace) {
            c.replace(video, pixels + 8);
            EXPECT_EQ(released, 1);
        }
        fwlayer::childVideoDestroy(video);
        EXPECT_EQ(released, 1);
    }
    int refused = 0;  // a stride shorter than a row: not taken, handed back at once
    fwlayer::ChildVideo* video = fwlayer::childVideoCreate();
    fwlayer::childVideoLendFrame(video, pixels, 2, 1, 4, &countRelease, &refused);
    EXPECT_EQ(refused, 1);
    fwlayer::childVideoDestroy(video);
}

}  // namespace
