// The print-capability record the driver's installer leaves behind (value "ERDPrintCapability"):
// its layout, and a builder that writes one byte by byte for tools, samples and tests.
//
// Layout (little-endian): a 224-byte head (colour, resolution bits, maximum copies, the number of
// paper-size blocks, the UTF-16 model name, twelve default-setting values), then the paper-size
// blocks one after another: a 32-byte block head (PaperSizeID, number of entries) followed by that
// many 64-byte paper-type entries (PaperTypeID, PaperSource bits, Quality bits, Layout).
#pragma once

#include "platform/win32.h"

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace prncap {

// Head of the record.
constexpr size_t kColorOffset = 4;          // 1: colour model
constexpr size_t kResolutionOffset = 12;    // resolution bits
constexpr size_t kMaxCopiesOffset = 16;     // maximum number of copies
constexpr size_t kBlockCountOffset = 20;    // number of paper-size blocks
constexpr size_t kModelNameOffset = 24;     // UTF-16 model name, zero-terminated
constexpr size_t kModelNameBytes = 104;
constexpr size_t kDefaultOffset = 128;      // twelve 32-bit default-setting values
constexpr size_t kDefaultCount = 12;
constexpr size_t kHeadBytes = 224;          // the first paper-size block starts here

constexpr DWORD kColorModel = 1;

// Resolution bits and the base resolution each stands for, in the order they are tried.
struct ResolutionBit {
    DWORD bit;
    DWORD baseResolution;
};
constexpr ResolutionBit kResolutionBits[] = {{0x1, 4}, {0x1000, 2}};

// Indices of the default-setting values.
enum DefaultIndex : size_t {
    kDefMediaSizeID, kDefMediaTypeID, kDefLayout, kDefQuality, kDefPaperSource, kDefColorMode,
    kDefDuplex, kDefReverseOrder, kDefCopies, kDefCollate, kDefPaperDirection, kDefMultiPage,
};

// Paper-size block head and paper-type entry.
constexpr size_t kBlockHeadBytes = 32;
constexpr size_t kBlockSizeIDOffset = 0;
constexpr size_t kBlockEntryCountOffset = 4;
constexpr size_t kEntryBytes = 64;
constexpr size_t kEntryValues = 4;          // PaperTypeID, PaperSource, Quality, Layout

// Reads the 32-bit little-endian value at offset; the caller checks the bounds.
inline DWORD ReadU32(const BYTE* p, size_t offset) {
    return DWORD{p[offset]} | DWORD{p[offset + 1]} << 8 | DWORD{p[offset + 2]} << 16 | DWORD{p[offset + 3]} << 24;
}

// Builds a record: set the head fields, then add blocks and their entries in record order.
// AddBlock writes the entry count it is given, so a test can make it disagree with the entries
// that follow; Bytes() fills in the block count at offset 20 unless SetBlockCount was called.
class Builder {
public:
    Builder() : m_bytes(kHeadBytes, 0) {}

    Builder& SetColor(DWORD value) { return Put(kColorOffset, value); }
    Builder& SetResolutionBits(DWORD value) { return Put(kResolutionOffset, value); }
    Builder& SetMaxCopies(DWORD value) { return Put(kMaxCopiesOffset, value); }
    Builder& SetBlockCount(DWORD value) {
        m_blockCountSet = true;
        return Put(kBlockCountOffset, value);
    }
    // The model name, cut so that its terminator fits into the field.
    Builder& SetModelName(std::u16string_view name) {
        const size_t chars = std::min(name.size(), kModelNameBytes / 2 - 1);
        for (size_t i = 0; i < kModelNameBytes / 2; ++i) {
            const char16_t c = i < chars ? name[i] : u'\0';
            m_bytes[kModelNameOffset + 2 * i] = static_cast<BYTE>(c & 0xFF);
            m_bytes[kModelNameOffset + 2 * i + 1] = static_cast<BYTE>(c >> 8);
        }
        return *this;
    }
    Builder& SetDefault(DefaultIndex index, DWORD value) { return Put(kDefaultOffset + 4 * index, value); }

    Builder& AddBlock(DWORD paperSizeID, DWORD entryCount) {
        const size_t at = m_bytes.size();
        m_bytes.resize(at + kBlockHeadBytes, 0);
        ++m_blocks;
        Put(at + kBlockSizeIDOffset, paperSizeID);
        return Put(at + kBlockEntryCountOffset, entryCount);
    }
    Builder& AddEntry(DWORD paperTypeID, DWORD paperSource, DWORD quality, DWORD layout) {
        const size_t at = m_bytes.size();
        m_bytes.resize(at + kEntryBytes, 0);
        Put(at, paperTypeID);
        Put(at + 4, paperSource);
        Put(at + 8, quality);
        return Put(at + 12, layout);
    }

    std::vector<BYTE> Bytes() const {
        std::vector<BYTE> bytes = m_bytes;
        if (!m_blockCountSet) PutInto(bytes, kBlockCountOffset, m_blocks);
        return bytes;
    }

private:
    static void PutInto(std::vector<BYTE>& bytes, size_t offset, DWORD value) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<BYTE>(value >> (8 * i));
    }
    Builder& Put(size_t offset, DWORD value) {
        PutInto(m_bytes, offset, value);
        return *this;
    }

    std::vector<BYTE> m_bytes;
    DWORD m_blocks = 0;
    bool m_blockCountSet = false;
};

}  // namespace prncap
