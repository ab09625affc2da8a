// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/file_io.h"
#include "core/output_commit.h"
#include "fixtures/image_builder.h"
#include "patch/make_patch.h"
#include "patch/patch_request.h"
#include "patch/vkp_applier.h"
#include "search/slot_search.h"
#include "support/corrupt_read_back.h"
#include "support/read_text.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using fixtures::Pattern;
using fixtures::SlotBlock;

using test_support::ReadBytes;
using test_support::ReadText;

// A full flash on disk with slots 1, 2 and 11 found, and the window's state for it.
class MakePatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = test_support::MakeTempDir("patch");
        vkpDir_ = dir_ + "/program";
        fs::create_directory(vkpDir_);
        imagePath_ = dir_ + "/flash.bin";
        image_ = fixtures::StandardFlash()
                     .Add(Sector::A, SlotBlock(1, Pattern(700, 1)))
                     .Add(Sector::A, SlotBlock(2, Pattern(300, 2)))
                     .Add(Sector::B, SlotBlock(11, Pattern(900, 11)))
                     .Build();
        fixtures::WriteFile(imagePath_, image_);
        InitialiseSlotTable(slots_);
        SearchSlots(image_, ImageKind::FullFlash, slots_);
        working_ = image_;
        melody_ = dir_ + "/tune.si3";
        fixtures::WriteFile(melody_, Pattern(1000, 77));
    }
    void TearDown() override { fs::remove_all(dir_); }

    // What the window reads for slot n after making its row the selected row.
    PatchCall CallFor(int n, const std::string& file) {
        TMelody& slot = slots_[static_cast<std::size_t>(RowOfSlot(n))];
        PatchChoice choice;
        choice.imagePath = imagePath_;
        choice.row = RowOfSlot(n);
        choice.slot = slot;
        choice.caption = std::string(SlotDef(n).caption);
        choice.replacementPath = file;
        choice.nameStored = true;
        PatchCall call;
        call.request = MakePatchRequest(choice);
        call.patchName = "All_Patches";
        call.patchBaseName = "All_Patches";
        call.vkpFolder = vkpDir_;
        return call;
    }

    // Dialogs that record what they show and answer from `answer`.
    PatchDialogs Dialogs(bool answer = true) {
        return {[this](const MessageLines& text) { errors_.push_back(English(text)); },
                [this, answer](const MessageLines& text) {
                    questions_.push_back(English(text));
                    return answer;
                }};
    }

    std::string dir_, vkpDir_, imagePath_, melody_;
    Bytes image_, working_;
    SlotTable slots_{};
    std::string lastPatchPath_;
    std::vector<std::string> errors_, questions_;
};

TEST_F(MakePatchTest, SinglePatchAppendsWithoutAskingAndEditsTheImageCopy) {
    const std::string vkp = vkpDir_ + "/All_Patches.vkp";
    fixtures::WriteFile(vkp, Bytes{';', 'o', 'l', 'd', '\r', '\n'});  // left by an earlier run
    const PatchOutcome first =
        MakePatch(CallFor(1, melody_), working_, lastPatchPath_, Dialogs(false));
    const PatchOutcome second =
        MakePatch(CallFor(11, melody_), working_, lastPatchPath_, Dialogs(false));
    ASSERT_TRUE(first.ok) << first.resultText;
    ASSERT_TRUE(second.ok) << second.resultText;
    EXPECT_EQ(first.resultText, vkp);
    EXPECT_EQ(lastPatchPath_, vkp);
    EXPECT_TRUE(questions_.empty());
    EXPECT_TRUE(errors_.empty());
    EXPECT_EQ(ReadText(vkp), ";old\r\n" + first.block + second.block);

    // The image copy holds both changes, exactly the records of the file.
    Bytes applied = image_;
    std::string error;
    ASSERT_TRUE(testing::ApplyVkp(first.block + second.block, 0, applied, error)) << error;
    EXPECT_EQ(applied, working_);
    EXPECT_EQ(ReadBytes(imagePath_), image_);  // the image file itself is untouched
}

