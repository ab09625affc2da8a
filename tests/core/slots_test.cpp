// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "core/slots.h"

namespace carillon {
namespace {

TEST(SlotTable, DefinitionsFollowTheBlockAndNameRules) {
    // The table is typed by hand; the phone's layout has simple rules to hold it to.
    for (int n = 1; n <= kSlotCount; ++n) {
        const SlotDefinition& def = SlotDef(n);
        if (IsStandardMelody(n)) {
            EXPECT_EQ(def.blockNumber, 284 + n) << n;
            EXPECT_EQ(def.nameAddress, 0xF2ABE + 38 * (n - 1)) << n;
            EXPECT_EQ(def.contentTag, 33) << n;
            EXPECT_LE(def.caption.size(), kNameLength) << n;
        } else {
            EXPECT_EQ(def.blockNumber, 5375 + n) << n;
            EXPECT_EQ(def.nameAddress, 0) << n;
            EXPECT_EQ(def.contentTag, 32) << n;
        }
    }
    EXPECT_EQ(SlotDef(6).caption, "SiemenSwing");
    EXPECT_EQ(SlotDef(18).caption, "User Animation 2");
    EXPECT_THROW(SlotDef(0), std::out_of_range);
    EXPECT_THROW(SlotDef(19), std::out_of_range);
}

TEST(SlotTable, InitialisationWritesDefaultsAndKeepsResultsWhenRepeated) {
    SlotTable slots{};
    for (const TMelody& m : slots) {
        EXPECT_EQ(m.Address, 0);  // before any search, not -1
        EXPECT_EQ(m.Found, 0);
    }
    InitialiseSlotTable(slots);
    EXPECT_EQ(slots[0].Name, "Classic 1");
    EXPECT_EQ(slots[0].NameAddress, 0xF2ABE);
    EXPECT_EQ(slots[10].Name, "");
    EXPECT_EQ(slots[10].NameAddress, 0);
    EXPECT_EQ(slots[17].BlockNumber, 5393);

    slots[3].Address = 0x3A0123;
    slots[3].Capacity = 2000;
    slots[3].ContentSize = 17;
    slots[3].Found = 1;
    slots[3].FileName = "/music/tune.si3";
    slots[3].BlockNumber = 1;  // a default, rewritten
    InitialiseSlotTable(slots);
    EXPECT_EQ(slots[3].Address, 0x3A0123);
    EXPECT_EQ(slots[3].Capacity, 2000);
    EXPECT_EQ(slots[3].ContentSize, 17);
    EXPECT_EQ(slots[3].Found, 1);
    EXPECT_EQ(slots[3].FileName, "/music/tune.si3");
    EXPECT_EQ(slots[3].BlockNumber, 288);
}

TEST(SlotTable, FiltersAndMarkCaptionsFollowTheSlotKind) {
    EXPECT_EQ(SlotFileFilter(14), "Melodies (*.si3)|*.si3");
    EXPECT_EQ(SlotFileFilter(15), "Pictures (*.bmp)|*.bmp");
    EXPECT_EQ(SlotFileFilter(17), "Animations (*.bmx)|*.bmx");
    EXPECT_EQ(ChosenMarkCaption(10), "melody");
    EXPECT_EQ(ChosenMarkCaption(11), "user mel");
    EXPECT_EQ(ChosenMarkCaption(16), "pic");
    EXPECT_EQ(ChosenMarkCaption(18), "anim");
}

TEST(MelodyName, KeepsAllowedCharactersAndCutsAtEleven) {
    EXPECT_EQ(CleanMelodyName("Abc-^!#()[]"), "Abc-^!#()[]");   // exactly 11 allowed
    EXPECT_EQ(CleanMelodyName("Abcdefghijkl"), "Abcdefghijk");  // 12 loses the last
    EXPECT_EQ(CleanMelodyName("   "), "   ");                   // blanks are names too
    EXPECT_EQ(CleanMelodyName(""), "");
    EXPECT_EQ(CleanMelodyName("My Tune_09"), "My Tune_09");
}

TEST(MelodyName, ANewNameNeedsACharacterThatIsNotABlank) {
    for (const char* none : {"", " ", "   ", "           "}) {
        EXPECT_EQ(NewMelodyName(none), std::nullopt) << '"' << none << '"';
    }
    EXPECT_EQ(NewMelodyName(" a "), " a ");
    EXPECT_EQ(NewMelodyName("\xC3\xA9"), "_");  // cleaned first: "_" is a name
}

TEST(MelodyName, EachForeignCharacterBecomesOneUnderscore) {
    EXPECT_EQ(CleanMelodyName("a.b+c"), "a_b_c");
    EXPECT_EQ(CleanMelodyName("Caf\xC3\xA9"), "Caf_");   // precomposed e-acute
    EXPECT_EQ(CleanMelodyName("Cafe\xCC\x81"), "Caf_");  // e + combining acute
    EXPECT_EQ(CleanMelodyName("Caf\xE9"), "Caf_");       // an 8-bit byte
    EXPECT_EQ(CleanMelodyName("\xE2\x82\xAC"
                              "5"),
              "_5");                                        // euro sign
    EXPECT_EQ(CleanMelodyName("\xF0\x9F\x8E\xB5!"), "_!");  // a four-byte character
    EXPECT_EQ(CleanMelodyName("\xCC\x81x"), "_x");          // a mark with nothing before
    EXPECT_EQ(CleanMelodyName("tab\there"), "tab_here");
    // Cleaning happens before the cut, so the cut counts characters, not bytes.
    EXPECT_EQ(CleanMelodyName("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"
                              "abcdef"),
              "______abcde");
}

}  // namespace
}  // namespace carillon
