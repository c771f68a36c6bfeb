// Table text of any shape: words fit the caller's buffers, readers keep to their records.
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/stat.h>

#include "app/player_app.h"
#include "fuzz/work_folder.h"
#include "tables/line_tokenizer.h"

namespace {

// Buffers of exactly the sizes asked for, so ASan sees any byte past them.
void fuzzTokenizer(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const int32_t wordSize = 1 + data[0] % 48;
    std::unique_ptr<char[]> line(new char[size - 1]);
    std::memcpy(line.get(), data + 2, size - 2);
    line[size - 2] = '\0';
    std::unique_ptr<char[]> word(new char[static_cast<size_t>(wordSize)]);
    LineTokenizer tokenizer;
    check(tokenizer.setLine(line.get(), " \t\r\n") == 0);
    for (size_t i = 0; i <= size; ++i) {
        const char reader = "TQI"[(data[1] + i) % 3];
        if (reader == 'I') {
            tokenizer.nextInt();
            continue;
        }
        char* result =
            reader == 'T' ? tokenizer.nextToken(word.get(), wordSize) : tokenizer.nextQuotedToken(word.get(), wordSize);
        check(result == word.get() && std::strlen(result) < static_cast<size_t>(wordSize));
    }
}

// One object for the run (its destructor writes the save); fields behind the tables are
// marked, since ASan cannot see writes past records inside the object.
void fuzzReaders(const uint8_t* data, size_t size) {
    static PlayerApp* app = new PlayerApp;
    WorkFolder inWorkFolder;
    mkdir("Data", 0755);
    std::FILE* file = std::fopen("Data/Table.txt", "wb");
    check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0);
    std::memset(app->playItems, 0, sizeof(app->playItems));
    app->itemCount = 0;
    app->currentItem = 0x11111111;
    std::memset(app->unlockFlags, 0xA5, sizeof(app->unlockFlags));
    app->thumbnailPage = 0x44444444;

    check(app->readPlayTable("Data/Table.txt") == (app->itemCount >= 1 ? 1 : 0));
    check(app->itemCount >= 0 && app->itemCount <= MAX_PLAY_ITEMS);
    for (int32_t i = 0; i < app->itemCount; ++i) {
        check(app->playItems[i].clipCount >= 0 && app->playItems[i].clipCount <= MAX_ITEM_CLIPS);
        for (const PlayClip& clip : app->playItems[i].clips)
            check(std::memchr(clip.path, '\0', sizeof(clip.path)) != nullptr && clip.sequenceNumber >= 0 &&
                  clip.sequenceNumber < MAX_TABLE_CLIPS);
    }
    check(app->readThumbnailTable("Data/Table.txt") == 1);
    check(app->currentItem == 0x11111111 && app->thumbnailPage == 0x44444444);
    for (uint8_t flag : app->unlockFlags) check(flag == 0xA5);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzTokenizer(data, size);
    fuzzReaders(data, size);
    return 0;
}
