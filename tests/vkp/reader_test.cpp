// SPDX-License-Identifier: GPL-3.0-or-later
#include "vkp/reader.h"
#include "vkp/judge.h"
#include "vkp/replay.h"

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
         "000015: 0B 0C /* i\r\n*/\r\n#pragma\r\n#pragma, a comment\r\n",
         {{4, 0x10, "0102", "0304"},
          {5, 0x12, "05", "06"},
          {6, 0x13, "07", "08"},
          {9, 0x14, "09", "0A"},
          {10, 0x15, "0B", "0C"}}},
        // "0x" on the address, lower case, blanks and tabs around the parts, after the colon.
        {"0x3a1000: ab cd\r\n \t0X3A1001:\tEf\t01 \r\n3A1002:0203 0405\r\n",
         {{1, 0x3A1000, "AB", "CD"}, {2, 0x3A1001, "EF", "01"}, {3, 0x3A1002, "0203", "0405"}}},
        // Old data longer than new data is kept whole: every old byte is checked.
        {"000020: 01020304 AABB\r\n", {{1, 0x20, "01020304", "AABB"}}},
        // Without old data: unknown, or 0xFF while old_equal_ff is enabled.
        {"000030: 11\r\n#pragma enable old_equal_ff\r\n000031: 2233\r\n"
         "#pragma disable undo\r\n#pragma enable undo\r\n000033: 44\r\n"
         "#pragma disable old_equal_ff ; back to unknown\r\n000034: 55\r\n",
         {{1, 0x30, "", "11"},
          {3, 0x31, "FFFF", "2233"},
          {6, 0x33, "FF", "44"},
          {8, 0x34, "", "55"}}},
        // Offsets are set, not added up; "+0" cancels them; "-" subtracts.
        {"+100\r\n000001: AA BB\r\n+0x200\r\n000001: AA BB\r\n+0\r\n000001: AA BB\r\n"
         "-1 ; before the start\r\n000002: AA BB\r\n",
         {{2, 0x101, "AA", "BB"}, {4, 0x201, "AA", "BB"}, {6, 1, "AA", "BB"}, {8, 1, "AA", "BB"}}},
        // A comment straight after hexadecimal bytes or a string; "#PRAGMA" is a comment.
        {"000040: AABB;c\r\n000042: \"ab\"//c\r\n#PRAGMA enable nothing\r\n",
         {{1, 0x40, "", "AABB"}, {2, 0x42, "", "6162"}}},
        // Nothing but comments and blank lines.
        {"\r\n  \r\n;\r\n/**/\r\n", {}},
    };
    for (const Case& c : cases) {
        ExpectRecords(c.text, c.records);
    }
}

