#include "core/message.h"

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

}  // namespace
}  // namespace carillon
