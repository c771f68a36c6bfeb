// "GameData.sys": the volume and the 64 unlock flags, 68 bytes, kept between runs.
#include <cstdio>

#include "app/player_app.h"

namespace {

const char kSaveFileName[] = "GameData.sys";
// Written first and renamed over the save file, so a failed save leaves the old one whole.
const char kSaveTempName[] = "GameData.sys.tmp";

}  // namespace

int32_t PlayerApp::loadSaveData() {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, kSaveFileName, "rb") != 0 || !pFile) return 0;
    // Stored little-endian, volume first; a short file leaves the rest at its defaults.
    size_t VolumeBytes = fread(&volume, 1, sizeof(volume), pFile);
    size_t FlagBytes = fread(unlockFlags, 1, sizeof(unlockFlags), pFile);
    (void)VolumeBytes;
    (void)FlagBytes;
    fclose(pFile);
    return 1;
}

int32_t PlayerApp::writeSaveData() {
    FILE* pFile = nullptr;
    if (fopen_s(&pFile, kSaveTempName, "wb") != 0 || !pFile) return 0;
    bool bResult = fwrite(&volume, 1, sizeof(volume), pFile) == sizeof(volume);
    bResult = fwrite(unlockFlags, 1, sizeof(unlockFlags), pFile) == sizeof(unlockFlags) && bResult;
    bResult = fflush(pFile) == 0 && bResult;
    bResult = fclose(pFile) == 0 && bResult;
    if (bResult && MoveFileExA(kSaveTempName, kSaveFileName, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 1;
    DeleteFileA(kSaveTempName);
    return 0;
}
