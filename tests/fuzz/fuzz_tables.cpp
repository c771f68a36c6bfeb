// Table text of any shape: the tokenizer under every order of reader calls, and
// both table readers on the same bytes as their files. The readers must stay
// inside their records and leave the rest of the object alone.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/player_app.h"
#include "tables/line_tokenizer.h"

namespace {

const char kDelimiters[] = " \t\r\n";

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// The player uses relative paths: each input runs in a folder of our own (in
// memory when it can be, since every input means file writes), and the fuzzer
// gets its own current folder back afterwards for its corpus paths.
class WorkFolder {
public:
    WorkFolder() {
        static const char* folder = makeFolder();
        home = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        check(home >= 0 && chdir(folder) == 0);
    }
    ~WorkFolder() {
        check(fchdir(home) == 0);
        close(home);
    }

private:
    static std::string& path() {
        static std::string folder;
        return folder;
    }
    // Leaves nothing behind when the run ends.
    static void removeFolder() {
        for (const char* name : {"Data/PlayTable.txt", "Data/ThumbnailTable.txt", "Data"})
            std::remove((path() + "/" + name).c_str());
        rmdir(path().c_str());
    }
    static const char* makeFolder() {
        static char pattern[] = "/dev/shm/fw_fuzz_tables_XXXXXX";
        static char fallback[] = "/tmp/fw_fuzz_tables_XXXXXX";
        const char* folder = mkdtemp(pattern);
        if (!folder) folder = mkdtemp(fallback);
        check(folder != nullptr);
        path() = folder;
        std::atexit(removeFolder);
        check(mkdir((std::string(folder) + "/Data").c_str(), 0755) == 0);
        return folder;
    }
    int home;
};

void writeFile(const char* path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path, "wb");
    check(file != nullptr);
    if (size) check(std::fwrite(data, 1, size, file) == size);
    check(std::fclose(file) == 0);
}

bool isDelimiter(char c) { return c != '\0' && std::strchr(kDelimiters, c) != nullptr; }

// One reader call into a buffer of exactly size bytes; true when it read something.
bool readOnce(LineTokenizer& tokenizer, char reader, int32_t size) {
    if (reader == 'I') return tokenizer.nextInt() != 0;
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
    char* result = reader == 'T' ? tokenizer.nextToken(buffer.get(), size) : tokenizer.nextQuotedToken(buffer.get(), size);
    check(result == buffer.get());
    size_t length = std::strlen(result);
    check(length < static_cast<size_t>(size));
    for (size_t i = 0; i < length; ++i) {
        if (reader == 'T') check(!isDelimiter(result[i]));
        if (reader == 'Q') check(result[i] != '"');
    }
    return length > 0;
}

// Every sequence of three reader calls, repeated until a round reads nothing.
void fuzzTokenizer(const uint8_t* data, size_t size) {
    if (size < 2) return;
    const int32_t tokenSize = 1 + data[0] % 48;
    const int32_t quotedSize = 1 + data[1] % 300;
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    std::unique_ptr<char[]> line(new char[text.size() + 1]);  // exactly the line and its NUL
    std::memcpy(line.get(), text.data(), text.size());
    line[text.size()] = '\0';
    const char kReaders[] = "TIQ";
    for (int sequence = 0; sequence < 27; ++sequence) {
        const char order[3] = {kReaders[sequence % 3], kReaders[sequence / 3 % 3], kReaders[sequence / 9]};
        LineTokenizer tokenizer;
        check(tokenizer.setLine(line.get(), kDelimiters) == 0);
        for (size_t round = 0; round <= text.size() + 1; ++round) {
            bool readSomething = false;
            for (char reader : order)
                readSomething |= readOnce(tokenizer, reader, reader == 'Q' ? quotedSize : tokenSize);
            if (!readSomething) break;
        }
    }
}

void markNeighbours(PlayerApp& app) {
    app.currentItem = 0x11111111;
    app.currentClip = 0x22222222;
    app.clipPlayCount = 0x33333333;
    std::memset(app.unlockFlags, 0xA5, sizeof(app.unlockFlags));
    app.thumbnailPage = 0x44444444;
}

void checkNeighbours(const PlayerApp& app) {
    check(app.currentItem == 0x11111111);
    check(app.currentClip == 0x22222222);
    check(app.clipPlayCount == 0x33333333);
    for (uint8_t flag : app.unlockFlags) check(flag == 0xA5);
    check(app.thumbnailPage == 0x44444444);
}

// One object for the whole run: its destructor would write the save file (and
// sync it) on every input. The readers write only the tables, which are reset here.
PlayerApp& theApp() {
    static PlayerApp* app = new PlayerApp;
    std::memset(app->playItems, 0, sizeof(app->playItems));
    app->itemCount = 0;
    std::memset(app->thumbnailTable, 0, sizeof(app->thumbnailTable));
    return *app;
}

void fuzzReaders(const uint8_t* data, size_t size) {
    WorkFolder inWorkFolder;
    writeFile("Data/PlayTable.txt", data, size);
    writeFile("Data/ThumbnailTable.txt", data, size);
    PlayerApp& app = theApp();
    markNeighbours(app);

    int32_t result = app.readPlayTable("Data/PlayTable.txt");
    check(result == (app.itemCount >= 1 ? 1 : 0));
    check(app.itemCount >= 0 && app.itemCount <= MAX_PLAY_ITEMS);
    for (int32_t i = 0; i < app.itemCount; ++i) {
        const PlayItem& item = app.playItems[i];
        check(item.clipCount >= 0 && item.clipCount <= MAX_ITEM_CLIPS);
        for (const PlayClip& clip : item.clips) {
            check(std::memchr(clip.path, '\0', sizeof(clip.path)) != nullptr);
            check(clip.sequenceNumber >= 0 && clip.sequenceNumber < MAX_TABLE_CLIPS);
        }
    }
    checkNeighbours(app);

    check(app.readThumbnailTable("Data/ThumbnailTable.txt") == 1);
    checkNeighbours(app);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzTokenizer(data, size);
    fuzzReaders(data, size);
    return 0;
}
