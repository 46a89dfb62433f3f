#include "platform/FileWriter.h"

#include "fixtures/TempDir.h"

#include <filesystem>

#include <gtest/gtest.h>

namespace twl {
namespace {

namespace fs = std::filesystem;
using fixtures::ReadFileText;

ConstBytes Text(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// Names in the folder other than the ones the test made.
std::vector<std::string> Leftovers(const fixtures::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        const std::string name = entry.path().filename().string();
        if (name != "target" && name != "out" && name != "out.part")
            names.push_back(name);
    }
    return names;
}

TEST(FileWriter, ALinkOrFileAtTheTemporaryNameIsNeverWrittenThrough) {
    for (const bool link : {true, false}) {
        fixtures::TempDir dir;
        const std::string out = dir.File("out");
        ASSERT_TRUE(fixtures::WriteFileBytes(dir.File("target"), Text("precious")));
        if (link)
            fs::create_symlink(dir.File("target"), out + ".part");
        else
            ASSERT_TRUE(fixtures::WriteFileBytes(out + ".part", Text("someone's")));
        {
            FileWriter writer(out);
            writer.Write(Text("written whole"));
            ASSERT_TRUE(writer.Commit().Ok());
        }
        EXPECT_EQ(ReadFileText(dir.File("target")), "precious") << link;
        EXPECT_EQ(ReadFileText(out), "written whole") << link;
        EXPECT_EQ(fs::is_symlink(out + ".part"), link);
        if (!link) {
            EXPECT_EQ(ReadFileText(out + ".part"), "someone's");
        }
        EXPECT_TRUE(Leftovers(dir).empty()); // the temporary file was renamed into place
    }
}

} // namespace
} // namespace twl
