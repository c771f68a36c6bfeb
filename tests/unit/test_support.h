// Shared set-up of the unit tests: each test runs in a fresh temporary folder
// (the player reads and writes relative paths) on a freshly reset recording platform.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/record/record.h"

class TempFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/fw_unit_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        char previous[4096];
        ASSERT_NE(getcwd(previous, sizeof(previous)), nullptr);
        previousFolder = previous;
        ASSERT_EQ(chdir(folder.c_str()), 0);
        fwrecord::resetAll();
    }

    void TearDown() override {
        fwrecord::resetAll();
        ASSERT_EQ(chdir(previousFolder.c_str()), 0);
        std::string command = "rm -rf '" + folder + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }

    // Writes a file below the test's folder, making its folder first.
    static void writeFile(const std::string& path, const std::string& bytes) {
        std::string::size_type slash = path.rfind('/');
        if (slash != std::string::npos) {
            std::string command = "mkdir -p '" + path.substr(0, slash) + "'";
            ASSERT_EQ(std::system(command.c_str()), 0);
        }
        std::ofstream out(path, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    static std::string readFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    std::string folder;
    std::string previousFolder;
};
