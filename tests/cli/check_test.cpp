// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "fixtures/image_builder.h"
#include "search/slot_search.h"
#include "support/cli_run.h"
#include "support/read_text.h"
#include "support/temp_dir.h"
#include "vkp/reader.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;

using fixtures::Pattern;
using fixtures::SlotBlock;
using test_support::RunCliArgs;

class CliCheckTest : public test_support::TempDirTest {
  protected:
    void SetUp() override {
        TempDirTest::SetUp();
        image_ = Write("flash.bin", fixtures::DemoFlash());
        melody_ = Write("tune.si3", Pattern(1200, 40));
        picture_ = Write("pic.bmp", Pattern(300, 41));
    }

    // The program's own patch of `image`: two melodies (one renamed) and an animation.
    std::string MakeVkp(const std::string& image, const std::string& name) {
        const std::string vkp = Path(name);
        const auto r =
            RunCliArgs({"patch", image, "--slot", "1=" + melody_, "--name", "1=New", "--slot",
                        "11=" + melody_, "--slot", "17=" + picture_, "--vkp", vkp});
        EXPECT_EQ(r.code, 0) << r.err;
        return vkp;
    }

    std::string image_, melody_, picture_;
};

TEST_F(CliCheckTest, OwnPatchAppliesToItsImageAndIsAppliedInTheResult) {
    const std::string vkp = MakeVkp(image_, "all.vkp");
    const auto before = RunCliArgs({"check", image_, vkp});
    EXPECT_EQ(before.code, 0) << before.out << before.err;
    const auto records = static_cast<int>(ReadVkp(test_support::ReadText(vkp)).records.size());
    EXPECT_GT(records, 300);
    EXPECT_EQ(before.out, std::to_string(records) + " records: " + std::to_string(records) +
                              " apply, 0 applied, 0 conflict, 0 outside, 0 unchecked\n");

    const std::string patched = Path("patched.bin");
    ASSERT_EQ(RunCliArgs({"patch", image_, "--slot", "1=" + melody_, "--name", "1=New", "--slot",
                          "11=" + melody_, "--slot", "17=" + picture_, "--out", patched})
                  .code,
              0);
    const auto after = RunCliArgs({"check", patched, vkp, "--json"});
    EXPECT_EQ(after.code, 0) << after.err;
    const auto doc = nlohmann::json::parse(after.out);
    // Bytes rewritten with what they held (0xFF fill over 0xFF) count as applies.
    EXPECT_EQ(doc["applied"].get<int>() + doc["applies"].get<int>(), records);
    EXPECT_GT(doc["applied"].get<int>(), 0);
    EXPECT_EQ(doc["records"].size(), doc["applied"].get<std::size_t>());
    EXPECT_EQ(doc["records"][0]["status"], "applied");
}

TEST_F(CliCheckTest, AnotherImageConflictsAtTheFirstDifferingByte) {
    const std::string vkp = MakeVkp(image_, "all.vkp");
    Bytes other = fixtures::DemoFlash();
    SlotTable slots{};
    InitialiseSlotTable(slots);
    SearchSlots(other, ImageKind::FullFlash, slots);
    // Byte 20 of slot 1's content, in the block's second data line (line 9 of the file).
    const std::int64_t first = slots[0].Address;
    other[static_cast<std::size_t>(first + 20)] ^= 0x5A;
    const std::string otherImage = Write("other.bin", other);

    const auto r = RunCliArgs({"check", otherImage, vkp});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find(": conflict at image offset " + FormatAddress(first + 20) + ": expected "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" 1 conflict, 0 outside"), std::string::npos) << r.out;

    const auto json = RunCliArgs({"check", otherImage, vkp, "--json"});
    EXPECT_EQ(json.code, 1);
    const auto doc = nlohmann::json::parse(json.out);
    ASSERT_EQ(doc["records"].size(), 1u);
    const auto& rec = doc["records"][0];
    EXPECT_EQ(rec["status"], "conflict");
    EXPECT_EQ(rec["address"].get<std::int64_t>(), first + 16);
    EXPECT_EQ(rec["offset"].get<std::int64_t>(), first + 20);
    EXPECT_EQ(rec["found"].get<std::string>().substr(0, 2),
              HexBytes(ByteView(other).subspan(static_cast<std::size_t>(first + 20), 1)));
    EXPECT_EQ(rec["line"].get<int>(), 9);
}

