// fuzz-libs: vanto_probe
// Feeds arbitrary bytes, cut at the first zero, to the device ID parser.
#include "probe/DeviceIDParser.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string deviceID(reinterpret_cast<const char*>(data), size);
    DeviceIDInfo info{};
    ConvertDeviceID(&info, deviceID.c_str());
    char value[16];
    GetDeviceIDValue(deviceID.c_str(), "CMD", value, sizeof(value));
    return 0;
}
