// The line tokenizer and the two table readers.
#include <algorithm>
#include <cstring>
#include <memory>

#include "tables/line_tokenizer.h"
#include "unit/test_support.h"

namespace {

// One reader call and the word (or the number as text) it gives: 'T' nextToken into the
// keyword's 32 bytes, 'Q' nextQuotedToken into a path's 260, 'I' nextInt.
using ReaderCall = std::pair<char, std::string>;

TEST(Tokenizer, ReadsTheWordsInOrder) {
    const std::string word40(40, 'w'), path300(300, 'p');
    const struct {
        const char* name;
        std::string line;
        std::vector<ReaderCall> calls;
    } cases[] = {
        {"FullLine",
         "   SingleItem  \"movies/a\tb c.avi\"  3\r\n",
         {{'T', "SingleItem"}, {'Q', "movies/a\tb c.avi"}, {'I', "3"}, {'I', "0"}, {'T', ""}}},
        {"LongWordCutAndConsumed", word40 + " next", {{'T', word40.substr(0, 31)}, {'T', "next"}}},
        {"LongQuotedTextCut", "\"" + path300 + "\" 7", {{'Q', path300.substr(0, 259)}, {'I', "7"}}},
        {"UnquotedWordLeftForNextCall", "abc \"x\"", {{'Q', ""}, {'T', "abc"}, {'Q', "x"}}},
        {"UnclosedQuote", "\"abc def 5", {{'Q', ""}, {'T', "def"}, {'I', "5"}}},
        {"AdjacentQuotes", "\"\" 9", {{'Q', ""}, {'I', "9"}}},
        {"Numbers", "-12 +7 12abc abc", {{'I', "-12"}, {'I', "7"}, {'I', "12"}, {'I', "0"}}},
        // サンプル and 表示 (0x5C as a second byte) pass byte for byte.
        {"ShiftJisBytes",
         "\x83T\x83\x93\x83v\x83\x8B \"\x95\x5C\x8E\xA6 \x83T.mpg\"",
         {{'T', "\x83T\x83\x93\x83v\x83\x8B"}, {'Q', "\x95\x5C\x8E\xA6 \x83T.mpg"}}},
    };
    for (const auto& c : cases) {
        LineTokenizer tokenizer;
        ASSERT_EQ(tokenizer.setLine(c.line.c_str(), " \t\r\n"), 0);
        for (size_t i = 0; i < c.calls.size(); ++i) {
            const auto& [reader, expected] = c.calls[i];
            SCOPED_TRACE(std::string(c.name) + " call " + std::to_string(i));
            if (reader == 'I') {
                EXPECT_EQ(std::to_string(tokenizer.nextInt()), expected);
                continue;
            }
            // Exactly size bytes, so ASan sees a write past the caller's buffer.
            const int32_t size = reader == 'T' ? 32 : 260;
            std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
            char* result =
                reader == 'T' ? tokenizer.nextToken(buffer.get(), size) : tokenizer.nextQuotedToken(buffer.get(), size);
            EXPECT_EQ(result, buffer.get());
            EXPECT_EQ(std::string(result), expected);
        }
    }
}

// Per item "n=clipCount" and "sequence:path:repeat" per clip (clips[0] for 0).
std::string describeItems(const PlayerApp& app) {
    std::string out;
    for (int32_t i = 0; i < app.itemCount; ++i) {
        const PlayItem& item = app.playItems[i];
        out += (i ? " | n=" : "n=") + std::to_string(item.clipCount);
        for (int32_t k = 0; k < std::max(item.clipCount, 1) && k < MAX_ITEM_CLIPS; ++k) {
            const PlayClip& clip = item.clips[k];
            out += " " + std::to_string(clip.sequenceNumber) + ":" + clip.path + ":" + std::to_string(clip.repeatCount);
        }
    }
    return out;
}

class TableTest : public TempFolderTest {
protected:
    // A fresh object whose fields behind the tables are marked: a reader that writes
    // past its records inside the object (where ASan cannot see) changes one of them.
    void freshApp() {
        app.reset(new PlayerApp);
        app->currentItem = 0x11111111;
        app->clipPlayCount = 0x33333333;
        std::memset(app->unlockFlags, 0xA5, sizeof(app->unlockFlags));
        app->thumbnailPage = 0x44444444;
    }
    void expectNeighboursMarked() {
        EXPECT_EQ(app->currentItem, 0x11111111);
        EXPECT_EQ(app->clipPlayCount, 0x33333333);
        for (int i = 0; i < MAX_TABLE_CLIPS; ++i) EXPECT_EQ(app->unlockFlags[i], 0xA5) << "flag " << i;
        EXPECT_EQ(app->thumbnailPage, 0x44444444);
    }
    int32_t readPlay(const std::string& text) {
        freshApp();
        writeFile("Data/PlayTable.txt", text);
        return app->readPlayTable("Data/PlayTable.txt");
    }
    int32_t readThumbnails(const std::string& text) {
        freshApp();
        writeFile("Data/ThumbnailTable.txt", text);
        return app->readThumbnailTable("Data/ThumbnailTable.txt");
    }
};

TEST_F(TableTest, PlayTableFillsTheRecords) {
    const struct {
        const char* name;
        std::string text;
        int32_t result;
        std::string items;
    } cases[] = {
        {"Example",
         "SingleItem \"movies/intro.mpg\" 1\nMultiItem 3\nItem \"movies/scene1a.mpg\" 2\n"
         "Item \"movies/scene1b.mpg\" 2\nItem \"movies/scene1c.mpg\" 2\nSingleItem \"movies/credits.mpg\" 0\nEnd\n",
         1,
         "n=0 0:movies/intro.mpg:1 | n=3 1:movies/scene1a.mpg:2 2:movies/scene1b.mpg:2 3:movies/scene1c.mpg:2"
         " | n=0 4:movies/credits.mpg:0"},
        {"EndInsideBlockCountsAsBlockLine", "MultiItem 3\nItem \"a\" 1\nEnd\nItem \"b\" 2\nSingleItem \"c\" 3\n", 1,
         "n=2 0:a:1 1:b:2 | n=0 2:c:3"},
        {"BlockCutShortByEndOfFile", "SingleItem \"s\" 1\nMultiItem 4\nItem \"a\" 1", 1, "n=0 0:s:1 | n=1 1:a:1"},
        {"BlockCountZero", "MultiItem 0\nItem \"a\" 1\nSingleItem \"b\" 2\n", 1, "n=0 0::0 | n=0 0:b:2"},
        {"KeywordsAreCaseSensitive",
         "singleitem \"a\" 1\nmultiitem 1\nItem \"c\" 1\nSingleItem \"d\" 2\nend\nSingleItem \"e\" 3\n", 1,
         "n=0 0:d:2 | n=0 1:e:3"},
        {"EndFirst", "End\nSingleItem \"a\" 1\n", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readPlay(c.text), c.result);
        EXPECT_EQ(describeItems(*app), c.items);
        expectNeighboursMarked();
    }
    app->itemCount = 5;
    EXPECT_EQ(app->readPlayTable("Data/Missing.txt"), 0);
    EXPECT_EQ(app->itemCount, 5);
}

std::string itemLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "Item \"c" + std::to_string(i) + "\" 2\n";
    return text;
}

