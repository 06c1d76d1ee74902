// Files of the CFGX module: bounded reads, the source search and the atomic save.
#include "modules/cfgx/CfgxFiles.h"

#include "modules/cfgx/kdcfgx.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cfgx_files {

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

std::atomic<unsigned> g_saveCounter{0};

}  // namespace

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

int32_t OpenSource(const std::string& folder, uint32_t category, cfx::CfxFile& file, std::string& name) {
    int32_t failure = KD_CFGX_ERR_NO_SOURCE;
    for (const std::string& candidate : FindSources(folder)) {
        cfx::CfxFile read;
        const int32_t result = LoadCfx(folder + "/" + candidate, read);
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

}  // namespace cfgx_files
