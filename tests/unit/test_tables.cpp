// The line tokenizer and the two table readers.
#include <memory>
#include <string>
#include <vector>

#include "app/player_app.h"
#include "tables/line_tokenizer.h"
#include "unit/test_support.h"

namespace {

const char kDelimiters[] = " \t\r\n";

// --- Tokenizer ------------------------------------------------------------------------

// One reader call: 'T' nextToken, 'Q' nextQuotedToken (both with size), 'I' nextInt.
struct ReaderCall {
    char reader;
    int32_t size;
    std::string expected;  // the word, or the number as text
};

struct TokenizerCase {
    const char* name;
    std::string line;
    std::vector<ReaderCall> calls;
};
void PrintTo(const TokenizerCase& c, std::ostream* os) { *os << c.name; }

std::string repeated(char c, size_t count) { return std::string(count, c); }

std::vector<TokenizerCase> tokenizerCases() {
    const std::string word40 = repeated('w', 40);
    const std::string path300 = repeated('p', 300);
    return {
        {"FullLine", "   SingleItem  \"movies/a b.avi\"  3\r\n",
         {{'T', 32, "SingleItem"}, {'Q', 260, "movies/a b.avi"}, {'I', 0, "3"}, {'I', 0, "0"}, {'T', 32, ""}}},
        {"OnlyDelimiters", " \t \r\n", {{'T', 32, ""}, {'I', 0, "0"}, {'Q', 260, ""}, {'T', 32, ""}}},
        {"EmptyLine", "", {{'Q', 260, ""}, {'I', 0, "0"}, {'T', 32, ""}, {'T', 32, ""}}},
        {"LongWordCutAndConsumed", word40 + " next", {{'T', 32, word40.substr(0, 31)}, {'T', 32, "next"}}},
        {"UnquotedWordLeftForNextCall", "abc \"x\"", {{'Q', 260, ""}, {'T', 32, "abc"}, {'Q', 260, "x"}}},
        {"UnclosedQuote", "\"abc def 5", {{'Q', 260, ""}, {'T', 32, "def"}, {'I', 0, "5"}}},
        {"UnclosedQuoteAtEnd", "  \"abc", {{'Q', 260, ""}, {'T', 32, ""}}},
        {"AdjacentQuotes", "\"\" 9", {{'Q', 260, ""}, {'I', 0, "9"}}},
        {"QuotedTextKeepsTabsAndSpaces", "\"a\tb c\"x 4", {{'Q', 260, "a\tb c"}, {'T', 32, "x"}, {'I', 0, "4"}}},
        {"LongQuotedTextCutThenNextWord", "\"" + path300 + "\" 7",
         {{'Q', 260, path300.substr(0, 259)}, {'I', 0, "7"}}},
        {"QuoteIsOrdinaryInWords", "ab\"c\" d", {{'T', 32, "ab\"c\""}, {'T', 32, "d"}}},
        {"Numbers", "-12 +7 12abc abc", {{'I', 0, "-12"}, {'I', 0, "7"}, {'I', 0, "12"}, {'I', 0, "0"}}},
        {"NumbersBeyondRange", "99999999999 -99999999999 2147483647",
         {{'I', 0, "2147483647"}, {'I', 0, "-2147483648"}, {'I', 0, "2147483647"}}},
        // Only the first 31 characters of a number's word count: 30 zeros and a 1.
        {"NumberWordCutAt31", repeated('0', 30) + "12345 6", {{'I', 0, "1"}, {'I', 0, "6"}}},
        // サンプル and 表示 (0x5C as a second byte) pass byte for byte.
        {"ShiftJisBytes", "\x83T\x83\x93\x83v\x83\x8B \"\x95\x5C\x8E\xA6 \x83T.mpg\"",
         {{'T', 32, "\x83T\x83\x93\x83v\x83\x8B"}, {'Q', 260, "\x95\x5C\x8E\xA6 \x83T.mpg"}}},
        // Size limits: size - 1 bytes are kept, NUL included in size.
        {"TokenSizeTwo", "abc def", {{'T', 2, "a"}, {'T', 32, "def"}}},
        // With room for nothing no word ever ends, so the whole line is consumed.
        {"TokenSizeOne", "abc def", {{'T', 1, ""}, {'T', 32, ""}}},
        {"QuotedExactFit", "\"abc\" 5", {{'Q', 4, "abc"}, {'I', 0, "5"}}},
        {"QuotedOneShort", "\"abc\" 5", {{'Q', 3, "ab"}, {'I', 0, "5"}}},
        {"QuotedSizeOne", "\"abc\" 5", {{'Q', 1, ""}, {'I', 0, "5"}}},
    };
}

class TokenizerTest : public ::testing::TestWithParam<TokenizerCase> {};

TEST_P(TokenizerTest, ReadsTheWordsInOrder) {
    const TokenizerCase& c = GetParam();
    LineTokenizer Tokenizer;
    ASSERT_EQ(Tokenizer.setLine(c.line.c_str(), kDelimiters), 0);
    for (size_t i = 0; i < c.calls.size(); ++i) {
        const ReaderCall& call = c.calls[i];
        SCOPED_TRACE("call " + std::to_string(i) + " " + call.reader);
        if (call.reader == 'I') {
            EXPECT_EQ(std::to_string(Tokenizer.nextInt()), call.expected);
            continue;
        }
        // Exactly size bytes, so ASan sees a write past the caller's buffer.
        std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(call.size)]);
        char* result = call.reader == 'T' ? Tokenizer.nextToken(buffer.get(), call.size)
                                          : Tokenizer.nextQuotedToken(buffer.get(), call.size);
        EXPECT_EQ(result, buffer.get());
        EXPECT_EQ(std::string(result), call.expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Lines, TokenizerTest, ::testing::ValuesIn(tokenizerCases()),
                         [](const ::testing::TestParamInfo<TokenizerCase>& info) { return info.param.name; });

TEST(TokenizerSetLine, NullDelimitersKeepLineAndPosition) {
    char word[32];
    LineTokenizer Fresh;
    EXPECT_EQ(Fresh.setLine("a b", nullptr), -1);
    EXPECT_STREQ(Fresh.nextToken(word, 32), "");  // still no line

    LineTokenizer Tokenizer;
    ASSERT_EQ(Tokenizer.setLine("a b c", kDelimiters), 0);
    EXPECT_STREQ(Tokenizer.nextToken(word, 32), "a");
    EXPECT_EQ(Tokenizer.setLine("x y", nullptr), -1);
    EXPECT_STREQ(Tokenizer.nextToken(word, 32), "b");
    ASSERT_EQ(Tokenizer.setLine("x,,y", ","), 0);  // any delimiter set; runs count as one
    EXPECT_STREQ(Tokenizer.nextToken(word, 32), "x");
    EXPECT_STREQ(Tokenizer.nextToken(word, 32), "y");
}

// --- Table readers ------------------------------------------------------------------

// The records of the play table in a comparable form: per item its clipCount, then
// "sequence:path:repeat" for each clip it uses (clips[0] for a count of 0).
std::string describeItems(const PlayerApp& app) {
    std::string out;
    for (int32_t i = 0; i < app.itemCount; ++i) {
        const PlayItem& item = app.playItems[i];
        if (i) out += " | ";
        out += "n=" + std::to_string(item.clipCount);
        int32_t used = item.clipCount > 0 ? item.clipCount : 1;
        for (int32_t k = 0; k < used && k < MAX_ITEM_CLIPS; ++k) {
            const PlayClip& clip = item.clips[k];
            out += " " + std::to_string(clip.sequenceNumber) + ":" + clip.path + ":" + std::to_string(clip.repeatCount);
        }
    }
    return out;
}

// The fields behind the tables get marks; a reader that writes past its records
// inside the object (where ASan cannot see) changes one of them.
void markNeighbours(PlayerApp& app) {
    app.currentItem = 0x11111111;
    app.currentClip = 0x22222222;
    app.clipPlayCount = 0x33333333;
    for (int i = 0; i < MAX_TABLE_CLIPS; ++i) app.unlockFlags[i] = 0xA5;
    app.thumbnailPage = 0x44444444;
}

void expectNeighboursMarked(const PlayerApp& app) {
    EXPECT_EQ(app.currentItem, 0x11111111);
    EXPECT_EQ(app.currentClip, 0x22222222);
    EXPECT_EQ(app.clipPlayCount, 0x33333333);
    for (int i = 0; i < MAX_TABLE_CLIPS; ++i) EXPECT_EQ(app.unlockFlags[i], 0xA5) << "flag " << i;
    EXPECT_EQ(app.thumbnailPage, 0x44444444);
}

class TableTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        app.reset(new PlayerApp);
        markNeighbours(*app);
    }
    void TearDown() override {
        app.reset();  // its shutDown writes the save into the test's folder
        TempFolderTest::TearDown();
    }
    int32_t readPlay(const std::string& text) {
        writeFile("Data/PlayTable.txt", text);
        return app->readPlayTable("Data/PlayTable.txt");
    }
    int32_t readThumbnails(const std::string& text) {
        writeFile("Data/ThumbnailTable.txt", text);
        return app->readThumbnailTable("Data/ThumbnailTable.txt");
    }
    std::unique_ptr<PlayerApp> app;
};

