// Shared set-up: each test in a fresh temporary folder on a reset recording platform, with a new app.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/player_app.h"
#include "platform/record/record.h"

typedef std::vector<std::string> Lines;

inline std::string int32LE(int32_t value) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(static_cast<uint32_t>(value) >> (8 * i));
    return out;
}

// A raw picture's header; its pixels follow, 4 bytes each.
inline std::string pictureHeader(int32_t width, int32_t height) { return "TEYL" + int32LE(width) + int32LE(height); }

// Takes the log so far and starts a new one.
inline Lines takeCalls() {
    Lines taken = fwrecord::calls();
    fwrecord::calls().clear();
    return taken;
}

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/fw_unit_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        fwrecord::resetAll();
        app.reset(new PlayerApp);
    }

    // The app's shutdown writes GameData.sys: it must go while the folder exists.
    void TearDown() override {
        app.reset();
        fwrecord::resetAll();
        ASSERT_EQ(chdir("/tmp"), 0);
        ASSERT_EQ(std::system(("rm -rf '" + folder + "'").c_str()), 0);
    }

    // Writes a file below the test's folder, making its folder first.
    static void writeFile(const std::string& path, const std::string& bytes) {
        std::string::size_type slash = path.rfind('/');
        if (slash != std::string::npos) {
            ASSERT_EQ(std::system(("mkdir -p '" + path.substr(0, slash) + "'").c_str()), 0);
        }
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // At most 64 KiB: a save renamed over by a link to /dev/full would never end.
    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::string bytes(65536, '\0');
        bytes.resize(static_cast<size_t>(in.read(&bytes[0], 65536).gcount()));
        return bytes;
    }

    std::string folder;
    std::unique_ptr<PlayerApp> app;
};
