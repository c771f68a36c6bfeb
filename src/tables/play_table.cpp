// "Data/PlayTable.txt": SingleItem and MultiItem lines into the play items.
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "tables/line_tokenizer.h"
#include "tables/table_lines.h"
#include "tables/tables.h"

namespace {

const char kDelimiters[] = " \t\r\n";
const int32_t kLineSize = TABLE_LINE_SIZE;
const int32_t kKeywordSize = 32;

// A clip line's rest: a quoted path and a repeat count.
void readClip(LineTokenizer& Tokenizer, PlayClip& Clip, int32_t SequenceNumber) {
    Tokenizer.nextQuotedToken(Clip.path, PLAY_PATH_SIZE);
    Clip.sequenceNumber = SequenceNumber;
    Clip.repeatCount = Tokenizer.nextInt();
}

// A MultiItem's block, its next LineCount lines, whatever they hold: each Item line
// gives Item (null when the item is dropped) its next clip while there is room.
// Returns the clips read.
int32_t readBlock(TableLines& Lines, LineTokenizer& Tokenizer, char* Line, int32_t LineCount, PlayItem* pItem,
                  int32_t& Sequence) {
    char Keyword[kKeywordSize];
    int32_t ClipCount = 0;
    for (int32_t i = 0; i < LineCount; ++i) {
        if (!Lines.read(Line, kLineSize)) {
            Lines.note(NOTE_BLOCK_CUT, "");
            break;
        }
        Tokenizer.setLine(Line, kDelimiters);
        Tokenizer.nextToken(Keyword, kKeywordSize);
        if (std::strcmp(Keyword, "Item") != 0) {
            Lines.note(NOTE_SWALLOWED, Line);
        } else if (!pItem || ClipCount >= MAX_ITEM_CLIPS || Sequence >= MAX_TABLE_CLIPS) {
            Lines.note(NOTE_CLIP_DROPPED, Line);
        } else {
            readClip(Tokenizer, pItem->clips[ClipCount], Sequence);
            Lines.note(NOTE_CLIP, Line);
            ++Sequence;
            ++ClipCount;
        }
    }
    return ClipCount;
}

// A SingleItem line: an item of one clip, passed over once the records are full.
void readSingleItem(TableLines& Lines, LineTokenizer& Tokenizer, const char* Line, PlayItem* playItems,
                    int32_t* pItemCount, int32_t* pSequence) {
    if (*pItemCount >= MAX_PLAY_ITEMS || *pSequence >= MAX_TABLE_CLIPS) {
        Lines.note(NOTE_ITEM_DROPPED, Line);
        return;
    }
    PlayItem& Item = playItems[*pItemCount];
    readClip(Tokenizer, Item.clips[0], *pSequence);
    Item.clipCount = 0;
    Lines.note(NOTE_ITEM, Line);
    Lines.note(NOTE_CLIP, Line);
    ++*pSequence;
    ++*pItemCount;
}

}  // namespace

int32_t readPlayItems(const char* path, PlayItem* playItems, int32_t* pItemCount, TableNotes* notes) {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, path, "r") != 0 || !pFile) return 0;

    char Line[kLineSize];
    char Keyword[kKeywordSize];
    LineTokenizer Tokenizer;
    TableLines Lines(pFile, notes);
    int32_t Sequence = 0;
    int32_t itemCount = 0;

    // Beyond the records' room (64 items, 4 clips an item, 64 clips in all) lines
    // are passed over; the rest of the file is read as usual.
    while (Lines.read(Line, kLineSize)) {
        Tokenizer.setLine(Line, kDelimiters);
        Tokenizer.nextToken(Keyword, kKeywordSize);
        if (std::strcmp(Keyword, "SingleItem") == 0) {
            readSingleItem(Lines, Tokenizer, Line, playItems, &itemCount, &Sequence);
        } else if (std::strcmp(Keyword, "MultiItem") == 0) {
            int32_t LineCount = Tokenizer.nextInt();
            // Once all 64 clips are taken, a further item has nothing to play.
            bool bStored = itemCount < MAX_PLAY_ITEMS && Sequence < MAX_TABLE_CLIPS;
            Lines.note(bStored ? NOTE_ITEM : NOTE_ITEM_DROPPED, Line);
            int32_t ClipCount =
                readBlock(Lines, Tokenizer, Line, LineCount, bStored ? &playItems[itemCount] : nullptr, Sequence);
            if (bStored) {
                playItems[itemCount].clipCount = ClipCount;
                ++itemCount;
            }
        } else if (std::strcmp(Keyword, "End") == 0) {
            Lines.note(NOTE_END, Line);
            break;
        } else {
            Lines.note(NOTE_IGNORED, Line);
        }
    }
    fclose(pFile);
    *pItemCount = itemCount;
    return itemCount >= 1 ? 1 : 0;
}
