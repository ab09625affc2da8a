// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "core/file_io.h"
#include "core/image.h"
#include "core/output_commit.h"
#include "image_builder.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;

class TempDir : public test_support::TempDirTest {};

TEST(Formatting, AddressesAreUpperHexWithAtLeastSixDigits) {
    EXPECT_EQ(FormatAddress(0), "000000");
    EXPECT_EQ(FormatAddress(23), "000017");
    EXPECT_EQ(FormatAddress(0x3A1237), "3A1237");
    EXPECT_EQ(FormatAddress(0xF2ABE), "0F2ABE");
    EXPECT_EQ(FormatAddress(0x1234567), "1234567");
    EXPECT_EQ(FormatAddress(-1), "FFFFFFFF");
}

TEST(Coordinates, ConvertBetweenPhoneFlashAndImageOffsets) {
    EXPECT_EQ(PhoneAddressToImageOffset(ImageKind::FullFlash, 0xFA1234), 0x3A1234);
    EXPECT_EQ(PhoneAddressToImageOffset(ImageKind::EepromBin, 0xFA1234), 0x1234);
    EXPECT_EQ(ImageOffsetToFlashOffset(ImageKind::EepromBin, 0x1234), 0x3A1234);
    EXPECT_EQ(FlashOffsetToImageOffset(ImageKind::EepromEep, 23), 23);
}

TEST(Identification, SizeThresholdAndExtensionDecideTheKind) {
    EXPECT_EQ(DecideKind("phone.bin", 399'999), ImageKind::EepromBin);
    EXPECT_EQ(DecideKind("phone.bin", 400'000), ImageKind::FullFlash);
    EXPECT_EQ(DecideKind("phone.fls", 100), ImageKind::EepromBin);
    EXPECT_EQ(DecideKind("phone.fls", 4'194'304), ImageKind::FullFlash);
    EXPECT_EQ(DecideKind("C:\\PHONE.EEP", 4'194'304), ImageKind::EepromEep);
    for (const char* image : {"a.fls", "b.BIN", "c.Eep", "d.ee_"}) {
        EXPECT_TRUE(HasImageExtension(image)) << image;
    }
    for (const char* other : {"song.mid", "tune.si3", "bin", "a.bin.txt", "x.vkp"}) {
        EXPECT_FALSE(HasImageExtension(other)) << other;
    }
    EXPECT_EQ(DecideKind("phone.Ee_", 10), ImageKind::EepromEep);
    EXPECT_EQ(DecideKind("phone.eep.bin", 10), ImageKind::EepromBin);
    EXPECT_EQ(DecideKind("eep", 10), ImageKind::EepromBin);  // shorter than an extension
    EXPECT_TRUE(EndsWithEep("x.EeP"));
    EXPECT_FALSE(EndsWithEep("x.ee_"));
}

TEST(Identification, FullFlashShowsPhoneAndVersion) {
    const Bytes flash =
        fixtures::FlashImage(ImageKind::FullFlash, 400'000).Phone("A52").Version(0x0B).Build();
    const ImageInfo info = Identify("a.bin", flash);
    EXPECT_EQ(info.kind, ImageKind::FullFlash);
    EXPECT_EQ(info.phone, "A52");
    EXPECT_EQ(info.version, "11");
    EXPECT_EQ(KindText(info.kind), ".bin Full Flash");

    const ImageInfo eeprom = Identify("a.bin", Bytes(399'999, 0xFF));
    EXPECT_EQ(eeprom.phone, "-");
    EXPECT_EQ(eeprom.version, "-");
    EXPECT_EQ(KindText(eeprom.kind), ".bin EEPROM");
    EXPECT_EQ(KindText(Identify("a.eep", flash).kind), ".eep EEPROM");
    EXPECT_EQ(Identify("a.eep", flash).phone, "-");
}

TEST_F(TempDir, BufferHoldsTheFileAndKeepsOlderBytesBeyondIt) {
    WriteFileAtomically(Path("long.bin"), Bytes(100, 0xAA));
    WriteFileAtomically(Path("short.bin"), Bytes(10, 0x11));
    ImageBuffer buffer;
    EXPECT_EQ(buffer.Raw().size(), kImageBufferSize);
    buffer.Load(Path("long.bin"));
    buffer.Load(Path("short.bin"));
    ASSERT_EQ(buffer.Image().size(), 10u);
    EXPECT_EQ(buffer.Image()[9], 0x11);
    EXPECT_EQ(buffer.Raw()[10], 0xAA);  // left from the longer file
    EXPECT_EQ(buffer.Raw()[100], 0x00);
}

TEST_F(TempDir, FileOverTheLimitIsRefusedAndTheBufferStaysAsItWas) {
    WriteFileAtomically(Path("ok.bin"), Bytes(50, 0x5A));
    {
        std::FILE* f = std::fopen(Path("huge.bin").c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fseek(f, static_cast<long>(kImageBufferSize), SEEK_SET);  // ten million + 1 bytes
        std::fputc(0x01, f);
        std::fclose(f);
    }
    WriteFileAtomically(Path("exact.bin"), Bytes(kImageBufferSize, 0x33));

    ImageBuffer buffer;
    buffer.Load(Path("ok.bin"));
    try {
        buffer.Load(Path("huge.bin"));
        FAIL() << "a file over ten million bytes was accepted";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), Path("huge.bin"));
        EXPECT_NE(std::string(e.what()).find(Path("huge.bin")), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("10000000"), std::string::npos);
    }
    EXPECT_EQ(buffer.Length(), 50u);
    EXPECT_EQ(buffer.Raw()[0], 0x5A);
    EXPECT_EQ(buffer.Raw()[50], 0x00);

    buffer.Load(Path("exact.bin"));  // exactly the limit fits
    EXPECT_EQ(buffer.Length(), kImageBufferSize);
}

TEST_F(TempDir, ReadOnlyFilesAreReadAndMissingOnesNamed) {
    WriteFileAtomically(Path("ro.bin"), Bytes(20, 0x42));
    ASSERT_EQ(::chmod(Path("ro.bin").c_str(), 0444), 0);
    EXPECT_EQ(ReadWholeFile(Path("ro.bin"), 100).size(), 20u);

    try {
        ReadWholeFile(Path("missing.bin"), 100);
        FAIL();
    } catch (const FileError& e) {
        EXPECT_EQ(std::string(e.what()), Path("missing.bin") + ": No such file or directory");
        EXPECT_EQ(e.reason(), "No such file or directory");
    }
    EXPECT_THROW(ReadWholeFile(dir_.string(), 100), FileError);  // a folder is not an image
}

TEST_F(TempDir, AtomicWriteReplacesWholeAndKeepsPermissions) {
    const std::string target = Path("image.bin");
    WriteFileAtomically(target, Bytes(8, 0x01));
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    WriteFileAtomically(target, Bytes(4, 0x02));
    EXPECT_EQ(ReadWholeFile(target, 100), Bytes(4, 0x02));
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    // Nothing but the target is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator{}), 1);

    EXPECT_THROW(WriteFileAtomically(Path("no/such/folder/x.bin"), Bytes(1)), FileError);
}

TEST(Paths, FinalComponentIsTheNameWithExtension) {
    EXPECT_EQ(FinalPathComponent("/home/u/tunes/tune.si3"), "tune.si3");
    EXPECT_EQ(FinalPathComponent("tune.si3"), "tune.si3");
    EXPECT_EQ(FinalPathComponent("/home/u/"), "");
}

}  // namespace
}  // namespace carillon
