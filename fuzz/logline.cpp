// fuzz-libs: vanto_common
// Feeds arbitrary bytes to the diagnostic log as the text of a "%s" argument and as a dump, with
// the log switched on in a private prefix: mixed UTF-8 and raw 8-bit text goes through the line
// conversion to the ANSI code page. The first byte picks the code page (1252 or 932); the bytes
// read as UTF-16 also go through BILogging::Narrow.
#include "common/BILogging.h"
#include "platform/prefix.h"
#include "platform/win32.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

// A prefix of this process with the log on; the log file is removed now and then.
struct LogPrefix {
    std::string root;
    LogPrefix() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vanto-fuzz-log-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root = pattern;
        ::setenv(vplat::kPrefixVariable, root.c_str(), 1);
        std::string error;
        if (!vplat::InitPrefix(error)) std::abort();
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kLogSwitchKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            std::abort();
        const DWORD on = 1;
        RegSetValueExW(key, vplat::kLogSwitchValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof(on));
        RegCloseKey(key);
        std::filesystem::create_directories(root + "/drive_c/VANTOLOG");
    }
    ~LogPrefix() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    void SetCodePage(const char16_t* acp) const {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, vplat::kCodePageKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        RegSetValueExW(key, u"ACP", 0, REG_SZ, reinterpret_cast<const BYTE*>(acp),
                       static_cast<DWORD>((std::char_traits<char16_t>::length(acp) + 1) * 2));
        RegCloseKey(key);
    }
    void TrimLog() const {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(root + "/drive_c/VANTOLOG", ec))
            std::filesystem::remove(entry.path(), ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LogPrefix prefix;
    static unsigned runs = 0;
    if (size == 0 || size > 1 << 16) return 0;
    prefix.SetCodePage((data[0] & 1) ? u"932" : u"1252");
    ++data, --size;

    const std::string text(reinterpret_cast<const char*>(data), size);
    BI_LOG("text=%s|\n", text.c_str());
    BI_DUMP(data, size);
    std::u16string units(size / 2, u'\0');
    if (!units.empty()) std::memcpy(units.data(), data, units.size() * 2);
    BI_LOG("wide=%s\n", BILogging::Narrow(units.c_str()).c_str());
    if (++runs % 256 == 0) prefix.TrimLog();
    return 0;
}
