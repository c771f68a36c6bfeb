// Any bytes as "GameData.sys": the first 68 are read in order, missing ones stay 0,
// and the rewrite holds exactly those 68 bytes.
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/player_app.h"
#include "fuzz/work_folder.h"
#include "platform/record/record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkFolder inWorkFolder;
    std::FILE* file = std::fopen("GameData.sys", "wb");
    check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0);

    std::string expected(reinterpret_cast<const char*>(data), size < 68 ? size : 68);
    expected.resize(68, '\0');
    std::unique_ptr<PlayerApp> app(new PlayerApp);
    check(app->loadSaveData() == 1);
    check(std::memcmp(&app->volume, expected.data(), 4) == 0);  // little-endian, as on the target
    check(std::memcmp(app->unlockFlags, expected.data() + 4, 64) == 0);
    check(app->writeSaveData() == 1);

    file = std::fopen("GameData.sys", "rb");
    check(file != nullptr);
    char written[80];
    check(std::fread(written, 1, sizeof(written), file) == 68 && std::memcmp(written, expected.data(), 68) == 0);
    std::fclose(file);
    app.reset();
    fwrecord::resetAll();
    return 0;
}
