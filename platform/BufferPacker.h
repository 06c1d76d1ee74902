// Lays out spooler records the Windows way: fixed-size structures first, then the strings they
// point to, all inside the caller's one buffer. Used in two passes: count every string to learn
// the size needed, then, if the buffer is big enough, place them.
#pragma once

#include "platform/win32.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace vplat::detail {

class BufferPacker {
public:
    explicit BufferPacker(size_t fixedBytes) : m_fixed(fixedBytes), m_needed(fixedBytes) {}

    void Count(std::u16string_view text) { m_needed += (text.size() + 1) * sizeof(char16_t); }
    size_t Needed() const { return m_needed; }

    // True if `size` bytes hold everything; a too-small buffer is zero-filled, so that any
    // pointer a caller reads from it anyway is null.
    bool Fits(LPBYTE buffer, DWORD size) const {
        if (buffer && size >= m_needed) return true;
        if (buffer) std::memset(buffer, 0, size);
        return false;
    }

    void Start(LPBYTE buffer) {
        m_buffer = buffer;
        m_next = m_fixed;
        std::memset(buffer, 0, m_needed);
    }
    // Copies a string behind the fixed part; returns where it lies.
    LPWSTR Put(std::u16string_view text) {
        auto* out = reinterpret_cast<LPWSTR>(m_buffer + m_next);
        std::memcpy(out, text.data(), text.size() * sizeof(char16_t));
        out[text.size()] = 0;
        m_next += (text.size() + 1) * sizeof(char16_t);
        return out;
    }

private:
    size_t m_fixed;
    size_t m_needed;
    LPBYTE m_buffer = nullptr;
    size_t m_next = 0;
};

}  // namespace vplat::detail
