// The string form: canonical text survives text -> bytes -> text unchanged,
// other spellings come out canonical, the relative aliases follow the
// caller's SIDs, and malformed text is refused at the first bad character.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpers.h"
#include "platform/security.h"
#include "security/descriptor.h"
#include "security/sddl.h"

using testutil::Sd;
using testutil::Text;

TEST(Sddl, CanonicalTextSurvivesARoundTrip) {
    const char* texts[] = {
        "O:BAG:SY",
        "O:SYG:SYD:PAI(A;OICI;KA;;;SY)(A;OICI;KA;;;BA)(A;OICIIO;KR;;;CO)(A;;KR;;;BU)",
        "D:(D;;KW;;;S-1-5-21-9-9-9-1001)(A;;KA;;;WD)",
        "D:NO_ACCESS_CONTROL",
        "D:PAIARNO_ACCESS_CONTROL",
        "D:",
        "S:PAI(AU;SAFA;KA;;;WD)(AL;FA;RP;;;AN)",
        "O:DAG:DUD:(A;;FA;;;DA)(A;;FR;;;DG)(A;;FW;;;LA)(A;;FX;;;LG)",
        "D:(A;NPID;GAGRGWGX;;;AU)(A;;RCSDWDWO;;;IU)(A;;CCDCLCSWRPWPDTLOCR;;;NU)",
        "D:(A;;0x0;;;WD)(A;;0x100000;;;WD)(A;;0x1120089;;;WD)",
        "O:S-1-5-21-4-5-6-1001G:S-1-0x123456789ABC-1-2",
        // A hexadecimal authority ending in D right before "D:".
        "O:S-1-0x12345678900DD:",
        "",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        std::vector<BYTE> bytes = Sd(text);
        ASSERT_TRUE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
        EXPECT_EQ(Text(bytes), text);
        EXPECT_EQ(Sd(Text(bytes)), bytes);
    }
}