TEST_F(MakePatchTest, DirectRunWritesTheImageWithTheVKlayRunsRecordsApplied) {
    const std::vector<std::pair<int, std::string>> chosen{
        {1, melody_}, {2, melody_}, {11, melody_}};
    // V_KLay mode, single patch.
    Bytes vklayCopy = image_;
    for (const auto& [n, file] : chosen) {
        ASSERT_TRUE(MakePatch(CallFor(n, file), vklayCopy, lastPatchPath_, Dialogs()).ok);
    }
    // Direct mode with the same choices, on a fresh copy; the patched image goes beside it.
    const RunNames names =
        NameRun("All_Patches", imagePath_, ImageKind::FullFlash, true, imagePath_, std::nullopt);
    for (const auto& [n, file] : chosen) {
        PatchCall call = CallFor(n, file);
        call.vklayMode = false;
        ASSERT_TRUE(MakePatch(call, working_, lastPatchPath_, Dialogs()).ok);
    }
    WriteFileAtomically(names.patchedImagePath, working_);
    EXPECT_EQ(names.patchedImagePath, dir_ + "/flash__patched.bin");

    Bytes expected = image_;
    std::string error;
    ASSERT_TRUE(testing::ApplyVkp(ReadText(vkpDir_ + "/All_Patches.vkp"), 0, expected, error))
        << error;
    EXPECT_EQ(ReadBytes(names.patchedImagePath), expected);
    EXPECT_EQ(ReadBytes(imagePath_), image_);
}

TEST_F(MakePatchTest, OldBytesComeFromTheFileOnDiskNotFromTheImageCopy) {
    const PatchOutcome first = MakePatch(CallFor(2, melody_), working_, lastPatchPath_, Dialogs());
    ASSERT_TRUE(first.ok);
    const PatchOutcome again = MakePatch(CallFor(2, melody_), working_, lastPatchPath_, Dialogs());
    ASSERT_TRUE(again.ok);
    EXPECT_EQ(first.block, again.block);  // the file still holds the old bytes

    // Another program changes the file: the next block shows the new old bytes.
    Bytes changed = image_;
    const auto at = static_cast<std::size_t>(slots_[1].Address);
    changed[at] = 0x5A;
    fixtures::WriteFile(imagePath_, changed);
    const PatchOutcome third = MakePatch(CallFor(2, melody_), working_, lastPatchPath_, Dialogs());
    ASSERT_TRUE(third.ok);
    Bytes onDisk = changed;
    std::string error;
    EXPECT_TRUE(testing::ApplyVkp(third.block, 0, onDisk, error)) << error;
    EXPECT_NE(first.block, third.block);
}

TEST_F(MakePatchTest, PerSlotAsksBeforeReplacingOnlyWhenItWritesTheFile) {
    PatchCall call = CallFor(11, melody_);
    call.singlePatch = false;
    call.patchName = "User_Melody_1";
    const std::string vkp = vkpDir_ + "/User_Melody_1.vkp";
    fixtures::WriteFile(vkp, Bytes{'x'});

    // No: nothing changes.
    const PatchOutcome no = MakePatch(call, working_, lastPatchPath_, Dialogs(false));
    EXPECT_FALSE(no.ok);
    EXPECT_EQ(no.resultText, kDontReplaceVkp);
    ASSERT_EQ(questions_.size(), 1u);
    EXPECT_EQ(questions_[0],
              "File \"" + vkpDir_ + "/User_Melody_1.vkp\" already exist!\r\nReplace it?");
    EXPECT_EQ(ReadText(vkp), "x");
    EXPECT_EQ(working_, image_);

    // Direct mode writes no ".vkp" file, so it asks nothing (a No there would silently drop
    // the slot from the image); it keeps LastPatchPath.
    call.vklayMode = false;
    lastPatchPath_ = "/earlier.vkp";
    const PatchOutcome direct = MakePatch(call, working_, lastPatchPath_, Dialogs(false));
    EXPECT_TRUE(direct.ok);
    EXPECT_EQ(direct.resultText, vkp);
    EXPECT_EQ(questions_.size(), 1u);
    EXPECT_EQ(ReadText(vkp), "x");
    EXPECT_EQ(lastPatchPath_, "/earlier.vkp");
    EXPECT_NE(working_, image_);

    // V_KLay mode, Yes: the file holds exactly the block.
    call.vklayMode = true;
    const PatchOutcome yes = MakePatch(call, working_, lastPatchPath_, Dialogs(true));
    ASSERT_TRUE(yes.ok);
    EXPECT_EQ(ReadText(vkp), yes.block);
    EXPECT_EQ(lastPatchPath_, vkp);
}

