#pragma once

// A zero-filled byte buffer aligned to a page. Large reads into page-aligned memory are
// several times faster than into the 16-byte alignment that operator new gives: the kernel
// copies whole pages.

#include "core/ByteCodec.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace twl {

class AlignedBuffer {
public:
    static constexpr std::size_t kAlignment = 4096;

    AlignedBuffer() = default;
    explicit AlignedBuffer(std::size_t size) : m_size(size) {
        const std::size_t rounded = (size + kAlignment - 1) / kAlignment * kAlignment;
        void* memory = std::aligned_alloc(kAlignment, rounded == 0 ? kAlignment : rounded);
        if (memory == nullptr)
            throw std::bad_alloc();
        std::memset(memory, 0, rounded == 0 ? kAlignment : rounded);
        m_data.reset(static_cast<std::uint8_t*>(memory));
    }

    std::uint8_t* data() { return m_data.get(); }
    const std::uint8_t* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    MutableBytes Bytes() { return {m_data.get(), m_size}; }
    ConstBytes Bytes() const { return {m_data.get(), m_size}; }

private:
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t[], Free> m_data;
    std::size_t m_size = 0;
};

} // namespace twl
