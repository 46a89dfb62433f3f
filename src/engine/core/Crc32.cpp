#include "core/Crc32.h"

#include <array>

namespace twl {
namespace {

using Table = std::array<std::uint32_t, 256>;

constexpr Table MakeTable(std::uint32_t polynomial) {
    Table table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) != 0 ? polynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr Table kCrc32Table = MakeTable(0xEDB88320u);
constexpr Table kCrc32cTable = MakeTable(0x82F63B78u);
constexpr Table kCrc16Table = MakeTable(0xA001u);

std::uint32_t Continue(const Table& table, std::uint32_t c, ConstBytes bytes) {
    for (const std::uint8_t b : bytes)
        c = table[(c ^ b) & 0xFF] ^ (c >> 8);
    return c;
}

} // namespace

std::uint32_t Crc32(ConstBytes bytes) {
    return Continue(kCrc32Table, 0xFFFFFFFFu, bytes) ^ 0xFFFFFFFFu;
}

std::uint32_t Crc32c(std::uint32_t crc, ConstBytes bytes) {
    return Continue(kCrc32cTable, crc, bytes);
}

std::uint16_t Crc16(std::uint16_t crc, ConstBytes bytes) {
    return static_cast<std::uint16_t>(Continue(kCrc16Table, crc, bytes));
}

} // namespace twl
