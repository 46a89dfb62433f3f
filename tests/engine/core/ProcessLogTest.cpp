#include "core/ProcessLog.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(ProcessLog, SavedTextHasTheHeaderRowsAndSeparatorsWithCrLf) {
    const std::string text = ProcessLogFileText(
        {{0, "Disk Scan Done", "Process Completed", "Sat Dec  5 11:18:34 2026"}});
    const std::string hyphens68(68, '-');
    EXPECT_EQ(text, "------------------------Tarnwell Linux Data Recovery ver 1.0.1 Process "
                    "Log------------------------\r\n\r\n\r\n" +
                        hyphens68 +
                        "\r\nDisk Scan Done\r\n\t\tProcess Completed\r\n\t\tSat Dec  5 "
                        "11:18:34 2026\r\n" +
                        hyphens68);
}

TEST(ProcessLog, DefaultNameUsesSeptForSeptember) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    EXPECT_EQ(DefaultProcessLogName(1796464714), "TW Linux Process Log # Sat, 05-Dec-2026.txt");
    EXPECT_EQ(DefaultProcessLogName(1789000000), "TW Linux Process Log # Thu, 10-Sept-2026.txt");
}

} // namespace
} // namespace twl
