#include "recover/SafeName.h"

#include "recover/ShellWords.h"
#include "recover/UniqueName.h"

#include <cerrno>
#include <set>

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

TEST(UniqueNames, ManyItemsOfOneNameCostATryOrTwoEachAndNeverReplaceAnything) {
    // A folder that already holds "same (3).txt", and 3,000 items that all ask for "same.txt",
    // with items of another name and another folder in between.
    std::set<std::pair<int, std::string>> taken{{1, "same (3).txt"}};
    std::size_t tries = 0;
    const auto make = [&](int folder) -> UniqueNames::Make {
        return [&, folder](const std::string& name) {
            ++tries;
            return taken.insert({folder, name}).second ? 0 : EEXIST;
        };
    };
    UniqueNames names;
    std::set<std::string> made;
    for (int i = 0; i < 3000; ++i) {
        const UniqueNames::Outcome outcome = names.Find(1, "same.txt", make(1));
        ASSERT_EQ(outcome.error, 0);
        EXPECT_TRUE(made.insert(outcome.name).second) << outcome.name;
        EXPECT_EQ(names.Find(1, "other", make(1)).error, 0);
        EXPECT_EQ(names.Find(2, "same.txt", make(2)).error, 0);
    }
    EXPECT_EQ(made.size(), 3000u);
    EXPECT_EQ(made.count("same.txt"), 1u);
    EXPECT_EQ(made.count("same (3).txt"), 0u); // there before: passed over, not replaced
    EXPECT_EQ(made.count("same (3001).txt"), 1u);
    EXPECT_EQ(made.count("same (3002).txt"), 0u);
    // Each item: its own name, then the next number (the name "same (3).txt" once more).
    EXPECT_LE(tries, 3u * 2 * 3000 + 1);
    // An error other than a taken name ends the search at once.
    std::size_t failing = 0;
    const UniqueNames::Outcome full = names.Find(1, "same.txt", [&](const std::string&) {
        ++failing;
        return failing == 1 ? EEXIST : ENOSPC;
    });
    EXPECT_EQ(full.error, ENOSPC);
    EXPECT_EQ(failing, 2u);
}

} // namespace
} // namespace twl
