// An instance of the library on one queue, for the verbs that call the exports: the queue is
// checked, the library loaded and Initialize called; each failure is said on stderr.
#pragma once

#include "common/BIInfo.h"
#include "tools/vanto/library.h"
#include "tools/vanto/verbs.h"

#include <cstdio>
#include <memory>
#include <string>

namespace vanto_cli {

// What to do when an export fails: its result says little, the library's log says why.
inline constexpr const char* kLogHint =
    "switch the library's log on to see why (vanto reg set 'HKLM\\SOFTWARE\\KELDA\\VANTO' VANTO_LOG dword 1, "
    "then mkdir \"$VANTO_PREFIX/drive_c/VANTOLOG\")";

class Session {
public:
    // Whether a queue without its identifier "KDPQGUID" gets one first (as an instance with flag
    // bit 0 would give it) or is refused: the store of a queue is found by that identifier.
    enum Identifier { kMakeIdentifier, kRequireIdentifier };

    Session(const char* verb, const std::string& queue, uint32_t flags, Identifier identifier) {
        constexpr DWORD kCreateGUIDFlag = 0x1;  // the context's flag that creates "KDPQGUID"
        if (!QueueFound(verb, queue)) {
            m_rc = kExitNoQueue;
            return;
        }
        std::string error;
        if (!m_library.Load(error)) {
            std::fprintf(stderr, "vanto %s: %s\n", verb, error.c_str());
            return;
        }
        std::u16string name = Widen(queue);
        BIInfo context;
        const DWORD contextFlags = identifier == kMakeIdentifier ? kCreateGUIDFlag : 0;
        if (!context.Build(name.c_str(), contextFlags) || context.GetQueueGUID()[0] == 0) {
            if (identifier == kMakeIdentifier)
                std::fprintf(stderr,
                             "vanto %s: the queue '%s' has no identifier and none can be made: check its driver with "
                             "`vanto queue show %s`\n",
                             verb, queue.c_str(), ShellWord(queue).c_str());
            else
                std::fprintf(stderr,
                             "vanto %s: the queue '%s' has no identifier (printer data KDPQGUID), so it has no store "
                             "to update; `vanto info %s` gives it one\n",
                             verb, queue.c_str(), queue.c_str());
            return;
        }
        m_instance = std::make_unique<Instance>(m_library, m_library.Initialize(name.c_str(), flags));
        if (!*m_instance) {
            std::fprintf(stderr, "vanto %s: Initialize failed for queue '%s' with flags 0x%x: %s\n", verb, queue.c_str(),
                         flags, kLogHint);
            m_instance.reset();
        }
    }
    bool Ok() const { return m_instance != nullptr; }
    int FailureCode() const { return m_rc; }
    const Library& Lib() const { return m_library; }
    HVANTO Handle() const { return m_instance->Handle(); }

private:
    int m_rc = kExitFailure;
    Library m_library;
    std::unique_ptr<Instance> m_instance;
};

}  // namespace vanto_cli
