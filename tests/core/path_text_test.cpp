#include <gtest/gtest.h>

#include <climits>

#include "platform/path_text.h"

namespace velno::platform {
namespace {

TEST(PathText, FileNameIsTheLastComponent) {
    EXPECT_EQ(GetFileName("\\system\\data\\a.bin"), "a.bin");
    EXPECT_EQ(GetFileName("a.bin"), "a.bin");
    EXPECT_EQ(GetFileName("\\sys/mixed.bin"), "mixed.bin");
    EXPECT_EQ(GetFileName("\\system\\data\\"), "");
    EXPECT_EQ(GetFileName(""), "");
}

TEST(PathText, ParentFolderIsEverythingBeforeTheLastComponent) {
    EXPECT_EQ(GetParentFolderName("\\system\\data\\a.bin"), "\\system\\data");
    EXPECT_EQ(GetParentFolderName("\\a.bin"), "\\");
    EXPECT_EQ(GetParentFolderName("a.bin"), "");
    EXPECT_EQ(GetParentFolderName("\\system\\\\a.bin"), "\\system");
    EXPECT_EQ(GetParentFolderName("C:\\Upd\\mtmp\\"), "C:\\Upd\\mtmp");
}

TEST(PathText, SerialNumberIsUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(SerialNumberText(0), "0");
    EXPECT_EQ(SerialNumberText(255), "FF");
    EXPECT_EQ(SerialNumberText(0x1A2B3C4D), "1A2B3C4D");
    EXPECT_EQ(SerialNumberText(0x00ABCDEF), "ABCDEF");
    EXPECT_EQ(SerialNumberText(-1), "FFFFFFFF");
    EXPECT_EQ(SerialNumberText(INT_MIN), "80000000");
}

TEST(PathText, ResolutionNeverClimbsAboveTheRoot) {
    using V = std::vector<std::string>;
    EXPECT_EQ(ResolveBelowRoot("\\system\\data\\a.bin"), (V{"system", "data", "a.bin"}));
    EXPECT_EQ(ResolveBelowRoot("\\..\\..\\home\\x"), (V{"home", "x"}));
    EXPECT_EQ(ResolveBelowRoot("a/./b//c\\..\\d"), (V{"a", "b", "d"}));
    EXPECT_EQ(ResolveBelowRoot("x\\..\\..\\.."), V{});
    EXPECT_EQ(ResolveBelowRoot(""), V{});
    // Trailing blanks and dots go, as Windows drops them; what trims to
    // nothing (also ".. ") is passed over and never climbs.
    EXPECT_EQ(ResolveBelowRoot("...\\a"), (V{"a"}));
    EXPECT_EQ(ResolveBelowRoot("\\system \\a.bin. "), (V{"system", "a.bin"}));
    EXPECT_EQ(ResolveBelowRoot("\\x\\a. .\\.. \\. \\..\\ b"), (V{"x", " b"}));
}

TEST(PathText, WildcardsMatchAnyRunAndIgnoreCase) {
    EXPECT_TRUE(WildcardMatch("Veln4*.mem", "Veln4main.mem"));
    EXPECT_TRUE(WildcardMatch("Veln4*.mem", "Veln4.mem"));
    EXPECT_TRUE(WildcardMatch("Veln4*.mem", "VELN4MAIN.MEM"));
    EXPECT_TRUE(WildcardMatch("Veln4*.mem", "Veln4a.mem.mem"));
    EXPECT_FALSE(WildcardMatch("Veln4*.mem", "Veln5main.mem"));
    EXPECT_FALSE(WildcardMatch("Veln4*.mem", "Veln4main.mem.bak"));
    EXPECT_FALSE(WildcardMatch("Veln4*.mem", "xVeln4main.mem"));
    EXPECT_TRUE(WildcardMatch("a?c", "abc"));
    EXPECT_FALSE(WildcardMatch("a?c", "ac"));
    EXPECT_TRUE(EqualsIgnoreCase("OldRel", "OLDREL"));
    EXPECT_FALSE(EqualsIgnoreCase("OldRel", "OldRe"));
}

}  // namespace
}  // namespace velno::platform
