// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/message.h"

#include <cerrno>

#include "core/file_io.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace carillon {
namespace {

struct Pinned {
    MessageId id;
    std::vector<std::string> args;
    std::string english;
};

// Each id with sample arguments and the English text the command line prints for them. The
// texts are the program's own (several are what the window has always shown): a change here
// changes what users and scripts read.
const std::vector<Pinned>& PinnedTexts() {
    static const std::vector<Pinned> table = {
        {MessageId::Plain, {"as it is %2"}, "as it is %2"},
        {MessageId::FullFlashMissing, {"/a/f.bin"}, "Full flash /a/f.bin does not exist!"},
        {MessageId::MelodyFileMissing, {"/a/m.si3"}, "Melody file /a/m.si3 does not exist!"},
        {MessageId::MelodyFileNotRegular,
         {"/a/m.si3"},
         "Melody file /a/m.si3 is not a regular file!"},
        {MessageId::FileAlreadyExists, {"/a/p.vkp"}, "File \"/a/p.vkp\" already exist!"},
        {MessageId::ReplaceIt, {}, "Replace it?"},
        {MessageId::Done, {}, "Done!"},
        {MessageId::PatchesCreatedSingle, {"/a/p.vkp"}, "Patches Created: /a/p.vkp"},
        {MessageId::PatchesCreated, {"None"}, "Patches created: None"},
        {MessageId::PatchesNotCreated, {}, "Patches not created:"},
        {MessageId::FilesPatched, {"/a/f__patched.bin"}, "Files patched: /a/f__patched.bin"},
        {MessageId::None, {}, "None"},
        {MessageId::AbortedByUser, {}, "ERROR: aborted by user (file already exist)"},
        {MessageId::FailureLine,
         {"Classic 1", "m.si3", "File not found"},
         "\"Classic 1\" to \"m.si3\"  (ERROR: File not found)"},
        {MessageId::FullFlashNotFound, {}, "Full Flash not found"},
        {MessageId::FileNotFound, {}, "File not found"},
        {MessageId::DontReplaceVkp, {}, "Don't replace .vkp"},
        {MessageId::UnknownError, {}, "Unknown Error"},
        {MessageId::ImageLonger,
         {"/a/f.bin"},
         "The image file /a/f.bin is longer than when it was opened. Open it again."},
        {MessageId::KindFullFlash, {}, ".bin Full Flash"},
        {MessageId::KindEepromBin, {}, ".bin EEPROM"},
        {MessageId::KindEep, {}, ".eep EEPROM"},
        {MessageId::CutLine,
         {"Classic 2", "3400", "5000"},
         "Cut: \"Classic 2\" holds 3400 of 5000 bytes"},
        {MessageId::NotFound, {}, "not found"},
        {MessageId::ContentLargerThanCapacity,
         {"9000", "3400"},
         "content size 9000 is larger than the capacity 3400"},
        {MessageId::ContentOutsideImage,
         {"12", "3FFFF8"},
         "content (12 bytes at 3FFFF8) lies outside the image"},
        {MessageId::NotApplicable, {}, "n/a"},
        {MessageId::Empty, {}, "empty"},
        {MessageId::PatchCheckFailed, {}, "Patch failed its check"},
        {MessageId::NegativeCapacity, {}, "Negative capacity"},
        {MessageId::SlotOutsideImage, {}, "Slot outside the image"},
        {MessageId::NameOutsideImage, {}, "Name outside the image"},
        {MessageId::WorkingImageTooShort, {}, "Image changed since it was opened"},
        {MessageId::BlockTableDamaged, {}, "Block table damaged"},
        {MessageId::ContentAreaBackwards,
         {"Pop 1", "3A0100", "3A0000"},
         "The content area of \"Pop 1\" ends before it starts (3A0100 to 3A0000)."},
        {MessageId::ContentLeavesImage,
         {"Pop 1", "3FFFF0", "400100", "/a/f.bin", "4194304"},
         "The content of \"Pop 1\" (3FFFF0 to 400100) lies outside the image /a/f.bin (4194304 "
         "bytes)."},
        {MessageId::NameLeavesImage,
         {"Pop 1", "F2ABE", "/a/f.bin", "1000"},
         "The name text of \"Pop 1\" at F2ABE lies outside the image /a/f.bin (1000 bytes)."},
        {MessageId::CutFacts,
         {"big.si3", "5000", "3400"},
         "big.si3 has 5000 bytes, the slot holds 3400"},
        {MessageId::CutDescription,
         {"Classic 2", "big.si3", "5000", "3400", "1600"},
         "\"Classic 2\": big.si3 has 5000 bytes, the slot holds 3400 (1600 cut)"},
        {MessageId::CutWarningHeading,
         {},
         "This file is larger than its slot; only its first bytes would be written:"},
        {MessageId::CutQuestionHeading,
         {},
         "These files are larger than their slots; only their first bytes would be written:"},
        {MessageId::CutThemQuestion, {}, "Cut them and go on?"},
        {MessageId::NameNotWrittenNoFile,
         {"Ringtone", "Pop 1"},
         "Name \"Ringtone\" not written: \"Pop 1\" has no file chosen"},
        {MessageId::NameNotWrittenUnchecked,
         {"Ringtone", "Pop 1"},
         "Name \"Ringtone\" not written: \"Pop 1\" is not checked"},
        {MessageId::PatchNameNotPlain,
         {"../x", "/p"},
         "The patch name \"../x\" is not a plain file name; patches are written into /p. Give a "
         "name without \"/\" or \"\\\"."},
        {MessageId::SharedPatchFile,
         {"Pop 1", "1", "Pop_1", "3", "/p/Pop_1.vkp"},
         "\"Pop 1\" (slot 1) and \"Pop_1\" (slot 3) would both write /p/Pop_1.vkp; give one of "
         "them another name. Nothing was written."},
        {MessageId::FilterMelodies, {}, "Melodies (*.si3)|*.si3"},
        {MessageId::FilterPictures, {}, "Pictures (*.bmp)|*.bmp"},
        {MessageId::FilterAnimations, {}, "Animations (*.bmx)|*.bmx"},
        {MessageId::DamageShorterThanPrefix, {}, "is shorter than its 3-byte prefix"},
        {MessageId::DamageLeavesFile, {}, "leaves the file"},
        {MessageId::DamageLeavesSector, {}, "leaves its sector"},
        {MessageId::DamageOverlapsTable, {"A"}, "overlaps the header table of sector A"},
        {MessageId::DamageOverlapsSlot, {"10"}, "overlaps slot 10"},
        {MessageId::DamageOverlapsSlotNamed, {"10", "Folklore 3"}, "overlaps slot 10 (Folklore 3)"},
        {MessageId::DamageOverlapsBlock, {"5386", "C"}, "overlaps block 5386 of sector C"},
        {MessageId::UnsoundSlot,
         {"4", "Pop 2", "leaves its sector"},
         "slot 4 (Pop 2) leaves its sector: the image's block table is damaged"},
        {MessageId::UnsoundExport,
         {"leaves the file"},
         "its block leaves the file: the image's block table is damaged"},
        {MessageId::FileFailure, {"/a/f.bin", "Permission denied"}, "/a/f.bin: Permission denied"},
        {MessageId::FileSentence, {"/a/f.bin", "is it"}, "/a/f.bin is it"},
        {MessageId::FileIsInput,
         {},
         "is the opened image (or a file this run reads); it is never overwritten"},
        {MessageId::FileTooLarge, {}, "File too large"},
        {MessageId::FileNotRegular, {}, "Not a regular file"},
        {MessageId::FileExistsAlready, {}, "already exists"},
        {MessageId::FileChangedWhileRead, {}, "the image changed while it was read"},
        {MessageId::FileUnknownError, {}, "Unknown error"},
        {MessageId::ReadOutsideFile,
         {"16", "100", "50"},
         "Read of 16 bytes at offset 100 lies outside the file (50 bytes)"},
        {MessageId::FileEndedEarly, {}, "File ended early (it changed while it was read)"},
        {MessageId::TemporaryFileLeft,
         {"No space left on device", "/a/.t1"},
         "No space left on device; the temporary file /a/.t1 was left"},
        {MessageId::FilesAlreadyWritten,
         {"Permission denied", "/a/1.si3"},
         "Permission denied; these files were already written: /a/1.si3"},
        {MessageId::OutputNamedTwice, {}, "is named twice as an output of this job"},
        {MessageId::FileKeptBeingReplaced, {}, "the file kept being replaced by another program"},
        {MessageId::DanglingLinkNotFolder, {}, "is a dangling symbolic link, not a folder"},
        {MessageId::WrittenFileFailedCheck,
         {"byte 3 differs", "nothing was written"},
         "The written file failed its check (byte 3 differs); nothing was written"},
        {MessageId::FileTooLargeLimit,
         {"20000000", "10000000"},
         "File too large: 20000000 bytes, the limit is 10000000 bytes"},
        {MessageId::NothingWritten, {}, "nothing was written"},
        {MessageId::AppendCutOffAgain, {}, "what was appended was cut off again"},
        {MessageId::AppendStillThere,
         {},
         "what was appended is still in the file: it could not be cut off again"},
        {MessageId::AppendLockTimeout,
         {"10"},
         "another program kept the file locked for 10 seconds; nothing was written"},
        {MessageId::AppendNotAPatch,
         {"line 2, column 1: not a record, offset or pragma: x"},
         "it does not read as a patch (line 2, column 1: not a record, offset or pragma: x); "
         "nothing was appended"},
        {MessageId::AppendNotText,
         {},
         "it holds a zero byte: it is no patch text; nothing was appended"},
        {MessageId::AppendReadsOtherwise,
         {},
         "read after the text before it, the appended patch does not read as it was built"},
        {MessageId::OldFileLeft, {}, "the old file was left as it was"},
        {MessageId::ReadsBackAs, {"10", "12"}, "it reads back as 10 bytes, not 12"},
        {MessageId::ReadsBackAsOrMore, {"13", "12"}, "it reads back as 13 bytes or more, not 12"},
        {MessageId::ReadsBackDifferently, {"7"}, "byte 7 reads back differently"},
        {MessageId::CouldNotReadBack,
         {"Input/output error"},
         "it could not be read back: Input/output error"},
        {MessageId::ReplayOutside,
         {"4", "3A0100", "16"},
         "line 4: 3A0100: 16 bytes outside the bytes patched"},
        {MessageId::ReplayOldByte,
         {"4", "3A0100", "FF", "3A0102", "00"},
         "line 4: 3A0100: old byte FF at 3A0102, found 00"},
        {MessageId::ReplayOtherBytes, {}, "it covers other bytes than the ones built"},
        {MessageId::ReplayWouldBecome,
         {"3A0102", "F0", "FF"},
         "image offset 3A0102 would become F0, not FF"},
        {MessageId::VkpErrorAt,
         {"3", "9", "record without data"},
         "line 3, column 9: record without data"},
        {MessageId::VkpTooLong, {"10000000"}, "data longer than 10000000 bytes, the largest image"},
        {MessageId::VkpCommentNeverClosed, {}, "comment \"/*\" is never closed"},
        {MessageId::VkpStillEnabled, {"undo"}, "undo is still enabled at the end of the patch"},
        {MessageId::VkpStillDisabled,
         {"old_equal_ff"},
         "old_equal_ff is still disabled at the end of the patch"},
        {MessageId::VkpOffsetStillInForce,
         {"+100"},
         "offset +100 is still in force at the end of the patch"},
        {MessageId::VkpStrayCommentEnd, {}, "\"*/\" without \"/*\" before it"},
        {MessageId::VkpTextAfterPragma, {"\"x\""}, "unexpected text after the pragma: \"x\""},
        {MessageId::VkpOffsetUnexpected, {"\"zz\""}, "bad offset: unexpected \"zz\""},
        {MessageId::VkpMoreThanOldAndNew,
         {"\"00\""},
         "record with more than old and new data: \"00\""},
        {MessageId::VkpExpectedPragmaGot,
         {"\"enabel\""},
         "expected \"#pragma enable NAME\" or \"#pragma disable NAME\", got \"enabel\""},
        {MessageId::VkpExpectedPragma,
         {},
         "expected \"#pragma enable NAME\" or \"#pragma disable NAME\""},
        {MessageId::VkpUnknownPragma, {"\"undoo\""}, "unknown pragma \"undoo\""},
        {MessageId::VkpAlreadyEnabled,
         {"enable", "undo"},
         "\"#pragma enable undo\" changes nothing: it is already enabled"},
        {MessageId::VkpAlreadyDisabled,
         {"disable", "undo"},
         "\"#pragma disable undo\" changes nothing: it is already disabled"},
        {MessageId::VkpBadOffset,
         {"\"+G\"", "FFFFFFFF"},
         "bad offset \"+G\" (expected +HEX or -HEX, at most FFFFFFFF)"},
        {MessageId::VkpBadAddress,
         {"\"3A01G\"", "FFFFFFFF"},
         "bad address \"3A01G\" (expected hexadecimal, at most FFFFFFFF)"},
        {MessageId::VkpNotARecord, {"\"hello\""}, "not a record, offset or pragma: \"hello\""},
        {MessageId::VkpAddressBelowZero, {"-100"}, "address lies below 0 (offset -100 in force)"},
        {MessageId::VkpRecordWithoutData, {}, "record without data"},
        {MessageId::VkpOldShorterThanNew,
         {"1", "2"},
         "old data (1 bytes) is shorter than new data (2 bytes)"},
        {MessageId::VkpNewDataEmpty, {}, "the new data holds no bytes"},
        {MessageId::VkpNoOldData, {}, "record without old data: it cannot be checked or undone"},
        {MessageId::VkpBlankBeforeComment,
         {},
         "a number must be followed by a blank before a comment"},
        {MessageId::VkpPragmaNotAlone, {}, "a pragma stands on a line of its own"},
        {MessageId::VkpCommentInRecord, {}, "no comment between a record's address and its data"},
        {MessageId::VkpNotData, {"\"zz\""}, "not data: \"zz\""},
        {MessageId::VkpOddDigits, {}, "odd number of hexadecimal digits"},
        {MessageId::Vkp0xEmpty, {}, "\"0x\" without hexadecimal digits"},
        {MessageId::Vkp0xTooLong, {}, "a 0x number holds at most 8 digits (4 bytes)"},
        {MessageId::Vkp0nEmpty, {}, "\"0n\" without binary digits"},
        {MessageId::Vkp0nTooLong, {}, "a 0n number holds at most 32 digits"},
        {MessageId::Vkp0iDigits,
         {"4"},
         "wrong number of digits (4) in a 0i number: 1 to 3, 5, 8, 10, 13, 15, 17 or 20"},
        {MessageId::Vkp0iRange, {"0..255", "1"}, "0i number out of range: 0..255 for 1 bytes"},
        {MessageId::VkpStringOpenAtLineEnd, {}, "string not closed before the line end"},
        {MessageId::VkpSlashInString, {"/*"}, "\"/*\" in a string must be written escaped (\\/)"},
        {MessageId::VkpStringOpenAtEnd, {}, "string not closed before the end of the text"},
        {MessageId::VkpOctalAbove377, {}, "octal escape above \\377"},
        {MessageId::VkpXWithoutDigits, {}, "\\x needs two hexadecimal digits"},
        {MessageId::VkpUNeedsFour, {}, "\\u needs four hexadecimal digits"},
        {MessageId::VkpXAbove7F, {}, "\\x above \\x7F in a string in double quotes"},
        {MessageId::VkpUOnlySingle, {}, "\\u only in a string in single quotes"},
        {MessageId::VkpUnknownEscape, {"\\q"}, "unknown escape \\q"},
        {MessageId::CheckRecord, {"5", "3A0100", "applied"}, "line 5: 3A0100: applied"},
        {MessageId::CheckConflict,
         {"5", "3A0100", "3A0101", "AA BB", "00 BB"},
         "line 5: 3A0100: conflict at image offset 3A0101: expected AA BB, found 00 BB"},
        {MessageId::CheckOutside,
         {"5", "3A0100", "16"},
         "line 5: 3A0100: outside the image (16 bytes)"},
        {MessageId::CheckUnchecked, {"5", "3A0100"}, "line 5: 3A0100: unchecked (no old bytes)"},
        {MessageId::CheckOverlaps,
         {"line 5: 3A0100: applied", "2"},
         "line 5: 3A0100: applied (overlaps line 2)"},
        {MessageId::CheckCounts,
         {"6", "2", "1", "1", "1", "1"},
         "6 records: 2 apply, 1 applied, 1 conflict, 1 outside, 1 unchecked"},
        {MessageId::ApplySummary, {"130", "2"}, "130 records applied, 2 already in place"},
        {MessageId::ApplyDoNotApply, {"3"}, "3 records do not apply"},
        {MessageId::ApplyCannotRevert, {"3"}, "3 records cannot be reverted"},
        {MessageId::ApplyNoOldUnchecked,
         {"4"},
         "4 records have no old bytes and cannot be checked"},
        {MessageId::ApplyNotUndoable,
         {"2", "7"},
         "2 records are marked not to be undone (#pragma disable undo), the first at line 7"},
        {MessageId::ApplyNoOldUnreverted,
         {"4"},
         "4 records have no old bytes and cannot be reverted"},
        {MessageId::ApplyNoRecords, {}, "holds no records"},
        {MessageId::DiffDoesNotGiveNew,
         {},
         "replayed onto the old image it does not give the new one"},
        {MessageId::DiffKindsDiffer,
         {"a.bin", ".bin Full Flash", "b.eep", ".eep EEPROM"},
         "a.bin is .bin Full Flash but b.eep is .eep EEPROM: a patch joins images of one kind"},
        {MessageId::DiffLengthsDiffer,
         {"a.bin", "10", "b.bin", "12"},
         "a.bin holds 10 bytes but b.bin holds 12 bytes: a patch joins images of one length"},
        {MessageId::DiffEqual, {"a.bin", "b.bin"}, "a.bin and b.bin are equal: no patch written"},
        {MessageId::DiffTooLong,
         {"70000000", "67108864"},
         "the patch would hold 70000000 bytes, more than the 67108864 bytes a .vkp may hold: "
         "nothing written"},
        {MessageId::RelocationRefused,
         {"/a/f.bin", "leaves the file"},
         "/a/f.bin: cannot relocate sector A: leaves the file"},
        {MessageId::RelocateTableBelowSector,
         {"0x3C0000"},
         "sector A's header table runs below the start of the sector (a header at offset "
         "0x3C0000)"},
        {MessageId::RelocateDataOutsideSector,
         {"7", "0x3DFFF0", "40", "0x3A0000", "0x3C0000", "0x3DFFFF"},
         "block 7 (header at offset 0x3DFFF0) has its 40 data bytes at offset 0x3A0000, outside "
         "sector A (0x3C0000..0x3DFFFF)"},
        {MessageId::RelocateEep,
         {},
         "an .eep EEPROM image keeps its blocks as records, not in header tables; only "
         "full-flash and .bin EEPROM images can be relocated"},
        {MessageId::RelocateImageTooShort,
         {"1000", "0x3E0000"},
         "the image is 1000 bytes long and ends before the top of sector A's header table at "
         "offset 0x3E0000"},
        {MessageId::RelocateBlockShort,
         {"7", "0x3DFFF0", "2"},
         "block 7 (header at offset 0x3DFFF0) is 2 bytes long, shorter than its 3-byte prefix: "
         "the block table is damaged"},
        {MessageId::RelocateBlockDamaged,
         {"7", "0x3DFFF0", "leaves its sector"},
         "block 7 (header at offset 0x3DFFF0) leaves its sector: the block table is damaged"},
        {MessageId::RelocateNoRoom,
         {"9", "120000", "100000", "0x3C0020", "0x3DFF00"},
         "the 9 valid blocks hold 120000 data bytes, but only 100000 fit between offset "
         "0x3C0020 and the end entry of the new header table at offset 0x3DFF00"},
        {MessageId::RelocateNoBlocks,
         {},
         "sector A's header table lists no valid (0xFC) or stale (0xF0) block"},
        {MessageId::RelocateNoTableEnd,
         {"0x3C0020", "0x3C1000"},
         "header entries of other statuses left below the new header table reach down to the "
         "moved data at 0x3C0020..0x3C1000, so the table would have no proper end"},
    };
    return table;
}

TEST(Message, EveryIdKeepsItsEnglishTextAndTakesItsArguments) {
    std::set<MessageId> pinned;
    for (const Pinned& p : PinnedTexts()) {
        std::vector<MessageArg> args;
        for (const std::string& a : p.args) {
            args.push_back(Message::Arg(a));
        }
        const Message message(p.id, args);
        EXPECT_EQ(English(message), p.english) << EnglishPattern(p.id);
        EXPECT_EQ(PlaceholderCount(EnglishPattern(p.id)), static_cast<int>(p.args.size()))
            << EnglishPattern(p.id);
        pinned.insert(p.id);
    }
    for (const MessagePattern& p : MessagePatterns()) {
        EXPECT_TRUE(pinned.count(p.id)) << p.name << " has no pinned English text";
    }
}

TEST(Message, NestedMessagesAndLinesFormatInPlace) {
    const Message failure(MessageId::FailureLine, {Message::Arg("Pop 1"), Message::Arg("%1.si3"),
                                                   Message::Arg(Message(MessageId::FileNotFound))});
    const MessageLines lines = {Message(MessageId::Done), Message::Text(""), failure};
    EXPECT_EQ(English(lines), "Done!\r\n\r\n\"Pop 1\" to \"%1.si3\"  (ERROR: File not found)");
}

// A file error carries its path, its reason by id and the system's error number; the English
// text is the one the command line has always printed.
TEST(Message, FileErrorsKeepThePathTheSystemTextAndTheNumber) {
    const FileError denied("/a/%1.bin", std::error_code(EACCES, std::generic_category()));
    EXPECT_EQ(denied.systemError(), EACCES);
    EXPECT_EQ(denied.message().id(), MessageId::FileFailure);
    EXPECT_EQ(std::string(denied.what()), "/a/%1.bin: " + std::generic_category().message(EACCES));
    EXPECT_EQ(denied.reasonMessage().id(), MessageId::Plain);  // strerror stays as it is

    const FileError input("/a/f.bin", make_error_code(CarillonErrc::is_an_input));
    EXPECT_EQ(input.systemError(), 0);
    EXPECT_EQ(std::string(input.what()),
              "/a/f.bin is the opened image (or a file this run reads); it is never overwritten");
    EXPECT_EQ(input.reason(),
              "is the opened image (or a file this run reads); it is never overwritten");

    const WriteCheckError check("/a/p.vkp",
                                Message(MessageId::ReadsBackDifferently, {Message::Arg("3")}),
                                Message(MessageId::NothingWritten));
    EXPECT_EQ(
        std::string(check.what()),
        "/a/p.vkp: The written file failed its check (byte 3 reads back differently); nothing "
        "was written");
    EXPECT_EQ(English(Message()), "");
}

}  // namespace
}  // namespace carillon
