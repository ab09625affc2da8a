// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "patch/patch_run.h"

namespace carillon {
namespace {

TEST(RunNames, TimestampSuffixStaysInsideOneFileName) {
    EXPECT_EQ(TimestampSuffix({"07.12.2026", "14:03:59"}), "__07-12-2026__14-03-59");
    EXPECT_EQ(TimestampSuffix({"12/8/26", "2:03:59 PM"}), "__12-8-26__2-03-59 PM");
    EXPECT_EQ(TimestampSuffix({"2026\\12\\08", "14.03.59"}), "__2026-12-08__14-03-59");
#ifdef _WIN32
    EXPECT_EQ(TimestampSuffix({"a*b?c\"d", "<e>|f"}), "__a-b-c-d__-e--f");
#endif
}

TEST(RunNames, PerSlotBaseNameIsCleanedWholeOnlyWithATimestamp) {
    EXPECT_EQ(PerSlotBaseName("My.Tune", std::nullopt), "My.Tune");
    EXPECT_EQ(PerSlotBaseName("My.Tune", DateTimeTexts{"8/12/26", "1:02:03"}),
              "My-Tune__8-12-26__1-02-03");
}

TEST(RunNames, BothNamesCarryTheSameSuffixAndTheFieldIsTakenTrimmed) {
    const DateTimeTexts now{"07.12.2026", "14:03:59"};
    const RunNames names =
        NameRun("My.Patches", "/img/flash.fls", ImageKind::FullFlash, true, "/img/flash.fls", now);
    EXPECT_EQ(names.patchBaseName, "My.Patches__07-12-2026__14-03-59");
    EXPECT_EQ(names.patchedImagePath, "/img/flash__patched__07-12-2026__14-03-59.bin");

    const RunNames plain =
        NameRun("All_Patches", "/img/ee.EEP", ImageKind::EepromEep, true, "", std::nullopt);
    EXPECT_EQ(plain.patchBaseName, "All_Patches");
    EXPECT_EQ(plain.patchedImagePath, "/img/ee__patched.eep");
    // Blanks at either end of the field are no part of a file name.
    EXPECT_EQ(NameRun("  My Patch ", "/img/f.bin", ImageKind::FullFlash, true, "", std::nullopt)
                  .patchBaseName,
              "My Patch");

    // Without a backup the patched image is the opened file itself.
    EXPECT_EQ(NameRun("x", "/img/flash.bin", ImageKind::FullFlash, false, "/img/flash.bin", now)
                  .patchedImagePath,
              "/img/flash.bin");
}

TEST(RunNames, ExtensionIsTakenFromTheFinalPathComponentOnly) {
    EXPECT_EQ(PatchedImagePathFor("/a/b.c/flash", ImageKind::FullFlash, ""),
              "/a/b.c/flash__patched.bin");
    EXPECT_EQ(PatchedImagePathFor("flash.full.bin", ImageKind::EepromBin, "__s"),
              "flash.full__patched__s.bin");
    EXPECT_EQ(PatchedImagePathFor("/a/.hidden", ImageKind::FullFlash, ""), "/a/__patched.bin");
    EXPECT_EQ(JoinPath("/prog", "All.vkp"), "/prog/All.vkp");
    EXPECT_EQ(JoinPath("/prog/", "All.vkp"), "/prog/All.vkp");
}

TEST(RunSummary, VKlayTexts) {
    RunSummary none;
    EXPECT_EQ(none.VKlayText(), "Done!\r\n\r\nPatches Created: None\r\n");

    // Single patch: only the first success is listed; failures follow in slot order.
    RunSummary single;
    single.AddSuccess("/p/All_Patches.vkp", true);
    single.AddFailure(FailureSlotName(2, "Pop 1", "New Pop"), "/m/a.si3",
                      Message(MessageId::FileNotFound));
    single.AddSuccess("/p/All_Patches.vkp", true);
    single.AddFailure(FailureSlotName(14, "", "User Picture 1"), "/m/b.bmp",
                      Message(MessageId::DontReplaceVkp));
    EXPECT_EQ(single.VKlayText(),
              "Done!\r\n\r\nPatches Created: \r\n/p/All_Patches.vkp\r\n"
              "\r\nPatches not created:\r\n"
              "\"Pop 1\" to \"a.si3\"  (ERROR: File not found)\r\n"
              "\"User Picture 1\" to \"b.bmp\"  (ERROR: Don't replace .vkp)\r\n");

    RunSummary perSlot;
    perSlot.AddSuccess("/p/Classic_1.vkp", false);
    perSlot.AddSuccess("/p/Tango.vkp", false);
    EXPECT_EQ(perSlot.VKlayText(),
              "Done!\r\n\r\nPatches Created: \r\n/p/Classic_1.vkp\r\n/p/Tango.vkp\r\n");

    RunSummary failedOnly;
    failedOnly.AddFailure("Tango", "t.si3", Message(MessageId::FullFlashNotFound));
    EXPECT_EQ(failedOnly.VKlayText(),
              "Done!\r\n\r\nPatches Created: None\r\n\r\nPatches not created:\r\n"
              "\"Tango\" to \"t.si3\"  (ERROR: Full Flash not found)\r\n");
    EXPECT_FALSE(failedOnly.anySuccess());
}

TEST(RunSummary, OtherRunTexts) {
    EXPECT_EQ(DirectDoneText("/img/flash__patched.bin"),
              "Done!\r\n\r\nFiles patched: \r\n/img/flash__patched.bin");
    EXPECT_EQ(English(PatchedImageQuestion("/img/f.bin")),
              "File \"/img/f.bin\" already exist!\r\nReplace it?");
}

}  // namespace
}  // namespace carillon
