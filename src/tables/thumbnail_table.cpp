// "Data/ThumbnailTable.txt": which item and clip each gallery slot plays.
#include <cstdio>

#include "platform/platform.h"
#include "tables/line_tokenizer.h"
#include "tables/tables.h"

namespace {

const char kDelimiters[] = " \t\r\n";
const int32_t kLineSize = 1024;

}  // namespace

int32_t readThumbnailEntries(const char* path, ThumbnailEntry* thumbnailTable) {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, path, "r") != 0 || !pFile) return 0;

    char Line[kLineSize];
    LineTokenizer Tokenizer;
    int32_t EntryCount = 0;
    if (fgets(Line, kLineSize, pFile)) {
        Tokenizer.setLine(Line, kDelimiters);
        EntryCount = Tokenizer.nextInt();
    }
    // The table holds 64 entries; further entry lines are not read.
    for (int32_t i = 0; i < EntryCount && i < MAX_THUMBNAILS; ++i) {
        if (!fgets(Line, kLineSize, pFile)) break;
        Tokenizer.setLine(Line, kDelimiters);
        thumbnailTable[i].item = Tokenizer.nextInt();
        thumbnailTable[i].clip = Tokenizer.nextInt();
    }
    fclose(pFile);
    return 1;
}
