// Administration of the stand-in platform's prefix: the folder that holds a small Windows machine
// (drive C:, the registry database, the spooler's queues and jobs, the USB sockets).
//
// These functions are Linux-side tools for `vanto`, the build and the tests; the library itself
// only sees the Windows calls of platform/win32.h. Every function that can fail returns false and
// puts a one-line reason into `error`; a failed call leaves the prefix as it was.
//
// The prefix is $VANTO_PREFIX, or $HOME/.vanto when that is unset. It is read anew on every call,
// so a process may switch between prefixes by changing the variable.
#pragma once

#include "platform/win32.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vplat {

// Environment switches read by the platform.
inline constexpr const char* kPrefixVariable = "VANTO_PREFIX";
// Set to anything but "" or "0": write or full-access opens under HKEY_LOCAL_MACHINE and
// administrative opens of print queues are refused with ERROR_ACCESS_DENIED, as for a caller
// without administrator rights.
inline constexpr const char* kUnprivilegedVariable = "VANTO_UNPRIVILEGED";

// Windows forms of the well-known folders inside the prefix.
inline constexpr const char16_t* kSystemFolder = u"C:\\Windows\\System32";
inline constexpr const char16_t* kDriverFolder = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3";
inline constexpr const char16_t* kCommonAppDataFolder = u"C:\\ProgramData";
inline constexpr const char16_t* kLogFolder = u"C:\\VANTOLOG";

// Registry locations of the spooler's state (below HKEY_LOCAL_MACHINE).
inline constexpr const char16_t* kDriversKey =
    u"SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\Windows x64\\Drivers\\Version-3";
inline constexpr const char16_t* kPrintersKey = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Printers";
inline constexpr const char16_t* kCodePageKey = u"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage";
inline constexpr const char16_t* kLogSwitchKey = u"SOFTWARE\\KELDA\\VANTO";
inline constexpr const char16_t* kLogSwitchValue = u"VANTO_LOG";

// Values of a queue key that belong to the stand-in only: DWORD switches that make the spooler
// refuse an open with full access, or a purge (while opening still works).
inline constexpr const char16_t* kRefuseFullAccessValue = u"Refuse Full Access";
inline constexpr const char16_t* kRefusePurgeValue = u"Refuse Purge";

// ---- The prefix and its paths ------------------------------------------------------------------
std::string PrefixRoot();          // $VANTO_PREFIX, else $HOME/.vanto (no trailing slash)
bool PrefixExists();               // the folder and its registry database exist
std::string DriveCRoot();          // <prefix>/drive_c
std::string RegistryDatabasePath();  // <prefix>/registry.db
std::string UsbFolder();           // <prefix>/usb
// The Unix socket of a USB port ("USB001" -> <prefix>/usb/USB001.sock); nullopt if the port
// name is not USB followed by three digits.
std::optional<std::string> UsbSocketPath(std::string_view port);

// A Windows path (C:\... or Z:\...) as a Linux path, each existing component matched without
// regard to letter case; nullopt for other drives, relative or malformed paths.
std::optional<std::string> ToLinuxPath(std::u16string_view windowsPath);
// A Linux absolute path in Windows form: below drive_c as C:\..., anything else as Z:\....
std::u16string ToWindowsPath(std::string_view linuxPath);

// Creates the prefix folder, drive C: with its well-known folders, the registry with the spooler
// keys and the code page (ACP "1252" unless one is set). Safe to run again on an existing prefix.
bool InitPrefix(std::string& error);
// Makes a module file reachable by its bare name (for example WSNMP32.DLL) by linking it into
// C:\Windows\System32 under `name`.
bool InstallSystemModule(const std::string& file, std::u16string_view name, std::string& error);

// ---- Drivers and queues --------------------------------------------------------------------------
struct DriverFiles {
    std::string dataFile;    // the driver's data file (INI); required
    std::string configFile;  // "Configuration File"; empty: the data file's [CommonDrvInfo] UIModule
    std::string driverFile;  // "Driver"; empty: the same as the configuration file
};
// Copies every regular file of `folder` and each of `extraFiles` into the driver folder and
// registers the driver under `name` with the given file names (bare names inside the folder).
// Adding a driver again replaces its files and values.
bool AddDriver(const std::string& name, const std::string& folder, const std::vector<std::string>& extraFiles,
               const DriverFiles& files, std::string& error);
bool DriverExists(const std::string& name);

// Port forms: "IP_<address>" or a bare address for a network printer, "USB<nnn>" for a local one.
bool IsValidPort(std::string_view port);
bool AddQueue(const std::string& queue, const std::string& driver, const std::string& port, std::string& error);
bool RemoveQueue(const std::string& queue, std::string& error);
bool QueueExists(const std::string& queue);
// Sets or clears the queue's refusal switches.
bool SetQueueRefusals(const std::string& queue, bool refuseFullAccess, bool refusePurge, std::string& error);

// ---- Jobs ------------------------------------------------------------------------------------------
struct JobRecord {
    DWORD id = 0;
    std::string document;
    DWORD size = 0;
    DWORD status = 0;
};
// Adds a job of `size` bytes named `document` to the end of the queue; returns its id.
std::optional<DWORD> SubmitJob(const std::string& queue, const std::string& document, DWORD size,
                               std::string& error);
// The queue's jobs in queue order; nullopt if the queue does not exist.
std::optional<std::vector<JobRecord>> ListJobs(const std::string& queue, std::string& error);

}  // namespace vplat
