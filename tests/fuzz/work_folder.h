// Each fuzz input runs in a folder of its own (in memory when it can be), since the
// player uses relative paths.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

inline void check(bool condition) {
    if (!condition) __builtin_trap();
}

class WorkFolder {
public:
    WorkFolder() : home(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) { check(home >= 0 && chdir(path()) == 0); }
    ~WorkFolder() { check(fchdir(home) == 0 && close(home) == 0); }

private:
    // Made once for the run and removed when it ends.
    static const char* path() {
        static char memory[] = "/dev/shm/fw_fuzz_XXXXXX", disk[] = "/tmp/fw_fuzz_XXXXXX";
        static const std::string folder = mkdtemp(memory) ? memory : mkdtemp(disk) ? disk : "";
        static const int removed = std::atexit([] { check(std::system(("rm -rf '" + folder + "'").c_str()) >= 0); });
        check(!folder.empty() && removed == 0);
        return folder.c_str();
    }
    const int home;
};
