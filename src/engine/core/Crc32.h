#pragma once

// CRC-32 as GUID partition tables (and zip, and Ethernet) compute it: the reflected polynomial
// 0xEDB88320, all ones in and out.

#include "core/ByteCodec.h"

#include <cstdint>

namespace twl {

std::uint32_t Crc32(ConstBytes bytes);

} // namespace twl
