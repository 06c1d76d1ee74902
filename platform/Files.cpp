// Files and folders: CreateFileW/ReadFile/WriteFile/GetFileSize, the wildcard search, folder
// creation, attributes and the well-known folders, over Linux files reached through the
// prefix's drive mapping (see PrefixPaths.cpp).
//
// Differences from Windows, on purpose: no sharing modes are enforced; the search matches long
// names only (no 8.3 short names) and does not report "." and "..".
#include "platform/HandleTable.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

using namespace vplat::detail;

namespace {
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD TRUNCATE_EXISTING = 5;
constexpr int CSIDL_WINDOWS = 0x0024;
constexpr int CSIDL_SYSTEM = 0x0025;
constexpr int kCsidlMask = 0x00FF;  // the folder id without CSIDL_FLAG_* bits
constexpr uint64_t kFileTimeEpochOffset = 11644473600ULL;  // seconds from 1601 to 1970
constexpr uint64_t kFileTimeUnitsPerSecond = 10000000ULL;  // 100-nanosecond units

struct FileObject : KernelObject {
    int fd = -1;
    ~FileObject() override {
        if (fd >= 0) ::close(fd);
    }
};

struct FindObject : KernelObject {
    std::vector<WIN32_FIND_DATAW> matches;
    size_t next = 0;
    bool ClosedByCloseHandle() const override { return false; }
};

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The Windows error for a failed open or stat of `path`.
DWORD ErrorForPath(int error, const std::string& path) {
    switch (error) {
        case ENOENT: return IsFolder(ParentOf(path)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
        case ENOTDIR: return ERROR_PATH_NOT_FOUND;
        case EEXIST: return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
        case ENAMETOOLONG: return ERROR_INVALID_NAME;
        default: return ERROR_ACCESS_DENIED;
    }
}

std::optional<std::string> LinuxPathOf(LPCWSTR name) {
    auto text = CallerText(name);
    if (!text || text->empty()) return std::nullopt;
    return vplat::ToLinuxPath(*text);
}

FILETIME ToFileTime(const timespec& t) {
    const uint64_t units = (static_cast<uint64_t>(t.tv_sec) + kFileTimeEpochOffset) * kFileTimeUnitsPerSecond +
                           static_cast<uint64_t>(t.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(units), static_cast<DWORD>(units >> 32)};
}

DWORD AttributesOf(const struct stat& st) { return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL; }

// Case-insensitive wildcard match: '*' any run, '?' one character.
bool Matches(std::u16string_view mask, std::u16string_view name) {
    size_t m = 0, n = 0, starM = std::u16string_view::npos, starN = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == u'?' || FoldChar(mask[m]) == FoldChar(name[n]))) {
            ++m, ++n;
        } else if (m < mask.size() && mask[m] == u'*') {
            starM = m++;
            starN = n;
        } else if (starM != std::u16string_view::npos) {
            m = starM + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == u'*') ++m;
    return m == mask.size();
}
}  // namespace

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                   DWORD, HANDLE) {
    auto path = LinuxPathOf(lpFileName);
    if (!path) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    const bool read = dwDesiredAccess & GENERIC_READ;
    const bool write = dwDesiredAccess & GENERIC_WRITE;
    const bool append = (dwDesiredAccess & FILE_APPEND_DATA) && !write;
    int flags = O_CLOEXEC;
    flags |= (write || append) ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;
    if (append) flags |= O_APPEND;
    const bool existed = ::access(path->c_str(), F_OK) == 0;
    switch (dwCreationDisposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING:
            if (!write) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
            flags |= O_TRUNC;
            break;
        default: return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    if (IsFolder(*path)) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);  // folders need backup semantics
    const int fd = ::open(path->c_str(), flags, 0644);
    if (fd < 0) return Fail(ErrorForPath(errno, *path), INVALID_HANDLE_VALUE);
    auto file = std::make_shared<FileObject>();
    file->fd = fd;
    const bool reportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(reportsExisting && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return AddHandle(std::move(file));
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead, void* lpOverlapped) {
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    auto file = LookupAs<FileObject>(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpOverlapped || !lpNumberOfBytesRead || (!lpBuffer && nNumberOfBytesToRead))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    auto* out = static_cast<char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        const ssize_t n = ::read(file->fd, out + done, nNumberOfBytesToRead - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *lpNumberOfBytesRead = done;
            return Fail(ERROR_ACCESS_DENIED, FALSE);
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               void* lpOverlapped) {
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    auto file = LookupAs<FileObject>(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (lpOverlapped || !lpNumberOfBytesWritten || (!lpBuffer && nNumberOfBytesToWrite))
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const auto* in = static_cast<const char*>(lpBuffer);
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        const ssize_t n = ::write(file->fd, in + done, nNumberOfBytesToWrite - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *lpNumberOfBytesWritten = done;
            return Fail(errno == ENOSPC ? 112u /*ERROR_DISK_FULL*/ : ERROR_ACCESS_DENIED, FALSE);
        }
        done += static_cast<DWORD>(n);
    }
    *lpNumberOfBytesWritten = done;
    return TRUE;
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto file = LookupAs<FileObject>(hFile);
    if (!file) return Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) return Fail(ERROR_ACCESS_DENIED, INVALID_FILE_SIZE);
    const auto size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a real size of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(size);
}

BOOL CloseHandle(HANDLE hObject) {
    auto object = LookupHandle(hObject);
    if (!object || !object->ClosedByCloseHandle()) return Fail(ERROR_INVALID_HANDLE, FALSE);
    RemoveHandle(hObject);
    return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR lpFileName, WIN32_FIND_DATAW* lpFindFileData) {
    auto pattern = CallerText(lpFileName);
    if (!pattern || !lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    const size_t slash = pattern->find_last_of(u"\\/");
    if (slash == std::u16string_view::npos) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    const std::u16string_view mask = pattern->substr(slash + 1);
    if (mask.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    auto folder = vplat::ToLinuxPath(pattern->substr(0, slash + 1));
    if (!folder || !IsFolder(*folder)) return Fail(ERROR_PATH_NOT_FOUND, INVALID_HANDLE_VALUE);
    DIR* dir = ::opendir(folder->c_str());
    if (!dir) return Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    auto find = std::make_shared<FindObject>();
    const bool everything = mask == u"*.*" || mask == u"*";
    while (const dirent* entry = ::readdir(dir)) {
        const std::string bare = entry->d_name;
        if (bare == "." || bare == "..") continue;
        const std::u16string name = FromUtf8(bare);
        if (name.size() >= MAX_PATH || (!everything && !Matches(mask, name))) continue;
        struct stat st {};
        if (::stat((*folder + "/" + bare).c_str(), &st) != 0) continue;  // a dangling link
        WIN32_FIND_DATAW data{};
        data.dwFileAttributes = AttributesOf(st);
        data.ftCreationTime = ToFileTime(st.st_ctim);
        data.ftLastAccessTime = ToFileTime(st.st_atim);
        data.ftLastWriteTime = ToFileTime(st.st_mtim);
        data.nFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(st.st_size) >> 32);
        data.nFileSizeLow = static_cast<DWORD>(st.st_size);
        CopyWithTerminator(name, data.cFileName);
        find->matches.push_back(data);
    }
    ::closedir(dir);
    if (find->matches.empty()) return Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
    *lpFindFileData = find->matches[0];
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return AddHandle(std::move(find));
}

BOOL FindNextFileW(HANDLE hFindFile, WIN32_FIND_DATAW* lpFindFileData) {
    auto find = LookupAs<FindObject>(hFindFile);
    if (!find) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (!lpFindFileData) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (find->next >= find->matches.size()) return Fail(ERROR_NO_MORE_FILES, FALSE);
    *lpFindFileData = find->matches[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE hFindFile) { return RemoveAs<FindObject>(hFindFile) ? TRUE : Fail(ERROR_INVALID_HANDLE, FALSE); }

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    auto path = LinuxPathOf(lpPathName);
    if (!path) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    if (::mkdir(path->c_str(), 0755) == 0) return TRUE;
    const int error = errno;
    if (error == EEXIST) return Fail(ERROR_ALREADY_EXISTS, FALSE);
    if (error == ENOENT || error == ENOTDIR) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    return Fail(ErrorForPath(error, *path), FALSE);
}

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    auto path = LinuxPathOf(lpFileName);
    if (!path) return Fail(ERROR_PATH_NOT_FOUND, INVALID_FILE_ATTRIBUTES);
    struct stat st {};
    if (::stat(path->c_str(), &st) != 0) return Fail(ErrorForPath(errno, *path), INVALID_FILE_ATTRIBUTES);
    return AttributesOf(st);
}

BOOL SHGetSpecialFolderPathW(HWND, LPWSTR pszPath, int csidl, BOOL fCreate) {
    if (!pszPath) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const char16_t* folder = nullptr;
    switch (csidl & kCsidlMask) {
        case CSIDL_COMMON_APPDATA: folder = vplat::kCommonAppDataFolder; break;
        case CSIDL_WINDOWS: folder = u"C:\\Windows"; break;
        case CSIDL_SYSTEM: folder = vplat::kSystemFolder; break;
        default: return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (fCreate) {
        if (auto path = vplat::ToLinuxPath(folder)) ::mkdir(path->c_str(), 0755);
    }
    CopyWithTerminator(folder, pszPath);  // every folder above is far shorter than MAX_PATH
    return TRUE;
}
