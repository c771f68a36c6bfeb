// "GameData.sys": reading, writing, and the atomic replace.
#include <sys/stat.h>

#include "movie/messages.h"
#include "unit/test_support.h"

namespace {

std::string padded(const std::string& bytes) {
    std::string out = bytes.substr(0, 68);
    out.resize(68, '\0');
    return out;
}

bool exists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

using SaveDataTest = TempFolderTest;

// Bytes taken in order, missing ones 0, extra ignored; the rewrite is exactly 68 bytes.
TEST_F(SaveDataTest, RoundTrip) {
    const std::string quiet = int32LE(-5000);
    const struct {
        const char* name;
        std::string bytes;
        int32_t volume;
    } cases[] = {
        {"TwoBytes", std::string("\x34\x12", 2), 0x1234},
        {"ShortFlags", quiet + std::string("\x01\x00\x01", 3), -5000},
        // Any byte is kept as read: 2 counts as locked and is written back unchanged.
        {"OddFlagValues", quiet + std::string("\x02\xFF\x01", 3) + std::string(61, '\0'), -5000},
        {"LongFile", quiet + std::string(64, '\x01') + "trailing bytes", -5000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("GameData.sys", c.bytes);
        EXPECT_EQ(app->loadSaveData(), 1);
        EXPECT_EQ(app->volume, c.volume);
        const std::string expected = padded(c.bytes);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(app->unlockFlags), 64), expected.substr(4));
        EXPECT_EQ(app->writeSaveData(), 1);
        EXPECT_EQ(readFile("GameData.sys"), expected);
        EXPECT_FALSE(exists("GameData.sys.tmp"));
    }
}

// Through GameData.sys.tmp: any failure returns 0 and leaves the previous file whole,
// and a temporary file that could not be written (a full disk) is removed.
TEST_F(SaveDataTest, FailedSaveKeepsThePreviousFile) {
    const std::string previous = padded(int32LE(-100) + "\x01");
    const struct {
        const char* failure;
        bool tempStays;
    } cases[] = {{"mkdir GameData.sys.tmp", true}, {"ln -s /dev/full GameData.sys.tmp", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        writeFile("GameData.sys", previous);
        ASSERT_EQ(app->loadSaveData(), 1);
        app->volume = -4000;
        ASSERT_EQ(std::system(c.failure), 0);
        EXPECT_EQ(app->writeSaveData(), 0);
        EXPECT_EQ(readFile("GameData.sys"), previous);
        EXPECT_EQ(exists("GameData.sys.tmp"), c.tempStays);
        ASSERT_EQ(std::system("rm -rf GameData.sys.tmp"), 0);
    }
    // A folder in the way of the rename: the temporary file is removed again.
    ASSERT_EQ(std::system("rm GameData.sys && mkdir -p GameData.sys/keep"), 0);
    EXPECT_EQ(app->writeSaveData(), 0);
    EXPECT_FALSE(exists("GameData.sys.tmp"));
    EXPECT_TRUE(exists("GameData.sys/keep"));
}

// Shutdown reports a failed save with no owner, and the destructor's pass again.
TEST_F(SaveDataTest, FailedSaveShowsItsMessageOnEachPass) {
    ASSERT_EQ(mkdir("GameData.sys.tmp", 0755), 0);
    app->shutDown();
    app.reset();
    const auto& boxes = fwrecord::win32().messageBoxes;
    ASSERT_EQ(boxes.size(), 2u);
    for (const auto& box : boxes) {
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.text, kMessageSaveFailed);
    }
    EXPECT_FALSE(exists("GameData.sys"));
}

}  // namespace
