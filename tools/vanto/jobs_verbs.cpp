// vanto jobs QUEUE [--delete]: whether print jobs wait on a queue, and deleting them, through
// the library's PrintJobsExists and DeletePrintJobs on an instance opened with flags 0.
#include "platform/prefix.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

int RunJobs(const std::string& queue, bool deleteJobs) {
    if (!vanto_cli::QueueFound("jobs", queue)) return kExitNoQueue;
    vanto_cli::Library library;
    std::string error;
    if (!library.Load(error)) {
        std::fprintf(stderr, "vanto jobs: %s\n", error.c_str());
        return kExitFailure;
    }
    std::u16string name = vanto_cli::Widen(queue);
    vanto_cli::Instance instance(library, library.Initialize(name.c_str(), 0));
    if (!instance) {
        std::fprintf(stderr, "vanto jobs: Initialize failed for '%s'\n", queue.c_str());
        return kExitFailure;
    }

    // 0 also means that the queue could not be opened with full access.
    bool waiting = library.PrintJobsExists(instance.Handle()) == 1;
    std::printf("%s: %s\n", queue.c_str(), waiting ? "jobs are waiting" : "no jobs are waiting (or no full access)");
    if (!deleteJobs) return 0;

    if (library.DeletePrintJobs(instance.Handle()) != 1) {
        std::fprintf(stderr, "vanto jobs: DeletePrintJobs could not open '%s' with full access\n", queue.c_str());
        return kExitFailure;
    }
    waiting = library.PrintJobsExists(instance.Handle()) == 1;
    std::printf("%s: jobs deleted; %s\n", queue.c_str(), waiting ? "jobs are still waiting" : "no jobs are waiting");
    return waiting ? kExitFailure : 0;
}

vanto_cli::VerbGroup jobsVerbs([](CLI::App& app) {
    auto* jobs = app.add_subcommand("jobs", "Tell whether print jobs wait on a queue (library: PrintJobsExists)");
    auto queue = std::make_shared<std::string>();
    auto deleteJobs = std::make_shared<bool>(false);
    jobs->add_option("QUEUE", *queue, "Print queue name")->required();
    jobs->add_flag("--delete", *deleteJobs, "Delete the queue's jobs (library: DeletePrintJobs)");
    jobs->callback([queue, deleteJobs] {
        int rc = RunJobs(*queue, *deleteJobs);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