TEST_F(MakePatchTest, PerSlotTimestampStaysInOneFileName) {
    PatchCall call = CallFor(1, melody_);
    call.singlePatch = false;
    call.patchName = "Classic_1";
    call.timestamp = DateTimeTexts{"12/8/26", "14:03:59"};
    const PatchOutcome out = MakePatch(call, working_, lastPatchPath_, Dialogs());
    ASSERT_TRUE(out.ok);
    EXPECT_EQ(out.resultText, vkpDir_ + "/Classic_1__12-8-26__14-03-59.vkp");
    EXPECT_TRUE(FileExists(out.resultText));
}

TEST_F(MakePatchTest, MissingFilesFailBeforeAnythingChanges) {
    PatchCall call = CallFor(1, melody_);
    call.request.imagePath = dir_ + "/gone.bin";
    PatchOutcome out = MakePatch(call, working_, lastPatchPath_, Dialogs());
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.resultText, kFullFlashNotFound);
    call = CallFor(1, dir_ + "/gone.si3");
    out = MakePatch(call, working_, lastPatchPath_, Dialogs());
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.resultText, kFileNotFound);
    EXPECT_EQ(errors_,
              (std::vector<std::string>{"Full flash " + dir_ + "/gone.bin does not exist!",
                                        "Melody file " + dir_ + "/gone.si3 does not exist!"}));
    EXPECT_EQ(working_, image_);
    EXPECT_TRUE(lastPatchPath_.empty());
    EXPECT_TRUE(fs::is_empty(vkpDir_));
}

TEST_F(MakePatchTest, SlotOutsideTheImageFailsWithAnErrorBoxAndChangesNothing) {
    PatchCall call = CallFor(1, melody_);
    call.request.startText = "3FFFF0";
    call.request.endText = "400010";
    call.request.slot.EndAddress = call.request.slot.Address + 0x20;
    const PatchOutcome out = MakePatch(call, working_, lastPatchPath_, Dialogs());
    EXPECT_FALSE(out.ok);
    EXPECT_EQ(out.resultText, kSlotOutsideImage);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_NE(errors_[0].find("Classic 1"), std::string::npos);
    EXPECT_EQ(working_, image_);
    EXPECT_TRUE(fs::is_empty(vkpDir_));
}

TEST_F(MakePatchTest, ReadOnlyInputsAreNormalInputs) {
    ::chmod(dir_.c_str(), 0755);
    ::chmod(imagePath_.c_str(), 0444);
    ::chmod(melody_.c_str(), 0444);
    // In a child without the rights of root, which could open the files for writing anyway.
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        PatchCall call = CallFor(1, melody_);
        call.vklayMode = false;  // reads only
        try {
            ::_exit(MakePatch(call, working_, lastPatchPath_, {}).ok ? 0 : 1);
        } catch (...) {
            ::_exit(2);
        }
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(MakePatchTest, AnImageOverTheBufferSizeIsRefusedNamingFileAndLimit) {
    ASSERT_EQ(::truncate(imagePath_.c_str(), 10'000'001), 0);
    try {
        MakePatch(CallFor(1, melody_), working_, lastPatchPath_, Dialogs());
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.path(), imagePath_);
        EXPECT_NE(std::string(e.what()).find("10000000"), std::string::npos) << e.what();
    }
    EXPECT_EQ(working_, image_);
}

// Runs `write` in a child whose files may not grow past `limit` bytes. Returns the errno of
// the FileError it met, 0 when it met none, -1 for anything else.
template <typename Write>
int WithFileSizeLimit(rlim_t limit, Write write) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit rl{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &rl);
        int code = 0;
        try {
            write();
        } catch (const FileError& e) {
            code = e.code().value() == EFBIG ? 1 : 2;
        } catch (...) {
            code = 3;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status) == 1 ? EFBIG : WEXITSTATUS(status) == 0 ? 0 : -1;
}

