// Administration of drivers, queues and jobs in a prefix (for `vanto`, the build and tests).
// Every change to the registry is one transaction; files are copied under temporary names and
// renamed only when all copies succeeded.
#include "platform/DriverFileSet.h"
#include "platform/IniFile.h"
#include "platform/RegistryAccess.h"
#include "platform/SpoolerStore.h"
#include "platform/TextUtil.h"
#include "platform/prefix.h"

#include <filesystem>
#include <system_error>

namespace vplat {

namespace fs = std::filesystem;
using namespace detail;

namespace {
constexpr const char16_t* kDependentFilesValue = u"Dependent Files";
constexpr const char16_t* kVersionValue = u"Version";
constexpr const char16_t* kCommonSection = u"CommonDrvInfo";
constexpr const char16_t* kUiModuleKey = u"UIModule";
constexpr const char16_t* kDefaultPrintProcessor = u"winprint";
constexpr const char16_t* kDefaultDatatype = u"RAW";
constexpr size_t kMaxAddressChars = 253;  // a host name or address in a port

std::shared_ptr<RegistryDb> OpenRegistry(std::string& error) {
    LSTATUS status = ERROR_SUCCESS;
    auto db = RegistryDb::Current(status);
    if (!db) error = "no prefix at " + PrefixRoot() + " (run: vanto prefix init)";
    return db;
}

std::string Describe(LSTATUS status) { return "registry error " + std::to_string(status); }

bool ValidName(const std::string& name, const char* what, std::string& error) {
    if (IsValidSpoolerName(FromUtf8(name))) return true;
    error = std::string("bad ") + what + " name '" + name + "' (1 to " + std::to_string(kMaxQueueNameChars) +
            " characters, no backslash or comma)";
    return false;
}

// REG_MULTI_SZ data of a list of names.
std::vector<BYTE> MultiStringData(const std::vector<std::string>& names) {
    std::u16string joined;
    for (const auto& n : names) {
        joined += FromUtf8(n);
        joined.push_back(0);
    }
    return StringData(joined);
}
}  // namespace

bool IsValidPort(std::string_view port) {
    if (UsbSocketPath(port)) return true;
    std::string_view address = port;
    if (address.size() > 3 && EqualNoCaseUtf8(address.substr(0, 3), "IP_")) address.remove_prefix(3);
    if (address.empty() || address.size() > kMaxAddressChars) return false;
    for (char c : address) {
        const bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' ||
                        c == '-' || c == ':' || c == '_';
        if (!ok) return false;
    }
    return true;
}

bool DriverExists(const std::string& name) {
    std::string error;
    auto db = OpenRegistry(error);
    int64_t id = 0;
    return db && FindDriver(*db, FromUtf8(name), id) == ERROR_SUCCESS;
}

bool QueueExists(const std::string& queue) {
    std::string error;
    auto db = OpenRegistry(error);
    int64_t id = 0;
    return db && FindQueue(*db, FromUtf8(queue), id) == ERROR_SUCCESS;
}

bool AddDriver(const std::string& name, const std::string& folder, const std::vector<std::string>& extraFiles,
               const DriverFiles& files, std::string& error) {
    if (!ValidName(name, "driver", error)) return false;
    auto db = OpenRegistry(error);
    if (!db) return false;
    DriverFileSet set;
    const auto uiModuleOf = [](const fs::path& dataFile) -> std::optional<std::u16string> {
        auto ini = IniFile::Load(dataFile.string());
        return ini ? ini->Get(kCommonSection, kUiModuleKey) : std::nullopt;
    };
    if (!GatherDriverFiles(folder, extraFiles, files, uiModuleOf, set, error)) return false;
    const auto& sources = set.sources;
    std::error_code ec;

    // Copy under temporary names, then rename them all.
    auto target = ToLinuxPath(kDriverFolder);
    if (!target || !fs::is_directory(*target, ec)) {
        error = "the prefix has no driver folder (run: vanto prefix init)";
        return false;
    }
    std::vector<std::pair<fs::path, fs::path>> staged;
    auto unstage = [&] {
        for (auto& [tmp, final] : staged) fs::remove(tmp, ec);
    };
    for (const auto& s : sources) {
        const std::string bare = s.filename().string();
        // Replace an existing file of another letter case rather than keeping two.
        fs::path final = fs::path(*target) / bare;
        if (auto existing = ToLinuxPath(std::u16string(kDriverFolder) + u"\\" + FromUtf8(bare))) final = *existing;
        fs::path tmp = fs::path(*target) / ("." + bare + ".installing");
        fs::copy_file(s, tmp, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + s.string() + ": " + ec.message();
            unstage();
            return false;
        }
        staged.emplace_back(tmp, final);
    }
    for (auto& [tmp, final] : staged) {
        fs::rename(tmp, final, ec);
        if (ec) {
            error = "cannot install " + final.string() + ": " + ec.message();
            unstage();
            return false;
        }
    }

    std::vector<std::string> dependent;
    for (const auto& s : sources) dependent.push_back(s.filename().string());
    const LSTATUS status = db->Write([&]() -> LSTATUS {
        int64_t key = 0;
        bool created = false;
        const std::u16string path = std::u16string(kDriversKey) + u"\\" + FromUtf8(name);
        if (LSTATUS s = db->CreateKey(RegistryDb::kLocalMachine, path, key, created); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetString(*db, key, kDriverValue, FromUtf8(set.driverFile)); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetString(*db, key, kDataFileValue, FromUtf8(set.dataFile.filename().string())); s != ERROR_SUCCESS)
            return s;
        if (LSTATUS s = SetString(*db, key, kConfigFileValue, FromUtf8(set.configFile)); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetDword(*db, key, kVersionValue, kDriverVersion); s != ERROR_SUCCESS) return s;
        return db->SetValue(key, kDependentFilesValue, REG_MULTI_SZ, MultiStringData(dependent));
    });
    if (status != ERROR_SUCCESS) {
        error = "cannot register driver " + name + ": " + Describe(status);
        return false;
    }
    // The driver's shared folder, as its installer makes it: the library creates only the last
    // level of a queue's work folder inside it.
    auto shared = ToLinuxPath(std::u16string(kCommonAppDataFolder) + u"\\KELDA\\" + FromUtf8(name));
    if (!shared || (fs::create_directories(*shared, ec), ec)) {
        error = "cannot create the driver's shared folder: " + (shared ? ec.message() : std::string("no path"));
        return false;
    }
    return true;
}

bool AddQueue(const std::string& queue, const std::string& driver, const std::string& port, std::string& error) {
    if (!ValidName(queue, "queue", error)) return false;
    if (!IsValidPort(port)) {
        error = "bad port '" + port + "' (IP_<address>, <address> or USB<nnn>)";
        return false;
    }
    auto db = OpenRegistry(error);
    if (!db) return false;
    const LSTATUS status = db->Write([&]() -> LSTATUS {
        int64_t id = 0;
        if (FindDriver(*db, FromUtf8(driver), id) != ERROR_SUCCESS) {
            error = "no driver '" + driver + "' (add it with: vanto driver add)";
            return ERROR_UNKNOWN_PRINTER_DRIVER;
        }
        if (FindQueue(*db, FromUtf8(queue), id) == ERROR_SUCCESS) {
            error = "queue '" + queue + "' exists already";
            return ERROR_ALREADY_EXISTS;
        }
        bool created = false;
        const std::u16string path = std::u16string(kPrintersKey) + u"\\" + FromUtf8(queue);
        int64_t key = 0;
        if (LSTATUS s = db->CreateKey(RegistryDb::kLocalMachine, path, key, created); s != ERROR_SUCCESS) return s;
        const std::pair<const char16_t*, std::u16string> strings[] = {
            {kNameValue, FromUtf8(queue)},       {kPrinterDriverValue, FromUtf8(driver)},
            {kPortValue, FromUtf8(port)},        {u"Share Name", u""},
            {u"Description", u""},               {u"Location", u""},
            {u"Print Processor", kDefaultPrintProcessor}, {u"Datatype", kDefaultDatatype}};
        for (const auto& [name, value] : strings)
            if (LSTATUS s = SetString(*db, key, name, value); s != ERROR_SUCCESS) return s;
        for (const char16_t* name : {kStatusValue, u"Attributes"})
            if (LSTATUS s = SetDword(*db, key, name, 0); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetDword(*db, key, kNextJobIdValue, 1); s != ERROR_SUCCESS) return s;
        int64_t data = 0;
        return db->CreateKey(key, kPrinterDataSubkey, data, created);
    });
    if (status != ERROR_SUCCESS) {
        if (error.empty()) error = "cannot add queue " + queue + ": " + Describe(status);
        return false;
    }
    return true;
}

bool RemoveQueue(const std::string& queue, std::string& error) {
    auto db = OpenRegistry(error);
    if (!db) return false;
    int64_t id = 0;
    if (FindQueue(*db, FromUtf8(queue), id) != ERROR_SUCCESS) {
        error = "no queue '" + queue + "'";
        return false;
    }
    const LSTATUS status = db->DeleteKey(id, u"", true);
    if (status != ERROR_SUCCESS) {
        error = "cannot remove queue " + queue + ": " + Describe(status);
        return false;
    }
    return true;
}

bool SetQueueRefusals(const std::string& queue, bool refuseFullAccess, bool refusePurge, std::string& error) {
    auto db = OpenRegistry(error);
    if (!db) return false;
    const LSTATUS status = db->Write([&]() -> LSTATUS {
        int64_t id = 0;
        if (LSTATUS s = FindQueue(*db, FromUtf8(queue), id); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetDword(*db, id, kRefuseFullAccessValue, refuseFullAccess ? 1 : 0); s != ERROR_SUCCESS) return s;
        return SetDword(*db, id, kRefusePurgeValue, refusePurge ? 1 : 0);
    });
    if (status != ERROR_SUCCESS) {
        error = status == ERROR_FILE_NOT_FOUND ? "no queue '" + queue + "'" : Describe(status);
        return false;
    }
    return true;
}

std::optional<DWORD> SubmitJob(const std::string& queue, const std::string& document, DWORD size, std::string& error) {
    auto db = OpenRegistry(error);
    if (!db) return std::nullopt;
    DWORD jobId = 0;
    const LSTATUS status = db->Write([&]() -> LSTATUS {
        int64_t id = 0;
        if (LSTATUS s = FindQueue(*db, FromUtf8(queue), id); s != ERROR_SUCCESS) return s;
        jobId = GetDword(*db, id, kNextJobIdValue).value_or(1);
        if (jobId == 0) jobId = 1;
        int64_t job = 0;
        bool created = false;
        const std::u16string path = std::u16string(kJobsSubkey) + u"\\" + JobKeyName(jobId);
        if (LSTATUS s = db->CreateKey(id, path, job, created); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetString(*db, job, kDocumentValue, FromUtf8(document)); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetDword(*db, job, kSizeValue, size); s != ERROR_SUCCESS) return s;
        if (LSTATUS s = SetDword(*db, job, kStatusValue, 0); s != ERROR_SUCCESS) return s;
        return SetDword(*db, id, kNextJobIdValue, jobId + 1);
    });
    if (status != ERROR_SUCCESS) {
        error = status == ERROR_FILE_NOT_FOUND ? "no queue '" + queue + "'" : Describe(status);
        return std::nullopt;
    }
    return jobId;
}

std::optional<std::vector<JobRecord>> ListJobs(const std::string& queue, std::string& error) {
    auto db = OpenRegistry(error);
    if (!db) return std::nullopt;
    int64_t id = 0;
    if (FindQueue(*db, FromUtf8(queue), id) != ERROR_SUCCESS) {
        error = "no queue '" + queue + "'";
        return std::nullopt;
    }
    std::vector<StoredJob> stored;
    if (LSTATUS s = ReadJobs(*db, id, stored); s != ERROR_SUCCESS) {
        error = Describe(s);
        return std::nullopt;
    }
    std::vector<JobRecord> jobs;
    for (const auto& j : stored) jobs.push_back({j.id, ToUtf8(j.document), j.size, j.status});
    return jobs;
}

}  // namespace vplat
