#include "volumes/VolumeEntry.h"

#include <gtest/gtest.h>

namespace twl {
namespace {

VolumeLabel Label(const std::string& text) {
    VolumeLabel label{};
    std::copy_n(text.begin(), std::min<std::size_t>(text.size(), kLabelSize), label.begin());
    return label;
}

TEST(VolumeEntry, PartitionEntryEncodesTo31BytesFieldByField) {
    PartitionEntry entry;
    entry.status = 0x80;
    entry.type = 0x83;
    entry.start = 0x01020304;
    entry.size = 0xA0B0C0D0;
    entry.label = Label("root");
    entry.superblockFound = 1;
    const auto bytes = entry.Encode(true);
    const std::array<std::uint8_t, 31> expected = {
        0x80, 0x83, 0x04, 0x03, 0x02, 0x01, 0xD0, 0xC0, 0xB0, 0xA0, 'r', 'o', 'o', 't', 0, 0,
        0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    1,   1,   0,   0,   0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(entry.Encode(false)[27], 0); // the last entry links to nothing
    EXPECT_EQ(PartitionEntry::Decode(bytes), entry);
}

TEST(VolumeEntry, FoundVolumeEntryEncodesTo34BytesWithAFullLabel) {
    FoundVolumeEntry entry;
    entry.start = 63;
    entry.superblockSector = 65;
    entry.size = 0x00100000;
    entry.label = Label("sixteen-chars-ab"); // fills the field, no terminator
    const auto bytes = entry.Encode(false);
    const std::array<std::uint8_t, 34> expected = {
        0,   0x83, 63,  0,   0,   0,   65,  0,   0,   0,   0x00, 0x00, 0x10, 0x00, 's', 'i', 'x',
        't', 'e',  'e', 'n', '-', 'c', 'h', 'a', 'r', 's', '-',  'a',  'b',  0,    0,   0,   0};
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(LabelText(entry.label), "sixteen-chars-ab");
    EXPECT_EQ(FoundVolumeEntry::Decode(bytes), entry);
    EXPECT_NE(entry.Encode(true)[30] | entry.Encode(true)[31], 0);
}

TEST(VolumeEntry, ShortRecordsDecodeAsEmptyEntries) {
    const std::array<std::uint8_t, 30> shortRecord{0x80, 0x83, 1, 2, 3, 4};
    EXPECT_EQ(PartitionEntry::Decode(shortRecord), PartitionEntry{});
    EXPECT_EQ(FoundVolumeEntry::Decode(shortRecord), FoundVolumeEntry{});
}

} // namespace
} // namespace twl
