#include "core/ByteCodec.h"

#include "core/Status.h"

#include <array>
#include <cerrno>

#include <gtest/gtest.h>

namespace twl {
namespace {

TEST(ByteCodec, ReadsAndWritesLittleEndianAtAnyOffset) {
    std::array<std::uint8_t, 16> bytes{};
    PutLe16(bytes, 1, 0xEF53);
    PutLe32(bytes, 3, 0x12345678);
    PutLe64(bytes, 7, 0x0102030405060708ULL);
    EXPECT_EQ(bytes[1], 0x53);
    EXPECT_EQ(bytes[2], 0xEF);
    EXPECT_EQ(bytes[3], 0x78);
    EXPECT_EQ(bytes[6], 0x12);
    EXPECT_EQ(bytes[7], 0x08);
    EXPECT_EQ(bytes[14], 0x01);
    EXPECT_EQ(Le16(bytes, 1), 0xEF53);
    EXPECT_EQ(Le32(bytes, 3), 0x12345678u);
    EXPECT_EQ(Le64(bytes, 7), 0x0102030405060708ULL);
    EXPECT_EQ(Le32(bytes, 12), 0x00010203u); // the top three bytes of the u64, then zero
}

TEST(ByteCodec, FitsInRejectsRangesPastTheEndWithoutOverflow) {
    EXPECT_TRUE(FitsIn(16, 12, 4));
    EXPECT_FALSE(FitsIn(16, 13, 4));
    EXPECT_FALSE(FitsIn(16, 17, 0));
    EXPECT_FALSE(FitsIn(16, 8, SIZE_MAX)); // offset + width would wrap
}

TEST(Status, DescribeNamesTheSubjectTheReasonAndAHintWhenAccessIsDenied) {
    EXPECT_EQ(Describe(Status::Failure(ErrorCode::kCannotOpen, "/dev/sdb", EACCES)),
              "cannot open /dev/sdb: Permission denied (run as root or join the disk group)");
    EXPECT_EQ(Describe(Status::Failure(ErrorCode::kCannotOpen, "/x.img", ENOENT)),
              "cannot open /x.img: No such file or directory");
    EXPECT_EQ(Describe(Status::Failure(ErrorCode::kNotInInventory, "disk:3")),
              "no such drive disk:3");
}

} // namespace
} // namespace twl