TEST(Sddl, OtherSpellingsComeOutCanonical) {
    struct Case {
        const char* input;
        const char* canonical;
    };
    const Case cases[] = {
        {"d:(a;oici;kr;;;wd)", "D:(A;OICI;KR;;;WD)"},
        {"D:(A;CIOI;0x20019;;;S-1-1-0)", "D:(A;OICI;KR;;;WD)"},
        {"D:(A;;KX;;;BA)", "D:(A;;KR;;;BA)"},
        {"D:(A;;131097;;;BA)", "D:(A;;KR;;;BA)"},
        {"D:(A;;0X1F01FF;;;BA)", "D:(A;;FA;;;BA)"},
        {"D:(A;;SDRC;;;BA)", "D:(A;;RCSD;;;BA)"},
        {"D:(A;;KRKW;;;BA)", "D:(A;;RCCCDCLCSWRP;;;BA)"},
        {"D:(A;;KAKA;;;BA)", "D:(A;;KA;;;BA)"},
        {"D:AIARP", "D:PAIAR"},
        {"S:(AU;FASA;KA;;;WD)D:(A;;KA;;;WD)G:SYO:BA", "O:BAG:SYD:(A;;KA;;;WD)S:(AU;SAFA;KA;;;WD)"},
        {"O:S-1-5-32-544", "O:BA"},
        {"O:S-1-0x000000000005-18", "O:SY"},
        {"O:S-1-5-21-1-2-3-512", "O:DA"},
        {"O:S-1-5-21-7-8-9-500", "O:LA"},
        {"O:S-1-5-21-7-8-9-1000", "O:S-1-5-21-7-8-9-1000"},
        {"O:S-1-5-32-544G:S-1-5-18", "O:BAG:SY"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(Text(Sd(c.input)), c.canonical);
    }
}

TEST(Sddl, RelativeAliasesNeedTheCallersSids) {
    const platform::SddlContext none{};
    std::vector<BYTE> out{0x42};
    std::size_t offset = 99;
    EXPECT_FALSE(platform::SddlToSelfRelative("O:BAG:DA", none, out, &offset));
    EXPECT_EQ(offset, 6u);
    EXPECT_FALSE(platform::SddlToSelfRelative("D:(A;;KA;;;LA)", none, out, &offset));
    EXPECT_EQ(offset, 11u);
    EXPECT_EQ(out, std::vector<BYTE>{0x42});

    // Printed without the context they name nothing and stay numeric.
    std::vector<BYTE> bytes = Sd("O:LAG:DU");
    std::string text;
    ASSERT_TRUE(platform::SecurityDescriptorToSddl(bytes.data(), bytes.size(), 0xF, none, text));
    EXPECT_EQ(text, "O:S-1-5-21-7-8-9-500G:S-1-5-21-1-2-3-513");
}

TEST(Sddl, ErrorsNameTheFirstBadCharacter) {
    struct Case {
        std::string text;
        std::size_t offset;
    };
    const std::string sixteen = "O:S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16";
    const Case cases[] = {
        {"X:BA", 0},
        {"O", 0},
        {"O:", 2},
        {"O:XX", 2},
        {"O:B", 2},
        {"O:BAO:BA", 4},
        {"O:BA G:SY", 4},
        {"O:S-2-5", 4},
        {"O:S-1-5-32-", 10},
        {sixteen, sixteen.rfind('-')},
        {"D:Q", 2},
        {"D:P(A;;KA;;;WD)x", 15},
        {"D:(A;;KA;;;WD", 13},
        {"D:(", 3},
        {"D:(Q;;KA;;;WD)", 3},
        {"D:(AX;;KA;;;WD)", 3},
        {"D:(A", 4},
        {"D:(A;ZZ;KA;;;WD)", 5},
        {"D:(A;CIZZ;KA;;;WD)", 7},
        {"D:(A;C;KA;;;WD)", 5},
        {"D:(A;;KQ;;;WD)", 6},
        {"D:(A;;KAKQ;;;WD)", 8},
        {"D:(A;;;;;WD)", 6},
        {"D:(A;;0x1G;;;WD)", 9},
        {"D:(A;;0x;;;WD)", 8},
        {"D:(A;;0x100000000;;;WD)", 16},
        {"D:(A;;4294967296;;;WD)", 15},
        {"D:(A;;KA;x;;WD)", 9},
        {"D:(A;;KA;;x;WD)", 10},
        {"D:(A;;KA;;;S-1-5-x)", 16},
        {"D:(A;;KA;;;QQ)", 11},
        {"D:(A;;KA;;;WDX)", 13},
        {"D:NO_ACCESS_CONTROL(A;;KA;;;WD)", 19},
        {"D:D:", 2},
        {"D:S:S:", 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<BYTE> out{0x42};
        std::size_t offset = 12345;
        EXPECT_FALSE(platform::SddlToSelfRelative(c.text, testutil::Context(), out, &offset));
        EXPECT_EQ(offset, c.offset);
        EXPECT_EQ(out, std::vector<BYTE>{0x42});
    }
}

TEST(Sddl, AListTooLargeForItsSizeFieldIsRefusedAtTheEntryThatOverflows) {
    const std::string entry = "(A;;KA;;;WD)";  // 20 bytes once parsed
    const std::size_t fits = (0xFFFF - 8) / 20;
    std::string text = "D:";
    for (std::size_t i = 0; i < fits; ++i) text += entry;
    std::vector<BYTE> bytes = Sd(text);
    EXPECT_EQ(testutil::Word(bytes, 20 + 2), 8 + fits * 20);
    text += entry;
    std::size_t offset = 0;
    EXPECT_FALSE(platform::SddlToSelfRelative(text, testutil::Context(), bytes, &offset));
    EXPECT_EQ(offset, 2 + fits * entry.size());
}

TEST(Sddl, OnlyTheRequestedPartsArePrinted) {
    std::vector<BYTE> bytes = Sd("O:BAG:SYD:(A;;KA;;;WD)S:(AU;SA;KA;;;WD)");
    struct Case {
        SECURITY_INFORMATION info;
        const char* text;
    };
    const Case cases[] = {
        {DACL_SECURITY_INFORMATION, "D:(A;;KA;;;WD)"},
        {OWNER_SECURITY_INFORMATION | SACL_SECURITY_INFORMATION, "O:BAS:(AU;SA;KA;;;WD)"},
        {GROUP_SECURITY_INFORMATION, "G:SY"},
        {0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.info);
        EXPECT_EQ(Text(bytes, c.info), c.text);
    }
}

TEST(Sddl, EntriesTheTextCannotSpellMakeTheDescriptorUnprintable) {
    struct Case {
        const char* name;
        std::size_t at;  // byte of the DACL's first entry to change
        BYTE value;
    };
    // The DACL starts at 20, its first entry at 28.
    const Case cases[] = {
        {"entry kind 9", 28, 9},
        {"undefined flag 0x20", 29, 0x20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<BYTE> bytes = Sd("D:(A;;KA;;;WD)");
        bytes[c.at] = c.value;
        ASSERT_TRUE(platform::IsValidSelfRelative(bytes.data(), bytes.size()));
        std::string text = "unchanged";
        EXPECT_FALSE(platform::SecurityDescriptorToSddl(bytes.data(), bytes.size(), 0xF, testutil::Context(), text));
        EXPECT_EQ(text, "unchanged");
    }
}
