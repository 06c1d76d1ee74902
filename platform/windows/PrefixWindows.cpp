// platform/prefix.h on Windows, for the tools: the machine is the prefix. Drivers, queues and
// jobs go through the system's spooler, paths are already Windows paths, and what belongs only to
// the stand-in platform (making a prefix, its system modules, the refusal switches of a queue)
// says that it is Linux-only.
#include "platform/DriverFileSet.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <filesystem>
#include <system_error>

namespace vplat {

namespace fs = std::filesystem;
using detail::FromUtf8;
using detail::ToUtf8;

namespace {

constexpr const char* kLinuxOnly = " is Linux-only: on Windows the machine's own registry and spooler are used";
// ERROR_UNKNOWN_PORT: AddPrinterW takes only ports that exist.
constexpr DWORD kUnknownPort = 1796;

wchar_t* Mutable(std::u16string& text) { return vwin::Sdk(text.data()); }
std::u16string Environment() { return u"Windows x64"; }

// A file as the spooler takes it: a full path with backslashes.
std::u16string SpoolerPath(const fs::path& file) { return fs::absolute(file).make_preferred().u16string(); }

std::string Failure(const char* call) { return std::string(call) + ": error " + std::to_string(GetLastError()); }

// An open printer, closed when it goes.
class Printer {
public:
    Printer(const std::string& queue, DWORD access) {
        std::u16string name = FromUtf8(queue);
        PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
        if (!OpenPrinterW(name.data(), &m_handle, access != 0 ? &defaults : nullptr)) m_handle = nullptr;
    }
    ~Printer() {
        if (m_handle != nullptr) ClosePrinter(m_handle);
    }
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;
    HANDLE Handle() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

}  // namespace

std::string PrefixRoot() { return "(this machine)"; }
bool PrefixExists() { return true; }
std::string DriveCRoot() { return "C:"; }

std::optional<std::string> ToLinuxPath(std::u16string_view windowsPath) { return ToUtf8(windowsPath); }
std::u16string ToWindowsPath(std::string_view path) { return fs::path(FromUtf8(path)).make_preferred().u16string(); }

bool InitPrefix(std::string& error) {
    error = std::string("a prefix") + kLinuxOnly;
    return false;
}

bool InstallSystemModule(const std::string&, std::u16string_view, std::string& error) {
    error = std::string("installing a system module") + kLinuxOnly;
    return false;
}

bool AddDriver(const std::string& name, const std::string& folder, const std::vector<std::string>& extraFiles,
               const DriverFiles& files, std::string& error) {
    DriverFileSet set;
    const auto uiModuleOf = [](const fs::path& dataFile) -> std::optional<std::u16string> {
        char16_t value[MAX_PATH] = {};
        const std::u16string path = dataFile.u16string();
        GetPrivateProfileStringW(u"CommonDrvInfo", u"UIModule", u"", value, MAX_PATH, path.c_str());
        return value[0] != 0 ? std::optional<std::u16string>(value) : std::nullopt;
    };
    if (!GatherDriverFiles(folder, extraFiles, files, uiModuleOf, set, error)) return false;
    std::u16string environment = Environment();
    wchar_t driverFolder[MAX_PATH] = {};
    DWORD needed = 0;
    if (!GetPrinterDriverDirectoryW(nullptr, Mutable(environment), 1, reinterpret_cast<LPBYTE>(driverFolder),
                                    sizeof driverFolder, &needed)) {
        error = Failure("GetPrinterDriverDirectoryW");
        return false;
    }
    // The spooler copies each file named by a full path; a module that is none of the driver's
    // files is one the driver folder has already (the system's own rendering module).
    const auto pathOf = [&](const std::string& bare) {
        for (const fs::path& s : set.sources)
            if (detail::EqualNoCaseUtf8(s.filename().string(), bare)) return SpoolerPath(s);
        return fs::path(driverFolder).append(FromUtf8(bare)).u16string();
    };
    std::u16string driverName = FromUtf8(name), driverPath = pathOf(set.driverFile),
                   configPath = pathOf(set.configFile), dataPath = SpoolerPath(set.dataFile);
    std::u16string dependent;
    for (const fs::path& s : set.sources) dependent += SpoolerPath(s) + u'\0';
    dependent += u'\0';
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = Mutable(driverName);
    driver.pEnvironment = Mutable(environment);
    driver.pDriverPath = Mutable(driverPath);
    driver.pDataFile = Mutable(dataPath);
    driver.pConfigFile = Mutable(configPath);
    driver.pDependentFiles = Mutable(dependent);
    if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&driver), APD_COPY_ALL_FILES | APD_COPY_FROM_DIRECTORY)) {
        error = Failure("AddPrinterDriverExW");
        return false;
    }
    // The driver's shared folder, as its installer makes it (the queues' work folders lie below).
    char16_t appData[MAX_PATH] = {};
    std::error_code ec;
    if (!SHGetSpecialFolderPathW(nullptr, appData, CSIDL_COMMON_APPDATA, TRUE) ||
        (fs::create_directories(fs::path(appData) / u"KELDA" / driverName, ec), ec)) {
        error = "cannot create the driver's shared folder below ProgramData\\KELDA";
        return false;
    }
    return true;
}

