// The play table and the thumbnail table, read by the player's own readers; their
// notes say what became of each line.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "errors/errors.h"
#include "gallery_check.h"
#include "gfx/layout.h"
#include "tables/line_tokenizer.h"

const char kPlayTablePath[] = "Data/PlayTable.txt";
const char kThumbnailTablePath[] = "Data/ThumbnailTable.txt";

namespace {

const char kDelimiters[] = " \t\r\n";
const std::string kLineTooLong =
    "longer than " + std::to_string(TABLE_LINE_SIZE - 1) + " bytes: the player reads the rest as a line of its own";

struct TableNote {
    int32_t line;
    int32_t code;
    std::string text;
};

void collectNote(void* context, int32_t line, int32_t code, const char* text) {
    static_cast<std::vector<TableNote>*>(context)->push_back({line, code, text});
}

// The words of a line as the readers split it: the keyword, then a quoted text or a word.
std::string word(LineTokenizer& Tokenizer, bool quoted) {
    char Buffer[TABLE_LINE_SIZE];
    return quoted ? Tokenizer.nextQuotedToken(Buffer, sizeof Buffer) : Tokenizer.nextToken(Buffer, sizeof Buffer);
}

std::string quote(const std::string& text) { return "\"" + shown(text.c_str()) + "\""; }

// A clip line's path, as written and as the player keeps it.
void checkClipPath(const TableNote& note, const PlayClip& clip, Findings& findings) {
    LineTokenizer Tokenizer;
    Tokenizer.setLine(note.text.c_str(), kDelimiters);
    std::string keyword = word(Tokenizer, false);
    std::string path = word(Tokenizer, true);
    std::string rest = note.text.substr(note.text.find(keyword) + keyword.size());
    rest.erase(0, std::min(rest.find_first_not_of(kDelimiters), rest.size()));
    const char* file = kPlayTablePath;
    if (path.size() >= PLAY_PATH_SIZE) {
        findings.add(file, note.line, ERROR, "path-too-long",
                     "the path is " + std::to_string(path.size()) + " bytes; the player keeps only its first " +
                         std::to_string(PLAY_PATH_SIZE - 1),
                     kMessageMovieFailed);
    } else if (clip.path[0] == '\0') {
        std::string why = rest.empty()     ? "there is no path"
                          : rest[0] != '"' ? "the path " + quote(rest.substr(0, rest.find_first_of(kDelimiters))) +
                                                 " is not between double quotes"
                          : rest.find('"', 1) == std::string::npos ? "the path's closing double quote is missing"
                                                                   : "the path is empty";
        return findings.add(file, note.line, ERROR, "no-path", why + ": the player reads an empty path",
                            kMessageMovieFailed);
    } else if (!shiftJisFault(clip.path).empty()) {
        findings.add(
            file, note.line, ERROR, "path-not-shift-jis",
            "the path " + quote(clip.path) + " is " + shiftJisFault(clip.path) + " (is the table saved as UTF-8?)",
            kMessageMovieFailed);
    }
    if (clip.repeatCount <= 0)
        findings.add(file, note.line, NOTE, "endless",
                     "repeat count " + std::to_string(clip.repeatCount) + ": the clip plays until the user moves on");
}

// A line the reader passed over: say why, unless it is blank or a comment.
void checkIgnoredLine(const TableNote& note, int32_t blockLine, Findings& findings) {
    LineTokenizer Tokenizer;
    Tokenizer.setLine(note.text.c_str(), kDelimiters);
    std::string keyword = word(Tokenizer, false).substr(0, 31);
    bool swallowed = note.code == NOTE_SWALLOWED;
    if (keyword.empty() && !swallowed) return;
    if (keyword[0] == '#' && !swallowed) return;
    std::string known[] = {"SingleItem", "MultiItem", "Item", "End"};
    for (const std::string& name : known) {
        if (swallowed && keyword == name)
            return findings.add(kPlayTablePath, note.line, ERROR, "swallowed-line",
                                "this " + name + " line is one of the lines of the MultiItem block of line " +
                                    std::to_string(blockLine) + ": the player skips it");
        if (!swallowed && keyword == name)
            return findings.add(kPlayTablePath, note.line, WARNING, "item-outside-block",
                                "an Item line outside a MultiItem block: the player skips it");
        if (strcasecmp(keyword.c_str(), name.c_str()) == 0)
            return findings.add(kPlayTablePath, note.line, WARNING, "keyword-case",
                                quote(keyword) + " is not a keyword (they are case-sensitive: " + name +
                                    "): the player skips the line");
    }
    if (swallowed)
        findings.add(kPlayTablePath, note.line, WARNING, "swallowed-line",
                     "not an Item line, but one of the lines of "
                     "the MultiItem block of line " +
                         std::to_string(blockLine) + ": the player skips it");
    else
        findings.add(kPlayTablePath, note.line, WARNING, "ignored-line",
                     "the player skips this line: " + quote(keyword) + " is not SingleItem, MultiItem or End");
}

void checkDroppedLine(const TableNote& note, int32_t clipTotal, bool itemDropped, Findings& findings) {
    bool item = note.code == NOTE_ITEM_DROPPED;
    std::string why = clipTotal >= MAX_TABLE_CLIPS
                          ? "all " + std::to_string(MAX_TABLE_CLIPS) + " clips the player holds are taken"
                      : item        ? "the player holds " + std::to_string(MAX_PLAY_ITEMS) + " items"
                      : itemDropped ? "its item is dropped"
                                    : "an item holds at most " + std::to_string(MAX_ITEM_CLIPS) + " clips";
    findings.add(kPlayTablePath, note.line, ERROR, item ? "item-dropped" : "clip-dropped",
                 std::string(item ? "item" : "clip") + " dropped: " + why);
}

// Items whose clips the player cannot play or switch between.
void checkItems(const Gallery& gallery, const std::vector<int32_t>& blockCounts, Findings& findings) {
    for (int32_t i = 0; i < gallery.itemCount; ++i) {
        if (blockCounts[i] < 0) continue;  // a SingleItem
        int32_t clips = gallery.items[i].clipCount;
        if (clips == 0)
            findings.add(kPlayTablePath, gallery.itemLines[i], ERROR, "empty-item",
                         "item " + std::to_string(i) + " has no Item line: the player fails to load it",
                         kMessageMovieFailed);
        else if (clips == 1)
            findings.add(kPlayTablePath, gallery.itemLines[i], NOTE, "single-clip-multi",
                         "a MultiItem of one clip: the main screen shows no clip buttons for it");
    }
}

// Walks the play table's notes in file order, keeping where each record came from.
struct PlayTableWalk {
    Gallery& gallery;
    Findings& findings;
    std::vector<int32_t> blockCounts;  // of each item: a MultiItem's line count, -1 for a SingleItem
    int32_t clipIndex = 0, blockLine = 0, blockCount = 0, endLine = 0;
    bool itemDropped = false;

