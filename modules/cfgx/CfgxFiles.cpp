// Files of the CFGX module: bounded reads, the source search and the atomic save.
#include "modules/cfgx/CfgxFiles.h"

#include "modules/cfgx/kdcfgx.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <new>

#ifdef _WIN32
#include <windows.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#else
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace cfgx_files {

namespace {

std::atomic<unsigned> g_saveCounter{0};

}  // namespace

int32_t LoadCfx(const std::string& path, cfx::CfxFile& file, std::string* reason) {
    std::string bytes;
    if (int32_t result = ReadWhole(path, bytes); result != KD_CFGX_OK) {
        if (reason) *reason = result == KD_CFGX_ERR_FILE_TOO_LARGE ? "larger than the cap" : "cannot be read";
        return result;
    }
    cfx::ReadResult read = cfx::ReadCfx(bytes);
    if (!read.file) {
        if (reason) *reason = read.error;
        return read.tooLarge ? KD_CFGX_ERR_FILE_TOO_LARGE : KD_CFGX_ERR_BAD_FILE;
    }
    file = std::move(*read.file);
    return KD_CFGX_OK;
}

int32_t OpenSource(const std::string& folder, uint32_t category, cfx::CfxFile& file, std::string& name) {
    int32_t failure = KD_CFGX_ERR_NO_SOURCE;
    for (const std::string& candidate : FindSources(folder)) {
        cfx::CfxFile read;
        const int32_t result = LoadCfx(Join(folder, candidate), read);
        if (result != KD_CFGX_OK) {
            if (failure == KD_CFGX_ERR_NO_SOURCE) failure = result;
            continue;
        }
        if (read.category != category) continue;
        file = std::move(read);
        name = candidate;
        return KD_CFGX_OK;
    }
    return failure;
}

#ifdef _WIN32
// ---- Windows: the paths are UTF-8 Windows paths ----------------------------------------------

namespace {

std::filesystem::path Native(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

bool IsSourceName(std::string_view name) {
    return name.size() >= 6 && EqualNoCase(name.substr(0, 2), "K_") && EqualNoCase(name.substr(name.size() - 4), ".CFX");
}

}  // namespace

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path.append(name);
}

bool IsRegularFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(Native(path), ec);
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(Native(path), ec);
}

bool RemoveFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::remove(Native(path), ec);
}

int32_t ReadWhole(const std::string& path, std::string& bytes) {
    std::error_code ec;
    const std::filesystem::path file = Native(path);
    if (!std::filesystem::is_regular_file(file, ec)) return KD_CFGX_ERR_IO;
    const auto size = std::filesystem::file_size(file, ec);
    if (ec) return KD_CFGX_ERR_IO;
    if (size > cfx::kMaxFileSize) return KD_CFGX_ERR_FILE_TOO_LARGE;
    std::ifstream in(file, std::ios::binary);
    if (!in) return KD_CFGX_ERR_IO;
    // Read to the end rather than trusting the size, as on Linux.
    try {
        bytes.clear();
        bytes.reserve(static_cast<size_t>(size));
        char chunk[65536];
        while (in) {
            in.read(chunk, sizeof chunk);
            const auto n = static_cast<size_t>(in.gcount());
            if (bytes.size() + n > cfx::kMaxFileSize) return KD_CFGX_ERR_FILE_TOO_LARGE;
            bytes.append(chunk, n);
        }
        if (in.bad()) return KD_CFGX_ERR_IO;
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    }
    return KD_CFGX_OK;
}

std::vector<std::string> FindSources(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    constexpr size_t kMaxListed = 4096;
    for (std::filesystem::directory_iterator it(Native(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = Utf8(it->path().filename());
        if (!IsSourceName(name)) continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        names.push_back(name);
        if (names.size() >= kMaxListed) break;
    }
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxSources) names.resize(kMaxSources);
    return names;
}

int32_t SaveAtomically(const std::string& target, std::string_view bytes) {
    const std::filesystem::path to = Native(target);
    if (!to.has_filename()) return KD_CFGX_ERR_IO;
    std::filesystem::path temp = to;
    temp.replace_filename(Native("." + Utf8(to.filename()) + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(g_saveCounter.fetch_add(1))));
    HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return KD_CFGX_ERR_IO;
    size_t done = 0;
    bool written = true;
    while (written && done < bytes.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        written = ::WriteFile(file, bytes.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    written = written && ::FlushFileBuffers(file);
    const bool closed = ::CloseHandle(file);
    if (!closed || !written ||
        !::MoveFileExW(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        ::DeleteFileW(temp.c_str());
        return KD_CFGX_ERR_IO;
    }
    return KD_CFGX_OK;
}

#else
// ---- Linux ------------------------------------------------------------------------------------

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0) ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    // Closes now and reports whether the close succeeded (a failed close can mean lost data).
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool IsSourceName(const char* name) {
    const size_t n = std::char_traits<char>::length(name);
    return n >= 6 && strncasecmp(name, "K_", 2) == 0 && strcasecmp(name + n - 4, ".CFX") == 0;
}

bool WriteAll(int fd, std::string_view bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string Folder(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    return path.append("/").append(name);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

int32_t ReadWhole(const std::string& path, std::string& bytes) {
    // Non-blocking, so that a FIFO or device in the file's place cannot stall the open.
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0) return KD_CFGX_ERR_IO;
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return KD_CFGX_ERR_IO;
    if (static_cast<uint64_t>(st.st_size) > cfx::kMaxFileSize) return KD_CFGX_ERR_FILE_TOO_LARGE;
    // Read to the end rather than trusting the size: a file that grows past the cap while it is
    // read is refused all the same.
    try {
        bytes.clear();
        bytes.reserve(static_cast<size_t>(st.st_size));
        char chunk[65536];
        for (;;) {
            const ssize_t n = ::read(fd.Get(), chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return KD_CFGX_ERR_IO;
            if (n == 0) break;
            if (bytes.size() + static_cast<size_t>(n) > cfx::kMaxFileSize) return KD_CFGX_ERR_FILE_TOO_LARGE;
            bytes.append(chunk, static_cast<size_t>(n));
        }
    } catch (const std::bad_alloc&) {
        return KD_CFGX_ERR_NO_MEMORY;
    }
    return KD_CFGX_OK;
}

std::vector<std::string> FindSources(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    // Names are gathered up to a bound well above kMaxSources, so that the sort picks the same
    // first files whatever order the folder lists them in.
    constexpr size_t kMaxListed = 4096;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsSourceName(entry->d_name)) continue;
        struct stat st {};
        const std::string path = folder + "/" + entry->d_name;
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        names.emplace_back(entry->d_name);
        if (names.size() >= kMaxListed) break;
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    if (names.size() > kMaxSources) names.resize(kMaxSources);
    return names;
}

int32_t SaveAtomically(const std::string& target, std::string_view bytes) {
    const std::string folder = Folder(target);
    const std::string base = target.substr(target.find_last_of('/') + 1);
    if (base.empty()) return KD_CFGX_ERR_IO;
    const std::string temp = folder + "/." + base + ".tmp-" + std::to_string(::getpid()) + "-" +
                             std::to_string(g_saveCounter.fetch_add(1));

    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.Get() < 0) return KD_CFGX_ERR_IO;
    const bool written = WriteAll(fd.Get(), bytes) && ::fsync(fd.Get()) == 0;
    if (!fd.Close() || !written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return KD_CFGX_ERR_IO;
    }
    // Make the rename itself durable; the new file is in place whether or not this succeeds.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return KD_CFGX_OK;
}

#endif

}  // namespace cfgx_files
