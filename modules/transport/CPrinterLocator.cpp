// Resolving a queue or an address to a printer, through the stand-in spooler.
#include "modules/transport/CPrinterLocator.h"

#include "modules/transport/CNetAddress.h"
#include "modules/transport/zkapi.h"
#include "platform/win32.h"
#ifndef _WIN32
#include "platform/prefix.h"
#endif

#include <cstring>
#include <vector>

namespace zk {
namespace {

constexpr std::string_view kNetworkPortPrefix = "IP_";  // "IP_127.0.1.5"

// An ANSI text in the thread code page as UTF-16.
bool Widen(const char* text, std::u16string& wide)
{
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, nullptr, 0);
    if (n <= 0) return false;
    wide.assign(static_cast<size_t>(n), u'\0');
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, text, -1, wide.data(), n) != n) return false;
    wide.pop_back();  // the terminator
    return true;
}

// The port of a queue, read through the spooler (GetPrinterW level 2).
bool QueuePort(const char* queue, std::string& port)
{
    std::u16string wideName;
    if (!Widen(queue, wideName)) return false;
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(wideName.data(), &printer, &defaults) || printer == nullptr) return false;
    DWORD needed = 0;
    GetPrinterW(printer, 2, nullptr, 0, &needed);
    std::vector<BYTE> info(needed >= sizeof(PRINTER_INFO_2W) ? needed : 0);
    const bool ok = !info.empty() && GetPrinterW(printer, 2, info.data(), needed, &needed);
    ClosePrinter(printer);
    if (!ok) return false;
    const auto* p2 = reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
    if (p2->pPortName == nullptr) return false;
    port.clear();
    for (const char16_t* c = p2->pPortName; *c != 0 && port.size() <= kZkMaxNameLength; ++c) {
        if (*c > 0x7E || *c < 0x20) return false;  // port names are plain ASCII
        port.push_back(static_cast<char>(*c));
    }
    return true;
}

int32_t NetworkTarget(std::string_view text, PrinterTarget& target)
{
    const auto address = ParseIPv4(text);
    if (!address) return kZkUnknownQueue;
    if (!IsPermittedAddress(*address)) return kZkNotAllowed;
    target.kind = PrinterTarget::Kind::Network;
    target.address = *address;
    return kZkOk;
}

}  // namespace

int32_t TargetFromPort(const std::string& port, PrinterTarget& target)
{
#ifndef _WIN32
    // A USB port is the prefix's Unix socket of the device; on Windows it is the spooler's own.
    if (auto path = vplat::UsbSocketPath(port)) {
        target.kind = PrinterTarget::Kind::Usb;
        target.socketPath = *path;
        return kZkOk;
    }
#endif
    std::string_view text = port;
    if (text.size() > kNetworkPortPrefix.size() && text.substr(0, kNetworkPortPrefix.size()) == kNetworkPortPrefix)
        text.remove_prefix(kNetworkPortPrefix.size());
    return NetworkTarget(text, target);
}

int32_t LocatePrinter(int32_t pathType, const char* name, PrinterTarget& target)
{
    if (name == nullptr || name[0] == '\0') return kZkBadArgument;
    if (strnlen(name, kZkMaxNameLength + 1) > kZkMaxNameLength) return kZkBadArgument;
    if (pathType == kZkPathAddress) {
        const int32_t r = NetworkTarget(name, target);
        return r == kZkUnknownQueue ? kZkBadArgument : r;
    }
    if (pathType != kZkPathQueue) return kZkBadArgument;
    std::string port;
    if (!QueuePort(name, port)) return kZkUnknownQueue;
    return TargetFromPort(port, target);
}

}  // namespace zk