struct PlayTableCase {
    const char* name;
    std::string text;
    int32_t result;
    std::string items;
};
void PrintTo(const PlayTableCase& c, std::ostream* os) { *os << c.name; }

std::vector<PlayTableCase> playTableCases() {
    const std::string path300 = repeated('p', 300);
    // A line longer than 1023 bytes: its tail after the first 1023 is read as a line of its own.
    const std::string longComment = "Comment " + repeated('x', 1015) + "SingleItem \"late\" 4\n";
    return {
        {"Example",
         "SingleItem \"movies/intro.mpg\" 1\nMultiItem 3\nItem \"movies/scene1a.mpg\" 2\n"
         "Item \"movies/scene1b.mpg\" 2\nItem \"movies/scene1c.mpg\" 2\nSingleItem \"movies/credits.mpg\" 0\nEnd\n",
         1,
         "n=0 0:movies/intro.mpg:1 | n=3 1:movies/scene1a.mpg:2 2:movies/scene1b.mpg:2 3:movies/scene1c.mpg:2"
         " | n=0 4:movies/credits.mpg:0"},
        {"EndInsideBlockCountsAsBlockLine", "MultiItem 3\nItem \"a\" 1\nEnd\nItem \"b\" 2\nSingleItem \"c\" 3\n", 1,
         "n=2 0:a:1 1:b:2 | n=0 2:c:3"},
        {"OtherWordCountsAsBlockLine", "MultiItem 3\nItem \"a\" 1\nNote x\nItem \"b\" 2\nSingleItem \"c\" 0\n", 1,
         "n=2 0:a:1 1:b:2 | n=0 2:c:0"},
        {"EmptyLineCountsAsBlockLine", "MultiItem 2\n\nItem \"a\" 1\nItem \"b\" 2\n", 1, "n=1 0:a:1"},
        {"BlockCutShortByEndOfFile", "SingleItem \"s\" 1\nMultiItem 4\nItem \"a\" 1\n", 1, "n=0 0:s:1 | n=1 1:a:1"},
        {"BlockWithoutItemsTakesNoNumber", "MultiItem 2\nfoo\n\nSingleItem \"x\" 1\n", 1, "n=0 0::0 | n=0 0:x:1"},
        {"BlockCountZero", "MultiItem 0\nItem \"a\" 1\nSingleItem \"b\" 2\n", 1, "n=0 0::0 | n=0 0:b:2"},
        {"BlockCountNegative", "MultiItem -3\nItem \"a\" 1\n", 1, "n=0 0::0"},
        {"KeywordsAreCaseSensitive",
         "singleitem \"a\" 1\nSINGLEITEM \"b\" 1\nmultiitem 1\nItem \"c\" 1\nSingleItem \"d\" 2\nend\nSingleItem \"e\" 3\n",
         1, "n=0 0:d:2 | n=0 1:e:3"},
        {"UnquotedPathIsEmptyAndReadAsCount", "SingleItem movies/a.mpg 5\nSingleItem 7 5\n", 1,
         "n=0 0::0 | n=0 1::7"},
        {"MissingPathAndCount", "SingleItem\nMultiItem 1\nItem\n", 1, "n=0 0::0 | n=1 1::0"},
        {"CrLfTabsAndExtraWords", "\tSingleItem\t\"my movies/a b.mpg\"\t2 more words\r\nEnd\r\n", 1,
         "n=0 0:my movies/a b.mpg:2"},
        {"LastLineWithoutNewline", "SingleItem \"a\" 1", 1, "n=0 0:a:1"},
        {"ShiftJisPath", "SingleItem \"\x93\xAE\x89\xE6/\x95\x5C\x8E\xA6 \x83T.mpg\" 1\n", 1,
         "n=0 0:\x93\xAE\x89\xE6/\x95\x5C\x8E\xA6 \x83T.mpg:1"},
        {"LongPathCut", "SingleItem \"" + path300 + "\" 6\n", 1, "n=0 0:" + path300.substr(0, 259) + ":6"},
        {"LongLineReadInPieces", longComment, 1, "n=0 0:late:4"},
        {"EndFirst", "End\nSingleItem \"a\" 1\n", 0, ""},
        {"EmptyFile", "", 0, ""},
        {"OnlyOtherWords", "# comment\n\nItem \"a\" 1\n", 0, ""},
    };
}

