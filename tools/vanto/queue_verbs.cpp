// vanto queue add|remove|pause|resume|refuse|show|list: print queues of the prefix; show and list
// take --json.
#include "common/BIInfo.h"
#include "platform/TextUtil.h"
#include "tools/vanto/admin_common.h"
#include "tools/vanto/json_view.h"

#include <algorithm>

#include <memory>
#include <vector>

namespace {
using vanto_cli::AdminFail;
using vanto_cli::Json;
using vanto_cli::ShellWord;
using vplat::detail::FromUtf8;
using vplat::detail::ToUtf8;

// Opens an existing queue through the spooler; fails the verb on any error.
HANDLE OpenQueue(const char* verb, const std::string& queue, DWORD access) {
    vanto_cli::RequireQueue(verb, queue);
    std::u16string name = FromUtf8(queue);
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (OpenPrinterW(name.data(), &h, &defaults)) return h;
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED)
        AdminFail(verb, "access to queue '" + queue + "' refused: full access is refused while VANTO_UNPRIVILEGED=1 " +
                            "is set or after `vanto queue refuse " + ShellWord(queue) +
                            " --full-access` (`vanto queue refuse " + ShellWord(queue) + "` lifts that)");
    AdminFail(verb, "the spooler cannot open queue '" + queue + "' (error " + std::to_string(error) + ")");
}

void Control(const char* verb, const std::string& queue, DWORD command) {
    HANDLE h = OpenQueue(verb, queue, PRINTER_ALL_ACCESS);
    const BOOL ok = SetPrinterW(h, 0, nullptr, command);
    const DWORD error = GetLastError();
    ClosePrinter(h);
    if (!ok) AdminFail(verb, "the spooler refused this for queue '" + queue + "' (error " + std::to_string(error) + ")");
}

std::string Text(LPCWSTR text) { return text ? ToUtf8(text) : ""; }

// The plain view of what Show gathered.
void PrintQueue(const Json& q) {
    auto text = [&](const char* key) { return q[key].get<std::string>(); };
    std::printf("queue:   %s\n", text("queue").c_str());
    std::printf("driver:  %s\n", text("driver").c_str());
    std::printf("port:    %s\n", text("port").c_str());
    std::printf("status:  %s (0x%x)\n", q["status"]["name"].get<std::string>().c_str(), q["status"]["value"].get<unsigned>());
    std::printf("jobs:    %u\n", q["jobs"].get<unsigned>());
    if (q.contains("data_file")) {
        std::printf("data file:   %s\n", text("data_file").c_str());
        std::printf("config file: %s\n", text("config_file").c_str());
    }
    for (const auto& [name, refused] : q["refusals"].items())
        if (refused.get<bool>()) std::printf("%s: yes\n", name.c_str());
}

void Show(const std::string& queue, bool asJson) {
    HANDLE h = OpenQueue("queue show", queue, PRINTER_ACCESS_USE);
    DWORD needed = 0;
    GetPrinterW(h, 2, nullptr, 0, &needed);
    std::vector<BYTE> printer(needed);
    if (!GetPrinterW(h, 2, printer.data(), needed, &needed)) {
        ClosePrinter(h);
        AdminFail("queue show", "cannot read the queue");
    }
    const auto& info = *reinterpret_cast<const PRINTER_INFO_2W*>(printer.data());
    Json out = {{"queue", Text(info.pPrinterName)},
                {"driver", Text(info.pDriverName)},
                {"port", Text(info.pPortName)},
                {"status", {{"value", info.Status}, {"name", (info.Status & PRINTER_STATUS_PAUSED) ? "paused" : "ready"}}},
                {"jobs", info.cJobs}};
    if (GetPrinterDriverW(h, nullptr, 2, nullptr, 0, &needed) || GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        std::vector<BYTE> driver(needed);
        if (GetPrinterDriverW(h, nullptr, 2, driver.data(), needed, &needed)) {
            const auto& d = *reinterpret_cast<const DRIVER_INFO_2W*>(driver.data());
            out["data_file"] = Text(d.pDataFile);
            out["config_file"] = Text(d.pConfigFile);
        }
    }
    ClosePrinter(h);
    // The stand-in's refusal switches live beside the queue's values.
    Json refusals = Json::object();
    HKEY key = nullptr;
    const std::u16string path = std::u16string(vplat::kPrintersKey) + u"\\" + FromUtf8(queue);
    const bool opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    for (const char16_t* name : {vplat::kRefuseFullAccessValue, vplat::kRefusePurgeValue}) {
        DWORD value = 0, size = sizeof value;
        refusals[ToUtf8(name)] = opened &&
                                 RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) ==
                                     ERROR_SUCCESS &&
                                 value != 0;
    }
    if (opened) RegCloseKey(key);
    out["refusals"] = std::move(refusals);
    if (asJson)
        vanto_cli::PrintJson(out);
    else
        PrintQueue(out);
}

