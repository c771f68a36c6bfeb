// "Data/PlayTable.txt": SingleItem and MultiItem lines into the play items.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "tables/line_tokenizer.h"
#include "tables/tables.h"

namespace {

const char kDelimiters[] = " \t\r\n";
const int32_t kLineSize = 1024;
const int32_t kKeywordSize = 32;

// A clip line's rest: a quoted path and a repeat count.
void readClip(LineTokenizer& Tokenizer, PlayClip& Clip, int32_t SequenceNumber) {
    Tokenizer.nextQuotedToken(Clip.path, PLAY_PATH_SIZE);
    Clip.sequenceNumber = SequenceNumber;
    Clip.repeatCount = Tokenizer.nextInt();
}

}  // namespace

int32_t readPlayItems(const char* path, PlayItem* playItems, int32_t* pItemCount) {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, path, "r") != 0 || !pFile) return 0;

    char Line[kLineSize];
    char Keyword[kKeywordSize];
    LineTokenizer Tokenizer;
    int32_t Sequence = 0;
    int32_t itemCount = 0;

    // Beyond the records' room (64 items, 4 clips an item, 64 clips in all) lines
    // are passed over; the rest of the file is read as usual.
    while (fgets(Line, kLineSize, pFile)) {
        Tokenizer.setLine(Line, kDelimiters);
        Tokenizer.nextToken(Keyword, kKeywordSize);
        if (std::strcmp(Keyword, "SingleItem") == 0) {
            if (itemCount < MAX_PLAY_ITEMS && Sequence < MAX_TABLE_CLIPS) {
                PlayItem& Item = playItems[itemCount];
                readClip(Tokenizer, Item.clips[0], Sequence);
                Item.clipCount = 0;
                ++Sequence;
                ++itemCount;
            }
        } else if (std::strcmp(Keyword, "MultiItem") == 0) {
            int32_t LineCount = Tokenizer.nextInt();
            // Once all 64 clips are taken, a further item has nothing to play.
            bool bStored = itemCount < MAX_PLAY_ITEMS && Sequence < MAX_TABLE_CLIPS;
            int32_t ClipCount = 0;
            for (int32_t i = 0; i < LineCount; ++i) {
                if (!fgets(Line, kLineSize, pFile)) break;
                Tokenizer.setLine(Line, kDelimiters);
                Tokenizer.nextToken(Keyword, kKeywordSize);
                // Every line of the block counts, whatever it holds.
                if (std::strcmp(Keyword, "Item") != 0) continue;
                if (!bStored || ClipCount >= MAX_ITEM_CLIPS || Sequence >= MAX_TABLE_CLIPS) continue;
                readClip(Tokenizer, playItems[itemCount].clips[ClipCount], Sequence);
                ++Sequence;
                ++ClipCount;
            }
            if (bStored) {
                playItems[itemCount].clipCount = ClipCount;
                ++itemCount;
            }
        } else if (std::strcmp(Keyword, "End") == 0) {
            break;
        }
    }
    fclose(pFile);
    *pItemCount = itemCount;
    return itemCount >= 1 ? 1 : 0;
}