class PlayTableTest : public TableTest, public ::testing::WithParamInterface<PlayTableCase> {};

TEST_P(PlayTableTest, FillsTheRecords) {
    const PlayTableCase& c = GetParam();
    EXPECT_EQ(readPlay(c.text), c.result);
    EXPECT_EQ(describeItems(*app), c.items);
    expectNeighboursMarked(*app);
}

INSTANTIATE_TEST_SUITE_P(Files, PlayTableTest, ::testing::ValuesIn(playTableCases()),
                         [](const ::testing::TestParamInfo<PlayTableCase>& info) { return info.param.name; });

TEST_F(TableTest, MissingPlayTableChangesNothing) {
    app->itemCount = 5;
    app->playItems[0].clipCount = 3;
    EXPECT_EQ(app->readPlayTable("Data/PlayTable.txt"), 0);
    EXPECT_EQ(app->itemCount, 5);
    EXPECT_EQ(app->playItems[0].clipCount, 3);
}

std::string singleItems(int first, int count) {
    std::string text;
    for (int i = first; i < first + count; ++i) text += "SingleItem \"m" + std::to_string(i) + "\" 1\n";
    return text;
}

std::string itemLines(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += "Item \"c" + std::to_string(i) + "\" 2\n";
    return text;
}

// Beyond the records' room the surplus is passed over and the rest is read as usual.
TEST_F(TableTest, PlayTableCapacities) {
    // More than 64 items: the first 64 stay.
    EXPECT_EQ(readPlay(singleItems(0, 70)), 1);
    EXPECT_EQ(app->itemCount, MAX_PLAY_ITEMS);
    EXPECT_STREQ(app->playItems[63].clips[0].path, "m63");
    EXPECT_EQ(app->playItems[63].clips[0].sequenceNumber, 63);
    expectNeighboursMarked(*app);

    // More than 4 Item lines: the surplus still counts as lines of the block, so the
    // SingleItem line inside it is skipped.
    EXPECT_EQ(readPlay("MultiItem 7\n" + itemLines(6) + "SingleItem \"inside\" 1\nSingleItem \"after\" 1\n"), 1);
    EXPECT_EQ(describeItems(*app), "n=4 0:c0:2 1:c1:2 2:c2:2 3:c3:2 | n=0 4:after:1");
    expectNeighboursMarked(*app);

    // More than 64 clips: 16 full MultiItems use every number; later clips are not stored.
    std::string text;
    for (int i = 0; i < 16; ++i) text += "MultiItem 4\n" + itemLines(4);
    EXPECT_EQ(readPlay(text + "MultiItem 2\n" + itemLines(2) + "SingleItem \"x\" 1\nEnd\n"), 1);
    EXPECT_GE(app->itemCount, 16);
    EXPECT_LE(app->itemCount, 17);
    EXPECT_EQ(app->playItems[15].clips[3].sequenceNumber, 63);
    for (int32_t i = 16; i < app->itemCount; ++i) EXPECT_EQ(app->playItems[i].clipCount, 0);
    for (int32_t i = 0; i < app->itemCount; ++i)
        for (int k = 0; k < MAX_ITEM_CLIPS; ++k) EXPECT_LT(app->playItems[i].clips[k].sequenceNumber, 64);
    expectNeighboursMarked(*app);
}

