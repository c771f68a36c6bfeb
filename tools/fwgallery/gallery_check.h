// fwgallery check: the findings and the checks that make them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tables/tables.h"

enum Level { NOTE, WARNING, ERROR };

struct Finding {
    std::string file;  // relative to the gallery, as the player opens it
    int32_t line;      // 0: the file as a whole
    Level level;
    std::string code;     // a short stable name of the kind of finding, for scripts
    std::string message;  // English, UTF-8
    std::string box;      // the player's message box text (UTF-8), or empty
};

class Findings {
public:
    // Keeps the first kMaxPerCode findings of each code and one more that tells how many
    // follow, so that a table of 10,000 bad lines gives a readable list.
    void add(const std::string& file, int32_t line, Level level, const std::string& code, const std::string& message,
             const char* box = nullptr);
    void finish();
    bool hasErrors() const;
    void print(FILE* out, bool json) const;

private:
    static const int kMaxPerCode = 64;
    std::vector<Finding> findings;
    std::vector<Finding> surplus;        // the first finding of each code beyond the limit
    std::vector<int32_t> surplusCounts;  // and how many there are
};

// What the play table and the thumbnail table hold, as the player reads them, with
// the line each record came from.
struct Gallery {
    PlayItem items[MAX_PLAY_ITEMS];
    int32_t itemCount;
    int32_t itemLines[MAX_PLAY_ITEMS];
    int32_t clipLines[MAX_TABLE_CLIPS];  // by sequence number
    int32_t clipTotal;
    ThumbnailEntry entries[MAX_THUMBNAILS];
    int32_t entryLines[MAX_THUMBNAILS];
    int32_t entryCount;
    bool playTableRead;
};

// "1 clip", "2 clips".
std::string counted(int32_t count, const std::string& noun);
// Text from a table or a file name (Shift-JIS bytes) as UTF-8 for a message.
std::string shown(const char* text);
// "", or why the bytes are not valid Shift-JIS.
std::string shiftJisFault(const char* text);

void checkPlayTable(Gallery& gallery, Findings& findings);
void checkThumbnailTable(Gallery& gallery, Findings& findings);
void checkPictures(Findings& findings);
void checkSaveData(const Gallery& gallery, Findings& findings);
// Discovers every clip of the play table with GStreamer: false when GStreamer cannot start.
bool checkClips(const Gallery& gallery, Findings& findings);
// "" when the player can play the file at path (UTF-8), else why not, as check says it.
std::string clipPlayFault(const char* path);

// The player's files, relative to the gallery folder.
extern const char kPlayTablePath[];
extern const char kThumbnailTablePath[];
extern const char kSaveDataPath[];
// The four pictures in the order the player loads them: MainBG, ThumbnailBG1 and 2, Thumbnail.
extern const char* const kPicturePaths[4];
// "" when path names a regular file the tool may open; else why not.
std::string fileFault(const char* path);
