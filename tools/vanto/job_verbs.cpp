// vanto job submit|list [--json]: print jobs of a queue in the prefix's spooler.
#include "tools/vanto/admin_common.h"
#include "tools/vanto/json_view.h"

#include <filesystem>
#include <memory>

namespace {
using vanto_cli::AdminFail;
namespace fs = std::filesystem;

constexpr const char* kTestDocument = "Test page";

void Submit(const std::string& queue, const std::string& file) {
    vanto_cli::RequireQueue("job submit", queue);
    std::string document = kTestDocument;
    DWORD size = 0;
    if (!file.empty()) {
        std::error_code ec;
        const auto bytes = fs::file_size(file, ec);
        if (ec || !fs::is_regular_file(file, ec))
            AdminFail("job submit", "no file " + file + ": give a regular file, or no FILE for an empty test page");
        if (bytes > 0xFFFFFFFFu) AdminFail("job submit", "file too big for a job: " + file);
        size = static_cast<DWORD>(bytes);
        document = fs::path(file).filename().string();
    }
    std::string error;
    auto id = vplat::SubmitJob(queue, document, size, error);
    if (!id) AdminFail("job submit", error);
    std::printf("job %u submitted to '%s' (%s, %u bytes)\n", static_cast<unsigned>(*id), queue.c_str(),
                document.c_str(), static_cast<unsigned>(size));
}

void List(const std::string& queue, bool asJson) {
    vanto_cli::RequireQueue("job list", queue);
    std::string error;
    auto jobs = vplat::ListJobs(queue, error);
    if (!jobs) AdminFail("job list", error);
    if (asJson) {
        vanto_cli::Json list = vanto_cli::Json::array();
        for (const auto& job : *jobs)
            list.push_back({{"id", job.id}, {"size", job.size}, {"document", job.document}, {"status", job.status}});
        vanto_cli::PrintJson({{"queue", queue}, {"count", jobs->size()}, {"jobs", std::move(list)}});
        return;
    }
    std::printf("%-6s %-10s %s\n", "ID", "SIZE", "DOCUMENT");
    for (const auto& job : *jobs)
        std::printf("%-6u %-10u %s\n", static_cast<unsigned>(job.id), static_cast<unsigned>(job.size), job.document.c_str());
    std::printf("%zu job%s\n", jobs->size(), jobs->size() == 1 ? "" : "s");
}

vanto_cli::VerbGroup jobVerbs([](CLI::App& app) {
    auto* job = app.add_subcommand("job", "Print jobs of a queue in the prefix's spooler");
    job->require_subcommand(1);
    auto queue = std::make_shared<std::string>();
    auto file = std::make_shared<std::string>();
    auto* submit = job->add_subcommand("submit", "Add a job (FILE's name and size, or an empty test page)");
    submit->add_option("QUEUE", *queue)->required();
    submit->add_option("FILE", *file);
    submit->footer("Examples:\n  vanto job submit Office\n  vanto job submit Office report.pdf");
    submit->callback([=] { Submit(*queue, *file); });
    auto asJson = std::make_shared<bool>(false);
    auto* list = job->add_subcommand("list", "List a queue's jobs");
    list->add_option("QUEUE", *queue)->required();
    vanto_cli::AddJsonFlag(list, *asJson);
    list->footer("Examples:\n  vanto job list Office\n  vanto job list Office --json");
    list->callback([=] { List(*queue, *asJson); });
    job->footer("Examples:\n  vanto job submit Office\n  vanto job list Office --json");
});
}  // namespace
