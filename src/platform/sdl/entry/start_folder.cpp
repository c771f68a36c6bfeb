// The player's command line on Linux, handled before the program starts: the
// program itself reads its gallery from the current folder and takes no arguments.
//
// Implements:
//   fernwood2 [GALLERY]   GALLERY (a readable folder) becomes the current folder;
//                         without it the current folder stays the gallery.
//   fernwood2 --demo      the installed demo gallery (<prefix>/share/fernwood2/demo
//                         beside the program's <prefix>/bin, or demo/ beside a
//                         player in its build folder) is copied on first use to
//                         $XDG_DATA_HOME/fernwood2/demo (~/.local/share/... by
//                         default), where GameData.sys may be written, and the
//                         player starts there; later starts reuse the copy.
//   --help, --version     answered on standard output, exit status 0.
//   Anything else, a folder that cannot be used, or a demo that cannot be copied:
//   one line on standard error and exit status 2, before any window.
// Does not: write into the installed demo, refresh a copy made by an older
// version, follow symbolic links inside the demo, or take more than one gallery.
#include "start_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef FW_VERSION
#define FW_VERSION "unknown"
#endif

namespace fwentry {

namespace {

namespace fs = std::filesystem;

const int kStart = -1;
const int kUsageStatus = 2;
const fs::perms kOwnerReadWrite = fs::perms::owner_read | fs::perms::owner_write;

const char kHelp[] =
    "Usage: fernwood2 [GALLERY]\n"
    "       fernwood2 --demo\n"
    "Plays the movie gallery in the folder GALLERY, by default the current folder:\n"
    "its Data/ and Bmp/ folders and its movies. The volume and the unlocked\n"
    "thumbnails are kept in GALLERY/GameData.sys.\n"
    "\n"
    "  --demo      play the demo gallery; the first start copies it to\n"
    "              $XDG_DATA_HOME/fernwood2/demo (~/.local/share/fernwood2/demo)\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "Exit status: 1 once the player has run (its window closed, or a failure it\n"
    "showed), 2 when the command line cannot be used.\n";

int refuse(const std::string& what) {
    std::fprintf(stderr, "fernwood2: %s\n", what.c_str());
    return kUsageStatus;
}

// The gallery folder becomes the current folder, so that it works as one does today.
int enterGallery(const char* folder) {
    struct stat status;
    if (stat(folder, &status) != 0)
        return refuse(std::string(folder) + ": " + (errno == ENOENT ? "no such folder" : std::strerror(errno)));
    if (!S_ISDIR(status.st_mode)) return refuse(std::string(folder) + ": not a folder");
    if (access(folder, R_OK | X_OK) != 0 || chdir(folder) != 0)
        return refuse(std::string(folder) + ": cannot open the folder: " + std::strerror(errno));
    return kStart;
}

// Where the user's data goes: $XDG_DATA_HOME when it is an absolute path, else ~/.local/share.
std::string dataHome() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    if (!home || home[0] == '\0') {
        const passwd* user = getpwuid(getuid());
        home = user ? user->pw_dir : "/";
    }
    return std::string(home) + "/.local/share";
}

// The installed demo: share/fernwood2/demo beside the program's bin folder, or demo/
// beside a player in its build folder; "" when neither is there.
std::string installedDemo() {
    std::error_code error;
    fs::path program = fs::read_symlink("/proc/self/exe", error);
    if (error) return "";
    for (const fs::path& candidate :
         {program.parent_path().parent_path() / "share/fernwood2/demo", program.parent_path() / "demo"})
        if (fs::is_directory(candidate, error)) return candidate.string();
    return "";
}

// Folders and regular files only; every copy is the user's to write, whatever the
// installed files' modes.
bool copyTree(const fs::path& from, const fs::path& to, std::error_code& error) {
    for (fs::recursive_directory_iterator entry(from, error), end; !error && entry != end; entry.increment(error)) {
        fs::path target = to / entry->path().lexically_relative(from);
        bool link = entry->is_symlink(error);
        if (!error && !link && entry->is_directory(error)) {
            fs::create_directory(target, error);
        } else if (!error && !link && entry->is_regular_file(error)) {
            fs::copy_file(entry->path(), target, error);
            if (!error) fs::permissions(target, kOwnerReadWrite, fs::perm_options::add, error);
        }
        if (error) return false;
    }
    return !error;
}

// Copies the demo into place under a temporary name, then renames it: an
// interrupted copy is never taken for a finished one.
int copyDemo(const std::string& source, const fs::path& copy) {
    std::error_code error;
    fs::create_directories(copy.parent_path(), error);
    if (error) return refuse("cannot make the folder " + copy.parent_path().string() + ": " + error.message());
    std::string partial = (copy.parent_path() / ".demo-XXXXXX").string();
    if (!mkdtemp(&partial[0])) return refuse("cannot make the folder " + copy.string() + ": " + std::strerror(errno));
    mode_t mask = umask(0);
    umask(mask);
    if (chmod(partial.c_str(), 0777 & ~mask) != 0) error.assign(errno, std::generic_category());
    if (!error && copyTree(source, partial, error) && rename(partial.c_str(), copy.c_str()) != 0)
        error.assign(errno, std::generic_category());
    if (!error) return kStart;
    std::string why = error.message();
    fs::remove_all(partial, error);
    // Another first start may have finished its copy meanwhile: use that one.
    if (fs::is_directory(copy, error)) return kStart;
    return refuse("cannot make the folder " + copy.string() + ": " + why);
}

int enterDemo() {
    std::string source = installedDemo();
    if (source.empty()) return refuse("the demo gallery is not installed (no share/fernwood2/demo beside the program)");
    fs::path copy = fs::path(dataHome()) / "fernwood2" / "demo";
    std::error_code error;
    if (!fs::exists(copy, error)) {
        int status = copyDemo(source, copy);
        if (status != kStart) return status;
    }
    return enterGallery(copy.c_str());
}

}  // namespace

int applyArguments(int argc, char** argv) {
    if (argc < 2) return kStart;
    const char* first = argv[1];
    if (std::strcmp(first, "--help") == 0 || std::strcmp(first, "-h") == 0) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (std::strcmp(first, "--version") == 0) {
        std::printf("fernwood2 %s\n", FW_VERSION);
        return 0;
    }
    if (argc > 2) return refuse("one gallery folder at most (see fernwood2 --help)");
    if (std::strcmp(first, "--demo") == 0) return enterDemo();
    if (first[0] == '-') return refuse(std::string("unknown option ") + first + " (see fernwood2 --help)");
    return enterGallery(first);
}

}  // namespace fwentry
