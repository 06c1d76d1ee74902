// vanto context QUEUE [--flags N] [--json]: opens an instance on a queue through the library,
// shows the printer context that an instance builds for it, and releases the instance.
//
// The context is not exported, so it is shown from the same code (common/BIInfo) run in this
// process with the flag word given (default 1: bit 0 creates the queue identifier "KDPQGUID"
// when the queue has none).
#include "common/BIInfo.h"
#include "platform/prefix.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

using vanto_cli::Json;
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

// Text of the context; null for none.
Json Text(LPCWSTR text) { return text == nullptr ? Json() : Json(vanto_cli::Narrow(text)); }

// The plain view of what RunContext gathered.
void PrintContext(const Json& c) {
    auto text = [](const Json& value) { return value.is_null() ? std::string("(none)") : value.get<std::string>(); };
    std::printf("instance opened on '%s' (%s)\n", c["queue"].get<std::string>().c_str(), text(c["library"]).c_str());
    std::printf("printer context (flags 0x%x):\n", c["flags"].get<uint32_t>());
    std::printf("  printer name   : %s\n", text(c["printer_name"]).c_str());
    std::printf("  driver         : %s\n", text(c["driver"]).c_str());
    std::printf("  KDPQGUID       : %s%s\n", text(c["queue_guid"]).c_str(),
                c["queue_guid_created"].get<bool>() ? " (created now)" : "");
    std::printf("  PCL priority   : %d\n", c["pcl_priority"].get<int>());
    for (const auto& [name, path] : c["paths"].items())
        std::printf("  %-15s: %s\n", name.c_str(), path.is_null() ? "(fails)" : path.get<std::string>().c_str());
    std::printf("jobs waiting: %s\n", c["jobs_waiting"].get<bool>() ? "yes" : "no");
    std::printf("instance released: %s\n", c["released"].get<bool>() ? "yes" : "no");
}

int RunContext(const std::string& queue, uint32_t flags, bool asJson) {
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
        std::fprintf(stderr,
                     "vanto context: Initialize failed for queue '%s': check its driver with `vanto queue show %s`\n",
                     queue.c_str(), vanto_cli::ShellWord(queue).c_str());
        return kExitFailure;
    }

    BIInfo before;
    BIInfo context;
    if (!before.Build(name.c_str(), 0) || !context.Build(name.c_str(), flags)) {
        std::fprintf(stderr, "vanto context: out of memory\n");
        return kExitFailure;
    }
    const bool created = before.GetQueueGUID()[0] == 0 && context.GetQueueGUID()[0] != 0;
    Json paths = Json::object();
    for (const PathRow& row : kPathRows) {
        WCHAR path[MAX_PATH] = {};
        paths[row.name] = context.GetPath(row.kind, path) ? Text(path) : Json();
    }
    Json out = {{"queue", queue},
                {"library", library.Path()},
                {"flags", flags},
                {"printer_name", Text(context.GetPrinterName())},
                {"driver", Text(context.GetDriverName())},
                {"queue_guid", context.GetQueueGUID()[0] ? Text(context.GetQueueGUID()) : Json()},
                {"queue_guid_created", created},
                {"pcl_priority", context.IsPCLPriority()},
                {"paths", std::move(paths)}};
    out["jobs_waiting"] = library.PrintJobsExists(instance.Handle()) == 1;
    out["released"] = instance.Release();
    if (asJson)
        vanto_cli::PrintJson(out);
    else
        PrintContext(out);
    return 0;
}

vanto_cli::VerbGroup contextVerbs([](CLI::App& app) {
    auto* context = app.add_subcommand("context", "Open an instance on a queue and show its printer context");
    auto queue = std::make_shared<std::string>();
    auto flags = std::make_shared<uint32_t>(1);
    auto asJson = std::make_shared<bool>(false);
    context->add_option("QUEUE", *queue, "Print queue name")->required();
    context->add_option("--flags", *flags, "Flag word of the context (bit 0 creates the queue identifier)")
        ->capture_default_str();
    vanto_cli::AddJsonFlag(context, *asJson);
    context->footer("Examples:\n  vanto context Office\n  vanto context Office --flags 0 --json");
    context->callback([queue, flags, asJson] {
        int rc = RunContext(*queue, *flags, *asJson);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
