// Code page 932 decoding of the common layer: the program's message texts, the
// code points where code page 932 differs from plain Shift-JIS, undefined bytes,
// and MultiByteToWideChar's Windows conventions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/common/layer.h"

namespace {

struct Case {
    const char* name;
    const char* cp932;
    const char* utf8;
};

const Case kCases[] = {
    {"ascii", "Fernwood2 Error!!", "Fernwood2 Error!!"},
    {"backslash and tilde stay ASCII", "C:\\movies\\a~b.mpg", "C:\\movies\\a~b.mpg"},
    {"window", "\x83\x45\x83\x42\x83\x93\x83\x68\x83\x45\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82"
               "\xdc\x82\xb5\x82\xbd",
     "ウィンドウの作成に失敗しました"},
    {"graphics", "DirectGraphics\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd",
     "DirectGraphicsの初期化に失敗しました"},
    {"play table", "\x8d\xc4\x90\xb6\x83\x65\x81\x5b\x83\x75\x83\x8b\x82\xcc\x93\xc7\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8"
                   "\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd",
     "再生テーブルの読込みに失敗しました"},
    {"thumbnail table", "\x83\x54\x83\x80\x83\x6c\x83\x43\x83\x8b\x83\x65\x81\x5b\x83\x75\x83\x8b\x82\xcc\x93\xc7\x8d"
                        "\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd",
     "サムネイルテーブルの読込みに失敗しました"},
    {"save", "\x83\x66\x81\x5b\x83\x5e\x82\xcc\x83\x5a\x81\x5b\x83\x75\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82"
             "\xb5\x82\xbd",
     "データのセーブに失敗しました"},
    // Where the Windows table differs from JIS-based Shift-JIS decoders.
    {"horizontal bar", "\x81\x5c", "\u2015"},
    {"fullwidth tilde", "\x81\x60", "\uff5e"},
    {"parallel", "\x81\x61", "\u2225"},
    {"fullwidth minus", "\x81\x7c", "\uff0d"},
    {"NEC circled digit", "\x87\x40", "\u2460"},
    {"IBM extension", "\xfa\x40", "\u2170"},
    {"half-width katakana", "\xb1", "\uff71"},
    // Undefined or cut-off sequences: one U+FFFD per offending byte, then go on.
    {"undefined single byte", "a\xa0" "b", "a\ufffd" "b"},
    {"undefined high byte", "\xfd", "\ufffd"},
    {"lead byte before a space", "\x82 x", "\ufffd x"},
    {"lead byte at the end", "ok\x82", "ok\ufffd"},
};

TEST(Cp932ToUtf8, DecodesAsWindowsDoes) {
    for (const Case& c : kCases) EXPECT_EQ(fwlayer::cp932ToUtf8(c.cp932), std::string(c.utf8)) << c.name;
}

TEST(Cp932ToUtf8, ExplicitLengthKeepsEmbeddedNul) {
    EXPECT_EQ(fwlayer::cp932ToUtf8("a\0b", 3), std::string("a\0b", 3));
    EXPECT_EQ(fwlayer::cp932ToUtf8("\x82\xa0", 1), "\ufffd");   // the length cuts the pair
    EXPECT_EQ(fwlayer::cp932ToUtf8(nullptr), "");
}

TEST(MultiByteToWideChar, CountsTheNulWhenLengthIsMinusOne) {
    wchar_t out[8];
    std::wmemset(out, L'#', 8);
    ASSERT_EQ(MultiByteToWideChar(932, 0, "a\x82\xa0", -1, out, 8), 3);   // "aあ" and the NUL
    EXPECT_EQ(out[0], L'a');
    EXPECT_EQ(out[1], L'\u3042');
    EXPECT_EQ(out[2], L'\0');
    EXPECT_EQ(out[3], L'#');

    std::wmemset(out, L'#', 8);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\x82\xa0", 3, out, 8), 2);   // no NUL asked for, none written
    EXPECT_EQ(out[1], L'\u3042');
    EXPECT_EQ(out[2], L'#');
}

TEST(MultiByteToWideChar, SizeQueryAndShortBuffer) {
    const char* path = "movies/\x83\x65\x83\x58\x83\x67.mpg";   // movies/テスト.mpg
    int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    EXPECT_EQ(needed, 15);
    wchar_t out[15];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, path, -1, out, needed - 1), 0);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, path, -1, out, needed), needed);
    EXPECT_EQ(std::wstring(out), L"movies/\u30c6\u30b9\u30c8.mpg");
}

TEST(MultiByteToWideChar, Utf8AndRefusals) {
    wchar_t out[8];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xc3\xa9\xff", 3, out, 8), 2);
    EXPECT_EQ(out[0], L'\u00e9');
    EXPECT_EQ(out[1], L'\ufffd');

    struct Refusal {
        UINT codePage;
        DWORD flags;
        const char* text;
        int length;
        int capacity;
    } const refusals[] = {
        {1252, 0, "a", 1, 8},    // a code page this layer does not have
        {932, 8, "a", 1, 8},     // MB_ERR_INVALID_CHARS
        {932, 0, nullptr, 1, 8},
        {932, 0, "a", 0, 8},
        {932, 0, "a", -2, 8},
        {932, 0, "a", 1, -1},
    };
    for (const Refusal& r : refusals)
        EXPECT_EQ(MultiByteToWideChar(r.codePage, r.flags, r.text, r.length, out, r.capacity), 0)
            << r.codePage << " " << r.flags << " " << r.length << " " << r.capacity;
}

}  // namespace
