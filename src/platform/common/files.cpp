// File calls of the Windows C runtime and kernel32 that the program uses, on
// POSIX files. Implements fopen_s (the C runtime's contract: 0 or an errno value,
// *pFile null on failure), MoveFileExA (rename(2); without
// MOVEFILE_REPLACE_EXISTING an existing target makes it fail; with
// MOVEFILE_WRITE_THROUGH the file is synced before the move, so that a power cut
// cannot put an empty file in the target's place, and its folder after it) and
// DeleteFileA (unlink(2); a folder is refused).
// Not supported: MOVEFILE_COPY_ALLOWED, MOVEFILE_DELAY_UNTIL_REBOOT and the other
// flags (the call fails), moving across file systems, GetLastError. Paths are
// used as bytes: no code page conversion, no backslash translation. Windows'
// refusal to delete a read-only file and its sharing modes are not emulated.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "../platform.h"

namespace {

void syncPath(const char* path) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

void syncParentFolder(const char* path) {
    std::string folder(path);
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos ? std::string(".") : (slash == 0 ? std::string("/") : folder.substr(0, slash));
    syncPath(folder.c_str());
}

}  // namespace

errno_t fopen_s(FILE** pFile, const char* filename, const char* mode) {
    if (pFile == nullptr) return EINVAL;
    *pFile = nullptr;
    if (filename == nullptr || mode == nullptr) return EINVAL;
    if (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a') return EINVAL;
    FILE* file = std::fopen(filename, mode);
    if (file == nullptr) return errno != 0 ? errno : EINVAL;
    *pFile = file;
    return 0;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    const DWORD supported = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (lpExistingFileName == nullptr || lpNewFileName == nullptr || (dwFlags & ~supported) != 0) return FALSE;
    struct stat source;
    if (lstat(lpExistingFileName, &source) != 0) return FALSE;
    if ((dwFlags & MOVEFILE_REPLACE_EXISTING) == 0) {
        struct stat target;
        if (lstat(lpNewFileName, &target) == 0) return FALSE;
    } else if (S_ISDIR(source.st_mode)) {
        // Windows replaces only files; a folder never overwrites anything.
        struct stat target;
        if (lstat(lpNewFileName, &target) == 0) return FALSE;
    }
    if ((dwFlags & MOVEFILE_WRITE_THROUGH) != 0) syncPath(lpExistingFileName);
    if (rename(lpExistingFileName, lpNewFileName) != 0) return FALSE;
    if ((dwFlags & MOVEFILE_WRITE_THROUGH) != 0) syncParentFolder(lpNewFileName);
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    if (lpFileName == nullptr) return FALSE;
    struct stat info;
    if (lstat(lpFileName, &info) != 0 || S_ISDIR(info.st_mode)) return FALSE;
    return unlink(lpFileName) == 0 ? TRUE : FALSE;
}