TEST_F(CliCheckTest, EepromImagesMapAddressesByKind) {
    for (const std::string name : {"eeprom.bin", "image.eep"}) {
        SCOPED_TRACE(name);
        const std::string image =
            name == "eeprom.bin"
                ? Write(name, fixtures::FlashImage(ImageKind::EepromBin)
                                  .Add(Sector::B, SlotBlock(11, Pattern(500, 11)))
                                  .Build())
                : Write(name, fixtures::EepImage().Slot(11, Pattern(500, 11)).Build());
        const std::string vkp = Path(name + ".vkp");
        ASSERT_EQ(RunCliArgs({"patch", image, "--slot", "11=" + melody_, "--vkp", vkp}).code, 0);
        const auto r = RunCliArgs({"check", image, vkp});
        EXPECT_EQ(r.code, 0) << r.out;
        EXPECT_NE(r.out.find(" 0 conflict, 0 outside, 0 unchecked"), std::string::npos);
    }
}

TEST_F(CliCheckTest, UnreadablePatchesAndUsage) {
    const std::string bad = Path("bad.vkp");
    fixtures::WriteFile(bad, Bytes{';', '\r', '\n', '\n', 'x', 'y', '\r', '\n'});
    const auto r = RunCliArgs({"check", image_, bad});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "carillon-cli: " + bad +
                         ": line 3, column 1: not a record, offset or pragma: \"xy\"\n");
    EXPECT_EQ(r.out, "");

    EXPECT_EQ(RunCliArgs({"check", image_}).code, 2);
    EXPECT_EQ(RunCliArgs({"check", image_, Path("missing.vkp")}).code, 1);
}

