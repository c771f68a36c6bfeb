// The readers' line source: fgets into the reader's buffer, counting the file's
// lines for the notes a tool may ask for.
#pragma once

#include <cstdio>
#include <cstring>

#include "tables/tables.h"

class TableLines {
public:
    TableLines(FILE* pFile, TableNotes* notes) : pFile(pFile), notes(notes), lineNumber(0), bLineEnded(true) {}

    // The next line, or the next piece of a line longer than size - 1 bytes; false at the end.
    bool read(char* Line, int32_t Size) {
        if (!fgets(Line, Size, pFile)) return false;
        if (bLineEnded) ++lineNumber;
        else note(NOTE_LINE_SPLIT, Line);
        bLineEnded = std::strchr(Line, '\n') != nullptr;
        return true;
    }

    void note(int32_t Code, const char* Line) const {
        if (notes && notes->note) notes->note(notes->context, lineNumber, Code, Line);
    }

private:
    FILE* pFile;
    TableNotes* notes;
    int32_t lineNumber;
    bool bLineEnded;
};
