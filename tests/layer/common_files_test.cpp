// The common layer's fopen_s and MoveFileExA (the save is written beside and moved over).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/common/layer.h"

namespace {

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