// Beyond the records' room the surplus is passed over and the rest is read as usual.
TEST_F(TableTest, PlayTableCapacities) {
    std::string items;
    for (int i = 0; i < 70; ++i) items += "SingleItem \"m" + std::to_string(i) + "\" 1\n";
    EXPECT_EQ(readPlay(items), 1);
    EXPECT_EQ(app->itemCount, MAX_PLAY_ITEMS);
    EXPECT_STREQ(app->playItems[63].clips[0].path, "m63");
    expectNeighboursMarked();

    // More than 4 Item lines: the surplus still counts as block lines.
    EXPECT_EQ(readPlay("MultiItem 7\n" + itemLines(6) + "SingleItem \"inside\" 1\nSingleItem \"after\" 1\n"), 1);
    EXPECT_EQ(describeItems(*app), "n=4 0:c0:2 1:c1:2 2:c2:2 3:c3:2 | n=0 4:after:1");
    expectNeighboursMarked();

    // More than 64 clips: 16 full MultiItems use every number; later clips are not stored.
    std::string blocks;
    for (int i = 0; i < 16; ++i) blocks += "MultiItem 4\n" + itemLines(4);
    EXPECT_EQ(readPlay(blocks + "MultiItem 2\n" + itemLines(2) + "SingleItem \"x\" 1\nEnd\n"), 1);
    EXPECT_EQ(app->playItems[15].clips[3].sequenceNumber, 63);
    for (int32_t i = 16; i < app->itemCount; ++i) EXPECT_EQ(app->playItems[i].clipCount, 0);
    expectNeighboursMarked();
}

TEST_F(TableTest, ThumbnailTableFillsTheEntries) {
    const struct {
        const char* name;
        std::string text;
        std::vector<ThumbnailEntry> entries;  // entries 0 on; all later ones stay {0, 0}
    } cases[] = {
        {"Example", "3\n0 0\n1 0\n1 1\n", {{0, 0}, {1, 0}, {1, 1}}},
        {"EmptyFile", "", {}},
        {"FewerLinesThanCount", "5\n2 1\n3 2\n", {{2, 1}, {3, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(readThumbnails(c.text), 1);
        for (int i = 0; i < MAX_THUMBNAILS; ++i) {
            ThumbnailEntry expected = i < static_cast<int>(c.entries.size()) ? c.entries[i] : ThumbnailEntry{0, 0};
            EXPECT_EQ(app->thumbnailTable[i].item, expected.item) << "entry " << i;
            EXPECT_EQ(app->thumbnailTable[i].clip, expected.clip) << "entry " << i;
        }
    }
    // More than 64: the unlock flags lie right behind the table.
    std::string text = "100\n";
    for (int i = 0; i < 100; ++i) text += std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
    EXPECT_EQ(readThumbnails(text), 1);
    EXPECT_EQ(app->thumbnailTable[63].item, 64);
    expectNeighboursMarked();
    EXPECT_EQ(app->readThumbnailTable("Data/Missing.txt"), 0);
}

}  // namespace