TEST(VkpReader, EachItemFormGivesItsBytes) {
    struct Case {
        std::string data;  // one data list
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"DEAD926E", "DEAD926E"},
        {"DEAD926E,DE,AD,0x92", "DEAD926EDEAD92"},
        {"0x1", "01"},
        {"0x123", "2301"},
        {"0xDEAD926E", "6E92ADDE"},
        {"0xFFFFFFFF", "FFFFFFFF"},
        {"0n1", "01"},
        {"0n100000001", "0101"},
        {"0n11111111111111111111111111111111", "FFFFFFFF"},
        {"0i18", "12"},
        {"0i255", "FF"},
        {"0i04660", "3412"},
        {"0i+018", "12"},
        {"0i+127", "7F"},
        {"0i-127", "81"},
        {"0i-001", "FF"},
        {"0i-00001", "FFFF"},
        {"0i18446744073709551615", "FFFFFFFFFFFFFFFF"},
        {"0i+09223372036854775807", "FFFFFFFFFFFFFF7F"},
        {R"("ab")", "6162"},
        {"\"\xC0\xFF\"", "C0FF"},
        {"'A'", "4100"},
        {"'\xC0\xB8'", "10045104"},
        {R"("\0\12\377\x7F\a\b\t\r\n\v\f\e\\\/\"\'")", "000AFF7F0708090D0A0B0C1B5C2F2227"},
        {R"('\u0410\xFF\101')", "1004FF004100"},
        {R"("\/\/x\/*")", "2F2F782F2A"},
        {"\"a\\\r\nb\"", "6162"},
        {R"("ab",0x1,'c')", "6162016300"},
    };
    for (const Case& c : cases) {
        ExpectRecords("000010: " + c.data + "\r\n", {{1, 0x10, "", c.bytes}});
    }
    // Old and new data lists of any forms; old data longer than new is kept whole.
    ExpectRecords("000000: FFFFFFFF DEAD,0x92,0i+018 ; note\r\n", {{1, 0, "FFFFFFFF", "DEAD9212"}});
    ExpectRecords("000000: \"abc\" 0x4241\r\n", {{1, 0, "616263", "4142"}});
}

// Forms the field's patches use, read as the field's tools read them.
TEST(VkpReader, ReadsTheFieldsForms) {
    struct Case {
        std::string text;
        std::vector<Expected> records;
    };
    const std::vector<Case> cases = {
        // A backslash at the end of a record's line joins the next line, also more than once.
        {"10: AA \\\r\nBB\r\n20: \\\n\\\nCC DD\r\n",
         {{1, 0x10, "AA", "BB"}, {3, 0x20, "CC", "DD"}}},
        // Straight after an item, the joined line goes on with the same data list.
        {"10: AA\\\r\nBB,\"c\"\\\r\n0x12 DD\r\n", {{1, 0x10, "AABB6312", "DD"}}},
        // So it does after a comma, when the next line starts with an item or a comma; a
        // blank, a comment or nothing there ends the list.
        {"10: AA,\\\r\nBB\r\n11: AA,\\\r\n,BB CC\r\n12: AA,\\\r\n DD\r\n13: EE,\\\r\n; c\r\n"
         "14: FF,\\\r\n",
         {{1, 0x10, "", "AABB"},
          {3, 0x11, "AABB", "CC"},
          {5, 0x12, "AA", "DD"},
          {7, 0x13, "", "EE"},
          {9, 0x14, "", "FF"}}},
        // Any number of digits, up to FFFFFFFF, in addresses and offsets.
        {"000000010: AA\r\nFFFFFFFF: CC\r\n+000000010\r\n0: BB\r\n",
         {{1, 0x10, "", "AA"}, {2, 0xFFFFFFFF, "", "CC"}, {4, 0x10, "", "BB"}}},
        // Items one after the other: a string needs no comma before or after it.
        {"10: AA\"b\"\r\n11: \"a\"BB\r\n12: 'a'\"b\"0x12\r\n",
         {{1, 0x10, "", "AA62"}, {2, 0x11, "", "61BB"}, {3, 0x12, "", "61006212"}}},
        // A comma before a blank ends the old data; a run of commas joins as one.
        {"10: AA, BB\r\n11: AA,,BB\r\n12: AA,\r\n13: AA,\tBB ; c\r\n14: AA,;c\r\n",
         {{1, 0x10, "AA", "BB"},
          {2, 0x11, "", "AABB"},
          {3, 0x12, "", "AA"},
          {4, 0x13, "AA", "BB"},
          {5, 0x14, "", "AA"}}},
        // Escapes of "*", "`" and a blank; one hexadecimal digit after \x before another
        // character.
        {"10: \"\\*\\`\\ \\x4G\"\r\n", {{1, 0x10, "", "2A60200447"}}},
        // A stray "*/" at a line's start is stepped over (with a warning).
        {"*/ 10: AA\r\n", {{1, 0x10, "", "AA"}}},
        // A comment begun after a record's data may close on a later line, before a record.
        {"10: AA /* c\r\n*/ 20: BB\r\n", {{1, 0x10, "", "AA"}, {2, 0x20, "", "BB"}}},
    };
    for (const Case& c : cases) {
        ExpectRecords(c.text, c.records);
    }
}

