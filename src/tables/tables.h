// Records of the play table and the thumbnail table.
#pragma once

#include <cstdint>

enum {
    MAX_PLAY_ITEMS = 64,      // items of the play table
    MAX_ITEM_CLIPS = 4,       // clips of one MultiItem
    MAX_TABLE_CLIPS = 64,     // clips of the whole table: one unlock flag each
    MAX_THUMBNAILS = 64,      // thumbnail table entries
    PLAY_PATH_SIZE = 260,     // bytes of a clip's path, NUL included
};

struct PlayClip {
    int32_t sequenceNumber;         // number over the whole table; its unlock flag and gallery slot
    char path[PLAY_PATH_SIZE];      // movie file, as written between the quotes
    int32_t repeatCount;            // plays before the sequence moves on; 0 or less: endless
};

struct PlayItem {
    PlayClip clips[MAX_ITEM_CLIPS];
    int32_t clipCount;              // clips of a MultiItem; 0 for a SingleItem
};

struct ThumbnailEntry {
    int32_t item;
    int32_t clip;
};

// Reads a play table into items[MAX_PLAY_ITEMS] and *itemCount: 1 when the file
// opens and holds at least one item, 0 otherwise (*itemCount is then untouched
// if the file did not open).
int32_t readPlayItems(const char* path, PlayItem* items, int32_t* itemCount);

// Reads a thumbnail table into entries[MAX_THUMBNAILS]: 1 when the file opens.
// Entries the file does not list keep their values.
int32_t readThumbnailEntries(const char* path, ThumbnailEntry* entries);
