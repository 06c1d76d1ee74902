// vanto jobs QUEUE [--delete] [--json]: whether print jobs wait on a queue, and deleting them,
// through the library's PrintJobsExists and DeletePrintJobs on an instance opened with flags 0.
#include "platform/prefix.h"
#include "tools/vanto/json_view.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

using vanto_cli::kExitFailure;
using vanto_cli::kExitNoQueue;

int RunJobs(const std::string& queue, bool deleteJobs, bool asJson) {
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
        std::fprintf(stderr, "vanto jobs: Initialize failed for queue '%s': check its driver with `vanto queue show %s`\n",
                     queue.c_str(), vanto_cli::ShellWord(queue).c_str());
        return kExitFailure;
    }

    // 0 also means that the queue could not be opened with full access.
    const bool waiting = library.PrintJobsExists(instance.Handle()) == 1;
    if (!asJson)
        std::printf("%s: %s\n", queue.c_str(), waiting ? "jobs are waiting" : "no jobs are waiting (or no full access)");
    if (!deleteJobs) {
        if (asJson) vanto_cli::PrintJson({{"queue", queue}, {"jobs_waiting", waiting}});
        return 0;
    }

    if (library.DeletePrintJobs(instance.Handle()) != 1) {
        std::fprintf(stderr,
                     "vanto jobs: DeletePrintJobs could not open queue '%s' with full access: see `vanto queue show "
                     "%s` (a refusal set by `vanto queue refuse`, or VANTO_UNPRIVILEGED=1)\n",
                     queue.c_str(), vanto_cli::ShellWord(queue).c_str());
        return kExitFailure;
    }
    const bool stillWaiting = library.PrintJobsExists(instance.Handle()) == 1;
    if (asJson) {
        vanto_cli::PrintJson({{"queue", queue}, {"jobs_waiting", waiting}, {"deleted", true}, {"jobs_waiting_after", stillWaiting}});
    } else {
        std::printf("%s: jobs deleted; %s\n", queue.c_str(), stillWaiting ? "jobs are still waiting" : "no jobs are waiting");
    }
    if (stillWaiting) std::fprintf(stderr, "vanto jobs: jobs still wait on '%s' after deleting them\n", queue.c_str());
    return stillWaiting ? kExitFailure : 0;
}

vanto_cli::VerbGroup jobsVerbs([](CLI::App& app) {
    auto* jobs = app.add_subcommand("jobs", "Tell whether print jobs wait on a queue (library: PrintJobsExists)");
    auto queue = std::make_shared<std::string>();
    auto deleteJobs = std::make_shared<bool>(false);
    auto asJson = std::make_shared<bool>(false);
    jobs->add_option("QUEUE", *queue, "Print queue name")->required();
    jobs->add_flag("--delete", *deleteJobs, "Delete the queue's jobs (library: DeletePrintJobs)");
    vanto_cli::AddJsonFlag(jobs, *asJson);
    jobs->footer("Examples:\n  vanto jobs Office --json\n  vanto jobs Office --delete");
    jobs->callback([queue, deleteJobs, asJson] {
        int rc = RunJobs(*queue, *deleteJobs, *asJson);
        if (rc != 0) throw CLI::RuntimeError(rc);
    });
});

}  // namespace