TEST_F(CliCheckTest, PatchesThatAreNoPatchAreRefusedAtTheirPlace) {
    fs::create_directory(Path("folder"));
    struct Case {
        std::string text;   // empty: the folder
        std::string error;  // after "carillon-cli: PATCH"
    };
    const std::vector<Case> cases = {
        {"", ": Is a directory"},
        {"; only a comment\r\n\r\n", " holds no records"},
        {"-FFFFFFFF\r\n0: 00 11\r\n",
         ": line 2, column 1: address lies below 0 (offset -FFFFFFFF in force)"},
    };
    for (const Case& c : cases) {
        const std::string patch =
            c.text.empty() ? Path("folder") : Write("p.vkp", Bytes(c.text.begin(), c.text.end()));
        const auto r = RunCliArgs({"check", image_, patch});
        EXPECT_EQ(r.code, 1) << c.text;
        EXPECT_EQ(r.err, "carillon-cli: " + patch + c.error + "\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliCheckTest, RecordsAreJudgedInOrderAndWarningsGoToStandardError) {
    // The bytes at 3A0020 of the demo image start 05 03.
    struct Case {
        std::string text;
        int code;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"3A0020: 05 AA\r\n3A0020: 05 BB\r\n", 1,
         "line 2: 3A0020: conflict at image offset 3A0020: expected 05, found AA (overlaps line "
         "1)\n2 records: 1 apply, 0 applied, 1 conflict, 0 outside, 0 unchecked\n"},
        {"3A0020: 05 AA\r\n3A0020: AA BB\r\n", 0,
         "2 records: 2 apply, 0 applied, 0 conflict, 0 outside, 0 unchecked\n"},
        {"3A0020: 01 05\r\n3A0021: 03\r\n", 0,
         "line 1: 3A0020: applied\nline 2: 3A0021: applied\n"
         "2 records: 0 apply, 2 applied, 0 conflict, 0 outside, 0 unchecked\n"},
    };
    for (const Case& c : cases) {
        const std::string patch = Write("p.vkp", Bytes(c.text.begin(), c.text.end()));
        const auto r = RunCliArgs({"check", image_, patch});
        EXPECT_EQ(r.code, c.code) << c.text;
        EXPECT_EQ(r.out, c.out);
    }
    const std::string text = "+3A0000\r\n000021: 0i+003\r\n";
    const std::string patch = Write("w.vkp", Bytes(text.begin(), text.end()));
    const auto r = RunCliArgs({"check", image_, patch, "--json"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "carillon-cli: " + patch +
                         ": line 2: warning: record without old data: it cannot be checked or "
                         "undone\ncarillon-cli: " +
                         patch +
                         ": line 2: warning: offset +3A0000 is still in force at the end of the "
                         "patch\n");
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["applied"], 1);
    ASSERT_EQ(doc["warnings"].size(), 2u);
    EXPECT_EQ(doc["warnings"][0]["line"], 2);
}

TEST_F(CliCheckTest, RecordsListsEveryRecordAsReadAndJudged) {
    // The bytes at 3A0020 of the demo image start 05 03.
    const std::string text = "3A0020: 0503 AA\r\n3A0022: BB\r\n3A0020: 05 CC\r\n";
    const std::string patch = Write("p.vkp", Bytes(text.begin(), text.end()));
    const auto r = RunCliArgs({"check", image_, patch, "--records"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "line 1: 3A0020: old 0503, new AA: applies\n"
              "line 2: 3A0022: old none, new BB: unchecked (no old bytes)\n"
              "line 3: 3A0020: old 05, new CC: conflict at image offset 3A0020: expected 05, "
              "found AA (overlaps line 1)\n"
              "3 records: 1 apply, 0 applied, 1 conflict, 0 outside, 1 unchecked\n");

    const auto j = RunCliArgs({"check", image_, patch, "--records", "--json"});
    const auto doc = nlohmann::json::parse(j.out);
    ASSERT_EQ(doc["records"].size(), 3u);
    EXPECT_EQ(doc["records"][0]["old"], "0503");
    EXPECT_EQ(doc["records"][0]["new"], "AA");
    EXPECT_EQ(doc["records"][0]["status"], "applies");
    EXPECT_TRUE(doc["records"][1]["old"].is_null());
    EXPECT_EQ(doc["records"][2]["status"], "conflict");
}

TEST_F(CliCheckTest, ARefusedPatchStillGivesOneJsonObjectWithItsWarnings) {
    struct Case {
        std::string text;
        std::string error;  // after "PATCH"
    };
    const std::vector<Case> cases = {
        {"*/\r\n; nothing else\r\n", " holds no records"},
        {"*/\r\n10: AA BB CC\r\n",
         ": line 2, column 11: record with more than old and new "
         "data: \"CC\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string patch = Write("p.vkp", Bytes(c.text.begin(), c.text.end()));
        const std::string warning =
            "carillon-cli: " + patch + ": line 1: warning: \"*/\" without \"/*\" before it\n";
        const auto text = RunCliArgs({"check", image_, patch});
        EXPECT_EQ(text.code, 1);
        EXPECT_EQ(text.err, warning + "carillon-cli: " + patch + c.error + "\n");
        const auto json = RunCliArgs({"check", image_, patch, "--json"});
        EXPECT_EQ(json.code, 1);
        const auto doc = nlohmann::json::parse(json.out);
        EXPECT_EQ(doc["error"], patch + c.error);
        ASSERT_EQ(doc["warnings"].size(), 1u);
        EXPECT_EQ(doc["warnings"][0]["line"], 1);
        EXPECT_EQ(doc["moreWarnings"], 0);
    }
}

// A patch rewritten between the two passes: the first pass found it wholly in place, the
// second reads a patch that conflicts with itself. Nothing is concluded from the two.
TEST_F(CliCheckTest, APatchChangedBetweenThePassesIsRefused) {
    const std::string inPlace = "3A0020: 01 05\r\n3A0021: 02 03\r\n";
    const std::string other = "3A0020: 05 01\r\n3A0020: 05 02\r\n";
    ASSERT_EQ(inPlace.size(), other.size());
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json);
        const std::string patch = Write("p.vkp", Bytes(inPlace.begin(), inPlace.end()));
        int reads = 0;
        SetInputReadHook([&](const std::string& path, std::uint64_t offset) {
            if (path == patch && offset == 0 && ++reads == 2) {
                fixtures::WriteFile(patch, Bytes(other.begin(), other.end()));
            }
        });
        std::vector<std::string> args{"check", image_, patch, "--records"};
        if (json) {
            args.push_back("--json");
        }
        const auto r = RunCliArgs(args);
        SetInputReadHook({});
        EXPECT_EQ(reads, 2);
        EXPECT_EQ(r.code, 1);
        const std::string error = patch + " changed while it was read";
        EXPECT_NE(r.err.find("carillon-cli: " + error + "\n"), std::string::npos) << r.err;
        if (json) {
            // The records printed as they were judged, then the error in place of the counts:
            // still one JSON object.
            const auto doc = nlohmann::json::parse(r.out);
            EXPECT_EQ(doc["error"], error);
            EXPECT_EQ(doc["records"].size(), 2u);
            EXPECT_FALSE(doc.contains("applies"));
            EXPECT_EQ(doc["moreWarnings"], 0);
        }
    }
}

}  // namespace
}  // namespace carillon