TEST_F(MakePatchTest, AFailedWriteLeavesTheOldFileWholeAndIsReported) {
    // The patched image replacing the opened file (no backup).
    const Bytes patched = Pattern(image_.size(), 5);
    EXPECT_EQ(WithFileSizeLimit(64 * 1024, [&] { WriteFileAtomically(imagePath_, patched); }),
              EFBIG);
    EXPECT_EQ(ReadBytes(imagePath_), image_);

    // A per-slot patch replacing an older one.
    const std::string vkp = vkpDir_ + "/Classic_1.vkp";
    const std::string old = ";" + std::string(97, 'a') + "\r\n";  // an older patch's text
    fixtures::WriteFile(vkp, Bytes(old.begin(), old.end()));
    const std::string block(20000, 'b');
    EXPECT_EQ(WithFileSizeLimit(4096, [&] { WritePatchFile(vkp, block, PatchFileMode::Replace); }),
              EFBIG);
    EXPECT_EQ(ReadText(vkp), old);

    // An append that does not fit leaves no half block behind.
    EXPECT_EQ(WithFileSizeLimit(4096, [&] { WritePatchFile(vkp, block, PatchFileMode::Append); }),
              EFBIG);
    EXPECT_EQ(ReadText(vkp), old);
    for (const auto& entry : fs::directory_iterator(vkpDir_)) {
        EXPECT_EQ(entry.path().filename(), "Classic_1.vkp");  // no temporary file left
    }
}

TEST_F(MakePatchTest, AnyFailedWriteOfASlotUndoesItsEditsInTheImageCopy) {
    // The ".vkp" folder is gone: writing fails, and a later direct-mode run must not write the
    // slot that was reported failed.
    fs::remove_all(vkpDir_);
    for (const bool single : {true, false}) {
        PatchCall call = CallFor(1, melody_);
        call.singlePatch = single;
        EXPECT_THROW(MakePatch(call, working_, lastPatchPath_, Dialogs()), FileError) << single;
        EXPECT_EQ(working_, image_) << single;
    }
}

}  // namespace
}  // namespace carillon

namespace carillon {
namespace {

using test_support::CorruptBeforeReadBack;

TEST_F(MakePatchTest, AnAppendedBlockThatFailsItsCheckIsCutOffAndTheSlotUndone) {
    const std::string vkp = vkpDir_ + "/All_Patches.vkp";
    ASSERT_TRUE(MakePatch(CallFor(1, melody_), working_, lastPatchPath_, Dialogs()).ok);
    const std::string good = ReadText(vkp);
    const Bytes afterFirst = working_;
    PatchOutcome failed;
    {
        // "...FF\r\n" of the last data line becomes "...F0\r\n".
        const CorruptBeforeReadBack corrupt(3, '0');
        failed = MakePatch(CallFor(11, melody_), working_, lastPatchPath_, Dialogs());
    }
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.resultText, kPatchCheckFailed);
    ASSERT_EQ(errors_.size(), 1u);
    EXPECT_EQ(errors_[0].rfind(vkp + ": The written file failed its check (", 0), 0u) << errors_[0];
    EXPECT_NE(errors_[0].find("; what was appended was cut off again"), std::string::npos);
    EXPECT_EQ(ReadText(vkp), good);
    EXPECT_EQ(working_, afterFirst);
}

TEST_F(MakePatchTest, AReplacedPatchOrImageThatFailsItsCheckLeavesTheOldFile) {
    PatchCall call = CallFor(2, melody_);
    call.singlePatch = false;
    call.patchName = "Classic_2";
    const std::string vkp = vkpDir_ + "/Classic_2.vkp";
    fixtures::WriteFile(vkp, Bytes{'o', 'l', 'd'});
    {
        const CorruptBeforeReadBack corrupt(3, '0');
        const PatchOutcome failed = MakePatch(call, working_, lastPatchPath_, Dialogs(true));
        EXPECT_FALSE(failed.ok);
        EXPECT_EQ(failed.resultText, kPatchCheckFailed);
        ASSERT_EQ(errors_.size(), 1u);
        EXPECT_NE(errors_[0].find("; the old file was left as it was"), std::string::npos);
        const std::string image = dir_ + "/out.bin";
        fixtures::WriteFile(image, Bytes{'o', 'l', 'd'});
        EXPECT_THROW(WriteFileAtomically(image, working_), WriteCheckError);
        EXPECT_EQ(ReadText(image), "old");
    }
    EXPECT_EQ(ReadText(vkp), "old");
    EXPECT_EQ(working_, image_);
    EXPECT_EQ(std::distance(fs::directory_iterator(vkpDir_), {}), 1);  // no temporary left
    // Without the hook the same call passes.
    EXPECT_TRUE(MakePatch(call, working_, lastPatchPath_, Dialogs(true)).ok);
}

}  // namespace
}  // namespace carillon