void List(bool asJson) {
    vanto_cli::RequirePrefix("queue list");
    const std::vector<std::string> queues = vanto_cli::Subkeys(vplat::kPrintersKey);
    if (asJson) {
        vanto_cli::PrintJson({{"queues", queues}});
        return;
    }
    for (const std::string& q : queues) std::printf("%s\n", q.c_str());
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
    add->footer("Examples:\n  vanto queue add Office --driver \"Vintal Universal Driver\" --port IP_127.0.148.1\n"
                "  vanto queue add Desk --driver \"Vintal Universal Driver\" --port USB001");
    add->callback([=] {
        vanto_cli::RequirePrefix("queue add");
        if (vplat::QueueExists(*name))
            AdminFail("queue add", "queue '" + *name + "' exists already in prefix " + vplat::PrefixRoot() +
                                       ": remove it first with `vanto queue remove " + ShellWord(*name) +
                                       "`, or choose another name");
        const std::vector<std::string> drivers = vanto_cli::Subkeys(vplat::kDriversKey);
        const bool known = std::any_of(drivers.begin(), drivers.end(), [&](const std::string& d) {
            return vplat::detail::EqualNoCaseUtf8(d, *driver);
        });
        if (!known) {
            std::string installed;
            for (const std::string& d : drivers) installed += (installed.empty() ? "" : ", ") + ShellWord(d);
            AdminFail("queue add", "no driver '" + *driver + "' is installed in prefix " + vplat::PrefixRoot() +
                                       ": install it with `vanto driver add " + ShellWord(*driver) + " DIR` (installed: " +
                                       (installed.empty() ? std::string("none") : installed) + ")");
        }
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
    remove->footer("Example:\n  vanto queue remove Office");
    remove->callback([=] {
        vanto_cli::RequireQueue("queue remove", *name);
        std::string error;
        if (!vplat::RemoveQueue(*name, error)) AdminFail("queue remove", error);
    });

    auto* pause = queue->add_subcommand("pause", "Pause a queue");
    pause->add_option("QUEUE", *name)->required();
    pause->footer("Example:\n  vanto queue pause Office");
    pause->callback([=] { Control("queue pause", *name, PRINTER_CONTROL_PAUSE); });
    auto* resume = queue->add_subcommand("resume", "Resume a paused queue");
    resume->add_option("QUEUE", *name)->required();
    resume->footer("Example:\n  vanto queue resume Office");
    resume->callback([=] { Control("queue resume", *name, PRINTER_CONTROL_RESUME); });

    auto* refuse = queue->add_subcommand(
        "refuse", "Make the spooler refuse full-access opens or purges of a queue (no flag: refuse nothing)");
    refuse->add_option("QUEUE", *name)->required();
    refuse->add_flag("--full-access", *fullAccess, "Refuse opening with full access");
    refuse->add_flag("--purge", *purge, "Refuse deleting the queue's jobs");
    refuse->footer("Examples:\n  vanto queue refuse Office --full-access --purge\n  vanto queue refuse Office");
    refuse->callback([=] {
        vanto_cli::RequireQueue("queue refuse", *name);
        std::string error;
        if (!vplat::SetQueueRefusals(*name, *fullAccess, *purge, error)) AdminFail("queue refuse", error);
    });

    auto asJson = std::make_shared<bool>(false);
    auto* show = queue->add_subcommand("show", "Show a queue: driver, port, status and jobs");
    show->add_option("QUEUE", *name)->required();
    vanto_cli::AddJsonFlag(show, *asJson);
    show->footer("Examples:\n  vanto queue show Office\n  vanto queue show Office --json");
    show->callback([=] { Show(*name, *asJson); });

    auto* list = queue->add_subcommand("list", "List the queues of the prefix");
    vanto_cli::AddJsonFlag(list, *asJson);
    list->footer("Examples:\n  vanto queue list\n  vanto queue list --json");
    list->callback([=] { List(*asJson); });
    queue->footer("Examples:\n  vanto queue add Office --driver \"Vintal Universal Driver\" --port IP_127.0.148.1\n"
                  "  vanto queue show Office --json");
});
}  // namespace
