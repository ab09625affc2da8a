// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "core/file_io.h"
#include "image_builder.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using fixtures::Pattern;
using fixtures::SlotBlock;
using test_support::CliRun;
using test_support::RunCliArgs;

class RelocateCommand : public test_support::TempDirTest {};

// An EEPROM ".bin": valid 285 at 0x20, stale 286 after it, valid 287 after that.
Bytes Eeprom() {
    fixtures::FlashImage image(ImageKind::EepromBin);
    image.Add(Sector::A, SlotBlock(1, Pattern(100, 1)))
        .Add(Sector::A, SlotBlock(2, Pattern(100, 2), kStatusStale))
        .Add(Sector::A, SlotBlock(3, Pattern(100, 3)));
    return image.Build();
}

TEST_F(RelocateCommand, WritesBesideTheImageAndReportsWhatMoved) {
    const std::string path = Write("eeprom.bin", Eeprom());
    const CliRun run = RunCliArgs({"relocate", path});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, "Wrote " + path +
                           ".relopated.bin (verified)\n"
                           "Lowest old block address: 16384032 (FA0020)\n"
                           "Blocks kept: 2 (6806 bytes moved)\n"
                           "Blocks dropped: 1\n"
                           "Bytes freed: 3415\n"
                           "Free bytes in sector A: " +
                           std::to_string(0x20000 - 36 - 0x20 - 6806) + "\n");
    EXPECT_EQ(Read(path + ".relopated.bin").size(), 0x60000u);
    EXPECT_EQ(Read(path), Eeprom());
}

TEST_F(RelocateCommand, ExistingOutputNeedsForce) {
    const std::string path = Write("eeprom.bin", Eeprom());
    const std::string out = Write("out.bin", {1, 2, 3});
    CliRun run = RunCliArgs({"relocate", path, "--out", out});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "carillon-cli: " + out + ": already exists (use --force to replace it)\n");
    EXPECT_EQ(Read(out), (Bytes{1, 2, 3}));

    run = RunCliArgs({"relocate", path, "--out", out, "--force"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Read(out).size(), 0x60000u);
    EXPECT_FALSE(fs::exists(path + ".relopated.bin"));
}

TEST_F(RelocateCommand, RefusalsAndFailuresExitWithOne) {
    const std::string eep = Write("phone.eep", Eeprom());
    CliRun run = RunCliArgs({"relocate", eep});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("carillon-cli: " + eep + ": cannot relocate sector A: "),
              std::string::npos);
    EXPECT_NE(run.err.find("nothing was written"), std::string::npos);
    EXPECT_FALSE(fs::exists(eep + ".relopated.bin"));

    const std::string empty = Write("empty.bin", Bytes(0x60000, 0xFF));
    EXPECT_EQ(RunCliArgs({"relocate", empty}).code, 1);
    EXPECT_EQ(RunCliArgs({"relocate", empty, "--out", empty, "--force"}).code, 1);
    EXPECT_EQ(RunCliArgs({"relocate", (dir_ / "missing.bin").string()}).code, 1);
    EXPECT_EQ(RunCliArgs({"relocate"}).code, 2);
    EXPECT_EQ(RunCliArgs({"relocate", empty, "--bogus"}).code, 2);
}

TEST_F(RelocateCommand, ProbePrintsTheOffsetPlusOne) {
    Bytes bytes(20000, 0x00);
    std::fill(bytes.begin() + 4000, bytes.end(), std::uint8_t{0xFF});
    EXPECT_EQ(RunCliArgs({"probe", Write("a.bin", bytes)}).out, "4001\n");
    EXPECT_EQ(RunCliArgs({"probe", Write("b.bin", Bytes(14999, 0xFF))}).out, "0\n");
    EXPECT_EQ(RunCliArgs({"probe", (dir_ / "missing.bin").string()}).code, 1);
    EXPECT_EQ(RunCliArgs({"probe"}).code, 2);
}

}  // namespace
}  // namespace carillon
