// vanto queue add|remove|pause|resume|refuse|show: print queues of the prefix.
#include "common/BIInfo.h"
#include "platform/TextUtil.h"
#include "tools/vanto/admin_common.h"

#include <memory>
#include <vector>

namespace {
using vanto_cli::AdminFail;
using vplat::detail::FromUtf8;
using vplat::detail::ToUtf8;

// Opens an existing queue through the spooler; fails the verb on any error.
HANDLE OpenQueue(const char* verb, const std::string& queue, DWORD access) {
    vanto_cli::RequirePrefix(verb);
    std::u16string name = FromUtf8(queue);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (OpenPrinterW(name.data(), &h, &defaults)) return h;
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED) AdminFail(verb, "access to queue '" + queue + "' refused");
    AdminFail(verb, "no queue '" + queue + "'");
}

void Control(const char* verb, const std::string& queue, DWORD command) {
    HANDLE h = OpenQueue(verb, queue, PRINTER_ALL_ACCESS);
    const BOOL ok = SetPrinterW(h, 0, nullptr, command);
    const DWORD error = GetLastError();
    ClosePrinter(h);
    if (!ok) AdminFail(verb, "refused (error " + std::to_string(error) + ")");
}

std::string Text(LPCWSTR text) { return text ? ToUtf8(text) : ""; }

void Show(const std::string& queue) {
    HANDLE h = OpenQueue("queue show", queue, PRINTER_ACCESS_USE);
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> printer(needed);
    if (!GetPrinterW(h, 2, printer.data(), needed, &needed)) {
        ClosePrinter(h);
        AdminFail("queue show", "cannot read the queue");
    }
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(printer.data());
    std::printf("queue:   %s\n", Text(info.pPrinterName).c_str());
    std::printf("driver:  %s\n", Text(info.pDriverName).c_str());
    std::printf("port:    %s\n", Text(info.pPortName).c_str());
    std::printf("status:  %s (0x%x)\n", (info.Status & PRINTER_STATUS_PAUSED) ? "paused" : "ready",
                static_cast<unsigned>(info.Status));
    std::printf("jobs:    %u\n", static_cast<unsigned>(info.cJobs));
    if (GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed) || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<BYTE> driver(needed);
        if (GetPrinterDriverW(h, nullptr, 2, driver.data(), needed, &needed)) {
            const auto& d = *reinterpret_cast<const DRIVER_INFO_2W*>(driver.data());
            std::printf("data file:   %s\n", Text(d.pDataFile).c_str());
            std::printf("config file: %s\n", Text(d.pConfigFile).c_str());
        }
    }
    ClosePrinter(h);
    // The stand-in's refusal switches live beside the queue's values.
    HKEY key = nullptr;
    const std::u16string path = std::u16string(vplat::kPrintersKey) + u"\\" + FromUtf8(queue);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
        for (const char16_t* name : {vplat::kRefuseFullAccessValue, vplat::kRefusePurgeValue}) {
            DWORD value = 0, size = sizeof value;
            if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                value)
                std::printf("%s: yes\n", ToUtf8(name).c_str());
        }
        RegCloseKey(key);
    }
}

vanto_cli::VerbGroup queueVerbs([](CLI::App& app) {
    auto* queue = app.add_subcommand("queue", "Print queues of the prefix");
    queue->require_subcommand(1);
    auto name = std::make_shared<std::string>();
    auto driver = std::make_shared<std::string>();
    auto port = std::make_shared<std::string>();
    auto fullAccess = std::make_shared<bool>(false);
    auto purge = std::make_shared<bool>(false);

    auto* add = queue->add_subcommand("add", "Add a queue for an installed driver");
    add->add_option("QUEUE", *name)->required();
    add->add_option("--driver", *driver, "Installed driver name")->required();
    add->add_option("--port", *port, "IP_<address>, <address> or USB<nnn>")->required();
    add->callback([=] {
        vanto_cli::RequirePrefix("queue add");
        std::string error;
        if (!vplat::AddQueue(*name, *driver, *port, error)) AdminFail("queue add", error);
        // As a driver's installer does, the queue gets its identifier now: its store is found by it.
        constexpr DWORD kCreateGUIDFlag = 0x1;
        const std::u16string queueName = FromUtf8(*name);
        BIInfo context;
        if (!context.Build(queueName.c_str(), kCreateGUIDFlag) || context.GetQueueGUID()[0] == 0)
            AdminFail("queue add", "queue '" + *name + "' added, but its identifier KDPQGUID could not be stored");
        std::printf("queue '%s' added (driver '%s', port %s, identifier %s)\n", name->c_str(), driver->c_str(),
                    port->c_str(), ToUtf8(context.GetQueueGUID()).c_str());
    });

    auto* remove = queue->add_subcommand("remove", "Remove a queue with its printer data and jobs");
    remove->add_option("QUEUE", *name)->required();
    remove->callback([=] {
        vanto_cli::RequirePrefix("queue remove");
        std::string error;
        if (!vplat::RemoveQueue(*name, error)) AdminFail("queue remove", error);
    });

    auto* pause = queue->add_subcommand("pause", "Pause a queue");
    pause->add_option("QUEUE", *name)->required();
    pause->callback([=] { Control("queue pause", *name, PRINTER_CONTROL_PAUSE); });
    auto* resume = queue->add_subcommand("resume", "Resume a paused queue");
    resume->add_option("QUEUE", *name)->required();
    resume->callback([=] { Control("queue resume", *name, PRINTER_CONTROL_RESUME); });

    auto* refuse = queue->add_subcommand(
        "refuse", "Make the spooler refuse full-access opens or purges of a queue (no flag: refuse nothing)");
    refuse->add_option("QUEUE", *name)->required();
    refuse->add_flag("--full-access", *fullAccess, "Refuse opening with full access");
    refuse->add_flag("--purge", *purge, "Refuse deleting the queue's jobs");
    refuse->callback([=] {
        vanto_cli::RequirePrefix("queue refuse");
        std::string error;
        if (!vplat::SetQueueRefusals(*name, *fullAccess, *purge, error)) AdminFail("queue refuse", error);
    });

    auto* show = queue->add_subcommand("show", "Show a queue: driver, port, status and jobs");
    show->add_option("QUEUE", *name)->required();
    show->callback([=] { Show(*name); });
});
}  // namespace
