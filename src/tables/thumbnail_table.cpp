// "Data/ThumbnailTable.txt": which item and clip each gallery slot plays.
#include <cstdio>

#include "platform/platform.h"
#include "tables/line_tokenizer.h"
#include "tables/table_lines.h"
#include "tables/tables.h"

namespace {

const char kDelimiters[] = " \t\r\n";
const int32_t kLineSize = TABLE_LINE_SIZE;

}  // namespace

int32_t readThumbnailEntries(const char* path, ThumbnailEntry* thumbnailTable, TableNotes* notes) {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, path, "r") != 0 || !pFile) return 0;

    char Line[kLineSize];
    LineTokenizer Tokenizer;
    TableLines Lines(pFile, notes);
    int32_t EntryCount = 0;
    if (Lines.read(Line, kLineSize)) {
        Tokenizer.setLine(Line, kDelimiters);
        EntryCount = Tokenizer.nextInt();
    }
    // The table holds 64 entries; further entry lines are not read.
    for (int32_t i = 0; i < EntryCount; ++i) {
        if (i == MAX_THUMBNAILS) {
            Lines.note(NOTE_ENTRIES_DROPPED, Line);
            break;
        }
        if (!Lines.read(Line, kLineSize)) {
            Lines.note(NOTE_ENTRIES_CUT, "");
            break;
        }
        Tokenizer.setLine(Line, kDelimiters);
        thumbnailTable[i].item = Tokenizer.nextInt();
        thumbnailTable[i].clip = Tokenizer.nextInt();
        Lines.note(NOTE_ENTRY, Line);
    }
    fclose(pFile);
    return 1;
}
