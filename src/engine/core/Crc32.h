#pragma once

// Table-driven reflected CRCs: CRC-32 as GUID partition tables (and zip, and Ethernet) compute
// it, CRC-32C as ext4 does, and the CRC-16 of ext4's older group descriptor checksums.

#include "core/ByteCodec.h"

#include <cstdint>

namespace twl {

std::uint32_t Crc32(ConstBytes bytes);

// CRC-32C (Castagnoli, the reflected polynomial 0x82F63B78) continued from `crc`, without the
// final inversion: ext4's metadata checksums start it from ~0 and store the result as it is.
std::uint32_t Crc32c(std::uint32_t crc, ConstBytes bytes);

// CRC-16 (the reflected polynomial 0xA001) continued from `crc`, without a final inversion:
// gdt_csum starts it from 0xFFFF.
std::uint16_t Crc16(std::uint16_t crc, ConstBytes bytes);

} // namespace twl
