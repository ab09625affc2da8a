#include "patch/vkp_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/image_builder.h"
#include "patch/patch_builder.h"

namespace carillon {
namespace {

using fixtures::Pattern;

// A record as a test writes it: line, address, old bytes ("" when unknown), new bytes.
struct Expected {
    int line;
    std::int64_t address;
    std::string oldHex;
    std::string newHex;
};

void ExpectRecords(const std::string& text, const std::vector<Expected>& expected) {
    SCOPED_TRACE(text);
    const VkpParse parsed = ReadVkp(text);
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    ASSERT_EQ(parsed.records.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const VkpRecord& r = parsed.records[i];
        EXPECT_EQ(r.line, expected[i].line) << i;
        EXPECT_EQ(r.address, expected[i].address) << i;
        EXPECT_EQ(r.oldKnown, !expected[i].oldHex.empty()) << i;
        EXPECT_EQ(HexBytes(r.oldBytes), expected[i].oldHex) << i;
        EXPECT_EQ(HexBytes(r.newBytes), expected[i].newHex) << i;
    }
}

TEST(VkpReader, ReadsEveryConstructUsersWrite) {
    struct Case {
        std::string text;
        std::vector<Expected> records;
    };
    const std::vector<Case> cases = {
        // Line ends: CR LF, LF and a lone CR, mixed; the last line may lack one.
        {"000001: AA BB\r000002: CC DD\n\n000003: EE FF\r\n000004: 01 02",
         {{1, 1, "AA", "BB"}, {2, 2, "CC", "DD"}, {4, 3, "EE", "FF"}, {5, 4, "01", "02"}}},
        // Comments: ";", "#", "//" on their own and after a record; "/* */" across lines, with
        // code before it and after it.
        {"; a\r\n# b\r\n// c\r\n000010: 0102 0304 ; d\r\n000012: 05 06 # e\r\n"
         "000013: 07 08 // f\r\n/* g\r\n000099: 00 00\r\n h */ 000014: 09 0A\r\n"
         "000015: 0B 0C /* i\r\n*/\r\n#pragmatic comment\r\n",
         {{4, 0x10, "0102", "0304"},
          {5, 0x12, "05", "06"},
          {6, 0x13, "07", "08"},
          {9, 0x14, "09", "0A"},
          {10, 0x15, "0B", "0C"}}},
        // "0x" on the address, lower case, blanks and tabs around the parts and the colon.
        {"0x3a1000: ab cd\r\n \t0X3A1001 :\tEf\t01 \r\n3A1002:0203 0405\r\n",
         {{1, 0x3A1000, "AB", "CD"}, {2, 0x3A1001, "EF", "01"}, {3, 0x3A1002, "0203", "0405"}}},
        // Old data longer than new data: only as many old bytes as new ones count.
        {"000020: 01020304 AABB\r\n", {{1, 0x20, "0102", "AABB"}}},
        // Without old data: unknown, or 0xFF while old_equal_ff is enabled; other pragma names
        // are ignored.
        {"000030: 11\r\n#pragma enable old_equal_ff\r\n000031: 2233\r\n"
         "#pragma enable other_option\r\n#pragma disable other_option\r\n000033: 44\r\n"
         "#pragma disable old_equal_ff ; back to unknown\r\n000034: 55\r\n",
         {{1, 0x30, "", "11"},
          {3, 0x31, "FFFF", "2233"},
          {6, 0x33, "FF", "44"},
          {8, 0x34, "", "55"}}},
        // Offsets are set, not added up; "+0" cancels them; "-" subtracts.
        {"+100\r\n000001: AA BB\r\n+0x200\r\n000001: AA BB\r\n+0\r\n000001: AA BB\r\n"
         "-1 ; before the start\r\n000002: AA BB\r\n",
         {{2, 0x101, "AA", "BB"}, {4, 0x201, "AA", "BB"}, {6, 1, "AA", "BB"}, {8, 1, "AA", "BB"}}},
        // Nothing but comments and blank lines.
        {"\r\n  \r\n;\r\n/**/\r\n", {}},
    };
    for (const Case& c : cases) {
        ExpectRecords(c.text, c.records);
    }
}

TEST(VkpReader, AnythingElseIsAnErrorWithItsLineNumber) {
    struct Case {
        std::string text;
        int line;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"000001: AAB BB\r\n", 1, "is not bytes in hexadecimal"},
        {"\r\n\n\r000001: ZZ\r\n", 4, "\"ZZ\" is not bytes"},
        {"000001: AA BBCC\r\n", 1, "old data (1 bytes) is shorter than new data (2 bytes)"},
        {"; ok\r\n000001:\r\n", 2, "record without data"},
        {"000001: ; comment only\r\n", 1, "record without data"},
        {"000001: AA BB CC\r\n", 1, "more than old and new data"},
        {"GG0001: AA BB\r\n", 1, "bad address \"GG0001\""},
        {"123456789: AA BB\r\n", 1, "bad address"},
        {"0x: AA BB\r\n", 1, "bad address"},
        {"00 01: AA BB\r\n", 1, "bad address"},
        {"+XYZ\r\n", 1, "bad offset \"+XYZ\""},
        {"-\r\n", 1, "bad offset"},
        {"+10 20\r\n", 1, "bad offset"},
        {"#pragma enable\r\n", 1, "expected \"#pragma enable NAME\""},
        {"#pragma push old_equal_ff\r\n", 1, "expected \"#pragma enable NAME\""},
        {"#pragma enable a b\r\n", 1, "expected"},
        {"hello\r\n", 1, "not a record, offset or pragma: \"hello\""},
        {"000001 AA BB\r\n", 1, "not a record"},
        {"000001: AA BB\r\n\x1A", 2, "not a record, offset or pragma: \"\\x1A\""},
        {"000001: AA BB\r\n/* never\r\nclosed\r\n", 2, "comment \"/*\" is never closed"},
        {"000001: \xC0\xC1 BB\r\n", 1, "\"\\xC0\\xC1\" is not bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const VkpParse parsed = ReadVkp(c.text);
        EXPECT_FALSE(parsed.ok());
        EXPECT_EQ(parsed.errorLine, c.line);
        EXPECT_EQ(parsed.error.rfind("line " + std::to_string(c.line) + ": ", 0), 0u)
            << parsed.error;
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
    }
}

TEST(VkpCheck, EachRecordAgainstTheImageAsGiven) {
    // Image offsets 0..7: 10 11 12 13 FF FF 16 17.
    const Bytes image{0x10, 0x11, 0x12, 0x13, 0xFF, 0xFF, 0x16, 0x17};
    const VkpParse parsed = ReadVkp(
        "000000: 1011 AABB\r\n"  // applies
        "000000: 1011 CCDD\r\n"  // applies too: judged against the image, not after line 1
        "000002: 0000 1213\r\n"  // applied
        "000004: FFFF FFFF\r\n"  // both: counted as applies
        "000001: 1112131415 1112130000\r\n"  // conflict at offset 4
        "000007: 17FF 0000\r\n"              // outside: runs past the end
        "-10\r\n000000: 00 00\r\n+0\r\n"     // outside: before the start
        "000006: 99\r\n"                     // unchecked: no old bytes
        "000006: 1617\r\n");                 // applied: no old bytes, new bytes there
    ASSERT_TRUE(parsed.ok()) << parsed.error;
    const VkpCheck check = CheckVkp(parsed.records, ImageKind::EepromEep, image);
    const std::vector<RecordStatus> statuses{
        RecordStatus::Applies, RecordStatus::Applies,   RecordStatus::Applied,
        RecordStatus::Both,    RecordStatus::Conflict,  RecordStatus::Outside,
        RecordStatus::Outside, RecordStatus::Unchecked, RecordStatus::Applied};
    ASSERT_EQ(check.records.size(), statuses.size());
    for (std::size_t i = 0; i < statuses.size(); ++i) {
        EXPECT_EQ(check.records[i].status, statuses[i]) << i;
    }
    const RecordCheck& conflict = check.records[4];
    EXPECT_EQ(conflict.offset, 4);
    EXPECT_EQ(HexBytes(conflict.expected), "1415");
    EXPECT_EQ(HexBytes(conflict.found), "FFFF");
    EXPECT_EQ(check.CountsLine(),
              "9 records: 3 apply, 2 applied, 1 conflict, 2 outside, 1 unchecked");
    EXPECT_FALSE(check.Passes());
}

TEST(VkpCheck, PassesWhenAllApplyOrAllAreApplied) {
    const Bytes image{0x01, 0x02, 0xFF};
    struct Case {
        std::string text;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"", true},
        {"000000: 01 AA\r\n000001: 77\r\n000002: FF FF\r\n", true},  // apply, unchecked, both
        {"000000: 00 01\r\n000001: 02\r\n000002: FF FF\r\n", true},  // applied, applied, both
        {"000000: 01 AA\r\n000001: 00 02\r\n", false},               // apply + applied: half
        {"000000: 01 AA\r\n000001: 03 04\r\n", false},               // conflict
        {"000000: 01 AA\r\n000003: 00 01\r\n", false},               // outside
    };
    for (const Case& c : cases) {
        const VkpParse parsed = ReadVkp(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        EXPECT_EQ(CheckVkp(parsed.records, ImageKind::EepromEep, image).Passes(), c.passes)
            << c.text;
    }
}

TEST(VkpCheck, AddressesMapByImageKind) {
    // A flash address of the EEPROM area: inside a ".bin" EEPROM image, outside a short ".eep".
    const Bytes image = Pattern(0x100, 1);
    const VkpParse parsed =
        ReadVkp("3A0010: " + HexBytes(ByteView(image).subspan(0x10, 2)) + " 0000\r\n");
    ASSERT_TRUE(parsed.ok());
    EXPECT_EQ(CheckVkp(parsed.records, ImageKind::EepromBin, image).records[0].status,
              RecordStatus::Applies);
    EXPECT_EQ(CheckVkp(parsed.records, ImageKind::EepromEep, image).records[0].status,
              RecordStatus::Outside);
    EXPECT_EQ(CheckVkp(parsed.records, ImageKind::FullFlash, image).records[0].status,
              RecordStatus::Outside);
}

TEST(VkpReplay, AppliesInOrderAndStopsAtTheFirstOldByteThatDiffers) {
    Bytes image{0x01, 0x02, 0x03};
    const VkpParse ok = ReadVkp("000000: 01 0A\r\n000000: 0A 0B\r\n000002: 33\r\n");
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(ReplayVkp(ok.records, ImageKind::EepromEep, image), "");
    EXPECT_EQ(image, (Bytes{0x0B, 0x02, 0x33}));

    const VkpParse bad = ReadVkp("000001: 02 20\r\n000002: 00 44\r\n");
    ASSERT_TRUE(bad.ok());
    const std::string failure = ReplayVkp(bad.records, ImageKind::EepromEep, image);
    EXPECT_EQ(failure, "line 2: 000002: old byte 00 at 000002, found 33");
    EXPECT_EQ(image, (Bytes{0x0B, 0x20, 0x33}));  // the first record stays replayed

    const VkpParse outside = ReadVkp("000002: 3300 0000\r\n");
    EXPECT_NE(ReplayVkp(outside.records, ImageKind::EepromEep, image).find("outside"),
              std::string::npos);
}

// A melody block of every image kind, built from patterned bytes.
PatchBlock BuiltBlock(ImageKind kind, Bytes& image) {
    image = Pattern(kind == ImageKind::FullFlash ? 0x400000 : 0x60000, 5);
    SlotTable slots{};
    InitialiseSlotTable(slots);
    PatchRequest r;
    r.kind = kind;
    r.row = 0;
    r.caption = "My Tune";
    r.slot = slots[0];
    const std::int32_t start = kind == ImageKind::EepromEep ? 0x1003 : 0x3A1003;
    r.slot.Address = start;
    r.slot.Capacity = 1000;
    r.slot.EndAddress = start + 1000;
    r.startText = FormatAddress(start);
    r.endText = FormatAddress(start + 1000);
    r.replacementPath = "tune.si3";
    const BuiltPatch built = BuildPatchFromBytes(r, image, Pattern(333, 9));
    EXPECT_TRUE(built.block) << built.failure;
    return built.block ? *built.block : PatchBlock{};
}

TEST(VerifyPatchText, TheBuildersBlocksReadBackAndAChangedByteIsCaught) {
    for (ImageKind kind : {ImageKind::FullFlash, ImageKind::EepromBin, ImageKind::EepromEep}) {
        SCOPED_TRACE(static_cast<int>(kind));
        Bytes image;
        const PatchBlock block = BuiltBlock(kind, image);
        EXPECT_EQ(block.edits.size(), kind == ImageKind::FullFlash ? 3u : 2u);
        EXPECT_EQ(VerifyPatchText(block.text, kind, block.originals, block.edits), "");
        // The whole image, checked record by record, applies.
        const VkpParse parsed = ReadVkp(block.text);
        ASSERT_TRUE(parsed.ok());
        const VkpCheck check = CheckVkp(parsed.records, kind, image);
        EXPECT_EQ(check.applies, static_cast<int>(parsed.records.size()));

        // One new byte changed on disk: the replay no longer gives the built bytes.
        std::string changed = block.text;
        const std::size_t at = changed.rfind("FF\r\n");
        changed[at] = '0';
        EXPECT_NE(VerifyPatchText(changed, kind, block.originals, block.edits), "");
        // A line lost: the bytes it covered keep their old values.
        std::string cut = block.text;
        const std::size_t last = cut.rfind("\r\n", cut.size() - 3);
        cut.resize(last + 2);
        EXPECT_NE(VerifyPatchText(cut, kind, block.originals, block.edits), "");
        // Cut mid-line: no longer reads.
        EXPECT_NE(VerifyPatchText(block.text.substr(0, block.text.size() - 5), kind,
                                  block.originals, block.edits),
                  "");
    }
}

}  // namespace
}  // namespace carillon
