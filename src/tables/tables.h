// Records of the play table and the thumbnail table.
#pragma once

#include <cstdint>

enum {
    MAX_PLAY_ITEMS = 64,     // items of the play table
    MAX_ITEM_CLIPS = 4,      // clips of one MultiItem
    MAX_TABLE_CLIPS = 64,    // clips of the whole table: one unlock flag each
    MAX_THUMBNAILS = 64,     // thumbnail table entries
    PLAY_PATH_SIZE = 260,    // bytes of a clip's path, NUL included
    TABLE_LINE_SIZE = 1024,  // bytes the readers take of a line at once, NUL included
};

struct PlayClip {
    int32_t sequenceNumber;     // number over the whole table; its unlock flag and gallery slot
    char path[PLAY_PATH_SIZE];  // movie file, as written between the quotes
    int32_t repeatCount;        // plays before the sequence moves on; 0 or less: endless
};

struct PlayItem {
    PlayClip clips[MAX_ITEM_CLIPS];
    int32_t clipCount;  // clips of a MultiItem; 0 for a SingleItem
};

struct ThumbnailEntry {
    int32_t item;
    int32_t clip;
};

// What a reader made of a line, for authoring tools that explain a table; the
// player passes no notes. Line numbers count the file's lines from 1 (a line longer
// than the readers' buffer is read in pieces that keep its number).
enum TableNoteCode {
    NOTE_ITEM,             // a SingleItem or MultiItem line made the next item
    NOTE_CLIP,             // a SingleItem or Item line gave the next clip its sequence number
    NOTE_IGNORED,          // a line outside a MultiItem block without a keyword of the table
    NOTE_SWALLOWED,        // a line of a MultiItem block that is not an Item line
    NOTE_BLOCK_CUT,        // the file ended before a MultiItem block's line count
    NOTE_ITEM_DROPPED,     // a SingleItem or MultiItem line beyond the items' or the clips' room
    NOTE_CLIP_DROPPED,     // an Item line beyond its item's, the whole table's or a dropped item's room
    NOTE_END,              // the End line: nothing after it is read
    NOTE_LINE_SPLIT,       // the rest of a line too long for the buffer, read as a line of its own
    NOTE_ENTRY,            // a thumbnail entry line
    NOTE_ENTRIES_CUT,      // the file ended before the thumbnail table's count of entries
    NOTE_ENTRIES_DROPPED,  // a thumbnail count beyond the table's room: the rest is not read
};

struct TableNotes {
    void (*note)(void* context, int32_t lineNumber, int32_t code, const char* line);
    void* context;
};

// Reads a play table into items[MAX_PLAY_ITEMS] and *itemCount: 1 when the file
// opens and holds at least one item, 0 otherwise (*itemCount is then untouched
// if the file did not open).
int32_t readPlayItems(const char* path, PlayItem* items, int32_t* itemCount, TableNotes* notes = nullptr);

// Reads a thumbnail table into entries[MAX_THUMBNAILS]: 1 when the file opens.
// Entries the file does not list keep their values.
int32_t readThumbnailEntries(const char* path, ThumbnailEntry* entries, TableNotes* notes = nullptr);
