// Any bytes as "GameData.sys": the first 68 are read in order, missing ones stay
// 0, and the rewrite holds exactly those 68 bytes.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "app/player_app.h"
#include "platform/record/record.h"

namespace {

const size_t kSaveSize = 68;

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
        for (const char* name : {"GameData.sys", "GameData.sys.tmp"}) std::remove((path() + "/" + name).c_str());
        rmdir(path().c_str());
    }
    static const char* makeFolder() {
        static char pattern[] = "/dev/shm/fw_fuzz_save_XXXXXX";
        static char fallback[] = "/tmp/fw_fuzz_save_XXXXXX";
        const char* folder = mkdtemp(pattern);
        if (!folder) folder = mkdtemp(fallback);
        check(folder != nullptr);
        path() = folder;
        std::atexit(removeFolder);
        return folder;
    }
    int home;
};

std::string readSave() {
    std::string bytes;
    std::FILE* file = std::fopen("GameData.sys", "rb");
    check(file != nullptr);
    char buffer[256];
    size_t count;
    while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, count);
    std::fclose(file);
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkFolder inWorkFolder;
    std::FILE* file = std::fopen("GameData.sys", "wb");
    check(file != nullptr);
    if (size) check(std::fwrite(data, 1, size, file) == size);
    check(std::fclose(file) == 0);

    std::string expected(reinterpret_cast<const char*>(data), size < kSaveSize ? size : kSaveSize);
    expected.resize(kSaveSize, '\0');

    std::unique_ptr<PlayerApp> app(new PlayerApp);
    check(app->loadSaveData() == 1);
    uint32_t volume = 0;
    for (int i = 3; i >= 0; --i) volume = (volume << 8) | static_cast<uint8_t>(expected[static_cast<size_t>(i)]);
    check(static_cast<uint32_t>(app->volume) == volume);
    check(std::memcmp(app->unlockFlags, expected.data() + 4, sizeof(app->unlockFlags)) == 0);

    check(app->writeSaveData() == 1);
    check(readSave() == expected);
    check(access("GameData.sys.tmp", F_OK) != 0);

    app.reset();  // the destructor's pass writes the same bytes again
    check(readSave() == expected);
    fwrecord::resetAll();
    return 0;
}