// What the field's tools refuse is refused too, whatever the line and column.
TEST(VkpReader, RefusesWhatTheFieldRefuses) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"10: AA 0X12\r\n", "not data: \"0X12\""},
        {"10 : AA\r\n", "bad address"},
        {"+ 10\r\n", "bad offset"},
        {"100000000: AA\r\n", "bad address"},
        {"10: 0x123456789\r\n", "at most 8 digits"},
        {"10: AA /* c */ BB\r\n", "more than old and new data"},
        {"10: /* c */ AA\r\n", "no comment between a record's address and its data"},
        {"10: \"\\x4\"\r\n", "\\x needs two hexadecimal digits"},
        {"10: AA BB #pragma enable old_equal_ff\r\n", "a pragma stands on a line of its own"},
        {"10: AA #pragma\tenable old_equal_ff\r\n", "a pragma stands on a line of its own"},
        {"#pragmas enable old_equal_ff\r\n10: AA\r\n", "got \"#pragmas\""},
        {"#pragma_x\r\n", "got \"#pragma_x\""},
        {"10: AA BB \\\r\n20: CC\r\n", "more than old and new data"},
        {"10: AA \\ BB\r\n", "not data"},
    };
    for (const auto& [text, says] : cases) {
        SCOPED_TRACE(text);
        const VkpParse parsed = ReadVkp(text);
        EXPECT_FALSE(parsed.ok());
        EXPECT_TRUE(parsed.records.empty());
        EXPECT_NE(parsed.error.find(says), std::string::npos) << parsed.error;
    }
}

// A string longer than any image is refused as soon as it passes the limit, not once it has
// been read whole.
TEST(VkpReader, AHugeStringIsRefusedAtTheLimit) {
    constexpr std::size_t kPiece = 1 << 20;
    for (const char* open : {"0: \"", "0: '"}) {
        SCOPED_TRACE(open);
        std::string piece;
        std::size_t pulled = 0;
        VkpSource source([&]() -> std::string_view {
            piece = pulled == 0 ? std::string(open) : std::string(kPiece, 'a');
            pulled += piece.size();
            return pulled < 40 * kPiece ? std::string_view(piece) : std::string_view();
        });
        VkpRecord record;
        EXPECT_FALSE(source.Next(record));
        EXPECT_NE(source.error().find("data longer than 10000000 bytes"), std::string::npos)
            << source.error();
        EXPECT_LT(pulled, kImageBufferSize + 2 * kPiece);
    }
}

