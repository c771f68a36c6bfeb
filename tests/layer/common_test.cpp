// The common layer: code page 932 decoding, MultiByteToWideChar's conventions, and
// fopen_s and MoveFileExA (the save is written beside and moved over).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/common/layer.h"

namespace {

TEST(Cp932ToUtf8, DecodesAsWindowsDoes) {
    const struct {
        const char* cp932;
        const char* utf8;
    } cases[] = {
        {"C:\\movies\\a~b.mpg", "C:\\movies\\a~b.mpg"},   // backslash and tilde stay ASCII
        {"\x8d\xc4\x90\xb6\x83\x65\x81\x5b\x83\x75\x83\x8b\x82\xcc\x93\xc7\x8d\x9e\x82\xdd\x82\xc9\x8e\xb8\x94\x73"
         "\x82\xb5\x82\xdc\x82\xb5\x82\xbd",
         "再生テーブルの読込みに失敗しました"},
        {"\x81\x60", "\uff5e"},   // where code page 932 differs from JIS-based tables
        {"\x87\x40", "\u2460"},   // NEC row 13
        {"\xfa\x40", "\u2170"},   // IBM extensions
        {"\xb1", "\uff71"},       // half-width katakana
        // Undefined or cut-off sequences: one U+FFFD per offending byte, then go on.
        {"a\xa0" "b", "a\ufffd" "b"},
        {"\x82 x", "\ufffd x"},
        {"ok\x82", "ok\ufffd"},
    };
    for (const auto& c : cases) EXPECT_EQ(fwlayer::cp932ToUtf8(c.cp932), std::string(c.utf8)) << c.utf8;
}

TEST(MultiByteToWideChar, LengthMinusOneSizeQueryAndShortBuffer) {
    const char* path = "movies/\x83\x65\x83\x58\x83\x67.mpg";   // movies/テスト.mpg
    int needed = MultiByteToWideChar(CP_ACP, 0, path, -1, nullptr, 0);
    EXPECT_EQ(needed, 15);   // the NUL counted
    wchar_t out[16];
    std::wmemset(out, L'#', 16);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, path, -1, out, needed - 1), 0);
    ASSERT_EQ(MultiByteToWideChar(932, 0, path, -1, out, needed), needed);
    EXPECT_EQ(std::wstring(out), L"movies/\u30c6\u30b9\u30c8.mpg");
    EXPECT_EQ(out[15], L'#');

    std::wmemset(out, L'#', 16);
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, "a\x82\xa0", 3, out, 16), 2);   // no NUL asked for, none written
    EXPECT_EQ(out[1], L'\u3042');
    EXPECT_EQ(out[2], L'#');
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "a", 1, out, 16), 0);   // a code page this layer does not have
}


std::string contents(const std::string& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(file)) != EOF;) text += char(c);
        std::fclose(file);
    }
    return text;
}

bool writeFile(const std::string& path, const char* text) {
    FILE* file = nullptr;
    if (fopen_s(&file, path.c_str(), "wb") != 0) return false;
    std::fputs(text, file);
    return std::fclose(file) == 0;
}

TEST(Files, FopenSOpensOrReportsAnErrnoWithANullHandle) {
    char folder[] = "/tmp/fw_files_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string dir = folder;
    FILE* file = reinterpret_cast<FILE*>(&file);   // must be cleared on failure
    EXPECT_EQ(fopen_s(&file, (dir + "/missing").c_str(), "rb"), ENOENT);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(fopen_s(&file, (dir + "/x").c_str(), "z"), EINVAL);
    EXPECT_EQ(fopen_s(nullptr, (dir + "/x").c_str(), "rb"), EINVAL);

    ASSERT_TRUE(writeFile(dir + "/new", "new"));
    ASSERT_TRUE(writeFile(dir + "/old", "old"));
    EXPECT_FALSE(MoveFileExA((dir + "/new").c_str(), (dir + "/old").c_str(), 0));
    EXPECT_EQ(contents(dir + "/old"), "old");
    EXPECT_TRUE(MoveFileExA((dir + "/new").c_str(), (dir + "/old").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(contents(dir + "/old"), "new");
    EXPECT_NE(access((dir + "/new").c_str(), F_OK), 0);
    EXPECT_FALSE(MoveFileExA((dir + "/missing").c_str(), (dir + "/any").c_str(), MOVEFILE_REPLACE_EXISTING));
    unlink((dir + "/old").c_str());
    rmdir(folder);
}

}  // namespace
