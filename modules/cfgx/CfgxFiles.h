// Files of the CFGX module: bounded reads of CFX files, the search for a category's source in
// a folder, and the atomic save. Paths here are the system's own, in UTF-8: on Linux the exports
// translate the Windows paths they receive through the stand-in platform first, on
// Windows they are the Windows paths themselves. `vanto cfgx show` reads files with the same code.
#pragma once

#include "modules/cfgx/CfxFile.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cfgx_files {

// The path joined with a name inside it.
std::string Join(const std::string& folder, std::string_view name);
bool IsRegularFile(const std::string& path);
bool IsFolder(const std::string& path);
bool RemoveFile(const std::string& path);

inline constexpr size_t kMaxSources = 64;  // K_*.CFX files looked at in one folder

// Reads a whole regular file of at most cfx::kMaxFileSize bytes. KD_CFGX_OK, KD_CFGX_ERR_IO
// (missing, not a regular file, unreadable) or KD_CFGX_ERR_FILE_TOO_LARGE.
int32_t ReadWhole(const std::string& path, std::string& bytes);

// Reads and checks a CFX file: the read's codes, or KD_CFGX_ERR_BAD_FILE with the reason.
int32_t LoadCfx(const std::string& path, cfx::CfxFile& file, std::string* reason = nullptr);

// The regular files of `folder` whose names match K_*.CFX (letter case ignored), in name order,
// at most kMaxSources of them.
std::vector<std::string> FindSources(const std::string& folder);

// Opens the first source of `folder` whose category is `category`. When none fits, the result is
// KD_CFGX_ERR_NO_SOURCE, or the error of a source that could not be read (a damaged file might
// have been the one asked for). `name` receives the file name.
int32_t OpenSource(const std::string& folder, uint32_t category, cfx::CfxFile& file, std::string& name);

// Writes `bytes` to `target` so that readers see either the old file whole or the new one whole:
// a new file beside it, flushed to disk, then renamed over it. KD_CFGX_OK or KD_CFGX_ERR_IO;
// on failure the new file is removed and the old one is untouched.
int32_t SaveAtomically(const std::string& target, std::string_view bytes);

}  // namespace cfgx_files
