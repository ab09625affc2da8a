// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "image_builder.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

namespace carillon {
namespace {

namespace fs = std::filesystem;
using test_support::CliRun;
using test_support::RunCliArgs;

class InfoCommand : public test_support::TempDirTest {};

TEST_F(InfoCommand, JsonDescribesTheDemoImage) {
    const std::string path = Write("demo.bin", fixtures::DemoFlash());
    const CliRun run = RunCliArgs({"info", path, "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["path"], path);
    EXPECT_EQ(doc["kind"], 0);
    EXPECT_EQ(doc["kindText"], ".bin Full Flash");
    EXPECT_EQ(doc["phone"], "A52");
    EXPECT_EQ(doc["version"], 11);
    ASSERT_EQ(doc["slots"].size(), 18u);
    const auto& classic = doc["slots"][0];
    EXPECT_EQ(classic["slot"], 1);
    EXPECT_EQ(classic["caption"], "Classic 1");
    EXPECT_EQ(classic["found"], true);
    EXPECT_EQ(classic["blockNumber"], 285);
    EXPECT_EQ(classic["capacity"], 3400);
    EXPECT_GT(classic["address"].get<int>(), 0x3A0000);
    const auto& missing = doc["slots"][8];  // Folklore 2: only a stale block
    EXPECT_EQ(missing["found"], false);
    EXPECT_EQ(missing["address"], -1);
    EXPECT_TRUE(missing["capacity"].is_null());
    EXPECT_TRUE(missing["contentSize"].is_null());
    EXPECT_EQ(doc["slots"][11]["found"], true);  // User Melody 2, sector C only
}

TEST_F(InfoCommand, TableShowsKindLinesAndRowsLikeTheWindow) {
    const std::string path = Write("demo.bin", fixtures::DemoFlash());
    const CliRun run = RunCliArgs({"info", path});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("File type:  .bin Full Flash"), std::string::npos);
    EXPECT_NE(run.out.find("Phone:      A52"), std::string::npos);
    EXPECT_NE(run.out.find("Version:    11"), std::string::npos);
    EXPECT_NE(run.out.find("Folklore 2            n/a    n/a       n/a  no"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("User Melody 3       empty"), std::string::npos) << run.out;
}

// "name" is the stored name of a standard melody where the 11 bytes are one: name characters,
// then only blanks or zero bytes.
TEST_F(InfoCommand, NameIsTheStoredMelodyNameWhereTheBytesAreOne) {
    fixtures::FlashImage flash = fixtures::StandardFlash();
    flash.MelodyName(1, "Ringtone")
        .Poke(static_cast<std::size_t>(SlotDef(2).nameAddress),
              Bytes{'A', 'b', ' ', ' ', 0, 0, 0, 0, 0, 0, 0})
        .Poke(static_cast<std::size_t>(SlotDef(3).nameAddress), Bytes(11, 0xFF))
        .Poke(static_cast<std::size_t>(SlotDef(4).nameAddress),
              Bytes{'A', 0, 'b', 0, 0, 0, 0, 0, 0, 0, 0})
        .Poke(static_cast<std::size_t>(SlotDef(5).nameAddress), Bytes(11, ' '))
        .Poke(static_cast<std::size_t>(SlotDef(6).nameAddress),
              Bytes{'P', 'o', '.', 0, 0, 0, 0, 0, 0, 0, 0});
    const std::string path = Write("named.bin", flash.Build());
    const CliRun run = RunCliArgs({"info", path, "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto slots = nlohmann::json::parse(run.out)["slots"];
    EXPECT_EQ(slots[0]["name"], "Ringtone");
    EXPECT_EQ(slots[1]["name"], "Ab");
    for (int row : {2, 3, 4, 5}) {  // erased, a byte after a zero, all blanks, a "."
        EXPECT_TRUE(slots[row]["name"].is_null()) << row;
    }
    EXPECT_EQ(slots[6]["name"], "Tango");
    EXPECT_TRUE(slots[10]["name"].is_null());  // user slots have no name

    const CliRun table = RunCliArgs({"info", path});
    EXPECT_NE(table.out.find("  no     Ringtone\n"), std::string::npos) << table.out;

    fixtures::EepImage eep;  // only a full flash stores names
    eep.Slot(1, fixtures::Pattern(4, 1));
    const auto doc =
        nlohmann::json::parse(RunCliArgs({"info", Write("x.eep", eep.Build()), "--json"}).out);
    EXPECT_TRUE(doc["slots"][0]["name"].is_null());
}

TEST_F(InfoCommand, EepromKindsHaveNoPhoneOrVersion) {
    fixtures::EepImage eep;
    eep.Slot(1, fixtures::Pattern(4, 1));
    const CliRun run = RunCliArgs({"info", Write("x.EEP", eep.Build()), "--json"});
    ASSERT_EQ(run.code, 0) << run.err;
    const auto doc = nlohmann::json::parse(run.out);
    EXPECT_EQ(doc["kind"], 2);
    EXPECT_TRUE(doc["phone"].is_null());
    EXPECT_TRUE(doc["version"].is_null());
    EXPECT_EQ(doc["slots"][0]["address"], 23);
}

TEST_F(InfoCommand, ExitCodesSeparateFailedJobsFromUsageErrors) {
    const std::string missing = (dir_ / "missing.bin").string();
    CliRun run = RunCliArgs({"info", missing});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err, "carillon-cli: " + missing + ": No such file or directory\n");
    EXPECT_TRUE(run.out.empty());

    EXPECT_EQ(RunCliArgs({}).code, 2);
    EXPECT_EQ(RunCliArgs({"info"}).code, 2);
    EXPECT_EQ(RunCliArgs({"info", missing, "--bogus"}).code, 2);
    EXPECT_EQ(RunCliArgs({"frobnicate"}).code, 2);
    EXPECT_EQ(RunCliArgs({"--help"}).code, 0);
}

TEST_F(InfoCommand, VersionNamesTheLicence) {
    const CliRun run = RunCliArgs({"--version"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out,
              "carillon 2.20b\n"
              "Licence: GPL-3.0-or-later (GNU General Public License, version 3 or later)\n");
}

TEST_F(InfoCommand, PhoneBytesOutsideAsciiStillGiveValidJson) {
    const Bytes flash = fixtures::StandardFlash().Phone("\xE9\x00\x7F").Build();
    const CliRun run = RunCliArgs({"info", Write("odd.bin", flash), "--json"});
    ASSERT_EQ(run.code, 0);
    const auto doc = nlohmann::json::parse(run.out);  // throws on invalid UTF-8
    EXPECT_EQ(doc["phone"].get<std::string>().size(), 4u);
}

TEST_F(InfoCommand, EveryCutOrGarbledImageGetsAResultNeverACrash) {
    fixtures::FlashImage eeprom(fixtures::FlashImage(ImageKind::EepromBin));
    eeprom.Add(Sector::A, fixtures::SlotBlock(1, fixtures::Pattern(30, 1)));
    eeprom.Add(Sector::B, fixtures::SlotBlock(11, fixtures::Pattern(30, 2)));
    fixtures::EepImage eep;
    eep.Slot(1, fixtures::Pattern(30, 1)).Slot(11, fixtures::Pattern(30, 2));
    const struct {
        std::string name;
        Bytes bytes;
    } sources[] = {{"e.bin", eeprom.Build()}, {"e.eep", eep.Build()}};
    for (const auto& source : sources) {
        const std::size_t size = source.bytes.size();
        for (std::size_t cut :
             {std::size_t{0}, std::size_t{7}, size / 3, size / 2, size - 13, size - 1, size}) {
            Bytes bytes(source.bytes.begin(),
                        source.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            for (std::size_t i = 0; i < bytes.size(); i += 997) {
                bytes[i] = static_cast<std::uint8_t>(bytes[i] ^ 0x5A);  // garble
            }
            const CliRun run = RunCliArgs({"info", Write(source.name, bytes), "--json"});
            ASSERT_EQ(run.code, 0) << source.name << " " << cut << run.err;
            EXPECT_EQ(nlohmann::json::parse(run.out)["slots"].size(), 18u);
        }
    }
}

}  // namespace
}  // namespace carillon
