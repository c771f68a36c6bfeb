// fwgallery check on a gallery of any bytes: the same input as both tables, the save data
// and the four pictures. The checks keep to their records and print one finding a line.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "../tools/fwgallery/gallery_check.h"
#include "fuzz/work_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WorkFolder inWorkFolder;
    mkdir("Data", 0755);
    mkdir("Bmp", 0755);
    for (const char* path : {kPlayTablePath, kThumbnailTablePath, kSaveDataPath, "Bmp/MainBG.bmp",
                             "Bmp/ThumbnailBG1.bmp", "Bmp/ThumbnailBG2.bmp", "Bmp/Thumbnail.bmp"}) {
        std::FILE* file = std::fopen(path, "wb");
        check(file != nullptr && std::fwrite(data, 1, size, file) == size && std::fclose(file) == 0);
    }
    static Gallery gallery;
    std::memset(&gallery, 0, sizeof gallery);
    Findings findings;
    checkPlayTable(gallery, findings);
    checkThumbnailTable(gallery, findings);
    checkPictures(findings);
    checkSaveData(gallery, findings);
    findings.finish();
    check(gallery.itemCount >= 0 && gallery.itemCount <= MAX_PLAY_ITEMS && gallery.clipTotal >= 0 &&
          gallery.clipTotal <= MAX_TABLE_CLIPS && gallery.entryCount >= 0 && gallery.entryCount <= MAX_THUMBNAILS);
    char* text = nullptr;
    size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    findings.print(out, false);
    std::fclose(out);
    // Every line but the summary is a finding about one of the gallery's files.
    for (char* line = text; line && *line; line = std::strchr(line, '\n') ? std::strchr(line, '\n') + 1 : nullptr) {
        bool last = std::strchr(line, '\n') == text + length - 1;
        check(last || std::strncmp(line, "Data/", 5) == 0 || std::strncmp(line, "Bmp/", 4) == 0 ||
              std::strncmp(line, kSaveDataPath, 12) == 0);
    }
    std::free(text);
    check(gallery.playTableRead || findings.hasErrors());
    return 0;
}
