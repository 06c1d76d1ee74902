// vanto context QUEUE: opens an instance on a queue through the library, shows the printer
// context that an instance builds for it, and releases the instance.
//
// The context is not exported, so it is shown from the same code (common/BIInfo) run in this
// process with the flag word given (default 1: bit 0 creates the queue identifier "KDPQGUID"
// when the queue has none).
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

struct PathRow {
    DWORD kind;
    const char* name;
};
constexpr PathRow kPathRows[] = {
    {BIInfo::DataFile, "DataFile"},       {BIInfo::DriverDirectory, "DriverDirectory"},
    {BIInfo::TransportModule, "TransportModule"}, {BIInfo::NetworkModule, "NetworkModule"},
    {BIInfo::UIModule, "UIModule"},       {BIInfo::CommonAppData, "CommonAppData"},
    {BIInfo::CFXFolder, "CFXFolder"},     {BIInfo::WorkFolder, "WorkFolder"},
};

std::string Text(LPCWSTR text) {
    return text == nullptr ? std::string("(none)") : vanto_cli::Narrow(text);
}

int RunContext(const std::string& queue, uint32_t flags) {
    if (!vanto_cli::QueueFound("context", queue)) return kExitNoQueue;
    vanto_cli::Library library;
    std::string error;
    if (!library.Load(error)) {
        std::fprintf(stderr, "vanto context: %s\n", error.c_str());
        return kExitFailure;
    }
    std::u16string name = vanto_cli::Widen(queue);
    // An instance with flags 0 has only its printer context.
    vanto_cli::Instance instance(library, library.Initialize(name.c_str(), 0));
    if (!instance) {
        std::fprintf(stderr, "vanto context: Initialize failed for '%s'\n", queue.c_str());
        return kExitFailure;
    }
    std::printf("instance opened on '%s' (%s)\n", queue.c_str(), library.Path().c_str());

    BIInfo before;
    BIInfo context;
    if (!before.Build(name.c_str(), 0) || !context.Build(name.c_str(), flags)) {
        std::fprintf(stderr, "vanto context: out of memory\n");
        return kExitFailure;
    }
    bool created = before.GetQueueGUID()[0] == 0 && context.GetQueueGUID()[0] != 0;
    std::printf("printer context (flags 0x%x):\n", flags);
    std::printf("  printer name   : %s\n", Text(context.GetPrinterName()).c_str());
    std::printf("  driver         : %s\n", Text(context.GetDriverName()).c_str());
    std::printf("  KDPQGUID       : %s%s\n", context.GetQueueGUID()[0] ? Text(context.GetQueueGUID()).c_str() : "(none)",
                created ? " (created now)" : "");
    std::printf("  PCL priority   : %d\n", context.IsPCLPriority());
    for (const PathRow& row : kPathRows) {
        WCHAR path[MAX_PATH] = {};
        if (context.GetPath(row.kind, path)) {
            std::printf("  %-15s: %s\n", row.name, Text(path).c_str());
        } else {
            std::printf("  %-15s: (fails)\n", row.name);
        }
    }
    std::printf("jobs waiting: %s\n", library.PrintJobsExists(instance.Handle()) == 1 ? "yes" : "no");
    std::printf("instance released: %s\n", instance.Release() ? "yes" : "no");
    return 0;
}

vanto_cli::VerbGroup contextVerbs([](CLI::App& app) {
    auto* context = app.add_subcommand("context", "Open an instance on a queue and show its printer context");
    auto queue = std::make_shared<std::string>();
    auto flags = std::make_shared<uint32_t>(1);
    context->add_option("QUEUE", *queue, "Print queue name")->required();
    context->add_option("--flags", *flags, "Flag word of the context (bit 0 creates the queue identifier)")
        ->capture_default_str();
    context->callback([queue, flags] {
        int rc = RunContext(*queue, *flags);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