struct ThumbnailCase {
    const char* name;
    std::string text;
    std::vector<ThumbnailEntry> entries;  // entries 0 on; all later ones stay item 0, clip 0
};
void PrintTo(const ThumbnailCase& c, std::ostream* os) { *os << c.name; }

std::vector<ThumbnailCase> thumbnailCases() {
    return {
        {"Example", "3\n0 0\n1 0\n1 1\n", {{0, 0}, {1, 0}, {1, 1}}},
        {"EmptyFile", "", {}},
        {"FewerLinesThanCount", "5\n2 1\n3 2\n", {{2, 1}, {3, 2}}},
        {"MoreLinesThanCount", "2\n2 1\n3 2\n4 3\n", {{2, 1}, {3, 2}}},
        {"OneNumberLine", "1\n7\n", {{7, 0}}},
        {"ExtraWordsIgnored", "2 9 9\n1 2 3\n4 5 x\n", {{1, 2}, {4, 5}}},
        {"EmptyAndNonNumericLines", "3\n1 1\n\nx y\n", {{1, 1}, {0, 0}, {0, 0}}},
        {"CrLfAndTabs", "2\r\n\t5\t6\r\n7 8\r\n", {{5, 6}, {7, 8}}},
        {"CountZero", "0\n1 1\n", {}},
        {"CountNegative", "-2\n1 1\n", {}},
        {"NegativeEntries", "1\n-1 -2\n", {{-1, -2}}},
    };
}