    void item(const TableNote& note) {
        LineTokenizer Tokenizer;
        Tokenizer.setLine(note.text.c_str(), kDelimiters);
        bool multi = word(Tokenizer, false) == "MultiItem";
        if (multi) blockLine = note.line, blockCount = Tokenizer.nextInt();
        itemDropped = note.code == NOTE_ITEM_DROPPED;
        if (itemDropped) return checkDroppedLine(note, gallery.clipTotal, false, findings);
        blockCounts.push_back(multi ? blockCount : -1);
        gallery.itemLines[gallery.itemCount++] = note.line;
        clipIndex = 0;
    }

    void take(const TableNote& note) {
        if (note.code == NOTE_ITEM || note.code == NOTE_ITEM_DROPPED) {
            item(note);
        } else if (note.code == NOTE_CLIP) {
            gallery.clipLines[gallery.clipTotal++] = note.line;
            checkClipPath(note, gallery.items[gallery.itemCount - 1].clips[clipIndex++], findings);
        } else if (note.code == NOTE_CLIP_DROPPED) {
            checkDroppedLine(note, gallery.clipTotal, itemDropped, findings);
        } else if (note.code == NOTE_IGNORED || note.code == NOTE_SWALLOWED) {
            checkIgnoredLine(note, blockLine, findings);
        } else if (note.code == NOTE_BLOCK_CUT) {
            findings.add(kPlayTablePath, blockLine, WARNING, "block-cut",
                         "the file ends before the " + std::to_string(blockCount) + " lines of this MultiItem's block");
        } else if (note.code == NOTE_LINE_SPLIT) {
            findings.add(kPlayTablePath, note.line, ERROR, "line-too-long", kLineTooLong);
        } else if (note.code == NOTE_END) {
            endLine = note.line;
        }
    }
};

}  // namespace

void checkPlayTable(Gallery& gallery, Findings& findings) {
    std::string fault = fileFault(kPlayTablePath);
    if (!fault.empty()) return findings.add(kPlayTablePath, 0, ERROR, "file", fault, kMessagePlayTableFailed);
    std::vector<TableNote> notes;
    TableNotes Notes = {collectNote, &notes};
    gallery.playTableRead = readPlayItems(kPlayTablePath, gallery.items, &gallery.itemCount, &Notes) == 1;
    gallery.itemCount = 0;  // counted again from the notes, with their lines
    PlayTableWalk walk = {gallery, findings, {}};
    for (const TableNote& note : notes) walk.take(note);
    if (!gallery.playTableRead)
        findings.add(kPlayTablePath, 0, ERROR, "no-item", "the table holds no item", kMessagePlayTableFailed);
    if (walk.endLine == 0)
        findings.add(kPlayTablePath, 0, NOTE, "no-end", "no End line: the player reads the whole file");
    checkItems(gallery, walk.blockCounts, findings);
}

