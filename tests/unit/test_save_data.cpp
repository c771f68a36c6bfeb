// "GameData.sys": reading, writing, and the atomic replace.
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/player_app.h"
#include "unit/test_support.h"

namespace {

const size_t kSaveSize = 68;

std::string padded(const std::string& bytes) {
    std::string out = bytes.substr(0, kSaveSize);
    out.resize(kSaveSize, '\0');
    return out;
}

bool exists(const char* path) {
    struct stat info;
    return lstat(path, &info) == 0;
}

class SaveDataTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        app.reset(new PlayerApp);
    }
    void TearDown() override {
        app.reset();
        TempFolderTest::TearDown();
    }
    std::unique_ptr<PlayerApp> app;
};

TEST_F(SaveDataTest, MissingFileKeepsDefaultsAndIsCreatedAtShutdown) {
    app->unlockFlags[5] = 1;
    EXPECT_EQ(app->loadSaveData(), 0);
    EXPECT_EQ(app->volume, 0);
    EXPECT_EQ(app->unlockFlags[5], 1);  // nothing read, nothing changed
    app->shutDown();
    EXPECT_EQ(readFile("GameData.sys"), padded(std::string("\0\0\0\0\0\0\0\0\0\x01", 10)));
    EXPECT_FALSE(exists("GameData.sys.tmp"));
    EXPECT_TRUE(fwrecord::win32().messageBoxes.empty());
}

struct SaveFileCase {
    const char* name;
    std::string bytes;
    int32_t volume;
};
void PrintTo(const SaveFileCase& c, std::ostream* os) { *os << c.name; }

std::string flagBytes(const std::string& head) {
    std::string flags = head;
    flags.resize(64, '\0');
    return flags;
}

std::vector<SaveFileCase> saveFileCases() {
    const std::string quiet("\x78\xEC\xFF\xFF", 4);  // -5000
    return {
        {"Empty", "", 0},
        {"TwoBytes", std::string("\x34\x12", 2), 0x1234},
        {"VolumeOnly", quiet, -5000},
        {"ShortFlags", quiet + std::string("\x01\x00\x01", 3), -5000},
        {"Exact", quiet + flagBytes(std::string("\x01\x01\x00\x01", 4)), -5000},
        // Any byte is kept as read: 2 counts as locked and is written back unchanged.
        {"OddFlagValues", quiet + flagBytes(std::string("\x02\xFF\x01", 3)), -5000},
        {"VolumeOutOfRange", std::string("\x10\x27\x00\x00", 4) + flagBytes(""), 10000},
        {"LongFile", quiet + flagBytes("\x01") + "trailing bytes", -5000},
    };
}

class SaveFileTest : public SaveDataTest, public ::testing::WithParamInterface<SaveFileCase> {};

// Present bytes are taken in order, missing ones stay 0, extra ones are ignored;
// the rewrite is exactly the 68 bytes read.
TEST_P(SaveFileTest, RoundTrip) {
    const SaveFileCase& c = GetParam();
    writeFile("GameData.sys", c.bytes);
    EXPECT_EQ(app->loadSaveData(), 1);
    EXPECT_EQ(app->volume, c.volume);
    std::string expected = padded(c.bytes);
    for (int i = 0; i < MAX_TABLE_CLIPS; ++i)
        EXPECT_EQ(app->unlockFlags[i], static_cast<uint8_t>(expected[4 + i])) << "flag " << i;
    EXPECT_EQ(app->writeSaveData(), 1);
    EXPECT_EQ(readFile("GameData.sys"), expected);
    EXPECT_FALSE(exists("GameData.sys.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Files, SaveFileTest, ::testing::ValuesIn(saveFileCases()),
                         [](const ::testing::TestParamInfo<SaveFileCase>& info) { return info.param.name; });

// Ways the save can fail: each returns 0 and leaves the previous file whole.
struct SaveFailureCase {
    const char* name;
    const char* setUpCommand;  // run in the test's folder
};
void PrintTo(const SaveFailureCase& c, std::ostream* os) { *os << c.name; }

class SaveFailureTest : public SaveDataTest, public ::testing::WithParamInterface<SaveFailureCase> {};

TEST_P(SaveFailureTest, KeepsThePreviousFile) {
    const std::string previous = padded(std::string("\x9C\xFF\xFF\xFF\x01", 5));
    writeFile("GameData.sys", previous);
    ASSERT_EQ(app->loadSaveData(), 1);
    app->volume = -4000;
    app->unlockFlags[9] = 1;
    ASSERT_EQ(std::system(GetParam().setUpCommand), 0);
    EXPECT_EQ(app->writeSaveData(), 0);
    EXPECT_EQ(readFile("GameData.sys"), previous);
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SaveFailureTest,
    ::testing::Values(
        // The temporary file cannot be opened (a folder holds its name); works as root too.
        SaveFailureCase{"TempNameTaken", "mkdir GameData.sys.tmp"},
        // The temporary file cannot be opened (a dangling link into a missing folder).
        SaveFailureCase{"TempPathUnreachable", "ln -s missing/folder/x GameData.sys.tmp"},
        // The temporary file opens but its bytes cannot be written (the flush fails).
        SaveFailureCase{"WriteFails", "ln -s /dev/full GameData.sys.tmp"}),
    [](const ::testing::TestParamInfo<SaveFailureCase>& info) { return info.param.name; });

// The rename fails after the temporary file was written: it is removed again.
TEST_F(SaveDataTest, FailedReplaceRemovesTheTemporaryFile) {
    ASSERT_EQ(mkdir("GameData.sys", 0755), 0);
    ASSERT_EQ(mkdir("GameData.sys/keep", 0755), 0);
    EXPECT_EQ(app->writeSaveData(), 0);
    EXPECT_FALSE(exists("GameData.sys.tmp"));
    EXPECT_TRUE(exists("GameData.sys/keep"));
}

// A stale temporary file from an interrupted save does not stop the next one.
TEST_F(SaveDataTest, StaleTemporaryFileIsReplaced) {
    writeFile("GameData.sys.tmp", "stale");
    app->volume = -1;
    EXPECT_EQ(app->writeSaveData(), 1);
    EXPECT_EQ(readFile("GameData.sys"), padded(std::string("\xFF\xFF\xFF\xFF", 4)));
    EXPECT_FALSE(exists("GameData.sys.tmp"));
}

TEST_F(SaveDataTest, FolderRemovedUnderTheProcess) {
    ASSERT_EQ(mkdir("gone", 0755), 0);
    ASSERT_EQ(chdir("gone"), 0);
    ASSERT_EQ(rmdir((folder + "/gone").c_str()), 0);
    int32_t result = app->writeSaveData();
    ASSERT_EQ(chdir(folder.c_str()), 0);
    EXPECT_EQ(result, 0);
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
        EXPECT_EQ(box.caption, kErrorCaption);
        EXPECT_EQ(box.text, kMessageSaveFailed);
        EXPECT_EQ(box.type, static_cast<UINT>(MB_ICONERROR));
    }
    EXPECT_FALSE(exists("GameData.sys"));
}

}  // namespace
