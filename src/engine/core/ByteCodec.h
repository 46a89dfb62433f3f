#pragma once

// Little-endian field access over byte spans, and big-endian for the journal, whose records
// are big-endian. Every on-disk and file record is decoded and encoded through these, field
// by field; no buffer is ever cast to a struct.
//
// The caller guarantees offset + width <= bytes.size(); a read outside the span is a
// programming error (asserted) and yields zero in release builds rather than touching memory
// that is not part of the record.

#include <bit>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace twl {

using ConstBytes = std::span<const std::uint8_t>;
using MutableBytes = std::span<std::uint8_t>;

// Returns true when [offset, offset + width) lies inside a span of `size` bytes.
constexpr bool FitsIn(std::size_t size, std::size_t offset, std::size_t width) {
    return offset <= size && width <= size - offset;
}

template <typename T>
constexpr T LoadLe(ConstBytes bytes, std::size_t offset) {
    if (!FitsIn(bytes.size(), offset, sizeof(T))) {
        assert(!"little-endian load outside its record");
        return 0;
    }
    if (std::is_constant_evaluated() || std::endian::native != std::endian::little) {
        T value = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<T>(static_cast<T>(bytes[offset + i]) << (8 * i));
        return value;
    }
    // One load on a little-endian machine: the bytes are the value.
    T value;
    std::memcpy(&value, bytes.data() + offset, sizeof(T));
    return value;
}

template <typename T>
constexpr void StoreLe(MutableBytes bytes, std::size_t offset, T value) {
    if (!FitsIn(bytes.size(), offset, sizeof(T))) {
        assert(!"little-endian store outside its record");
        return;
    }
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

template <typename T>
constexpr T LoadBe(ConstBytes bytes, std::size_t offset) {
    if (!FitsIn(bytes.size(), offset, sizeof(T))) {
        assert(!"big-endian load outside its record");
        return 0;
    }
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value = static_cast<T>((value << 8) | bytes[offset + i]);
    return value;
}

template <typename T>
constexpr void StoreBe(MutableBytes bytes, std::size_t offset, T value) {
    if (!FitsIn(bytes.size(), offset, sizeof(T))) {
        assert(!"big-endian store outside its record");
        return;
    }
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bytes[offset + sizeof(T) - 1 - i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint16_t Be16(ConstBytes b, std::size_t off) {
    return LoadBe<std::uint16_t>(b, off);
}
constexpr std::uint32_t Be32(ConstBytes b, std::size_t off) {
    return LoadBe<std::uint32_t>(b, off);
}
constexpr std::uint64_t Be64(ConstBytes b, std::size_t off) {
    return LoadBe<std::uint64_t>(b, off);
}
constexpr void PutBe16(MutableBytes b, std::size_t off, std::uint16_t v) {
    StoreBe(b, off, v);
}
constexpr void PutBe32(MutableBytes b, std::size_t off, std::uint32_t v) {
    StoreBe(b, off, v);
}
constexpr void PutBe64(MutableBytes b, std::size_t off, std::uint64_t v) {
    StoreBe(b, off, v);
}

constexpr std::uint8_t Le8(ConstBytes b, std::size_t off) {
    return LoadLe<std::uint8_t>(b, off);
}
constexpr std::uint16_t Le16(ConstBytes b, std::size_t off) {
    return LoadLe<std::uint16_t>(b, off);
}
constexpr std::uint32_t Le32(ConstBytes b, std::size_t off) {
    return LoadLe<std::uint32_t>(b, off);
}
constexpr std::uint64_t Le64(ConstBytes b, std::size_t off) {
    return LoadLe<std::uint64_t>(b, off);
}

constexpr void PutLe8(MutableBytes b, std::size_t off, std::uint8_t v) {
    StoreLe(b, off, v);
}
constexpr void PutLe16(MutableBytes b, std::size_t off, std::uint16_t v) {
    StoreLe(b, off, v);
}
constexpr void PutLe32(MutableBytes b, std::size_t off, std::uint32_t v) {
    StoreLe(b, off, v);
}
constexpr void PutLe64(MutableBytes b, std::size_t off, std::uint64_t v) {
    StoreLe(b, off, v);
}

} // namespace twl