TEST(VkpReader, AnythingElseIsAnErrorAtItsLineAndColumn) {
    struct Case {
        std::string text;
        int line;
        int column;
        std::string says;
    };
    const std::vector<Case> cases = {
        {"000001: AAB BB\r\n", 1, 9, "odd number of hexadecimal digits"},
        {"\r\n\n\r000001: XX\r\n", 4, 9, "not data: \"XX\""},
        {"000001: AAXX\r\n", 1, 11, "not data: \"XX\""},
        {"000001: AA BBCC\r\n", 1, 9, "old data (1 bytes) is shorter than new data (2 bytes)"},
        {"; ok\r\n000001:\r\n", 2, 8, "record without data"},
        {"000001: ; comment only\r\n", 1, 9, "record without data"},
        {"000001: AA BB CC\r\n", 1, 15, "more than old and new data"},
        {"000001: AA ,BB\r\n", 1, 12, "not data"},
        {"000001: \"\"\r\n", 1, 9, "the new data holds no bytes"},
        {"GG0001: AA BB\r\n", 1, 1, "bad address \"GG0001\""},
        {"123456789: AA BB\r\n", 1, 1, "bad address"},
        {"0x: AA BB\r\n", 1, 1, "bad address"},
        {"00 01: AA BB\r\n", 1, 1, "bad address"},
        {"+XYZ\r\n", 1, 1, "bad offset \"+XYZ\""},
        {"-\r\n", 1, 1, "bad offset"},
        {"+123456789\r\n", 1, 1, "bad offset"},
        {"+10 20\r\n", 1, 5, "bad offset"},
        {"-FFFFFFFF\r\n0: 00 11\r\n", 2, 1, "address lies below 0 (offset -FFFFFFFF in force)"},
        {"#pragma enable\r\n", 1, 15, "expected \"#pragma enable NAME\""},
        {"#pragma push old_equal_ff\r\n", 1, 9, "expected \"#pragma enable NAME\""},
        {"#pragma enable other_option\r\n", 1, 16, "unknown pragma \"other_option\""},
        {"#pragma enable undo b\r\n", 1, 21, "unexpected text after the pragma"},
        {"hello\r\n", 1, 1, "not a record, offset or pragma: \"hello\""},
        {"000001 AA BB\r\n", 1, 1, "not a record"},
        {"000001: AA BB\r\n\x1A", 2, 1, "not a record, offset or pragma: \"\\x1A\""},
        {"000001: \xC0\xC1 BB\r\n", 1, 9, "not data: \"\\xC0\\xC1\""},
        {"000001: 0x\r\n", 1, 9, "\"0x\" without hexadecimal digits"},
        {"000001: 0x123456789\r\n", 1, 9, "at most 8 digits"},
        {"000001: 0n102\r\n", 1, 13, "not data: \"2\""},
        {"000001: 0n111111111111111111111111111111111\r\n", 1, 9, "at most 32 digits"},
        {"000001: 0i0466\r\n", 1, 9, "wrong number of digits (4)"},
        {"000001: 0i256\r\n", 1, 9, "out of range: 0..255 for 1 bytes"},
        {"000001: 0i-128\r\n", 1, 9, "out of range: -127..127 for 1 bytes"},
        {"000001: 0i99999999999999999999\r\n", 1, 9, "out of range"},
        {"000001: 0x12;c\r\n", 1, 13, "followed by a blank before a comment"},
        {"000001: 0i1//c\r\n", 1, 12, "followed by a blank before a comment"},
        {R"(000001: "\400")"
         "\r\n",
         1, 10, "octal escape above \\377"},
        {R"(000001: "\q")"
         "\r\n",
         1, 10, "unknown escape \\q"},
        {R"(000001: "\x80")"
         "\r\n",
         1, 10, "\\x above \\x7F"},
        {R"(000001: "\u0410")"
         "\r\n",
         1, 10, "\\u only in a string in single quotes"},
        {R"(000001: '\u41')"
         "\r\n",
         1, 10, "\\u needs four hexadecimal digits"},
        {R"(000001: "a//b")"
         "\r\n",
         1, 11, "must be written escaped"},
        {R"(000001: "a/*b")"
         "\r\n",
         1, 11, "must be written escaped"},
        {"000001: \"ab\r\n", 1, 12, "string not closed"},
        {"000001: AA BB */\r\n", 1, 15, "\"*/\" without \"/*\""},
        {"000001: AA*/\r\n", 1, 11, "\"*/\" without \"/*\""},
        {"000001: AA */\r\n", 1, 12, "\"*/\" without \"/*\""},
        // Data no image can hold is refused before it is all held.
        {"0: " + std::string(2 * kImageBufferSize + 2, 'A') + "\r\n", 1,
         static_cast<int>(4 + 2 * kImageBufferSize), "data longer than 10000000 bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 80));
        const VkpParse parsed = ReadVkp(c.text);
        EXPECT_FALSE(parsed.ok());
        EXPECT_TRUE(parsed.records.empty());
        EXPECT_EQ(parsed.errorLine, c.line);
        EXPECT_EQ(parsed.errorColumn, c.column);
        EXPECT_EQ(parsed.error.rfind("line " + std::to_string(c.line) + ", column " +
                                         std::to_string(c.column) + ": ",
                                     0),
                  0u)
            << parsed.error;
        EXPECT_NE(parsed.error.find(c.says), std::string::npos) << parsed.error;
    }
}

TEST(VkpReader, WarningsLeaveTheRecordsAsRead) {
    struct Case {
        std::string text;
        std::size_t records;
        std::vector<std::pair<int, std::string>> warnings;  // line, part of the text
    };
    const std::vector<Case> cases = {
        {"000001: AA\r\n", 1, {{1, "record without old data"}}},
        {"#pragma disable warn_no_old_on_apply\r\n000001: AA\r\n"
         "#pragma enable warn_no_old_on_apply\r\n",
         1,
         {}},
        {"#pragma enable old_equal_ff\r\n000001: AA\r\n#pragma disable old_equal_ff\r\n", 1, {}},
        {"#pragma enable undo\r\n000001: AA BB\r\n",
         1,
         {{1, "\"#pragma enable undo\" changes nothing"}}},
        {"#pragma disable old_equal_ff\r\n000001: AA BB\r\n",
         1,
         {{1, "\"#pragma disable old_equal_ff\" changes nothing"}}},
        {"000001: AA BB\r\n#pragma enable old_equal_ff\r\n#pragma disable undo\r\n",
         1,
         {{3, "undo is still disabled at the end"}, {3, "old_equal_ff is still enabled"}}},
        {"+10\r\n000001: AA BB\r\n", 1, {{2, "offset +000010 is still in force"}}},
        {"000001: AA BB\r\n*/\r\n  */ ; note\r\n",
         1,
         {{2, "\"*/\" without \"/*\""}, {3, "\"*/\" without \"/*\""}}},
        {"000001: AA BB\r\n/* open\r\n000002: CC DD\r\n", 1, {{2, "\"/*\" is never closed"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const VkpParse parsed = ReadVkp(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        EXPECT_EQ(parsed.records.size(), c.records);
        ASSERT_EQ(parsed.warnings.size(), c.warnings.size());
        for (std::size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(parsed.warnings[i].line, c.warnings[i].first) << i;
            EXPECT_NE(parsed.warnings[i].text.find(c.warnings[i].second), std::string::npos)
                << parsed.warnings[i].text;
        }
    }
}

// The text read as a stream in pieces of `size` bytes: every record it hands out (also those
// before an error), and the error with its place.
VkpParse ReadInPieces(const std::string& text, std::size_t size) {
    std::size_t at = 0;
    std::string piece;
    VkpSource source([&] {
        piece = text.substr(std::min(at, text.size()), size);
        at += size;
        return std::string_view(piece);
    });
    VkpParse read;
    VkpRecord r;
    while (source.Next(r)) {
        read.records.push_back(r);
    }
    read.error = source.error();
    read.errorLine = source.errorLine();
    read.errorColumn = source.errorColumn();
    return read;
}

TEST(VkpReader, ReadsTheSameInPiecesOfAnySize) {
    const std::string text =
        "; c\r\n/* x\r\n*/ 0x000010: \"a\\\r\nb\",0i-001 0x4241,FF // c\r\n+0\r\n"
        "000020: 0n1,'A' # c\r\n";
    const VkpParse whole = ReadVkp(text);
    ASSERT_TRUE(whole.ok()) << whole.error;
    ASSERT_EQ(whole.records.size(), 2u);
    for (std::size_t size : {1u, 2u, 3u, 7u}) {
        const VkpParse read = ReadInPieces(text, size);
        EXPECT_TRUE(read.ok()) << size << ": " << read.error;
        ASSERT_EQ(read.records.size(), whole.records.size()) << size;
        for (std::size_t i = 0; i < whole.records.size(); ++i) {
            EXPECT_EQ(read.records[i].line, whole.records[i].line);
            EXPECT_EQ(read.records[i].oldBytes, whole.records[i].oldBytes);
            EXPECT_EQ(read.records[i].newBytes, whole.records[i].newBytes);
        }
    }
}

// Runs of digits and plain addresses are read straight from the text where they lie whole in
// what has been pulled; split across pieces at any place they must read as they do whole,
// errors and their places included.
TEST(VkpReader, LongRunsAndAddressesReadTheSameWhereverAPieceEnds) {
    std::string run;
    for (int i = 0; i < 150; ++i) {
        run += "0123456789abcdefABCDEF"[i % 22];
        run += "fedcbaFEDCBA9876543210"[i % 22];
    }
    // A character that is no digit somewhere in a long run: its place decides the error.
    std::vector<std::string> texts;
    for (const char bad : {'G', 'g', '@', '`', '/', ':', '\x80', '\xE6'}) {
        for (const std::size_t at : {0u, 7u, 15u, 16u, 31u}) {
            std::string line = "000010: " + run.substr(0, 40) + "\r\n";
            line[8 + at] = bad;
            texts.push_back(line);
        }
    }
    texts.insert(texts.end(), {
                                  "3A0000: " + run + " " + run + "\r\n",
                                  "FFFFFFFF: " + run + "\r\n0000000010: AA\r\n",
                                  "12345678:" + run + "\"z\"" + run + "\r\n",
                                  "000010: " + run + "A BB\r\n",   // odd digits at the run's end
                                  "000010: " + run + "XY BB\r\n",  // no data after the run
                                  "000010: " + run + " " + run + "0\r\n",
                                  "1FFFFFFFF: AA\r\n",  // a ninth digit: no plain address
                              });
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 24));
        const VkpParse whole = ReadVkp(text);
        for (std::size_t size : {1u, 2u, 3u, 5u, 64u, 129u, 300u}) {
            SCOPED_TRACE(size);
            const VkpParse read = ReadInPieces(text, size);
            ASSERT_EQ(read.records.size(), whole.records.size());
            for (std::size_t i = 0; i < whole.records.size(); ++i) {
                EXPECT_EQ(read.records[i].address, whole.records[i].address);
                EXPECT_EQ(read.records[i].oldBytes, whole.records[i].oldBytes);
                EXPECT_EQ(read.records[i].newBytes, whole.records[i].newBytes);
            }
            EXPECT_EQ(read.error, whole.error);
            EXPECT_EQ(read.errorLine, whole.errorLine);
            EXPECT_EQ(read.errorColumn, whole.errorColumn);
        }
    }
    // The whole readings themselves: the run decodes pair by pair, and the places are right.
    const std::size_t plain = 40;  // the texts above after the 40 with a bad character
    const VkpParse first = ReadVkp(texts[plain]);
    ASSERT_TRUE(first.ok()) << first.error;
    ASSERT_EQ(first.records.size(), 1u);
    Bytes decoded;
    for (std::size_t i = 0; i < run.size(); i += 2) {
        decoded.push_back(static_cast<std::uint8_t>(std::stoi(run.substr(i, 2), nullptr, 16)));
    }
    EXPECT_EQ(first.records[0].oldBytes, decoded);
    EXPECT_EQ(first.records[0].newBytes, decoded);
    EXPECT_EQ(first.records[0].address, 0x3A0000);
    const VkpParse odd = ReadVkp(texts[plain + 3]);
    EXPECT_FALSE(odd.ok());
    EXPECT_EQ(odd.errorColumn, 9);
    EXPECT_EQ(ReadVkp(texts[plain + 1]).records.size(), 2u);
    EXPECT_FALSE(ReadVkp(texts[plain + 6]).ok());
    for (std::size_t i = 0; i < plain; ++i) {
        const VkpParse bad = ReadVkp(texts[i]);
        EXPECT_FALSE(bad.ok()) << i;
        EXPECT_EQ(bad.errorLine, 1) << i;
    }
}

TEST(VkpCheck, RecordsAreJudgedInOrderAsAFlasherAppliesThem) {
    // Image offsets 0..7: 10 11 12 13 FF FF 16 17.
    const Bytes image{0x10, 0x11, 0x12, 0x13, 0xFF, 0xFF, 0x16, 0x17};
    using S = RecordStatus;
    struct Case {
        std::string text;
        std::vector<S> statuses;
        std::vector<int> overlaps;
        bool inPlace;
        bool passes;
    };
    const std::vector<Case> cases = {
        // The second record meets the first one's bytes, not the image's.
        {"000000: 10 AA\r\n000000: 10 BB\r\n", {S::Applies, S::Conflict}, {0, 1}, false, false},
        {"000000: 10 AA\r\n000000: AA BB\r\n", {S::Applies, S::Applies}, {0, 1}, false, true},
        // A conflict is not written; a record without old bytes is.
        {"000000: 00 AA\r\n000000: 10 BB\r\n", {S::Conflict, S::Applies}, {0, 1}, false, false},
        {"000000: AA\r\n000000: AA BB\r\n", {S::Unchecked, S::Applies}, {0, 1}, false, true},
        {"000004: FFFF FFFF\r\n000003: 13 00\r\n", {S::Both, S::Applies}, {0, 0}, false, true},
        // Outside: past the end, and far past it.
        {"000007: 17FF 0000\r\nFFFFFFFF: 00 00\r\n",
         {S::Outside, S::Outside},
         {0, 0},
         false,
         false},
        // Already in the image: judged last first with old and new swapped.
        {"000000: 05 AA\r\n000000: AA 10\r\n", {S::Applied, S::Applied}, {0, 0}, true, true},
        {"000000: 05 10\r\n000001: 11\r\n000002: 12 12\r\n",
         {S::Applied, S::Applied, S::Both},
         {0, 0, 0},
         true,
         true},
        // Half applied: the new bytes of one record are there, the old ones of the other.
        {"000000: 10 AA\r\n000001: 00 11\r\n", {S::Applies, S::Applied}, {0, 0}, false, false},
        // Each record's new bytes are there, yet the second one's old bytes never could be.
        {"000000: 05 10\r\n000000: 06 10\r\n", {S::Applied, S::Applied}, {0, 1}, false, false},
        {"000000: 05 10\r\n000000: 06 07\r\n", {S::Applied, S::Conflict}, {0, 1}, false, false},
        // Old data longer than new: every old byte is checked, only the new ones are written.
        {"000000: 10FF CC\r\n", {S::Conflict}, {0}, false, false},
        {"000000: 1011 CC\r\n000001: 11 DD\r\n", {S::Applies, S::Applies}, {0, 1}, false, true},
        {"000000: 0511 10\r\n", {S::Applied}, {0}, true, true},
        {"000000: 0512 10\r\n", {S::Conflict}, {0}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const VkpParse parsed = ReadVkp(c.text);
        ASSERT_TRUE(parsed.ok()) << parsed.error;
        const VkpCheck check = CheckVkp(parsed.records, ImageKind::EepromEep, image);
        ASSERT_EQ(check.records.size(), c.statuses.size());
        for (std::size_t i = 0; i < c.statuses.size(); ++i) {
            EXPECT_EQ(check.records[i].status, c.statuses[i]) << i;
            EXPECT_EQ(check.records[i].overlapsLine, c.inPlace ? 0 : c.overlaps[i]) << i;
        }
        EXPECT_EQ(check.inPlace, c.inPlace);
        EXPECT_EQ(check.Passes(), c.passes);
    }
}

TEST(VkpCheck, AConflictShowsItsFirstDifferingByte) {
    const Bytes image{0x10, 0x11, 0x12, 0x13, 0xFF, 0xFF, 0x16, 0x17};
    const VkpParse parsed = ReadVkp("000001: 1112131415 1112130000\r\n");
    ASSERT_TRUE(parsed.ok());
    const VkpCheck check = CheckVkp(parsed.records, ImageKind::EepromEep, image);
    const RecordCheck& conflict = check.records[0];
    EXPECT_EQ(conflict.status, RecordStatus::Conflict);
    EXPECT_EQ(conflict.offset, 4);
    EXPECT_EQ(HexBytes(conflict.expected), "1415");
    EXPECT_EQ(HexBytes(conflict.found), "FFFF");
    EXPECT_EQ(check.CountsLine(),
              "1 records: 0 apply, 0 applied, 1 conflict, 0 outside, 0 unchecked");
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
    EXPECT_TRUE(built.block) << English(built.failure);
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
        EXPECT_EQ(check.counts.applies, static_cast<int>(parsed.records.size()));

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
