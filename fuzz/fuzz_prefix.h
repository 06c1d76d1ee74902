// A prefix of its own for a fuzz target that runs library code touching the platform (the log
// switch, module loading): an empty temporary folder as VANTO_PREFIX, removed at exit, so that
// no run reads or writes the user's own prefix.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

struct FuzzPrefix {
    FuzzPrefix() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vanto-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root = pattern;
        ::setenv("VANTO_PREFIX", root.c_str(), 1);
    }
    ~FuzzPrefix() {
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    FuzzPrefix(const FuzzPrefix&) = delete;
    FuzzPrefix& operator=(const FuzzPrefix&) = delete;
    std::string root;
};
