// SPDX-License-Identifier: GPL-3.0-or-later
// A gtest fixture with a fresh folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <string>

#include "core/file_io.h"
#include "core/image.h"
#include "image_builder.h"

namespace carillon::test_support {

// A fresh folder under /tmp named "carillon-PREFIX-XXXXXX", for fixtures that keep their own
// folder member; the caller removes it.
inline std::string MakeTempDir(const std::string& prefix) {
    std::string name = "/tmp/carillon-" + prefix + "-XXXXXX";
    if (::mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed for " + name);
    }
    return name;
}

class TempDirTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("carillon-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                std::to_string(::getpid()));
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    std::string Write(const std::string& name, const Bytes& bytes) const {
        const std::string path = Path(name);
        fixtures::WriteFile(path, bytes);
        return path;
    }
    static Bytes Read(const std::string& path) { return ReadWholeFile(path, kImageBufferSize); }

    std::filesystem::path dir_;
};

}  // namespace carillon::test_support
