// "GameData.sys": reading, writing, and the atomic replace.
#include <sys/stat.h>

#include "errors/errors.h"
#include "unit/test_support.h"

namespace {

bool exists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

using SaveDataTest = TempFolderTest;

// The first 68 bytes in order, any flag byte kept as read (fuzz_save_data has every other
// shape). Through GameData.sys.tmp: a failed save returns 0 and leaves that file whole,
// and a temporary file that could not be written (a full disk) is removed.
TEST_F(SaveDataTest, RoundTripAndFailedSavesKeepThePreviousFile) {
    const std::string previous = int32LE(-100) + "\x01\x02\xFF" + std::string(61, '\x01');
    writeFile("GameData.sys", previous + "trailing bytes");
    ASSERT_EQ(app->loadSaveData(), 1);
    EXPECT_EQ(app->volume, -100);
    EXPECT_EQ(app->writeSaveData(), 1);
    EXPECT_EQ(readFile("GameData.sys"), previous);
    EXPECT_FALSE(exists("GameData.sys.tmp"));
    app->volume = -4000;
    const struct {
        const char* failure;
        bool tempStays;
    } cases[] = {{"mkdir GameData.sys.tmp", true}, {"ln -s /dev/full GameData.sys.tmp", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
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