namespace {

// The sequence number of the clip an entry names, or -1 when the play table has no such
// clip (the player then does nothing when its cell is clicked).
int32_t entrySequence(const ThumbnailEntry& entry, const Gallery& gallery) {
    if (entry.item < 0 || entry.item >= gallery.itemCount) return -1;
    const PlayItem& item = gallery.items[entry.item];
    bool named = item.clipCount == 0 ? entry.clip == 0 : entry.clip >= 0 && entry.clip < item.clipCount;
    return named ? item.clips[entry.clip].sequenceNumber : -1;
}

std::string clipName(int32_t sequence) { return "the clip of sequence number " + std::to_string(sequence); }

void checkSlot(int32_t slot, const Gallery& gallery, Findings& findings) {
    const char* file = kThumbnailTablePath;
    const ThumbnailEntry& entry = gallery.entries[slot];
    bool listed = slot < gallery.entryCount;
    int32_t line = listed ? gallery.entryLines[slot] : 1;
    std::string name = "slot " + std::to_string(slot);
    int32_t sequence = entrySequence(entry, gallery);
    std::string plays = sequence < 0 ? std::string("nothing") : clipName(sequence);
    if (slot >= kGallerySlots)
        return findings.add(file, line, WARNING, "slot-on-no-page",
                            name +
                                " is on no page: the gallery shows slots 0 "
                                "to " +
                                std::to_string(kGallerySlots - 1));
    if (listed && sequence < 0)
        return findings.add(file, line, ERROR, "entry-out-of-range",
                            name + " names item " + std::to_string(entry.item) + ", clip " +
                                std::to_string(entry.clip) +
                                ", which the play table does not have: its cell does nothing when clicked");
    if (slot >= gallery.clipTotal)
        return findings.add(file, line, WARNING, "slot-never-unlocked",
                            name +
                                " never lights up: its cell unlocks "
                                "when " +
                                clipName(slot) + " has played, and the play table has " +
                                counted(gallery.clipTotal, "clip"));
    if (sequence != slot)
        findings.add(file, line, WARNING, listed ? "slot-plays-other-clip" : "slot-without-entry",
                     name + (listed ? "" : " has no entry, so it") + " lights up when " + clipName(slot) +
                         " has played, but plays " + plays);
    for (int32_t earlier = 0; listed && earlier < slot; ++earlier)
        if (entrySequence(gallery.entries[earlier], gallery) == sequence)
            return findings.add(file, line, WARNING, "duplicate-slot",
                                name + " plays the same clip as slot " + std::to_string(earlier));
}

}  // namespace

void checkThumbnailTable(Gallery& gallery, Findings& findings) {
    std::string fault = fileFault(kThumbnailTablePath);
    if (!fault.empty()) return findings.add(kThumbnailTablePath, 0, ERROR, "file", fault, kMessageThumbnailTableFailed);
    std::vector<TableNote> notes;
    TableNotes Notes = {collectNote, &notes};
    readThumbnailEntries(kThumbnailTablePath, gallery.entries, &Notes);
    for (const TableNote& note : notes) {
        if (note.code == NOTE_ENTRY) gallery.entryLines[gallery.entryCount++] = note.line;
        if (note.code == NOTE_ENTRIES_CUT)
            findings.add(
                kThumbnailTablePath, 1, WARNING, "entries-cut",
                "the file ends after " + std::to_string(gallery.entryCount) + " of the entries this line counts");
        if (note.code == NOTE_ENTRIES_DROPPED)
            findings.add(kThumbnailTablePath, 1, WARNING, "entries-dropped",
                         "more than " + std::to_string(MAX_THUMBNAILS) + " entries: the player reads the first " +
                             std::to_string(MAX_THUMBNAILS));
        if (note.code == NOTE_LINE_SPLIT)
            findings.add(kThumbnailTablePath, note.line, ERROR, "line-too-long", kLineTooLong);
    }
    if (gallery.entryCount == 0)
        findings.add(kThumbnailTablePath, 1, WARNING, "no-entries", "no entries: every cell plays item 0, clip 0");
    int32_t slots = gallery.entryCount > gallery.clipTotal ? gallery.entryCount : gallery.clipTotal;
    for (int32_t slot = 0; slot < slots; ++slot) checkSlot(slot, gallery, findings);
}
