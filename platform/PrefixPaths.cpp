// The prefix folder and the translation between Windows paths and Linux paths.
//
// C:\ is <prefix>/drive_c/ and Z:\ is the Linux root. A path component that does not exist
// with its exact spelling is matched against the folder's entries without regard to letter
// case, as Windows file names are; a component that matches nothing is kept as written (so a
// file about to be created gets the caller's spelling).
#include "platform/prefix.h"
#include "platform/TextUtil.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace vplat {

using detail::EqualNoCaseUtf8;
using detail::FromUtf8;
using detail::ToUtf8;

namespace {
constexpr const char* kDriveCFolder = "/drive_c";
constexpr const char* kRegistryFile = "/registry.db";
constexpr const char* kUsbFolderName = "/usb";
constexpr size_t kUsbPortDigits = 3;

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The entry of `folder` whose name equals `name` without regard to case, or `name` itself.
std::string MatchComponent(const std::string& folder, const std::string& name) {
    if (Exists(folder + "/" + name)) return name;
    DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
    if (!dir) return name;
    std::string found = name;
    while (const dirent* entry = ::readdir(dir)) {
        if (EqualNoCaseUtf8(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    }
    ::closedir(dir);
    return found;
}
}  // namespace

std::string PrefixRoot() {
    std::string root;
    if (const char* env = std::getenv(kPrefixVariable); env && *env) {
        root = env;
    } else {
        const char* home = std::getenv("HOME");
        root = std::string(home && *home ? home : "/tmp") + "/.vanto";
    }
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    return root;
}

bool PrefixExists() { return Exists(RegistryDatabasePath()); }
std::string DriveCRoot() { return PrefixRoot() + kDriveCFolder; }
std::string RegistryDatabasePath() { return PrefixRoot() + kRegistryFile; }
std::string UsbFolder() { return PrefixRoot() + kUsbFolderName; }

std::optional<std::string> UsbSocketPath(std::string_view port) {
    if (port.size() != 3 + kUsbPortDigits) return std::nullopt;
    if (!detail::EqualNoCase(FromUtf8(port.substr(0, 3)), u"usb")) return std::nullopt;
    for (char c : port.substr(3))
        if (c < '0' || c > '9') return std::nullopt;
    return UsbFolder() + "/USB" + std::string(port.substr(3)) + ".sock";
}

std::optional<std::string> ToLinuxPath(std::u16string_view windowsPath) {
    std::u16string_view path = windowsPath;
    if (path.starts_with(u"\\\\?\\")) path.remove_prefix(4);
    if (path.size() < 2 || path[1] != u':') return std::nullopt;
    std::string root;
    const char16_t drive = detail::FoldChar(path[0]);
    if (drive == u'c') {
        root = DriveCRoot();
    } else if (drive == u'z') {
        root = "";
    } else {
        return std::nullopt;
    }
    path.remove_prefix(2);
    if (!path.empty() && path[0] != u'\\' && path[0] != u'/') return std::nullopt;  // "C:foo"

    // Split into components, resolving "." and ".." (never above the drive's root).
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos < path.size()) {
        size_t end = path.find_first_of(u"\\/", pos);
        if (end == std::u16string_view::npos) end = path.size();
        std::u16string_view part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        if (part.find(u'\0') != std::u16string_view::npos) return std::nullopt;
        parts.push_back(ToUtf8(part));
    }
    std::string result = root;
    for (const auto& part : parts) result += "/" + MatchComponent(result, part);
    if (result.empty()) result = "/";
    return result;
}

std::u16string ToWindowsPath(std::string_view linuxPath) {
    const std::string driveC = DriveCRoot();
    std::u16string out;
    std::string_view rest;
    if (linuxPath.starts_with(driveC) && (linuxPath.size() == driveC.size() || linuxPath[driveC.size()] == '/')) {
        out = u"C:";
        rest = linuxPath.substr(driveC.size());
    } else {
        out = u"Z:";
        rest = linuxPath;
    }
    std::u16string tail = FromUtf8(rest);
    for (auto& c : tail)
        if (c == u'/') c = u'\\';
    if (tail.empty()) tail = u"\\";
    return out + tail;
}

}  // namespace vplat
