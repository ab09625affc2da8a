// A gtest fixture with a fresh folder per test, removed afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/file_io.h"
#include "core/image.h"
#include "image_builder.h"

namespace carillon::test_support {

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