bool AddQueue(const std::string& queue, const std::string& driver, const std::string& port, std::string& error) {
    std::u16string name = FromUtf8(queue), driverName = FromUtf8(driver), portName = FromUtf8(port),
                   processor = u"winprint", datatype = u"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    info.pPortName = portName.data();
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = datatype.data();
    HANDLE added = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (added == nullptr) {
        error = GetLastError() == kUnknownPort ? "the spooler has no port " + port + ": create it first"
                                              : Failure("AddPrinterW");
        return false;
    }
    ClosePrinter(added);
    return true;
}

bool RemoveQueue(const std::string& queue, std::string& error) {
    Printer printer(queue, PRINTER_ALL_ACCESS);
    if (printer.Handle() == nullptr || !DeletePrinter(printer.Handle())) {
        error = Failure("DeletePrinter");
        return false;
    }
    return true;
}

bool QueueExists(const std::string& queue) { return Printer(queue, 0).Handle() != nullptr; }

bool SetQueueRefusals(const std::string&, bool, bool, std::string& error) {
    error = std::string("refusing opens or purges") + kLinuxOnly;
    return false;
}

std::optional<DWORD> SubmitJob(const std::string& queue, const std::string& document, DWORD size, std::string& error) {
    Printer printer(queue, 0);
    if (printer.Handle() == nullptr) {
        error = Failure("OpenPrinterW");
        return std::nullopt;
    }
    std::u16string name = FromUtf8(document), datatype = u"RAW";
    DOC_INFO_1W info{Mutable(name), nullptr, Mutable(datatype)};
    const DWORD id = StartDocPrinterW(printer.Handle(), 1, reinterpret_cast<LPBYTE>(&info));
    if (id == 0) {
        error = Failure("StartDocPrinterW");
        return std::nullopt;
    }
    // The document is `size` zero bytes.
    static const BYTE zeros[4096] = {};
    bool written = true;
    for (DWORD left = size, chunk = 0; written && left > 0; left -= chunk) {
        chunk = left < sizeof zeros ? left : static_cast<DWORD>(sizeof zeros);
        DWORD done = 0;
        written = WritePrinter(printer.Handle(), const_cast<BYTE*>(zeros), chunk, &done) && done == chunk;
    }
    if (!written) error = Failure("WritePrinter");
    EndDocPrinter(printer.Handle());
    return written ? std::optional<DWORD>(id) : std::nullopt;
}

std::optional<std::vector<JobRecord>> ListJobs(const std::string& queue, std::string& error) {
    Printer printer(queue, 0);
    if (printer.Handle() == nullptr) {
        error = Failure("OpenPrinterW");
        return std::nullopt;
    }
    DWORD needed = 0, count = 0;
    EnumJobsW(printer.Handle(), 0, 0xFFFFFFFF, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    std::vector<JobRecord> jobs;
    if (needed == 0) return jobs;
    if (!EnumJobsW(printer.Handle(), 0, 0xFFFFFFFF, 2, buffer.data(), needed, &needed, &count)) {
        error = Failure("EnumJobsW");
        return std::nullopt;
    }
    const auto* records = reinterpret_cast<const JOB_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i)
        jobs.push_back({records[i].JobId, records[i].pDocument ? ToUtf8(records[i].pDocument) : std::string(),
                        records[i].Size, records[i].Status});
    return jobs;
}

}  // namespace vplat
