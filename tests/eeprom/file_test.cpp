// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "core/file_io.h"
#include "eeprom/probe.h"
#include "eeprom/relocation.h"
#include "image_builder.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using fixtures::Pattern;
using fixtures::SlotBlock;

class EepromFiles : public test_support::TempDirTest {};

Bytes PhoneImage() {
    fixtures::FlashImage image = fixtures::StandardFlash();
    image.Add(Sector::A, SlotBlock(1, Pattern(900, 1)))
        .Add(Sector::A, SlotBlock(2, Pattern(800, 2), kStatusStale))
        .Add(Sector::A, SlotBlock(3, Pattern(700, 3)))
        .Add(Sector::B, SlotBlock(11, Pattern(600, 4)))
        .Add(Sector::C, SlotBlock(12, Pattern(500, 5)));
    return image.Build();
}

TEST_F(EepromFiles, RelocatedCopyGoesBesideTheImageWhichStaysUnchanged) {
    const Bytes in = PhoneImage();
    const std::string path = Write("phone.bin", in);
    const RelocationResult r = RelocateFile(path, ImageKind::FullFlash);
    EXPECT_EQ(r.outputPath, path + ".relopated.bin");
    EXPECT_EQ(Read(path), in);

    const Bytes out = Read(r.outputPath);
    ASSERT_EQ(out.size(), in.size());
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + 0x3A0000, out.begin()));
    EXPECT_TRUE(std::equal(in.begin() + 0x3C0000, in.end(), out.begin() + 0x3C0000));
    EXPECT_EQ(r.lowestBlockAddress, 0xFA0020);
    EXPECT_EQ(r.blocksKept, 2);
    EXPECT_EQ(r.blocksDropped, 1);

    // A second run, as the window makes it, replaces the earlier output without a question
    // and leaves the input's bytes in the image buffer.
    fixtures::WriteFile(r.outputPath, {1, 2, 3});
    ImageBuffer buffer;
    EXPECT_EQ(RelocateFile(buffer, path, ImageKind::FullFlash).lowestBlockAddress, 0xFA0020);
    EXPECT_EQ(Read(r.outputPath), out);
    EXPECT_TRUE(std::ranges::equal(buffer.Image(), in));
}

TEST_F(EepromFiles, RefusalsAndFailuresLeaveNoOutput) {
    const std::string eep = Write("phone.eep", PhoneImage());
    EXPECT_THROW(RelocateFile(eep, ImageKind::EepromEep), RelocationError);
    EXPECT_FALSE(fs::exists(eep + ".relopated.bin"));

    // An earlier output survives a refusal whole.
    const std::string empty = Write("empty.bin", Bytes(0x60000, 0xFF));
    fixtures::WriteFile(empty + ".relopated.bin", {7, 7});
    EXPECT_THROW(RelocateFile(empty, ImageKind::EepromBin), RelocationError);
    EXPECT_EQ(Read(empty + ".relopated.bin"), (Bytes{7, 7}));

    const std::string path = Write("phone.bin", PhoneImage());
    EXPECT_THROW(RelocateFile(path, ImageKind::FullFlash, path), FileError);
    EXPECT_EQ(Read(path), PhoneImage());
    // The window's form: a copy name that is a second name of the image is refused too.
    fs::create_hard_link(path, RelocatedPath(path));
    ImageBuffer buffer;
    EXPECT_THROW(RelocateFile(buffer, path, ImageKind::FullFlash), FileError);
    EXPECT_EQ(Read(path), PhoneImage());
    EXPECT_THROW(RelocateFile(path, ImageKind::FullFlash, (dir_ / "no/such/dir/out").string()),
                 FileError);
    EXPECT_THROW(RelocateFile((dir_ / "missing.bin").string(), ImageKind::FullFlash), FileError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 5);
}

TEST_F(EepromFiles, ProbeFindsTheFirstRunOf15000ErasedBytes) {
    Bytes bytes(40000, 0x00);
    std::fill_n(bytes.begin(), 14999, std::uint8_t{0xFF});
    EXPECT_EQ(ProbeFreeSpace(bytes), 0);
    bytes[14999] = 0xFF;
    EXPECT_EQ(ProbeFreeSpace(bytes), 1);

    Bytes later(40000, 0x00);
    std::fill_n(later.begin() + 10, 14999, std::uint8_t{0xFF});     // one short
    std::fill_n(later.begin() + 20000, 20000, std::uint8_t{0xFF});  // runs to the end
    EXPECT_EQ(ProbeFreeSpace(later), 20001);
    EXPECT_EQ(ProbeFreeSpace(Bytes(15000, 0xFF)), 1);
    EXPECT_EQ(ProbeFreeSpace({}), 0);

    EXPECT_EQ(ProbeFile(Write("later.bin", later)), 20001);
    ImageBuffer buffer;
    EXPECT_EQ(ProbeFile(buffer, Write("bytes.bin", bytes)), 1);
    EXPECT_EQ(buffer.Length(), bytes.size());
    EXPECT_THROW(ProbeFile((dir_ / "missing.bin").string()), FileError);
}

}  // namespace
}  // namespace carillon
