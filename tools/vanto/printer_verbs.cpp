// vanto printer: what the library's live printer access learns about a queue's printer.
//
//   vanto printer QUEUE [--flags N]   opens the printer as the printer-information update does
//                                     and prints its device ID, category, channel, status
//                                     fields and, for ink-jets, the supported media
//                                     combinations and forbidden pairs
//
// CBIDI_BP is not exported, so the verb runs the library's own code in this process, with the
// transport module the queue's driver names.
#include "bidi/CBIDI_BP.h"
#include "bidi/StatusReply.h"
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <span>
#include <string>

namespace {

using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

constexpr const char* kFunctionNames[CAPFUNC_COUNT] = {"PaperSize", "PaperType", "PaperSource", "Quality", "Layout"};

const char* CategoryName(DWORD category) {
    switch (category) {
    case PRINTER_CATEGORY_PAGE: return "page printer";
    case PRINTER_CATEGORY_INKJET: return "ink-jet printer";
    case PRINTER_CATEGORY_SYSTEM_OEM: return "System OEM page printer";
    case PRINTER_CATEGORY_LARGE_INKJET: return "large ink-jet printer";
    default: return "unknown";
    }
}

const char* ChannelName(DWORD kind) {
    switch (kind) {
    case kZkChannelSNMP: return "SNMP";
    case kZkChannelOPK: return "OPK (job language)";
    case kZkChannelTVD4: return "TVD4";
    case kZkChannelD4: return "D4";
    default: return "none";
    }
}

void PrintHex(std::span<const BYTE> bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) std::printf("%s%02x", i % 32 == 0 ? "\n    " : " ", bytes[i]);
    std::printf("\n");
}

// The status reply and the fields this library reads from it.
void PrintStatus(CBIDI_BP& bidi) {
    if (!bidi.GetStatusFromCurrentChannel()) {
        std::printf("status          : not available\n");
        return;
    }
    const std::vector<BYTE>& status = bidi.GetAutoConfigInfo().vecStatus;
    std::printf("status          : %zu bytes", status.size());
    PrintHex(status);
    for (const auto& [header, name] : {std::pair<BYTE, const char*>{kStatusFieldStorage, "storage"},
                                       std::pair<BYTE, const char*>{kStatusFieldInks, "inks"}}) {
        const int length = bidi.GetStatusFieldData(header, nullptr, 0);
        if (length <= 0) {
            std::printf("  field 0x%02x (%s): absent\n", header, name);
            continue;
        }
        std::vector<BYTE> data(static_cast<size_t>(length));
        if (bidi.GetStatusFieldData(header, data.data(), static_cast<DWORD>(data.size())) != length) continue;
        std::printf("  field 0x%02x (%s): %d bytes", header, name, length);
        PrintHex(data);
    }
    DWORD colour = 0;
    if (bidi.IsSupportColorMode(&colour)) std::printf("  colour ink      : %s\n", (colour & 0x1) ? "yes" : "no");
}

// The media combinations of an ink-jet and the pairs the driver must forbid.
void PrintMedia(CBIDI_BP& bidi) {
    if (bidi.CapabilitySet().Capabilities().empty() && !bidi.GetSupportMediaInfo()) {
        std::printf("supported media : not available\n");
        return;
    }
    const auto& info = bidi.GetAutoConfigInfo();
    std::printf("media format    : %s, resolution flag %u\n", info.dwFormat17Mark ? "17" : "14/16",
                info.dwResolutionFlag);
    std::printf("supported media (%zu):\n", bidi.CapabilitySet().Capabilities().size());
    for (const auto& c : bidi.CapabilitySet().Capabilities())
        std::printf("  size %3u  type %3u  source 0x%08x  quality 0x%08x  layout 0x%08x\n", c.adwElement[0],
                    c.adwElement[1], c.adwElement[2], c.adwElement[3], c.adwElement[4]);
    std::printf("forbidden pairs (%zu):\n", bidi.GetForbiddenPairs().size());
    for (const auto& d : bidi.GetForbiddenPairs())
        std::printf("  %s %u with %s %u\n", d.dwFunc1 < CAPFUNC_COUNT ? kFunctionNames[d.dwFunc1] : "?",
                    d.dwElement1, d.dwFunc2 < CAPFUNC_COUNT ? kFunctionNames[d.dwFunc2] : "?", d.dwElement2);
}

int RunPrinter(const std::string& queue, DWORD flags) {
    if (!vanto_cli::QueueFound("printer", queue)) return kExitNoQueue;
    const std::u16string name = vanto_cli::Widen(queue);
    BIInfo context;
    if (!context.Build(name.c_str(), 0)) return kExitFailure;
    CBIDI_BP bidi;
    if (!bidi.Initialize(&context, flags)) {
        std::fprintf(stderr, "vanto printer: the transport module of '%s' cannot be loaded\n", queue.c_str());
        return kExitFailure;
    }
    const int opened = bidi.Open(name.c_str());
    if (bidi.IsDeviceIDAnalyzed()) std::printf("device ID       : %s\n", bidi.GetDeviceIDString().c_str());
    if (!opened) {
        std::fprintf(stderr, "vanto printer: the printer of '%s' cannot be opened\n", queue.c_str());
        return kExitFailure;
    }
    const DWORD category = bidi.GetPrinterCategory();
    std::printf("model           : %s\n", vanto_cli::Narrow(bidi.GetModelName()).c_str());
    std::printf("category        : %u (%s)\n", category, CategoryName(category));
    std::printf("channel         : %s (0x%08x)%s\n", ChannelName(bidi.GetChannelKind()), bidi.GetChannelKind(),
                bidi.IsChannelAvailable() ? "" : ", no usable channel");
    if (bidi.GetChannelKind() != 0) PrintStatus(bidi);
    if (category == PRINTER_CATEGORY_INKJET || category == PRINTER_CATEGORY_LARGE_INKJET) PrintMedia(bidi);
    bidi.Close();
    return 0;
}

vanto_cli::VerbGroup printerVerbs([](CLI::App& app) {
    auto* printer = app.add_subcommand("printer", "Open a queue's printer through the live access and show what it is");
    auto queue = std::make_shared<std::string>();
    auto flags = std::make_shared<DWORD>(0);
    printer->add_option("QUEUE", *queue, "Queue name")->required();
    printer->add_option("--flags", *flags,
                        "Option flags of the printer access (0x20 ink-jet, 0x40 page, 0x80 large ink-jet)");
    printer->callback([queue, flags] {
        if (int rc = RunPrinter(*queue, *flags); rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
