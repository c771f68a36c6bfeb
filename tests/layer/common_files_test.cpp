// The file calls of the common layer: fopen_s's contract, MoveFileExA with and
// without replacing, DeleteFileA; and the linked-in icon resource.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/common/layer.h"

namespace {

class FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/fw_files_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }

    std::string path(const char* name) const { return folder + "/" + name; }
    void write(const char* name, const std::string& text) const { std::ofstream(path(name)) << text; }
    std::string read(const char* name) const {
        std::ifstream in(path(name));
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    bool exists(const char* name) const { return access(path(name).c_str(), F_OK) == 0; }

    std::string folder;
};

TEST_F(FilesTest, FopenSOpensOrReportsAnErrnoWithANullHandle) {
    FILE* file = reinterpret_cast<FILE*>(&file);   // must be cleared on failure
    EXPECT_EQ(fopen_s(&file, path("missing").c_str(), "rb"), ENOENT);
    EXPECT_EQ(file, nullptr);

    file = reinterpret_cast<FILE*>(&file);
    EXPECT_EQ(fopen_s(&file, path("x").c_str(), "z"), EINVAL);
    EXPECT_EQ(file, nullptr);
    EXPECT_EQ(fopen_s(&file, nullptr, "rb"), EINVAL);
    EXPECT_EQ(fopen_s(nullptr, path("x").c_str(), "rb"), EINVAL);

    ASSERT_EQ(fopen_s(&file, path("save").c_str(), "wb"), 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(std::fwrite("abcd", 1, 4, file), 4u);
    std::fclose(file);
    EXPECT_EQ(read("save"), "abcd");
}

TEST_F(FilesTest, MoveFileExReplacesOnlyWhenAsked) {
    write("new", "new");
    write("old", "old");
    EXPECT_FALSE(MoveFileExA(path("new").c_str(), path("old").c_str(), 0));
    EXPECT_EQ(read("old"), "old");
    EXPECT_EQ(read("new"), "new");

    EXPECT_TRUE(MoveFileExA(path("new").c_str(), path("old").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_EQ(read("old"), "new");
    EXPECT_FALSE(exists("new"));

    EXPECT_TRUE(MoveFileExA(path("old").c_str(), path("renamed").c_str(), 0));
    EXPECT_EQ(read("renamed"), "new");

    EXPECT_FALSE(MoveFileExA(path("missing").c_str(), path("any").c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(MoveFileExA(path("renamed").c_str(), path("copy").c_str(), 0x2));   // MOVEFILE_COPY_ALLOWED
    EXPECT_TRUE(exists("renamed"));
}

TEST_F(FilesTest, DeleteFileRemovesFilesOnly) {
    write("file", "x");
    ASSERT_EQ(mkdir(path("folder").c_str(), 0700), 0);
    EXPECT_TRUE(DeleteFileA(path("file").c_str()));
    EXPECT_FALSE(exists("file"));
    EXPECT_FALSE(DeleteFileA(path("file").c_str()));
    EXPECT_FALSE(DeleteFileA(path("folder").c_str()));
    EXPECT_TRUE(exists("folder"));
}

TEST(Resources, MainIconIsAnIconGroupFile) {
    fwlayer::Resource icon = fwlayer::findResource("MAINICON");
    ASSERT_NE(icon.data, nullptr);
    ASSERT_GE(icon.size, 6u);
    const uint8_t* d = icon.data;
    EXPECT_EQ(d[0] | (d[1] << 8), 0);   // reserved
    EXPECT_EQ(d[2] | (d[3] << 8), 1);   // an icon
    int count = d[4] | (d[5] << 8);
    ASSERT_GE(count, 1);
    ASSERT_GE(icon.size, 6u + 16u * count);
    for (int i = 0; i < count; ++i) {
        const uint8_t* entry = d + 6 + 16 * i;
        uint32_t bytes = entry[8] | (entry[9] << 8) | (entry[10] << 16) | (uint32_t(entry[11]) << 24);
        uint32_t offset = entry[12] | (entry[13] << 8) | (entry[14] << 16) | (uint32_t(entry[15]) << 24);
        EXPECT_LE(size_t(offset) + bytes, icon.size) << "image " << i;
    }
    EXPECT_EQ(fwlayer::findResource("mainicon").data, nullptr);
    EXPECT_EQ(fwlayer::findResource("OTHER").size, 0u);
}

}  // namespace
