// A temporary folder that is this process's prefix (VANTO_PREFIX) while the object lives; the
// benchmarks install into it what they measure.
#pragma once

#include "platform/prefix.h"
#include "support/TempFolder.h"

#include <cstdlib>
#include <string>

namespace bench {

class PrefixFolder {
public:
    PrefixFolder() {
        if (!m_folder.Path().empty()) ::setenv(vplat::kPrefixVariable, m_folder.Path().c_str(), 1);
    }
    ~PrefixFolder() { ::unsetenv(vplat::kPrefixVariable); }  // the folder goes after this
    PrefixFolder(const PrefixFolder&) = delete;
    PrefixFolder& operator=(const PrefixFolder&) = delete;

    bool Made() const { return !m_folder.Path().empty(); }
    const std::string& Root() const { return m_folder.Path(); }

private:
    TempFolder m_folder;
};

}  // namespace bench
