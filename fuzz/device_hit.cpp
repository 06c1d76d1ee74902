// fuzz-libs: vanto_probe
// The raw hit a transport module hands over for each device found, built from the bytes: the
// 16-byte address field (not necessarily terminated), an optional device name and device ID, and
// a list of address entries (64-byte texts, not necessarily terminated; the list may be longer
// than any module reports, or loop back to its start). CDeviceInfo copies and converts it; an
// accepted hit must give a record whose texts and address list match the hit.
//
// Bytes: flags (bit 0 name, bit 1 device ID, bit 2 the last entry links back to the first),
// entry count, the 16 address bytes, then the name and the device ID (each a length byte and
// that many bytes), then per entry a 4-byte value, a length byte (at most 64) and the text.
#include "fuzz/fuzz_prefix.h"
#include "probe/CDeviceInfo.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // Up to `count` bytes, fewer at the end of the input.
    std::string Take(size_t count) {
        count = std::min(count, m_size - m_pos);
        std::string text(reinterpret_cast<const char*>(m_data + m_pos), count);
        m_pos += count;
        return text;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

template <size_t N>
bool Terminated(const char16_t (&field)[N]) {
    return std::char_traits<char16_t>::find(field, N, u'\0') != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FuzzPrefix prefix;
    Bytes in(data, size);
    const uint8_t flags = in.Byte();
    const size_t entries = in.Byte() % 80;  // beyond the 64 entries a copy takes

    SProbeResult hit{};
    const std::string address = in.Take(sizeof hit.szAddress);
    std::memcpy(hit.szAddress, address.data(), address.size());
    std::string name = in.Take(in.Byte());
    std::string deviceId = in.Take(in.Byte());
    if (flags & 0x1) hit.pDeviceName = name.data();  // std::string keeps its terminator
    if (flags & 0x2) hit.pDeviceID = deviceId.data();
    const bool loops = (flags & 0x4) && entries > 0;
    std::vector<SProbeAddress> list(entries);
    for (size_t i = 0; i < entries; ++i) {
        const std::string value = in.Take(4);
        std::memcpy(&list[i].dwValue, value.data(), value.size());
        const std::string text = in.Take(std::min<size_t>(in.Byte(), sizeof list[i].szAddress));
        std::memcpy(list[i].szAddress, text.data(), text.size());
        list[i].pNext = i + 1 < entries ? &list[i + 1] : (loops ? &list[0] : nullptr);
    }
    hit.pAddressList = entries > 0 ? &list[0] : nullptr;

    CDeviceInfo device(nullptr, nullptr);
    if (!device.SetSProbeResult(&hit)) return 0;
    const SBIProbeResult* record = device.GetSBIProbeResult();
    if (!record || !hit.pDeviceID || loops) std::abort();  // accepted: a device ID, a list that ends
    // The record's address text and entries are the hit's, in order, each terminated.
    if (!Terminated(record->szAddress)) std::abort();
    size_t count = 0;
    for (const SBIProbeAddress* a = record->pAddressList; a; a = a->pNext, ++count)
        if (count >= entries || a->dwValue != list[count].dwValue || !Terminated(a->szAddress)) std::abort();
    if (count != entries) std::abort();
    if (hit.pDeviceName && !record->pDeviceName) std::abort();
    if (hit.pDeviceName && entries > 0 && !device.IsSameDevice(hit)) std::abort();
    return 0;
}
