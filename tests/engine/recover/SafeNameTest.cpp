#include "recover/SafeName.h"
#include "recover/ShellWords.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(SafeName, UnsafeNamesGetRecognisableReplacementsAndOthersStayAsTheyAre) {
    struct Case {
        std::string name;
        std::string safe;
    };
    const Case cases[] = {
        {"", "%00"},
        {".", "%2E"},
        {"..", "%2E%2E"},
        {"../../etc/passwd", "..%2F..%2Fetc%2Fpasswd"},
        {std::string("a\0b", 3), "a%00b"},
        {"...", "..."},
        {"100% cotton", "100% cotton"},
        {"caf\xc3\xa9\t\n", "caf\xc3\xa9\t\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeComponent(c.name), c.safe);
}

TEST(SafeName, NumberedNamesKeepTheExtensionAndQuotingSurvivesAnyByte) {
    EXPECT_EQ(NumberedName("report.txt", 2), "report (2).txt");
    EXPECT_EQ(NumberedName(".profile", 3), ".profile (3)");
    EXPECT_EQ(NumberedName("folder", 2), "folder (2)");
    EXPECT_EQ(ShellQuote("it's $(here)"), "'it'\\''s $(here)'");
}

} // namespace
} // namespace twl
