#include "platform/shell/Collation.h"

#include "tests/platform/shell/ShellTestSupport.h"

#include <gtest/gtest.h>

using shell::CompareNamesAlphabetically;
using shell::CompareNamesNaturally;

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

class CollationTest : public ::testing::Test {
protected:
    void SetUp() override { shell::SetCollationLocale("C"); }
    void TearDown() override { shell::SetCollationLocale(""); }
};

struct TOrderCase {
    const char* A;
    const char* B;
    int Natural;
    int Alphabetical;
};

class CollationOrder : public CollationTest, public ::testing::WithParamInterface<TOrderCase> {};

}  // namespace

TEST_P(CollationOrder, FollowsCaseDigitsAndAccents) {
    const TOrderCase& order = GetParam();
    EXPECT_EQ(Sign(CompareNamesNaturally(order.A, order.B)), order.Natural) << order.A << " / " << order.B;
    EXPECT_EQ(Sign(CompareNamesNaturally(order.B, order.A)), -order.Natural);
    EXPECT_EQ(Sign(CompareNamesAlphabetically(order.A, order.B)), order.Alphabetical);
}

INSTANTIATE_TEST_SUITE_P(Collation, CollationOrder,
                         ::testing::Values(TOrderCase{"file2", "file10", -1, 1},       // digit runs by value
                                           TOrderCase{"file9", "file09", 0, 1},        // leading zeros
                                           TOrderCase{"2", "10", -1, 1},
                                           TOrderCase{"apple", "Banana", -1, -1},      // case ignored
                                           TOrderCase{"Photos", "photos", 0, 0},
                                           TOrderCase{"resume", "résumé", -1, -1},     // accents count
                                           TOrderCase{"éclair", "fig", -1, -1},        // é sorts with e
                                           TOrderCase{"Zebra", "äpfel", 1, 1},
                                           TOrderCase{"a b", "ab", -1, -1},
                                           TOrderCase{"img 2", "img 10", -1, 1}));

TEST_F(CollationTest, LocaleDecidesWhereLettersWithMarksGo) {
    // Swedish puts ö after z; German sorts it with o.
    shell::SetCollationLocale("sv_SE.UTF-8");
    EXPECT_EQ(shell::CollationLocale(), "sv_SE");
    EXPECT_GT(CompareNamesNaturally("öl", "zebra"), 0);
    shell::SetCollationLocale("de_DE.UTF-8@euro");
    EXPECT_EQ(shell::CollationLocale(), "de_DE");
    EXPECT_LT(CompareNamesNaturally("öl", "zebra"), 0);
    EXPECT_LT(CompareNamesNaturally("öl", "pfad"), 0);
}

TEST_F(CollationTest, EnvironmentChoosesTheLocaleInPosixOrder) {
    shelltest::TScopedEnv all("LC_ALL", std::nullopt);
    shelltest::TScopedEnv collate("LC_COLLATE", "sv_SE.UTF-8");
    shelltest::TScopedEnv lang("LANG", "de_DE.UTF-8");
    shell::SetCollationLocale("");
    EXPECT_EQ(shell::CollationLocale(), "sv_SE");
    {
        shelltest::TScopedEnv override("LC_ALL", "POSIX");
        shell::SetCollationLocale("");
        EXPECT_EQ(shell::CollationLocale(), "root");
    }
}