class ThumbnailTableTest : public TableTest, public ::testing::WithParamInterface<ThumbnailCase> {};

TEST_P(ThumbnailTableTest, FillsTheEntries) {
    const ThumbnailCase& c = GetParam();
    EXPECT_EQ(readThumbnails(c.text), 1);
    for (int i = 0; i < MAX_THUMBNAILS; ++i) {
        ThumbnailEntry expected = i < static_cast<int>(c.entries.size()) ? c.entries[i] : ThumbnailEntry{0, 0};
        EXPECT_EQ(app->thumbnailTable[i].item, expected.item) << "entry " << i;
        EXPECT_EQ(app->thumbnailTable[i].clip, expected.clip) << "entry " << i;
    }
    expectNeighboursMarked(*app);
}

INSTANTIATE_TEST_SUITE_P(Files, ThumbnailTableTest, ::testing::ValuesIn(thumbnailCases()),
                         [](const ::testing::TestParamInfo<ThumbnailCase>& info) { return info.param.name; });

TEST_F(TableTest, MissingThumbnailTableChangesNothing) {
    app->thumbnailTable[0] = {3, 2};
    EXPECT_EQ(app->readThumbnailTable("Data/ThumbnailTable.txt"), 0);
    EXPECT_EQ(app->thumbnailTable[0].item, 3);
    EXPECT_EQ(app->thumbnailTable[0].clip, 2);
}

TEST_F(TableTest, ThumbnailTableReadsAtMost64Entries) {
    std::string text = "100\n";
    for (int i = 0; i < 100; ++i) text += std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
    EXPECT_EQ(readThumbnails(text), 1);
    EXPECT_EQ(app->thumbnailTable[63].item, 64);
    EXPECT_EQ(app->thumbnailTable[63].clip, 65);
    expectNeighboursMarked(*app);  // the unlock flags lie right behind the table
}

}  // namespace
